#include "engine/numbers.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace orvane {
namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

[[gnu::noinline]] double ReadDoubleInFull(std::string_view s);

}  // namespace

std::int32_t ReadInt(std::string_view s) {
  // Fast path for what receivers send: a field that starts with a digit.
  // Nine digits cannot overflow, so no clamp is needed until the tenth.
  if (!s.empty() && static_cast<unsigned>(s[0] - '0') <= 9) {
    std::uint32_t v = static_cast<unsigned>(s[0] - '0');
    const std::size_t n = s.size() < 9 ? s.size() : 9;
    std::size_t k = 1;
    for (; k < n; ++k) {
      const unsigned d = static_cast<unsigned>(s[k] - '0');
      if (d > 9) return static_cast<std::int32_t>(v);
      v = v * 10 + d;
    }
    if (k == s.size() || static_cast<unsigned>(s[k] - '0') > 9) return static_cast<std::int32_t>(v);
  }
  std::size_t i = 0;
  while (i < s.size() && IsSpace(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  std::int64_t value = 0;
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    value = value * 10 + (s[i] - '0');
    if (value > kLimit) value = kLimit;  // keep going past the clamp point cheaply
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  if (value < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

double ReadDouble(std::string_view s) {
  // Fast path for what receivers send: digits, maybe a point and more digits,
  // at most 15 of them, and no exponent. One exact division gives the value
  // from_chars would.
  {
    const char* p = s.data();
    const char* const end = p + s.size();
    const bool neg = p != end && *p == '-';
    if (neg) ++p;
    // The whole part, then the fraction: two tight loops, the digit count
    // and the scale taken from the positions afterwards.
    std::uint64_t m = 0;
    const char* const whole = p;
    for (unsigned d; p != end && (d = static_cast<unsigned>(*p - '0')) <= 9; ++p) m = m * 10 + d;
    std::ptrdiff_t fraction = 0;
    const bool point = p != end && *p == '.';
    if (point) {
      const char* const first = ++p;
      for (unsigned d; p != end && (d = static_cast<unsigned>(*p - '0')) <= 9; ++p) m = m * 10 + d;
      fraction = p - first;
    }
    const std::ptrdiff_t digits = (p - whole) - (point ? 1 : 0);
    const bool exponent_follows = p != end && (*p == 'e' || *p == 'E');
    if (digits > 0 && digits <= 15 && !exponent_follows) {
      static constexpr double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                          1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
      const double v = static_cast<double>(m) / kPow10[fraction];
      return neg ? -v : v;
    }
  }
  // Kept apart, so the common call saves no registers for it.
  return ReadDoubleInFull(s);
}

namespace {

// What the general path learns from one scan of the text: where the number
// is, and enough about its magnitude to say which way an out-of-range value
// goes.
struct DecimalText {
  std::size_t begin = 0, end = 0;  // the digits, point and exponent, sign excluded
  bool negative = false;
  bool any_digit = false, nonzero = false;
  std::int64_t digits_before_point = 0;  // significant, for the magnitude
  std::int64_t leading_zeros_after_point = 0;
  std::int64_t exponent = 0;
};

// Only the decimal form: the words "inf" and "nan" and hexadecimal text read
// as no digits, so a field never yields NaN.
DecimalText ScanDecimal(std::string_view s) {
  DecimalText d;
  std::size_t i = 0;
  while (i < s.size() && IsSpace(s[i])) ++i;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) d.negative = s[i++] == '-';
  d.begin = i;
  bool point = false;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (c >= '0' && c <= '9') {
      d.any_digit = true;
      if (c != '0') d.nonzero = true;
      if (!point && d.nonzero) ++d.digits_before_point;
      if (point && !d.nonzero) ++d.leading_zeros_after_point;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  d.end = i;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    // An exponent counts only with at least one digit.
    std::size_t j = i + 1;
    bool exp_negative = false;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) exp_negative = s[j++] == '-';
    if (j < s.size() && s[j] >= '0' && s[j] <= '9') {
      for (; j < s.size() && s[j] >= '0' && s[j] <= '9'; ++j) {
        if (d.exponent < 100000000) d.exponent = d.exponent * 10 + (s[j] - '0');
      }
      if (exp_negative) d.exponent = -d.exponent;
      d.end = j;
    }
  }
  return d;
}

// from_chars on the scanned text; out of range gives +-HUGE_VAL or 0 as atof.
double ConvertDecimal(std::string_view s, const DecimalText& d) {
  double value = 0.0;
  const auto [ptr, ec] = std::from_chars(s.data() + d.begin, s.data() + d.end, value, std::chars_format::general);
  (void)ptr;
  if (ec == std::errc::result_out_of_range) {
    // The decimal exponent of the first significant digit says which way.
    const std::int64_t magnitude = d.digits_before_point > 0 ? d.digits_before_point - 1 + d.exponent
                                                             : d.exponent - d.leading_zeros_after_point - 1;
    value = d.nonzero && magnitude > 0 ? HUGE_VAL : 0.0;
  } else if (ec != std::errc()) {
    value = 0.0;
  }
  return d.negative ? -value : value;
}

double ReadDoubleInFull(std::string_view s) {
  const DecimalText d = ScanDecimal(s);
  return d.any_digit ? ConvertDecimal(s, d) : 0.0;
}

}  // namespace

}  // namespace orvane
