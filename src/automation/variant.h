// The core's view of the public Variant, with the platform's names.
#pragma once

#include "automation/platform.h"
#include "orvane/variant.h"

namespace orvane {

inline constexpr VARTYPE kVtArrayOfVariant = vt::kArrayOfVariant;  // 0x200C

// UTF-16 to UTF-8 appended to `out` (invalid sequences become U+FFFD).
void AppendUtf8(std::string& out, std::u16string_view utf16);

// Writes the UTF-8 of the character at s[i] at `p` (room for four bytes) and
// returns its end. A surrogate pair is taken whole, `i` then moving to its
// second half; a lone half becomes U+FFFD.
inline char* WriteUtf8Char(char* p, std::u16string_view s, std::size_t& i) {
  char32_t cp = s[i];
  if (cp >= 0xD800 && cp <= 0xDFFF) {
    if (cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[++i] - 0xDC00);
    } else {
      cp = 0xFFFD;
    }
  }
  if (cp < 0x80) {
    *p++ = static_cast<char>(cp);
  } else if (cp < 0x800) {
    *p++ = static_cast<char>(0xC0 | (cp >> 6));
    *p++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *p++ = static_cast<char>(0xE0 | (cp >> 12));
    *p++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *p++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *p++ = static_cast<char>(0xF0 | (cp >> 18));
    *p++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *p++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *p++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return p;
}

// Whether `v` already equals Variant::Ansi(bytes): a handler keeps a text
// that did not change instead of converting and allocating it again.
bool HoldsAnsi(const Variant& v, std::string_view bytes);
// The same for a text that is VT_EMPTY when its field is empty.
inline bool HoldsOptionalAnsi(const Variant& v, std::string_view field) {
  return field.empty() ? v.is_empty() : HoldsAnsi(v, field);
}

}  // namespace orvane
