// VariantChangeType with LOCALE_USER_DEFAULT taken as English (United States)
// and no flags. Nothing here reads the process locale: text is parsed and
// written by hand or with <charconv>, so a host that calls setlocale() gets the
// same answers.
//
// Between the types: doubles to integers round half to even; VT_BOOL true is
// -1 and, without VARIANT_ALPHABOOL, its text is the number: "-1" or "0".
// Text both ways is in coerce_number_text.cc and coerce_date_text.cc.
#include "automation/coerce.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <system_error>

#include "automation/coerce_text.h"

namespace orvane {
namespace {

using coerce::Ascii;
using coerce::DateToText;
using coerce::DoubleToText;
using coerce::IsWordInAnyCase;
using coerce::ParsedToDouble;
using coerce::ParsedToInteger;
using coerce::ParseNumber;
using coerce::TextToDate;
using coerce::UpToNul;

// The platform's DATE range: 1 January 100 to 31 December 9999, any time of
// those days (the bounds themselves are outside).
constexpr double kDateLow = -657435.0;
constexpr double kDateHigh = 2958466.0;

// Round half to even without relying on the floating-point environment.
double RoundHalfEven(double x) {
  const double lower = std::floor(x);
  const double diff = x - lower;  // exact for |x| < 2^52; 0 above
  if (diff < 0.5) return lower;
  if (diff > 0.5) return lower + 1.0;
  return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

HRESULT DoubleToInteger(double d, std::int64_t lo, std::int64_t hi, std::int64_t* out) {
  if (!std::isfinite(d)) return DISP_E_OVERFLOW;
  const double r = RoundHalfEven(d);
  if (r < static_cast<double>(lo) || r > static_cast<double>(hi)) return DISP_E_OVERFLOW;
  *out = static_cast<std::int64_t>(r);
  return S_OK;
}

HRESULT DoubleToDate(double d, double* out) {
  if (!(d > kDateLow && d < kDateHigh)) return DISP_E_OVERFLOW;  // NaN too
  *out = d;
  return S_OK;
}

// The numeric value of a scalar, for targets that take any number.
bool NumericValue(const Variant& v, double* out) {
  if (v.vt() == VT_EMPTY) {
    *out = 0.0;
    return true;
  }
  const std::optional<double> number = ScalarNumber(v);
  if (number) *out = *number;
  return number.has_value();
}

HRESULT ToInteger(const Variant& in, std::int64_t lo, std::int64_t hi, std::int64_t* out) {
  switch (in.vt()) {
    case VT_EMPTY: *out = 0; return S_OK;
    case VT_I2:
    case VT_I4:
    case VT_BOOL: {
      const std::int64_t v = in.vt() == VT_BOOL ? (in.boolean() ? -1 : 0) : in.i4();
      if (v < lo || v > hi) return DISP_E_OVERFLOW;
      *out = v;
      return S_OK;
    }
    case VT_R8:
    case VT_DATE: return DoubleToInteger(in.r8(), lo, hi, out);
    case VT_BSTR: {
      auto parsed = ParseNumber(UpToNul(in.bstr()));
      if (!parsed) return DISP_E_TYPEMISMATCH;
      return ParsedToInteger(*parsed, lo, hi, out);
    }
    default: return DISP_E_TYPEMISMATCH;
  }
}

HRESULT ToDouble(const Variant& in, double* out) {
  if (in.vt() == VT_BSTR) {
    auto parsed = ParseNumber(UpToNul(in.bstr()));
    if (!parsed) return DISP_E_TYPEMISMATCH;
    return ParsedToDouble(*parsed, out);
  }
  return NumericValue(in, out) ? S_OK : DISP_E_TYPEMISMATCH;
}

HRESULT ToBool(const Variant& in, bool* out) {
  if (in.vt() == VT_BSTR) {
    const std::u16string_view s = UpToNul(in.bstr());
    // The English words in any case, exactly; then VBA's "#TRUE#" and
    // "#FALSE#"; then any number.
    if (IsWordInAnyCase(s, u"TRUE") || s == u"#TRUE#") {
      *out = true;
      return S_OK;
    }
    if (IsWordInAnyCase(s, u"FALSE") || s == u"#FALSE#") {
      *out = false;
      return S_OK;
    }
    double d = 0.0;
    auto parsed = ParseNumber(s);
    if (!parsed) return DISP_E_TYPEMISMATCH;
    const HRESULT hr = ParsedToDouble(*parsed, &d);
    if (FAILED(hr)) return hr;
    *out = d != 0.0;
    return S_OK;
  }
  double d = 0.0;
  if (!NumericValue(in, &d)) return DISP_E_TYPEMISMATCH;
  *out = d != 0.0;  // NaN is not zero
  return S_OK;
}

HRESULT ToDate(const Variant& in, double* out) {
  switch (in.vt()) {
    case VT_EMPTY: *out = 0.0; return S_OK;
    case VT_I2: *out = in.i2(); return S_OK;
    case VT_BOOL: *out = in.boolean() ? -1.0 : 0.0; return S_OK;
    case VT_I4: return DoubleToDate(in.i4(), out);
    case VT_R8: return DoubleToDate(in.r8(), out);
    case VT_BSTR: return TextToDate(UpToNul(in.bstr()), out);
    default: return DISP_E_TYPEMISMATCH;
  }
}

HRESULT ToText(const Variant& in, std::u16string* out) {
  switch (in.vt()) {
    case VT_EMPTY: out->clear(); return S_OK;
    case VT_I2:
    case VT_I4: {
      char buf[16];
      auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, in.i4());
      *out = Ascii(std::string_view(buf, static_cast<std::size_t>(ptr - buf)));
      return ec == std::errc() ? S_OK : E_UNEXPECTED;
    }
    case VT_BOOL: *out = in.boolean() ? u"-1" : u"0"; return S_OK;
    case VT_R8: *out = DoubleToText(in.r8()); return S_OK;
    case VT_DATE: return DateToText(in.date(), out);
    default: return DISP_E_TYPEMISMATCH;
  }
}

bool IsKnownType(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I2:
    case VT_I4:
    case VT_R8:
    case VT_DATE:
    case VT_BSTR:
    case VT_ERROR:
    case VT_BOOL:
    case kVtArrayOfVariant: return true;
    default: return false;
  }
}

}  // namespace

std::optional<double> ScalarNumber(const Variant& v) {
  switch (v.vt()) {
    case VT_I2: return v.i2();
    case VT_I4: return v.i4();
    case VT_R8: return v.r8();
    case VT_DATE: return v.date();
    case VT_BOOL: return v.boolean() ? -1.0 : 0.0;
    default: return std::nullopt;
  }
}

namespace {

// `in` as an integer within T's range, stored by `make`.
template <typename T>
HRESULT ToIntegerVariant(const Variant& in, Variant (*make)(T), Variant* result) {
  std::int64_t v = 0;
  const HRESULT hr =
      ToInteger(in, std::numeric_limits<T>::min(), std::numeric_limits<T>::max(), &v);
  if (SUCCEEDED(hr)) *result = make(static_cast<T>(v));
  return hr;
}

}  // namespace

HRESULT ChangeType(const Variant& in, VARTYPE to, Variant* out) {
  if (!IsKnownType(to)) return DISP_E_BADVARTYPE;
  if (in.vt() == to) {
    *out = in;  // self-assignment is harmless
    return S_OK;
  }
  // VT_NULL, VT_ERROR and arrays convert to nothing but themselves.
  if (in.vt() == VT_NULL || in.vt() == VT_ERROR || in.vt() == kVtArrayOfVariant) {
    return DISP_E_TYPEMISMATCH;
  }
  HRESULT hr = DISP_E_TYPEMISMATCH;
  Variant result;
  switch (to) {
    case VT_I2: hr = ToIntegerVariant<std::int16_t>(in, Variant::I2, &result); break;
    case VT_I4: hr = ToIntegerVariant<std::int32_t>(in, Variant::I4, &result); break;
    case VT_R8: {
      double v = 0.0;
      hr = ToDouble(in, &v);
      if (SUCCEEDED(hr)) result = Variant::R8(v);
      break;
    }
    case VT_DATE: {
      double v = 0.0;
      hr = ToDate(in, &v);
      if (SUCCEEDED(hr)) result = Variant::Date(v);
      break;
    }
    case VT_BOOL: {
      bool v = false;
      hr = ToBool(in, &v);
      if (SUCCEEDED(hr)) result = Variant::Bool(v);
      break;
    }
    case VT_BSTR: {
      std::u16string v;
      hr = ToText(in, &v);
      if (SUCCEEDED(hr)) result = Variant::Bstr(std::move(v));
      break;
    }
    default:
      // VT_EMPTY, VT_NULL, VT_ERROR and arrays are never coercion targets here.
      hr = DISP_E_TYPEMISMATCH;
      break;
  }
  if (SUCCEEDED(hr)) *out = std::move(result);
  return hr;
}

}  // namespace orvane
