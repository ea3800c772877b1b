#include "engine/numbers.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace orvane {
namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

std::int32_t ReadInt(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && IsSpace(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  std::int64_t value = 0;
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    value = value * 10 + (s[i] - '0');
    if (value > kLimit) value = kLimit;  // keep going past the clamp point cheaply
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  if (value < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

double ReadDouble(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && IsSpace(s[i])) ++i;
  bool negative = false;
  // from_chars takes '-' but not '+'.
  if (i < s.size() && s[i] == '+') {
    ++i;
    if (i < s.size() && s[i] == '-') return 0.0;
  } else if (i < s.size() && s[i] == '-') {
    negative = true;
    ++i;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) return 0.0;
  }
  double value = 0.0;
  const char* first = s.data() + i;
  const char* last = s.data() + s.size();
  auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) {
    // Decide between overflow and underflow from the exponent's sign.
    bool tiny = false;
    for (const char* p = first; p < ptr; ++p) {
      if ((*p == 'e' || *p == 'E') && p + 1 < ptr && p[1] == '-') tiny = true;
    }
    if (!tiny) {
      // A mantissa like 0.000...1 with no exponent cannot overflow.
      value = HUGE_VAL;
    } else {
      value = 0.0;
    }
  } else if (ec != std::errc()) {
    value = 0.0;
  }
  return negative ? -value : value;
}

}  // namespace orvane
