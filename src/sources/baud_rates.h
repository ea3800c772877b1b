// The line speeds a serial port may be set to: the standard rates of a DCB.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace orvane {

inline constexpr std::array<std::int32_t, 16> kBaudRates = {
    110,   300,   600,   1200,  2400,  4800,   9600,   14400,
    19200, 28800, 38400, 56000, 57600, 115200, 128000, 256000};

// The same rates as a person reads them, for messages and help.
inline constexpr std::string_view kBaudRateList =
    "110 300 600 1200 2400 4800 9600 14400 19200 28800 38400 56000 57600 115200 128000 256000";

constexpr bool IsBaudRate(std::int32_t baud) {
  for (std::int32_t r : kBaudRates) {
    if (r == baud) return true;
  }
  return false;
}

namespace detail {
constexpr bool BaudRateListMatches() {
  std::size_t k = 0;
  std::int32_t value = 0;
  for (std::size_t i = 0; i <= kBaudRateList.size(); ++i) {
    if (i < kBaudRateList.size() && kBaudRateList[i] != ' ') {
      value = value * 10 + (kBaudRateList[i] - '0');
      continue;
    }
    if (k >= kBaudRates.size() || kBaudRates[k++] != value) return false;
    value = 0;
  }
  return k == kBaudRates.size();
}
}  // namespace detail
static_assert(detail::BaudRateListMatches(), "kBaudRateList must name kBaudRates in order");

}  // namespace orvane
