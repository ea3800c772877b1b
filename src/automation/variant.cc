#include "automation/variant.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "automation/codepage.h"

namespace orvane {

Variant Variant::Null() {
  Variant v;
  v.vt_ = VT_NULL;
  return v;
}

Variant Variant::I2(std::int16_t x) {
  Variant v;
  v.vt_ = VT_I2;
  v.p_.i = x;
  return v;
}

Variant Variant::I4(std::int32_t x) {
  Variant v;
  v.vt_ = VT_I4;
  v.p_.i = x;
  return v;
}

Variant Variant::R8(double x) {
  Variant v;
  v.vt_ = VT_R8;
  v.p_.d = x;
  return v;
}

Variant Variant::Date(double x) {
  Variant v;
  v.vt_ = VT_DATE;
  v.p_.d = x;
  return v;
}

Variant Variant::Bool(bool x) {
  Variant v;
  v.vt_ = VT_BOOL;
  v.p_.i = x ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

Variant Variant::Error(HRESULT x) {
  Variant v;
  v.vt_ = VT_ERROR;
  v.p_.i = x;
  return v;
}

Variant Variant::Bstr(std::u16string text) {
  Variant v;
  v.vt_ = VT_BSTR;
  if (!text.empty()) v.p_.text = new std::u16string(std::move(text));
  return v;
}

Variant Variant::Text(std::string_view utf8) { return Bstr(Utf8ToUtf16(utf8)); }

Variant Variant::Ansi(std::string_view bytes) { return Bstr(AnsiToUtf16(bytes)); }

bool HoldsAnsi(const Variant& v, std::string_view bytes) {
  return v.vt() == VT_BSTR && EqualsAnsi(v.bstr(), bytes);
}

Variant Variant::Array(std::vector<Variant> elements) {
  Variant v;
  v.vt_ = kVtArrayOfVariant;
  v.p_.array = new std::vector<Variant>(std::move(elements));
  return v;
}

namespace {
const std::u16string kNoText;
const std::vector<Variant> kNoElements;
}  // namespace

void Variant::CopyHeap(const Variant& other) {
  if (vt_ == VT_BSTR) {
    if (other.p_.text != nullptr) p_.text = new std::u16string(*other.p_.text);
  } else {
    p_.array = new std::vector<Variant>(*other.p_.array);
  }
}

Variant& Variant::operator=(const Variant& other) {
  if (this != &other) *this = Variant(other);
  return *this;
}

void Variant::ReleaseHeap() noexcept {
  if (vt_ == VT_BSTR) {
    delete p_.text;
  } else {
    delete p_.array;
  }
  p_.d = 0.0;
}

const std::u16string& Variant::bstr() const noexcept {
  return vt_ == VT_BSTR && p_.text != nullptr ? *p_.text : kNoText;
}

const std::vector<Variant>& Variant::array() const noexcept {
  return vt_ == kVtArrayOfVariant ? *p_.array : kNoElements;
}

std::string Variant::ToUtf8() const { return Utf16ToUtf8(bstr()); }

bool operator==(const Variant& a, const Variant& b) {
  if (a.vt_ != b.vt_) return false;
  switch (a.vt_) {
    case VT_EMPTY:
    case VT_NULL: return true;
    case VT_R8:
    case VT_DATE:
      // A copy of a NaN equals its original.
      return a.p_.d == b.p_.d || (std::isnan(a.p_.d) && std::isnan(b.p_.d));
    case VT_BSTR: return a.bstr() == b.bstr();
    case kVtArrayOfVariant: return a.array() == b.array();
    default: return a.p_.i == b.p_.i;
  }
}

std::u16string Utf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    char32_t cp;
    std::size_t len;
    if (c < 0x80) {
      cp = c;
      len = 1;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F;
      len = 2;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F;
      len = 3;
    } else if ((c & 0xF8) == 0xF0) {
      cp = c & 0x07;
      len = 4;
    } else {
      out.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    bool ok = i + len <= s.size();
    for (std::size_t k = 1; ok && k < len; ++k) {
      unsigned char cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (!ok || cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

void AppendUtf8(std::string& out, std::u16string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] < 0x80) {
      // Runs of ASCII, the usual text, are written in one go.
      std::size_t j = i + 1;
      while (j < s.size() && s[j] < 0x80) ++j;
      const std::size_t at = out.size();
      out.resize(at + (j - i));
      for (std::size_t k = i; k < j; ++k) out[at + (k - i)] = static_cast<char>(s[k]);
      i = j - 1;
      continue;
    }
    char buf[4];
    out.append(buf, WriteUtf8Char(buf, s, i));
  }
}

std::string Utf16ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  AppendUtf8(out, s);
  return out;
}

namespace {

// Round-trip text of a double, whatever the process locale.
std::string ShortestText(double d) {
  char buf[32];
  auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, d);
  return ec == std::errc() ? std::string(buf, ptr) : std::string("?");
}

}  // namespace

std::string DebugString(const Variant& v) {
  char buf[64];
  switch (v.vt()) {
    case VT_EMPTY: return "VT_EMPTY";
    case VT_NULL: return "VT_NULL";
    case VT_I2: std::snprintf(buf, sizeof buf, "VT_I2 %d", v.i2()); return buf;
    case VT_I4: std::snprintf(buf, sizeof buf, "VT_I4 %d", v.i4()); return buf;
    case VT_R8: return "VT_R8 " + ShortestText(v.r8());
    case VT_DATE: return "VT_DATE " + ShortestText(v.date());
    case VT_BOOL: return v.boolean() ? "VT_BOOL true" : "VT_BOOL false";
    case VT_ERROR:
      std::snprintf(buf, sizeof buf, "VT_ERROR 0x%08X", static_cast<unsigned>(v.error()));
      return buf;
    case VT_BSTR: return "VT_BSTR \"" + v.ToUtf8() + "\"";
    case kVtArrayOfVariant: {
      std::string s = "VT_ARRAY[";
      for (std::size_t i = 0; i < v.array().size(); ++i) {
        if (i) s += ", ";
        s += DebugString(v.array()[i]);
      }
      return s + "]";
    }
    default: std::snprintf(buf, sizeof buf, "VT %u", static_cast<unsigned>(v.vt())); return buf;
  }
}

}  // namespace orvane
