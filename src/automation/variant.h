// A VARIANT for the core: the VARTYPEs the control uses, with deep copies so no
// stored value is ever shared with a host. Text is UTF-16 like a BSTR and may
// hold NUL.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "automation/platform.h"

namespace orvane {

inline constexpr VARTYPE kVtArrayOfVariant = VT_ARRAY | VT_VARIANT;  // 0x200C

class Variant {
 public:
  Variant() noexcept {}
  Variant(const Variant& other) : vt_(other.vt_), p_(other.p_) {
    if (OwnsHeap()) CopyHeap(other);
  }
  Variant(Variant&& other) noexcept : vt_(other.vt_), p_(other.p_) { other.vt_ = VT_EMPTY; }
  Variant& operator=(const Variant& other);
  Variant& operator=(Variant&& other) noexcept {
    if (this != &other) {
      Release();
      vt_ = other.vt_;
      p_ = other.p_;
      other.vt_ = VT_EMPTY;
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
  static Variant Error(HRESULT v);
  static Variant Bstr(std::u16string text);
  // UTF-8 text, for C++ hosts and tests.
  static Variant Text(std::string_view utf8);
  // Bytes in the control's ANSI code page (Windows-1252).
  static Variant Ansi(std::string_view bytes);
  // VT_ARRAY | VT_VARIANT, lower bound 0.
  static Variant Array(std::vector<Variant> elements);

  VARTYPE vt() const noexcept { return vt_; }
  bool is_empty() const noexcept { return vt_ == VT_EMPTY; }

  // Accessors read the stored value; the caller checks vt() first.
  std::int16_t i2() const noexcept { return static_cast<std::int16_t>(p_.i); }
  std::int32_t i4() const noexcept { return p_.i; }
  double r8() const noexcept { return p_.d; }
  double date() const noexcept { return p_.d; }
  bool boolean() const noexcept { return p_.i != 0; }
  HRESULT error() const noexcept { return p_.i; }
  // Empty for any other type.
  const std::u16string& bstr() const noexcept;
  std::string ToUtf8() const;
  const std::vector<Variant>& array() const noexcept;

  void Clear() noexcept {
    Release();
    vt_ = VT_EMPTY;
  }

  friend bool operator==(const Variant& a, const Variant& b);

 private:
  bool OwnsHeap() const noexcept { return vt_ == VT_BSTR || vt_ == kVtArrayOfVariant; }
  void Release() noexcept {
    if (OwnsHeap()) ReleaseHeap();
  }
  void ReleaseHeap() noexcept;
  void CopyHeap(const Variant& other);

  // Sixteen bytes: numbers in place, text and arrays behind an owned pointer
  // (null for empty text), so handlers copy numbers without touching the heap.
  VARTYPE vt_ = VT_EMPTY;
  union Payload {
    std::int32_t i;
    double d;
    std::u16string* text;
    std::vector<Variant>* array;
  } p_{.d = 0.0};
};

// UTF-8 <-> UTF-16 for C++ hosts (invalid sequences become U+FFFD).
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);
// The same, appended to `out`.
void AppendUtf8(std::string& out, std::u16string_view utf16);

// Readable form for test failure messages: "VT_I2 4", "VT_BSTR \"12 N\"".
std::string DebugString(const Variant& v);

}  // namespace orvane
