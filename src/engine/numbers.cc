#include "engine/numbers.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

#include "engine/words.h"

namespace orvane {
namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

[[gnu::noinline]] double ReadDoubleInFull(std::string_view s);

}  // namespace

std::int32_t ReadIntInFull(std::string_view s) {
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
  if (value > std::numeric_limits<std::int32_t>::max())
    return std::numeric_limits<std::int32_t>::max();
  if (value < std::numeric_limits<std::int32_t>::min())
    return std::numeric_limits<std::int32_t>::min();
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

constexpr std::uint64_t kZeros = 0x3030303030303030ULL;  // eight '0'

// Whether all eight bytes are decimal digits: a byte 0x3A..0x3F carries into
// its high nibble, and a carry out of a byte comes only from a non-digit.
bool EightDigits(std::uint64_t w) {
  return ((w & 0xF0F0F0F0F0F0F0F0ULL) |
          (((w + 0x0606060606060606ULL) & 0xF0F0F0F0F0F0F0F0ULL) >> 4)) == 0x3333333333333333ULL;
}

// The value of eight digits, the first in the lowest byte.
std::uint32_t EightDigitsValue(std::uint64_t w) {
  w -= kZeros;
  w = w * 10 + (w >> 8);
  w = (((w & 0x000000FF000000FFULL) * 0x000F424000000064ULL) +
       (((w >> 16) & 0x000000FF000000FFULL) * 0x0000271000000001ULL)) >>
      32;
  return static_cast<std::uint32_t>(w);
}

}  // namespace

bool ReadDegreesMinutes(std::string_view s, double* degrees, double* minutes) {
  // What receivers send, "ddmm.mmmm" or "dddmm.mmmm", is read eight bytes at
  // a time: the first word holds the point and the whole part, the last word
  // the fraction. The two quotients are those ReadDouble's short path gives
  // for the two parts; any other shape goes the two-call way.
  static constexpr double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};
  static constexpr std::uint32_t kPow10Int[] = {1,      10,      100,      1000,     10000,
                                                100000, 1000000, 10000000, 100000000};
  const std::size_t n = s.size();
  if constexpr (words::kEnabled) {
    if (n >= 8 && n <= 16) {
      const std::uint64_t first = words::Load(s.data());
      const std::uint64_t points = words::MatchBytes(first, '.');
      const unsigned k = points == 0 ? 8 : words::FirstFlagged(points);
      const std::size_t f = n - 1 - k;
      if (k >= 2 && k < 8 && f <= 8) {
        // Digits moved to the end of the word, '0' in front of them.
        const std::uint64_t whole_word = (first << (8 * (8 - k))) | (kZeros >> (8 * k));
        const std::uint64_t keep = f == 0 ? 0 : ~std::uint64_t{0} << (8 * (8 - f));
        const std::uint64_t fraction_word =
            (words::Load(s.data() + n - 8) & keep) | (kZeros & ~keep);
        if (EightDigits(whole_word) && EightDigits(fraction_word)) {
          const std::uint32_t whole = EightDigitsValue(whole_word);
          const std::uint64_t m =
              std::uint64_t{whole % 100} * kPow10Int[f] + EightDigitsValue(fraction_word);
          *degrees = static_cast<double>(whole / 100);
          *minutes = static_cast<double>(m) / kPow10[f];
          return true;
        }
      }
    }
  }
  const std::size_t point = s.find('.');
  if (point == std::string_view::npos || point < 2) return false;
  *degrees = ReadDouble(s.substr(0, point - 2));
  *minutes = ReadDouble(s.substr(point - 2));
  return true;
}

bool ReadPlainDigits(std::string_view s, std::int32_t* value) {
  if (s.empty() || s.size() > 9) return false;
  std::uint32_t v = 0;
  for (const char c : s) {
    const unsigned d = static_cast<unsigned>(c - '0');
    if (d > 9) return false;
    v = v * 10 + d;
  }
  *value = static_cast<std::int32_t>(v);
  return true;
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
  const auto [ptr, ec] =
      std::from_chars(s.data() + d.begin, s.data() + d.end, value, std::chars_format::general);
  (void)ptr;
  if (ec == std::errc::result_out_of_range) {
    // The decimal exponent of the first significant digit says which way.
    const std::int64_t magnitude = d.digits_before_point > 0
                                       ? d.digits_before_point - 1 + d.exponent
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

std::optional<double> ReadLeadingNumber(std::string_view text) {
  double value = 0.0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end == text.data()) return std::nullopt;
  return value;
}

std::optional<double> ReadNumberBeforeLetter(std::string_view number, char letter) {
  // A letter beyond ASCII is more than one byte of its UTF-8 text.
  if (number.empty() || static_cast<unsigned char>(letter) >= 0x80) return std::nullopt;
  double value = 0.0;
  const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (ec != std::errc() || end != number.data() + number.size()) return std::nullopt;
  return value;
}

}  // namespace orvane
