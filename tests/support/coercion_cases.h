// What VariantChangeType (locale English (United States), no flags) gives for
// the types the control uses. One table, so the same rows can be run against
// orvane::ChangeType here and against the platform's own VariantChangeType
// in the Windows build.
//
// Comparison rule for a consumer: when `hr` succeeds the result must have the
// target type and equal `expected`; VT_DATE values agree within 1e-8 days
// (under a millisecond), every other type exactly. When `hr` fails the output
// must be left as it was.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "automation/platform.h"
#include "automation/variant.h"

namespace orvane::tables {

struct CoercionCase {
  const char* note;  // why the row is there
  Variant input;
  VARTYPE to;
  HRESULT hr;
  Variant expected;  // ignored when hr fails
};

inline const std::vector<CoercionCase>& CoercionCases() {
  using V = Variant;
  const V none;  // placeholder for failing rows
  const V array = V::Array({V::I2(1), V::Text("a")});
  // 2004-01-31 and the last second of that day.
  const double jan31 = 38017.0;
  const double last_second = 38017.0 + 86399.0 / 86400.0;
  static const std::vector<CoercionCase> cases = {
      // VT_EMPTY is zero, empty text, false, the epoch.
      {"empty to I2", V(), VT_I2, S_OK, V::I2(0)},
      {"empty to I4", V(), VT_I4, S_OK, V::I4(0)},
      {"empty to R8", V(), VT_R8, S_OK, V::R8(0.0)},
      {"empty to DATE", V(), VT_DATE, S_OK, V::Date(0.0)},
      {"empty to BSTR", V(), VT_BSTR, S_OK, V::Text("")},
      {"empty to BOOL", V(), VT_BOOL, S_OK, V::Bool(false)},

      // VT_NULL converts to none of them, not even to text.
      {"null to I2", V::Null(), VT_I2, DISP_E_TYPEMISMATCH, none},
      {"null to I4", V::Null(), VT_I4, DISP_E_TYPEMISMATCH, none},
      {"null to R8", V::Null(), VT_R8, DISP_E_TYPEMISMATCH, none},
      {"null to DATE", V::Null(), VT_DATE, DISP_E_TYPEMISMATCH, none},
      {"null to BSTR", V::Null(), VT_BSTR, DISP_E_TYPEMISMATCH, none},
      {"null to BOOL", V::Null(), VT_BOOL, DISP_E_TYPEMISMATCH, none},

      // VT_I2.
      {"same type copies", V::I2(5), VT_I2, S_OK, V::I2(5)},
      {"I2 widens", V::I2(-5), VT_I4, S_OK, V::I4(-5)},
      {"I2 lowest to R8", V::I2(-32768), VT_R8, S_OK, V::R8(-32768.0)},
      {"I2 to text", V::I2(-7), VT_BSTR, S_OK, V::Text("-7")},
      {"I2 zero is false", V::I2(0), VT_BOOL, S_OK, V::Bool(false)},
      {"I2 non-zero is true", V::I2(2), VT_BOOL, S_OK, V::Bool(true)},
      {"I2 as days", V::I2(100), VT_DATE, S_OK, V::Date(100.0)},

      // VT_I4 and the I2 edges.
      {"I4 largest I2", V::I4(32767), VT_I2, S_OK, V::I2(32767)},
      {"I4 above I2", V::I4(32768), VT_I2, DISP_E_OVERFLOW, none},
      {"I4 lowest I2", V::I4(-32768), VT_I2, S_OK, V::I2(-32768)},
      {"I4 below I2", V::I4(-32769), VT_I2, DISP_E_OVERFLOW, none},
      {"I4 largest to R8", V::I4(2147483647), VT_R8, S_OK, V::R8(2147483647.0)},
      {"I4 lowest to text", V::I4(-2147483647 - 1), VT_BSTR, S_OK, V::Text("-2147483648")},
      {"I4 last DATE day", V::I4(2958465), VT_DATE, S_OK, V::Date(2958465.0)},
      {"I4 past DATE range", V::I4(2958466), VT_DATE, DISP_E_OVERFLOW, none},
      {"I4 first DATE day", V::I4(-657434), VT_DATE, S_OK, V::Date(-657434.0)},
      {"I4 before DATE range", V::I4(-657435), VT_DATE, DISP_E_OVERFLOW, none},
      {"I4 -1 is true", V::I4(-1), VT_BOOL, S_OK, V::Bool(true)},

      // VT_R8 to integers: round half to even, then the range.
      {"2.5 rounds down to even", V::R8(2.5), VT_I2, S_OK, V::I2(2)},
      {"3.5 rounds up to even", V::R8(3.5), VT_I2, S_OK, V::I2(4)},
      {"-2.5 rounds to -2", V::R8(-2.5), VT_I2, S_OK, V::I2(-2)},
      {"-3.5 rounds to -4", V::R8(-3.5), VT_I4, S_OK, V::I4(-4)},
      {"0.5 rounds to 0", V::R8(0.5), VT_I4, S_OK, V::I4(0)},
      {"1.5 rounds to 2", V::R8(1.5), VT_I4, S_OK, V::I4(2)},
      {"below a half rounds down", V::R8(2.4999), VT_I4, S_OK, V::I4(2)},
      {"above a half rounds up", V::R8(2.5000001), VT_I4, S_OK, V::I4(3)},
      {"-0.4 rounds to 0", V::R8(-0.4), VT_I2, S_OK, V::I2(0)},
      {"R8 just under I2 top", V::R8(32767.4), VT_I2, S_OK, V::I2(32767)},
      {"R8 rounding past I2 top", V::R8(32767.5), VT_I2, DISP_E_OVERFLOW, none},
      {"R8 rounding onto I2 bottom", V::R8(-32768.5), VT_I2, S_OK, V::I2(-32768)},
      {"R8 below I2 bottom", V::R8(-32768.6), VT_I2, DISP_E_OVERFLOW, none},
      {"R8 just under I4 top", V::R8(2147483647.4), VT_I4, S_OK, V::I4(2147483647)},
      {"R8 rounding past I4 top", V::R8(2147483647.5), VT_I4, DISP_E_OVERFLOW, none},
      {"R8 rounding onto I4 bottom", V::R8(-2147483648.5), VT_I4, S_OK, V::I4(-2147483647 - 1)},
      {"R8 below I4 bottom", V::R8(-2147483649.0), VT_I4, DISP_E_OVERFLOW, none},
      {"R8 far above I4", V::R8(1e10), VT_I4, DISP_E_OVERFLOW, none},

      // VT_R8 to text: up to 15 significant digits, exponent from 1E+15 and
      // below 1E-04.
      {"0.1 to text", V::R8(0.1), VT_BSTR, S_OK, V::Text("0.1")},
      {"1e20 to text", V::R8(1e20), VT_BSTR, S_OK, V::Text("1E+20")},
      {"1.5e-7 to text", V::R8(1.5e-7), VT_BSTR, S_OK, V::Text("1.5E-07")},
      {"whole R8 to text", V::R8(12.0), VT_BSTR, S_OK, V::Text("12")},
      {"negative fraction to text", V::R8(-0.5), VT_BSTR, S_OK, V::Text("-0.5")},
      {"a third to text", V::R8(1.0 / 3.0), VT_BSTR, S_OK, V::Text("0.333333333333333")},
      {"18 digits to text", V::R8(123456789012345678.0), VT_BSTR, S_OK,
       V::Text("1.23456789012346E+17")},
      {"1e15 to text", V::R8(1e15), VT_BSTR, S_OK, V::Text("1E+15")},
      {"15 digits stay plain", V::R8(123456789012345.0), VT_BSTR, S_OK, V::Text("123456789012345")},
      {"1e-4 stays plain", V::R8(0.0001), VT_BSTR, S_OK, V::Text("0.0001")},
      {"1e-5 gets an exponent", V::R8(0.00001), VT_BSTR, S_OK, V::Text("1E-05")},
      {"negative zero is 0", V::R8(-0.0), VT_BSTR, S_OK, V::Text("0")},
      {"R8 zero is false", V::R8(0.0), VT_BOOL, S_OK, V::Bool(false)},
      {"R8 fraction is true", V::R8(0.1), VT_BOOL, S_OK, V::Bool(true)},
      {"R8 to DATE", V::R8(38017.5), VT_DATE, S_OK, V::Date(38017.5)},
      {"R8 past DATE range", V::R8(1e7), VT_DATE, DISP_E_OVERFLOW, none},

      // VT_DATE.
      {"DATE 0 is a time only", V::Date(0.0), VT_BSTR, S_OK, V::Text("12:00:00 AM")},
      {"whole DATE is a date only", V::Date(jan31), VT_BSTR, S_OK, V::Text("1/31/2004")},
      {"DATE with time", V::Date(last_second), VT_BSTR, S_OK, V::Text("1/31/2004 11:59:59 PM")},
      {"noon of day 0", V::Date(0.5), VT_BSTR, S_OK, V::Text("12:00:00 PM")},
      {"before the epoch, time forward", V::Date(-1.25), VT_BSTR, S_OK,
       V::Text("12/29/1899 6:00:00 AM")},
      {"year 100 unpadded", V::Date(-657434.5), VT_BSTR, S_OK, V::Text("1/1/100 12:00:00 PM")},
      {"day 1", V::Date(1.0), VT_BSTR, S_OK, V::Text("12/31/1899")},
      {"DATE rounds to even I2", V::Date(2.5), VT_I2, S_OK, V::I2(2)},
      {"DATE rounds to even I4", V::Date(3.5), VT_I4, S_OK, V::I4(4)},
      {"DATE to R8", V::Date(38017.25), VT_R8, S_OK, V::R8(38017.25)},
      {"DATE 0 is false", V::Date(0.0), VT_BOOL, S_OK, V::Bool(false)},

      // Text to numbers.
      {"digit to I2", V::Text("1"), VT_I2, S_OK, V::I2(1)},
      {"blanks around", V::Text(" 12 "), VT_I2, S_OK, V::I2(12)},
      {"tabs around and sign", V::Text("\t-7\t"), VT_I4, S_OK, V::I4(-7)},
      {"leading plus", V::Text("+5"), VT_I4, S_OK, V::I4(5)},
      {"text I2 top", V::Text("32767"), VT_I2, S_OK, V::I2(32767)},
      {"text above I2", V::Text("32768"), VT_I2, DISP_E_OVERFLOW, none},
      {"text I2 bottom", V::Text("-32768"), VT_I2, S_OK, V::I2(-32768)},
      {"text below I2", V::Text("-32769"), VT_I2, DISP_E_OVERFLOW, none},
      {"text I4 top", V::Text("2147483647"), VT_I4, S_OK, V::I4(2147483647)},
      {"text above I4", V::Text("2147483648"), VT_I4, DISP_E_OVERFLOW, none},
      {"text I4 bottom", V::Text("-2147483648"), VT_I4, S_OK, V::I4(-2147483647 - 1)},
      {"text 2.5 to even", V::Text("2.5"), VT_I2, S_OK, V::I2(2)},
      {"text 3.5 to even", V::Text("3.5"), VT_I2, S_OK, V::I2(4)},
      {"text -2.5 to even", V::Text("-2.5"), VT_I4, S_OK, V::I4(-2)},
      {"text exponent to integer", V::Text("1.5e1"), VT_I4, S_OK, V::I4(15)},
      {"text exponent", V::Text("1e3"), VT_R8, S_OK, V::R8(1000.0)},
      {"text negative exponent", V::Text("1.5E-7"), VT_R8, S_OK, V::R8(1.5e-7)},
      {"text decimal", V::Text("0.1"), VT_R8, S_OK, V::R8(0.1)},
      {"text decimal with blanks", V::Text(" 3.25 "), VT_R8, S_OK, V::R8(3.25)},
      {"thousands separator", V::Text("1,234"), VT_I4, S_OK, V::I4(1234)},
      {"thousands and decimals", V::Text("1,234.5"), VT_R8, S_OK, V::R8(1234.5)},
      {"hexadecimal", V::Text("&H1F"), VT_I4, S_OK, V::I4(31)},
      {"octal", V::Text("&O17"), VT_I2, S_OK, V::I2(15)},
      {"hexadecimal to R8", V::Text("&H1F"), VT_R8, S_OK, V::R8(31.0)},
      {"trailing minus", V::Text("5-"), VT_I4, S_OK, V::I4(-5)},
      {"parentheses are negative", V::Text("(5)"), VT_I4, S_OK, V::I4(-5)},
      {"currency sign", V::Text("$5"), VT_I4, S_OK, V::I4(5)},
      {"text ends at NUL", V::Bstr(std::u16string(u"12\0x", 4)), VT_I4, S_OK, V::I4(12)},
      {"no-break space is white", V::Bstr(u"\u00A05\u3000"), VT_I4, S_OK, V::I4(5)},
      {"separators after the first digit", V::Text("1,,2"), VT_I4, S_OK, V::I4(12)},
      {"parentheses and minus", V::Text("(-5)"), VT_I4, S_OK, V::I4(-5)},
      {"plus and minus", V::Text("+5-"), VT_R8, S_OK, V::R8(-5.0)},
      {"currency after", V::Text("5 $"), VT_I2, S_OK, V::I2(5)},
      {"16-bit literal", V::Text("&HFFFF"), VT_I2, S_OK, V::I2(-1)},
      {"32-bit literal", V::Text("&HFFFFFFFF"), VT_I4, S_OK, V::I4(-1)},
      {"literal too wide", V::Text("&H10000"), VT_I2, DISP_E_OVERFLOW, none},
      {"two minus signs", V::Text("-5-"), VT_I4, DISP_E_TYPEMISMATCH, none},
      {"separator first", V::Text(",5"), VT_I4, DISP_E_TYPEMISMATCH, none},
      {"word to I2", V::Text("abc"), VT_I2, DISP_E_TYPEMISMATCH, none},
      {"empty text to I4", V::Text(""), VT_I4, DISP_E_TYPEMISMATCH, none},
      {"blank text to R8", V::Text("   "), VT_R8, DISP_E_TYPEMISMATCH, none},
      {"number then letters", V::Text("12abc"), VT_I4, DISP_E_TYPEMISMATCH, none},
      {"two numbers", V::Text("1 2"), VT_I4, DISP_E_TYPEMISMATCH, none},
      {"two signs", V::Text("--5"), VT_I4, DISP_E_TYPEMISMATCH, none},
      {"text beyond R8", V::Text("1e400"), VT_R8, DISP_E_OVERFLOW, none},
      {"true word is not a number", V::Text("True"), VT_I2, DISP_E_TYPEMISMATCH, none},

      // Text to VT_BOOL: the words, then numbers.
      {"True", V::Text("True"), VT_BOOL, S_OK, V::Bool(true)},
      {"false in lower case", V::Text("false"), VT_BOOL, S_OK, V::Bool(false)},
      {"TRUE in upper case", V::Text("TRUE"), VT_BOOL, S_OK, V::Bool(true)},
      {"zero text is false", V::Text("0"), VT_BOOL, S_OK, V::Bool(false)},
      {"number text is true", V::Text("2"), VT_BOOL, S_OK, V::Bool(true)},
      {"-1 text is true", V::Text("-1"), VT_BOOL, S_OK, V::Bool(true)},
      {"yes is not a boolean", V::Text("yes"), VT_BOOL, DISP_E_TYPEMISMATCH, none},
      {"empty text is not a boolean", V::Text(""), VT_BOOL, DISP_E_TYPEMISMATCH, none},
      {"text copies", V::Text("abc"), VT_BSTR, S_OK, V::Text("abc")},

      // Text to VT_DATE, en-US forms.
      {"the epoch", V::Text("12/30/1899"), VT_DATE, S_OK, V::Date(0.0)},
      {"a date", V::Text("1/31/2004"), VT_DATE, S_OK, V::Date(jan31)},
      {"a date and time", V::Text("1/31/2004 11:59:59 PM"), VT_DATE, S_OK, V::Date(last_second)},
      {"a time only", V::Text("12:00:00 PM"), VT_DATE, S_OK, V::Date(0.5)},
      {"ISO order", V::Text("2004-01-31"), VT_DATE, S_OK, V::Date(jan31)},
      {"day first when it cannot be a month", V::Text("31/1/2004"), VT_DATE, S_OK, V::Date(jan31)},
      {"two-digit year 49", V::Text("1/31/49"), VT_DATE, S_OK, V::Date(54424.0 + 30.0)},
      {"two-digit year 50", V::Text("1/31/50"), VT_DATE, S_OK, V::Date(18264.0 + 30.0)},
      {"time before date", V::Text("6:00 AM 1/31/2004"), VT_DATE, S_OK, V::Date(jan31 + 0.25)},
      {"hour and marker", V::Text("6 PM"), VT_DATE, S_OK, V::Date(0.75)},
      {"word to DATE", V::Text("abc"), VT_DATE, DISP_E_TYPEMISMATCH, none},
      {"no 31 February", V::Text("2/31/2004"), VT_DATE, DISP_E_TYPEMISMATCH, none},

      // VT_BOOL: true is -1; to text without VARIANT_ALPHABOOL it is a number.
      {"true to I2", V::Bool(true), VT_I2, S_OK, V::I2(-1)},
      {"true to I4", V::Bool(true), VT_I4, S_OK, V::I4(-1)},
      {"true to R8", V::Bool(true), VT_R8, S_OK, V::R8(-1.0)},
      {"false to R8", V::Bool(false), VT_R8, S_OK, V::R8(0.0)},
      {"true to text", V::Bool(true), VT_BSTR, S_OK, V::Text("-1")},
      {"false to text", V::Bool(false), VT_BSTR, S_OK, V::Text("0")},
      {"true to DATE", V::Bool(true), VT_DATE, S_OK, V::Date(-1.0)},

      // VT_ERROR converts only to itself.
      {"error copies", V::Error(DISP_E_PARAMNOTFOUND), VT_ERROR, S_OK,
       V::Error(DISP_E_PARAMNOTFOUND)},
      {"error to I2", V::Error(DISP_E_PARAMNOTFOUND), VT_I2, DISP_E_TYPEMISMATCH, none},
      {"error to I4", V::Error(DISP_E_PARAMNOTFOUND), VT_I4, DISP_E_TYPEMISMATCH, none},
      {"error to R8", V::Error(DISP_E_PARAMNOTFOUND), VT_R8, DISP_E_TYPEMISMATCH, none},
      {"error to DATE", V::Error(DISP_E_PARAMNOTFOUND), VT_DATE, DISP_E_TYPEMISMATCH, none},
      {"error to BSTR", V::Error(DISP_E_PARAMNOTFOUND), VT_BSTR, DISP_E_TYPEMISMATCH, none},
      {"error to BOOL", V::Error(DISP_E_PARAMNOTFOUND), VT_BOOL, DISP_E_TYPEMISMATCH, none},

      // Arrays convert to no scalar.
      {"array copies", array, VT_ARRAY | VT_VARIANT, S_OK, array},
      {"array to I2", array, VT_I2, DISP_E_TYPEMISMATCH, none},
      {"array to I4", array, VT_I4, DISP_E_TYPEMISMATCH, none},
      {"array to R8", array, VT_R8, DISP_E_TYPEMISMATCH, none},
      {"array to DATE", array, VT_DATE, DISP_E_TYPEMISMATCH, none},
      {"array to BSTR", array, VT_BSTR, DISP_E_TYPEMISMATCH, none},
      {"empty array to BOOL", V::Array({}), VT_BOOL, DISP_E_TYPEMISMATCH, none},
  };
  return cases;
}

// The comparison rule above.
inline bool CoercedValueMatches(const Variant& got, const Variant& expected) {
  if (got.vt() == VT_DATE && expected.vt() == VT_DATE) {
    return std::fabs(got.date() - expected.date()) < 1e-8;
  }
  return got == expected;
}

}  // namespace orvane::tables
