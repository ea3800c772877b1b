// The core's view of the public Variant, with the platform's names.
#pragma once

#include "automation/platform.h"
#include "orvane/variant.h"

namespace orvane {

inline constexpr VARTYPE kVtArrayOfVariant = vt::kArrayOfVariant;  // 0x200C

// UTF-16 to UTF-8 appended to `out` (invalid sequences become U+FFFD).
void AppendUtf8(std::string& out, std::u16string_view utf16);

}  // namespace orvane
