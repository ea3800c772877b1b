// What the commands say about the control's codes, and the calls they share.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "automation/error_info.h"
#include "automation/platform.h"
#include "automation/variant.h"
#include "orvane/dispatch.h"
#include "sources/baud_rates.h"

namespace orvane::cli {

// Text for a failing code: the record's description, the control's own
// text, or the system's for the codes a host meets besides the control's.
std::string CodeText(HRESULT hr, const ExcepInfo* info);
// "0x80040154".
std::string Hex(HRESULT hr);
// The failing code a late-bound call reports: the member's own when the
// record turned it into DISP_E_EXCEPTION.
inline HRESULT Reported(HRESULT hr, const ExcepInfo& info) {
  return hr == DISP_E_EXCEPTION ? info.scode : hr;
}

inline constexpr auto kBaudChoices = [] {
  std::array<char, 7 + kBaudRateList.size()> text{};
  std::string_view("one of ").copy(text.data(), 7);
  kBaudRateList.copy(text.data() + 7, kBaudRateList.size());
  return text;
}();
// "one of 300 600 ...": the rates --baud takes.
inline constexpr std::string_view kBaudRates(kBaudChoices.data(), kBaudChoices.size());

}  // namespace orvane::cli

namespace orvane {
class OrvaneControl;
}

namespace orvane::cli {

// A property read by name, as a late-binding host reads it.
HRESULT GetProperty(OrvaneControl& control, std::string_view name, Variant* value,
                    ExcepInfo* info = nullptr);

}  // namespace orvane::cli
