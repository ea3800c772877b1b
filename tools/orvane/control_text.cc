#include "control_text.h"

#include <cstdio>
#include <vector>

#include "control/dispatch.h"
#include "control/member_table.h"
#include "control/orvane_control.h"
#include "host.h"

namespace orvane::cli {

std::string CodeText(HRESULT hr, const ExcepInfo* info) {
  if (info != nullptr && !info->description.empty()) return Utf16ToUtf8(info->description);
  std::string_view own = ErrorDescription(hr);
  if (!own.empty()) return std::string(own);
  switch (hr) {
    case hr::kTypeMismatch: return "Type mismatch.";
    case hr::kOverflow: return "Overflow.";
    case hr::kMemberNotFound: return "Member not found.";
    case hr::kUnknownName: return "Unknown name.";
    case hr::kBadParamCount: return "Invalid number of parameters.";
    case hr::kParamNotOptional: return "Parameter not optional.";
    case hr::kPointer: return "Invalid pointer.";
    case hr::kOutOfMemory: return "Not enough memory.";
    case hr::kFail: return "Unspecified error.";
    default: return "Unknown error.";
  }
}

std::string Hex(HRESULT hr) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
  return buf;
}

HRESULT GetProperty(OrvaneControl& control, std::string_view name, Variant* value,
                    ExcepInfo* info) {
  std::vector<Variant> none;
  return InvokeByName(control, name, DISPATCH_PROPERTYGET, none, value, info);
}

namespace {

// The members whose values are a short list, named in a refused --set.
struct Choices {
  std::string_view member;
  std::string_view values;
};
constexpr Choices kChoices[] = {
    {"SpeedUnits", "0 (miles per hour), 1 (kilometres per hour) or 2 (knots)"},
    {"DistUnits", "0 (metres), 1 (feet), 2 (statute miles) or 3 (nautical miles)"},
    {"AltitudeUnits", "0 (metres) or 1 (feet)"},
    {"LatLonFormat", "0 (degrees), 1 (degrees and minutes) or 2 (degrees, minutes and seconds)"},
    {"BaudRate", kBaudRates},
};

std::string_view ChoicesFor(std::string_view member) {
  for (const Choices& c : kChoices) {
    if (SameMemberName(c.member, member)) return c.values;
  }
  return {};
}

}  // namespace

bool ApplySets(OrvaneControl& control, const Options& options, std::FILE* err) {
  // --all goes first, so a --set after it can narrow it again.
  std::vector<std::pair<std::string, std::string>> sets;
  if (options.all) sets = {{"Talkers", "*"}, {"ExtendedSentences", "True"}};
  sets.insert(sets.end(), options.sets.begin(), options.sets.end());
  for (const auto& [name, value] : sets) {
    std::vector<Variant> args = {Variant::Text(value)};
    ExcepInfo info;
    const HRESULT hr = InvokeByName(control, name, DISPATCH_PROPERTYPUT, args, nullptr, &info);
    if (FAILED(hr)) {
      const HRESULT code = Reported(hr, info);
      std::fprintf(err, "%s: error %s: %s\n", name.c_str(), Hex(code).c_str(),
                   CodeText(code, &info).c_str());
      const std::string_view choices = ChoicesFor(name);
      if (!choices.empty() &&
          (code == E_INVALIDARG || code == DISP_E_TYPEMISMATCH || code == DISP_E_OVERFLOW)) {
        std::fprintf(err, "orvane: --set %s: expected %.*s, got \"%s\"\n", name.c_str(),
                     static_cast<int>(choices.size()), choices.data(), value.c_str());
      }
      return false;
    }
  }
  return true;
}

void ReportOpenError(OrvaneControl& control, const std::string& source, HRESULT hr,
                     const ExcepInfo& info, std::FILE* err) {
  const HRESULT code = Reported(hr, info);
  if (code != kCannotOpenPort && code != kCannotOpenFile) {
    std::fprintf(err, "error %s: %s\n", Hex(code).c_str(), CodeText(code, &info).c_str());
    return;
  }
  // Named, and with its cause when known.
  const std::string cause = control.LastOpenFailure();
  if (cause.empty()) {
    std::fprintf(err, "orvane: %s: error %s: %s\n", source.c_str(), Hex(code).c_str(),
                 CodeText(code, &info).c_str());
  } else {
    std::fprintf(err, "orvane: %s: %s (error %s: %s)\n", source.c_str(), cause.c_str(),
                 Hex(code).c_str(), CodeText(code, &info).c_str());
  }
}

bool PutBaud(OrvaneControl& control, const std::string& baud, std::FILE* err) {
  std::vector<Variant> args = {Variant::Text(baud)};
  ExcepInfo info;
  const HRESULT hr = InvokeByName(control, "BaudRate", DISPATCH_PROPERTYPUT, args, nullptr, &info);
  if (SUCCEEDED(hr)) return true;
  const HRESULT code = Reported(hr, info);
  std::fprintf(err, "orvane: --baud: %s (error %s: %s)\n",
               code == E_INVALIDARG || code == DISP_E_TYPEMISMATCH
                   ? ("expected " + std::string(kBaudRates) + ", got \"" + baud + "\"").c_str()
                   : "the port refused the line speed",
               Hex(code).c_str(), CodeText(code, &info).c_str());
  return false;
}

}  // namespace orvane::cli
