// The text side of ChangeType, shared by its files: text to number and
// number to text (coerce_number_text.cc), text to date and date to text
// (coerce_date_text.cc).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "automation/variant.h"

namespace orvane::coerce {

bool IsWhite(char16_t c);
bool IsDigit(char16_t c);
// The text up to its first NUL, as every OLECHAR* routine reads it.
std::u16string_view UpToNul(const std::u16string& s);
std::u16string Ascii(std::string_view s);

struct ParsedNumber {
  bool negative = false;
  // Decimal: value = digits * 10^pwr10, digits without leading zeros (may be
  // empty for zero).
  std::string digits;
  std::int64_t pwr10 = 0;
  // Hexadecimal or octal: the value, unless it needs more than 64 bits.
  bool based = false;
  std::uint64_t based_value = 0;
  bool based_too_big = false;  // more than 64 bits of digits
};

// Nothing when the text is not a number.
std::optional<ParsedNumber> ParseNumber(std::u16string_view s);
// Exact decimal value rounded half to even to an integer in [lo, hi].
HRESULT ParsedToInteger(const ParsedNumber& n, std::int64_t lo, std::int64_t hi, std::int64_t* out);
HRESULT ParsedToDouble(const ParsedNumber& n, double* out);
std::u16string DoubleToText(double d);

HRESULT TextToDate(std::u16string_view s, double* out);
HRESULT DateToText(double date, std::u16string* out);
// `s` is exactly `upper_word`, ASCII letters in any case.
bool IsWordInAnyCase(std::u16string_view s, std::u16string_view upper_word);

}  // namespace orvane::coerce
