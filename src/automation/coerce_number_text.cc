// Text to number and number to text, as ChangeType does them (coerce.cc).
//
// Text to number follows VarParseNumFromStr with NUMPRS_STD for en-US:
//   white space (the Unicode spaces) before and after; at most one '+' and
//   one '-', each before or after the digits ("5-" is -5); one pair of
//   parentheses for a negative "(5)"; one currency sign "$" before or after;
//   thousands separators ',' anywhere after the first digit; one decimal point
//   '.'; an exponent e/E with optional sign; "&H1F" and "&O17" for
//   hexadecimal and octal. The whole text must be used; no digit at all is a
//   type mismatch. Like every OLECHAR* routine the platform reads the text up
//   to its first NUL.
// Integers are rounded half to even from the exact decimal text; a value that
// does not fit gives DISP_E_OVERFLOW. Hexadecimal and octal are Visual Basic
// literals: up to 16 bits for VT_I2 and 32 bits otherwise, two's complement
// ("&HFFFF" is -1 as VT_I2). Unlike the platform, a sign before "&H" is a type
// mismatch rather than silently dropped.
// Number to text is printf's "%.15G" written without the locale ("0.1",
// "1E+20", "1.5E-07"); a negative zero is "0"; infinities and NaN are "INF",
// "-INF" and "NAN".

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <system_error>

#include "automation/coerce_text.h"

namespace orvane::coerce {

bool IsWhite(char16_t c) {
  return c == u' ' || (c >= u'\t' && c <= u'\r') || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

std::u16string_view UpToNul(const std::u16string& s) {
  std::u16string_view v(s);
  const std::size_t nul = v.find(u'\0');
  return nul == std::u16string_view::npos ? v : v.substr(0, nul);
}

namespace {

// The signs, currency and parentheses allowed around the digits, each at most
// once, with white space anywhere among them.
struct Symbols {
  bool plus = false, minus = false, paren_open = false, paren_closed = false, currency = false;

  // Advances *i past the symbols; `before` the digits admits '(', after them ')'.
  void Take(std::u16string_view s, std::size_t* i, bool before) {
    for (; *i < s.size(); ++*i) {
      const char16_t c = s[*i];
      if (IsWhite(c)) continue;
      if (c == u'+' && !plus) {
        plus = true;
      } else if (c == u'-' && !minus) {
        minus = true;
      } else if (c == u'$' && !currency) {
        currency = true;
      } else if (before && c == u'(' && !paren_open) {
        paren_open = true;
      } else if (!before && c == u')' && paren_open && !paren_closed) {
        paren_closed = true;
      } else {
        break;
      }
    }
  }
  bool AnyBefore() const { return plus || minus || paren_open || currency; }
};

// "&H" or "&O" at s[i]: the bits per digit, else 0.
int BaseShift(std::u16string_view s, std::size_t i) {
  if (i + 1 >= s.size() || s[i] != u'&') return 0;
  const char16_t base = s[i + 1];
  if (base == u'H' || base == u'h') return 4;
  if (base == u'O' || base == u'o') return 3;
  return 0;
}

// The digits of a hexadecimal or octal literal from s[i] to the end, white
// space allowed after them.
std::optional<ParsedNumber> ParseBased(std::u16string_view s, std::size_t i, int shift) {
  ParsedNumber n;
  std::uint64_t value = 0;
  std::size_t count = 0;
  for (; i < s.size(); ++i, ++count) {
    unsigned d;
    const char16_t c = s[i];
    if (IsDigit(c)) {
      d = c - u'0';
    } else if (shift == 4 && c >= u'a' && c <= u'f') {
      d = c - u'a' + 10;
    } else if (shift == 4 && c >= u'A' && c <= u'F') {
      d = c - u'A' + 10;
    } else {
      break;
    }
    if (shift == 3 && d > 7) return std::nullopt;
    if (value > (std::numeric_limits<std::uint64_t>::max() >> shift)) n.based_too_big = true;
    value = (value << shift) | d;
  }
  if (count == 0) return std::nullopt;
  while (i < s.size() && IsWhite(s[i])) ++i;
  if (i != s.size()) return std::nullopt;
  n.based = true;
  n.based_value = value;
  return n;
}

// Digits with thousands separators and one decimal point, from *i; the
// significant digits go to n->digits. Returns the count of fractional digits,
// or nothing when there is no digit at all.
std::optional<std::int64_t> TakeMantissa(std::u16string_view s, std::size_t* i, ParsedNumber* n) {
  bool any_digit = false;
  bool point = false;
  std::int64_t fraction_digits = 0;
  for (; *i < s.size(); ++*i) {
    const char16_t c = s[*i];
    if (IsDigit(c)) {
      any_digit = true;
      if (!n->digits.empty() || c != u'0') n->digits.push_back(static_cast<char>(c));
      if (point) ++fraction_digits;
    } else if (c == u',' && any_digit) {
      // thousands separator: skipped wherever it stands after the first digit
    } else if (c == u'.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!any_digit) return std::nullopt;
  return fraction_digits;
}

// An optional exponent "e[+-]digits" at *i: 0 when there is none, nothing when
// the 'e' has no digits.
std::optional<std::int64_t> TakeExponent(std::u16string_view s, std::size_t* i) {
  if (*i >= s.size() || (s[*i] != u'e' && s[*i] != u'E')) return 0;
  ++*i;
  bool negative = false;
  if (*i < s.size() && (s[*i] == u'+' || s[*i] == u'-')) negative = s[(*i)++] == u'-';
  if (*i >= s.size() || !IsDigit(s[*i])) return std::nullopt;
  std::int64_t exponent = 0;
  for (; *i < s.size() && IsDigit(s[*i]); ++*i) {
    // Far past any double; keeps the arithmetic in range.
    if (exponent < 100000000) exponent = exponent * 10 + (s[*i] - u'0');
  }
  return negative ? -exponent : exponent;
}

}  // namespace

std::optional<ParsedNumber> ParseNumber(std::u16string_view s) {
  std::size_t i = 0;
  Symbols symbols;
  symbols.Take(s, &i, true);
  if (const int shift = BaseShift(s, i); shift != 0) {
    if (symbols.AnyBefore()) return std::nullopt;
    return ParseBased(s, i + 2, shift);
  }

  ParsedNumber n;
  const std::optional<std::int64_t> fraction_digits = TakeMantissa(s, &i, &n);
  if (!fraction_digits) return std::nullopt;
  const std::optional<std::int64_t> exponent = TakeExponent(s, &i);
  if (!exponent) return std::nullopt;
  n.pwr10 = *exponent - *fraction_digits;

  symbols.Take(s, &i, false);
  if (i != s.size() || symbols.paren_open != symbols.paren_closed) return std::nullopt;
  n.negative = symbols.minus || symbols.paren_open;
  return n;
}

HRESULT ParsedToInteger(const ParsedNumber& n, std::int64_t lo, std::int64_t hi,
                        std::int64_t* out) {
  if (n.based) {
    // A literal of the target's width: the top bit is the sign.
    const int bits = hi <= std::numeric_limits<std::int16_t>::max() ? 16 : 32;
    const std::uint64_t mask = (std::uint64_t{1} << bits) - 1;
    if (n.based_too_big || n.based_value > mask) return DISP_E_OVERFLOW;
    const std::uint64_t sign = std::uint64_t{1} << (bits - 1);
    *out = (n.based_value & sign) != 0
               ? static_cast<std::int64_t>(n.based_value) - static_cast<std::int64_t>(mask) - 1
               : static_cast<std::int64_t>(n.based_value);
    return S_OK;
  }
  if (n.digits.empty()) {  // zero, whatever its exponent
    *out = 0;
    return S_OK;
  }
  const std::int64_t count = static_cast<std::int64_t>(n.digits.size());
  const std::int64_t whole_len = count + n.pwr10;  // digits before the point
  if (whole_len > 19) return DISP_E_OVERFLOW;      // beyond any target here
  std::uint64_t whole = 0;
  for (std::int64_t k = 0; k < whole_len; ++k) {
    const int d = k < count ? n.digits[static_cast<std::size_t>(k)] - '0' : 0;
    whole = whole * 10 + static_cast<std::uint64_t>(d);
  }
  // Round: look at the first dropped digit and whether anything follows it.
  if (n.pwr10 < 0) {
    const std::int64_t first = whole_len;  // index of the first dropped digit
    int dropped = 0;
    bool rest_nonzero = false;
    if (first >= 0 && first < count) {
      dropped = n.digits[static_cast<std::size_t>(first)] - '0';
      for (std::int64_t k = first + 1; k < count; ++k) {
        if (n.digits[static_cast<std::size_t>(k)] != '0') {
          rest_nonzero = true;
          break;
        }
      }
    }
    // first < 0: the digits start below the first fractional place, so the
    // value is under 0.1 and rounds to 0.
    if (dropped > 5 || (dropped == 5 && (rest_nonzero || (whole & 1) != 0))) ++whole;
  }
  if (whole > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
    return DISP_E_OVERFLOW;
  }
  const std::int64_t value =
      n.negative ? -static_cast<std::int64_t>(whole) : static_cast<std::int64_t>(whole);
  if (value < lo || value > hi) return DISP_E_OVERFLOW;
  *out = value;
  return S_OK;
}

HRESULT ParsedToDouble(const ParsedNumber& n, double* out) {
  double value = 0.0;
  if (n.based) {
    // As for VT_I4: a 32-bit literal.
    if (n.based_too_big || n.based_value > 0xFFFFFFFFu) return DISP_E_OVERFLOW;
    value =
        static_cast<double>(static_cast<std::int32_t>(static_cast<std::uint32_t>(n.based_value)));
  } else if (!n.digits.empty()) {
    std::string text = n.digits;
    text += 'e';
    text += std::to_string(n.pwr10);
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec == std::errc::result_out_of_range) {
      // Overflow when the number has digits before the point; else underflow.
      if (static_cast<std::int64_t>(n.digits.size()) + n.pwr10 > 0) return DISP_E_OVERFLOW;
      value = 0.0;
    } else if (ec != std::errc() || ptr != text.data() + text.size()) {
      return DISP_E_TYPEMISMATCH;
    }
  }
  *out = n.negative ? -value : value;
  return S_OK;
}

std::u16string Ascii(std::string_view s) { return std::u16string(s.begin(), s.end()); }

std::u16string DoubleToText(double d) {
  if (std::isnan(d)) return u"NAN";
  if (std::isinf(d)) return d < 0 ? u"-INF" : u"INF";
  char buf[64];
  auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::general, 15);
  std::string s(buf, ec == std::errc() ? ptr : buf);
  for (char& c : s) {
    if (c == 'e') c = 'E';
  }
  if (!s.empty() && s[0] == '-' && s.find_first_not_of("0.", 1) == std::string::npos) s = "0";
  return Ascii(s);
}

}  // namespace orvane::coerce
