// The core's view of the public Variant, with the platform's names.
#pragma once

#include "automation/platform.h"
#include "orvane/variant.h"

namespace orvane {

inline constexpr VARTYPE kVtArrayOfVariant = vt::kArrayOfVariant;  // 0x200C

// UTF-16 to UTF-8 appended to `out` (invalid sequences become U+FFFD).
void AppendUtf8(std::string& out, std::u16string_view utf16);

// Whether `v` already equals Variant::Ansi(bytes): a handler keeps a text
// that did not change instead of converting and allocating it again.
bool HoldsAnsi(const Variant& v, std::string_view bytes);
// The same for a text that is VT_EMPTY when its field is empty.
inline bool HoldsOptionalAnsi(const Variant& v, std::string_view field) {
  return field.empty() ? v.is_empty() : HoldsAnsi(v, field);
}

}  // namespace orvane
