// VariantChangeType with LOCALE_USER_DEFAULT taken as English (United States)
// and no flags. Nothing here reads the process locale: text is parsed and
// written by hand or with <charconv>, so a host that calls setlocale() gets the
// same answers.
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
//
// Text to VT_DATE accepts, around blanks, a date, a time, or both in either
// order. A date is three numbers separated by '/' or '-': year first when the
// first has three or four digits, else month/day/year, or day/month/year when
// the first number cannot be a month. One- and two-digit years are 2000-2049
// for 0-49 and 1950-1999 for 50-99. A time is "h:m[:s]" with an optional
// AM/PM, or "h AM/PM". Month names, a date without a year and times with '.'
// are a type mismatch here, though the platform may accept some of them.
//
// Number to text is printf's "%.15G" written without the locale ("0.1",
// "1E+20", "1.5E-07"); a negative zero is "0"; infinities and NaN are "INF",
// "-INF" and "NAN". VT_BOOL to text without VARIANT_ALPHABOOL is the number:
// "-1" or "0". VT_DATE to text is "M/D/Y h:mm:ss AM": only the time when
// the whole part is 0, only the date when there is no time; a DATE outside
// years 100..9999 gives E_INVALIDARG.
#include "automation/coerce.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <system_error>

#include "automation/date.h"

namespace orvane {
namespace {

// The platform's DATE range: 1 January 100 to 31 December 9999, any time of
// those days (the bounds themselves are outside).
constexpr double kDateLow = -657435.0;
constexpr double kDateHigh = 2958466.0;

bool IsWhite(char16_t c) {
  return c == u' ' || (c >= u'\t' && c <= u'\r') || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
         c == 0x205F || c == 0x3000;
}
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

std::u16string_view UpToNul(const std::u16string& s) {
  std::u16string_view v(s);
  const std::size_t nul = v.find(u'\0');
  return nul == std::u16string_view::npos ? v : v.substr(0, nul);
}

// ---------------------------------------------------------------------------
// Text to number.

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
std::optional<std::int64_t> TakeMantissa(std::u16string_view s, std::size_t* i,
                                         ParsedNumber* n) {
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

// Exact decimal value rounded half to even to an integer in [lo, hi].
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
    value = static_cast<double>(static_cast<std::int32_t>(static_cast<std::uint32_t>(n.based_value)));
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

// ---------------------------------------------------------------------------
// Text to date.

class DateScanner {
 public:
  explicit DateScanner(std::u16string_view s) : s_(s) {}

  void SkipWhite() {
    while (i_ < s_.size() && IsWhite(s_[i_])) ++i_;
  }
  bool AtEnd() const { return i_ >= s_.size(); }
  bool Peek(char16_t c) const { return i_ < s_.size() && s_[i_] == c; }
  bool Take(char16_t c) {
    if (!Peek(c)) return false;
    ++i_;
    return true;
  }
  // 1 to max_digits decimal digits; the count is returned in *digits.
  std::optional<int> Number(int max_digits, int* digits) {
    int value = 0, count = 0;
    while (i_ < s_.size() && IsDigit(s_[i_])) {
      if (++count > max_digits) return std::nullopt;
      value = value * 10 + (s_[i_++] - u'0');
    }
    if (count == 0) return std::nullopt;
    *digits = count;
    return value;
  }
  std::size_t pos() const { return i_; }
  void set_pos(std::size_t p) { i_ = p; }
  // Case-insensitive ASCII word.
  bool TakeWord(std::u16string_view word) {
    if (s_.size() - i_ < word.size()) return false;
    for (std::size_t k = 0; k < word.size(); ++k) {
      char16_t c = s_[i_ + k];
      if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
      if (c != word[k]) return false;
    }
    i_ += word.size();
    return true;
  }

 private:
  std::u16string_view s_;
  std::size_t i_ = 0;
};

struct TimeOfDay {
  int hour = 0, minute = 0, second = 0;
};

struct CalendarDay {
  int year = 1899, month = 12, day = 30;
};

// "h:m[:s]" with an optional AM/PM, or "h AM/PM". Leaves the scanner where it
// was when there is no time.
std::optional<TimeOfDay> ScanTime(DateScanner& sc) {
  const std::size_t start = sc.pos();
  TimeOfDay t;
  int digits = 0;
  auto h = sc.Number(2, &digits);
  if (!h) return std::nullopt;
  t.hour = *h;
  bool colon = false;
  if (sc.Take(u':')) {
    colon = true;
    auto m = sc.Number(2, &digits);
    if (!m) {
      sc.set_pos(start);
      return std::nullopt;
    }
    t.minute = *m;
    if (sc.Take(u':')) {
      auto sec = sc.Number(2, &digits);
      if (!sec) {
        sc.set_pos(start);
        return std::nullopt;
      }
      t.second = *sec;
    }
  }
  const std::size_t before_marker = sc.pos();
  sc.SkipWhite();
  bool am = false, pm = false;
  if (sc.TakeWord(u"AM")) {
    am = true;
  } else if (sc.TakeWord(u"PM")) {
    pm = true;
  } else {
    sc.set_pos(before_marker);
  }
  if (!colon && !am && !pm) {  // a bare number is no time
    sc.set_pos(start);
    return std::nullopt;
  }
  if (am && t.hour == 12) t.hour = 0;
  if (pm && t.hour < 12) t.hour += 12;
  return t;
}

// Three numbers separated by '/' or '-'. Leaves the scanner where it was when
// there is no date; returns an invalid day (0) for a date that cannot exist.
std::optional<CalendarDay> ScanDate(DateScanner& sc) {
  const std::size_t start = sc.pos();
  int d1 = 0, d2 = 0, d3 = 0;
  auto a = sc.Number(4, &d1);
  const char16_t sep = sc.Peek(u'/') ? u'/' : u'-';
  if (!a || !sc.Take(sep)) {
    sc.set_pos(start);
    return std::nullopt;
  }
  auto b = sc.Number(2, &d2);
  if (!b || !sc.Take(sep)) {
    sc.set_pos(start);
    return std::nullopt;
  }
  auto c = sc.Number(4, &d3);
  if (!c) {
    sc.set_pos(start);
    return std::nullopt;
  }
  auto full_year = [](int value, int digits) {
    if (digits > 2) return value;
    return value < 50 ? 2000 + value : 1900 + value;
  };
  CalendarDay day;
  if (d1 > 2) {
    day = {*a, *b, *c};
    if (d3 > 2) day.day = 0;
  } else if (*a > 12 && *b <= 12) {
    day = {full_year(*c, d3), *b, *a};
  } else {
    day = {full_year(*c, d3), *a, *b};
  }
  return day;
}

HRESULT TextToDate(std::u16string_view s, double* out) {
  DateScanner sc(s);
  sc.SkipWhite();
  std::optional<CalendarDay> day = ScanDate(sc);
  std::optional<TimeOfDay> time;
  if (day) {
    const std::size_t before = sc.pos();
    sc.SkipWhite();
    if (sc.pos() != before) time = ScanTime(sc);
  } else {
    time = ScanTime(sc);
    if (time) {
      const std::size_t before = sc.pos();
      sc.SkipWhite();
      if (sc.pos() != before) day = ScanDate(sc);
    }
  }
  sc.SkipWhite();
  if (!sc.AtEnd() || (!day && !time)) return DISP_E_TYPEMISMATCH;
  const CalendarDay d = day.value_or(CalendarDay{});
  const TimeOfDay t = time.value_or(TimeOfDay{});
  auto date = MakeDate(d.year, d.month, d.day, t.hour, t.minute, t.second);
  if (!date) return DISP_E_TYPEMISMATCH;
  *out = *date;
  return S_OK;
}

// ---------------------------------------------------------------------------
// Number and date to text.

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

HRESULT DateToText(double date, std::u16string* out) {
  auto parts = SplitDate(date);
  if (!parts) return E_INVALIDARG;
  const double whole = date < 0 ? std::ceil(date) : std::floor(date);
  const double partial = date - whole;
  const bool time_only = whole == 0.0;
  const bool date_only = !time_only && partial > -1e-12 && partial < 1e-12;
  char buf[64];
  std::string s;
  if (!time_only) {
    std::snprintf(buf, sizeof buf, "%d/%d/%d", parts->month, parts->day, parts->year);
    s = buf;
  }
  if (!date_only) {
    const int h12 = parts->hour % 12 == 0 ? 12 : parts->hour % 12;
    std::snprintf(buf, sizeof buf, "%s%d:%02d:%02d %s", s.empty() ? "" : " ", h12,
                  parts->minute, parts->second, parts->hour < 12 ? "AM" : "PM");
    s += buf;
  }
  *out = Ascii(s);
  return S_OK;
}

// ---------------------------------------------------------------------------
// Numbers between the numeric types.

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
    case VT_I2: case VT_I4: case VT_BOOL: {
      const std::int64_t v = in.vt() == VT_BOOL ? (in.boolean() ? -1 : 0) : in.i4();
      if (v < lo || v > hi) return DISP_E_OVERFLOW;
      *out = v;
      return S_OK;
    }
    case VT_R8: case VT_DATE: return DoubleToInteger(in.r8(), lo, hi, out);
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
    DateScanner true_word(s), false_word(s);
    if ((true_word.TakeWord(u"TRUE") && true_word.AtEnd()) || s == u"#TRUE#") {
      *out = true;
      return S_OK;
    }
    if ((false_word.TakeWord(u"FALSE") && false_word.AtEnd()) || s == u"#FALSE#") {
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
    case VT_I2: case VT_I4: {
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
    case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R8: case VT_DATE:
    case VT_BSTR: case VT_ERROR: case VT_BOOL: case kVtArrayOfVariant:
      return true;
    default:
      return false;
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
  const HRESULT hr = ToInteger(in, std::numeric_limits<T>::min(), std::numeric_limits<T>::max(), &v);
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
    case VT_I2:
      hr = ToIntegerVariant<std::int16_t>(in, Variant::I2, &result);
      break;
    case VT_I4:
      hr = ToIntegerVariant<std::int32_t>(in, Variant::I4, &result);
      break;
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
