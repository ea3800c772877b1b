// A VARIANT for hosts and the core: the VARTYPEs the control uses, with deep
// copies so no stored value is ever shared with a host. Text is UTF-16 like a
// BSTR and may hold NUL.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "orvane/types.h"

namespace orvane {

class ORVANE_API Variant {
 public:
  Variant() noexcept {}
  Variant(const Variant& other) : vt_(other.vt_), p_(other.p_) {
    if (OwnsHeap()) CopyHeap(other);
  }
  Variant(Variant&& other) noexcept : vt_(other.vt_), p_(other.p_) { other.vt_ = vt::kEmpty; }
  Variant& operator=(const Variant& other);
  Variant& operator=(Variant&& other) noexcept {
    if (this != &other) {
      Release();
      vt_ = other.vt_;
      p_ = other.p_;
      other.vt_ = vt::kEmpty;
    }
    return *this;
  }
  ~Variant() { Release(); }

  static Variant Null();
  static Variant I2(std::int16_t v);
  static Variant I4(std::int32_t v);
  static Variant R8(double v);
  static Variant Date(double v);
  static Variant Bool(bool v);
  static Variant Error(Hresult v);
  static Variant Bstr(std::u16string text);
  // UTF-8 text, for C++ hosts and tests.
  static Variant Text(std::string_view utf8);
  // Bytes in the control's ANSI code page (Windows-1252).
  static Variant Ansi(std::string_view bytes);
  // VT_ARRAY | VT_VARIANT, lower bound 0.
  static Variant Array(std::vector<Variant> elements);

  Vartype vt() const noexcept { return vt_; }
  bool is_empty() const noexcept { return vt_ == vt::kEmpty; }

  // Accessors read the stored value; the caller checks vt() first.
  std::int16_t i2() const noexcept { return static_cast<std::int16_t>(p_.i); }
  std::int32_t i4() const noexcept { return p_.i; }
  double r8() const noexcept { return p_.d; }
  double date() const noexcept { return p_.d; }
  bool boolean() const noexcept { return p_.i != 0; }
  Hresult error() const noexcept { return p_.i; }
  // Empty for any other type.
  const std::u16string& bstr() const noexcept;
  std::string ToUtf8() const;
  const std::vector<Variant>& array() const noexcept;

  void Clear() noexcept {
    Release();
    vt_ = vt::kEmpty;
  }

  friend bool operator==(const Variant& a, const Variant& b);

 private:
  bool OwnsHeap() const noexcept { return vt_ == vt::kBstr || vt_ == vt::kArrayOfVariant; }
  void Release() noexcept {
    if (OwnsHeap()) ReleaseHeap();
  }
  void ReleaseHeap() noexcept;
  void CopyHeap(const Variant& other);

  // Sixteen bytes: numbers in place, text and arrays behind an owned pointer
  // (null for empty text), so handlers copy numbers without touching the heap.
  Vartype vt_ = vt::kEmpty;
  union Payload {
    std::int32_t i;
    double d;
    std::u16string* text;
    std::vector<Variant>* array;
  } p_{.d = 0.0};
};

ORVANE_API bool operator==(const Variant& a, const Variant& b);

// UTF-8 <-> UTF-16 for C++ hosts (invalid sequences become U+FFFD).
ORVANE_API std::u16string Utf8ToUtf16(std::string_view utf8);
ORVANE_API std::string Utf16ToUtf8(std::u16string_view utf16);

// Readable form for test failure messages: "VT_I2 4", "VT_BSTR \"12 N\"".
ORVANE_API std::string DebugString(const Variant& v);

}  // namespace orvane
