#include "json.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "automation/date.h"

namespace orvane::cli {

namespace {

// Values are written straight into the caller's buffer: no text of their own.
template <typename T>
void AppendChars(std::string& out, T value) {
  char buf[32];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  if (ec == std::errc()) {
    out.append(buf, end);
  } else {
    out += '0';
  }
}

constexpr double kTens[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6};

// The shortest text of `d` for the short decimals receivers send, or null
// when `d` is not one. From 0.001 to below 10000 the shortest form is never
// the exponent one, and within six decimals only one candidate is close
// enough to read back, so the fewest decimals that read back are the
// shortest text.
char* ShortDecimal(double d, char* p) {
  const double magnitude = std::fabs(d);
  if (!(magnitude >= 0.001 && magnitude < 10000)) return nullptr;
  for (int k = 0; k < 7; ++k) {
    const double scaled = std::nearbyint(magnitude * kTens[k]);
    if (scaled / kTens[k] != magnitude) continue;
    char digits[16];
    int n = 0;
    for (auto m = static_cast<std::uint64_t>(scaled); m != 0; m /= 10)
      digits[n++] = static_cast<char>('0' + m % 10);
    if (d < 0) *p++ = '-';
    if (n <= k) {
      *p++ = '0';
      *p++ = '.';
      for (int z = n; z < k; ++z) *p++ = '0';
      while (n > 0) *p++ = digits[--n];
      return p;
    }
    while (n > k) *p++ = digits[--n];
    if (k > 0) *p++ = '.';
    while (n > 0) *p++ = digits[--n];
    return p;
  }
  return nullptr;
}

// Whether JSON needs `c` (an ASCII byte) escaped.
bool NeedsEscape(unsigned c) { return c < 0x20 || c == '"' || c == '\\'; }

// Writes the escape of `c` at `p` (room for six bytes); returns its end.
char* WriteEscaped(char* p, unsigned char c) {
  switch (c) {
    case '"':
      *p++ = '\\';
      *p++ = '"';
      return p;
    case '\\':
      *p++ = '\\';
      *p++ = '\\';
      return p;
    case '\n':
      *p++ = '\\';
      *p++ = 'n';
      return p;
    case '\r':
      *p++ = '\\';
      *p++ = 'r';
      return p;
    case '\t':
      *p++ = '\\';
      *p++ = 't';
      return p;
    default: {
      static constexpr char kHex[] = "0123456789abcdef";
      const char u[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
      std::memcpy(p, u, sizeof u);
      return p + sizeof u;
    }
  }
}

void AppendEscaped(std::string& out, unsigned char c) {
  char buf[6];
  out.append(buf, WriteEscaped(buf, c));
}

// True when the four UTF-16 units of `w` are ASCII that JSON takes as it
// is: each 16-bit lane below 0x80, none below 0x20, no quote, no backslash.
bool PlainAscii4(std::uint64_t w) {
  constexpr std::uint64_t kOnes = 0x0001000100010001ULL, kHighs = 0x8000800080008000ULL;
  if ((w & 0xFF80FF80FF80FF80ULL) != 0) return false;
  auto has = [](std::uint64_t x) { return ((x - kOnes) & ~x & kHighs) != 0; };
  return ((w - kOnes * 0x20) & ~w & kHighs) == 0 && !has(w ^ (kOnes * '"')) &&
         !has(w ^ (kOnes * '\\'));
}

// The UTF-8 of a UTF-16 text, escaped, in one pass: room for the longest
// outcome (six bytes a unit) is made first and cut back after. A lone half
// of a surrogate pair becomes U+FFFD, as in AppendUtf8.
void AppendJsonString16(std::string& out, std::u16string_view s) {
  const std::size_t at = out.size();
  out.resize(at + 2 + 6 * s.size());
  char* const begin = out.data();
  char* p = begin + at;
  *p++ = '"';
  for (std::size_t i = 0; i < s.size(); ++i) {
    // Plain ASCII, the usual text, four units at a time.
    for (std::uint64_t w; i + 4 <= s.size(); i += 4) {
      std::memcpy(&w, s.data() + i, sizeof w);
      if (!PlainAscii4(w)) break;
      for (int k = 0; k < 4; ++k) *p++ = static_cast<char>(s[i + k]);
    }
    if (i == s.size()) break;
    const char16_t c = s[i];
    if (c < 0x80) {
      if (NeedsEscape(c)) {
        p = WriteEscaped(p, static_cast<unsigned char>(c));
      } else {
        *p++ = static_cast<char>(c);
      }
      continue;
    }
    p = WriteUtf8Char(p, s, i);
  }
  *p++ = '"';
  out.resize(static_cast<std::size_t>(p - begin));
}

void TwoDigits(char* p, int v) {
  p[0] = static_cast<char>('0' + v / 10);
  p[1] = static_cast<char>('0' + v % 10);
}

// Writes "YYYY-MM-DDTHH:MM:SS" into buf (at least 32 bytes); false when out
// of range.
bool FormatIsoDate(double date, char* buf, std::size_t size) {
  auto parts = SplitDate(date);
  if (!parts) return false;
  if (parts->year < 0 || parts->year > 9999) {
    std::snprintf(buf, size, "%04d-%02d-%02dT%02d:%02d:%02d", parts->year, parts->month, parts->day,
                  parts->hour, parts->minute, parts->second);
    return true;
  }
  std::memcpy(buf, "0000-00-00T00:00:00", 20);
  TwoDigits(buf, parts->year / 100);
  TwoDigits(buf + 2, parts->year % 100);
  TwoDigits(buf + 5, parts->month);
  TwoDigits(buf + 8, parts->day);
  TwoDigits(buf + 11, parts->hour);
  TwoDigits(buf + 14, parts->minute);
  TwoDigits(buf + 17, parts->second);
  return true;
}

}  // namespace

char* WriteDouble(char* p, double d) {
  if (char* end = ShortDecimal(d, p)) return end;
  auto [end, ec] = std::to_chars(p, p + kDoubleChars, d);
  if (ec == std::errc()) return end;
  *p = '0';
  return p + 1;
}

char* WriteFixed(char* p, double d, int decimals) {
  // The scaled value, rounded once, gives the digits unless it lies so near
  // half-way that its rounding error could decide; to_chars (Ryu, and many
  // times slower) then settles it.
  static constexpr double kScale[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
  static constexpr std::uint64_t kTens[] = {1,      10,      100,      1000,      10000,
                                            100000, 1000000, 10000000, 100000000, 1000000000};
  if (decimals >= 0 && decimals <= 9 && std::isfinite(d)) {
    const double scaled = std::fabs(d) * kScale[decimals];
    const double below = std::floor(scaled);
    if (scaled < 0x1p50 && std::fabs(scaled - below - 0.5) > scaled * 0x1p-49 + 0x1p-1000) {
      const auto q = static_cast<std::uint64_t>(below) + (scaled - below > 0.5 ? 1 : 0);
      if (std::signbit(d)) *p++ = '-';
      p = std::to_chars(p, p + 20, q / kTens[decimals]).ptr;
      if (decimals > 0) {
        *p++ = '.';
        std::uint64_t fraction = q % kTens[decimals];
        for (int i = decimals - 1; i >= 0; --i, fraction /= 10)
          p[i] = static_cast<char>('0' + fraction % 10);
        p += decimals;
      }
      return p;
    }
  }
  return std::to_chars(p, p + kDoubleChars, d, std::chars_format::fixed, decimals).ptr;
}

void AppendDouble(std::string& out, double d) {
  char buf[kDoubleChars];
  out.append(buf, WriteDouble(buf, d));
}

std::string ShortestDouble(double d) {
  std::string s;
  AppendDouble(s, d);
  return s;
}

std::string IsoDate(double date) {
  char buf[32];
  return FormatIsoDate(date, buf, sizeof buf) ? std::string(buf) : std::string();
}

namespace {

// True when none of the eight bytes of `w` needs an escape: no byte below
// 0x20 (the borrow test is exact for "any"), no quote, no backslash.
bool PlainWord(std::uint64_t w) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL, kHighs = 0x8080808080808080ULL;
  auto has = [](std::uint64_t x) { return ((x - kOnes) & ~x & kHighs) != 0; };
  return ((w - kOnes * 0x20) & ~w & kHighs) == 0 && !has(w ^ (kOnes * '"')) &&
         !has(w ^ (kOnes * '\\'));
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view s) {
  out += '"';
  // Runs of plain bytes go in at once, skipped over eight at a time.
  std::size_t run = 0, i = 0;
  for (; i + 8 <= s.size(); i += 8) {
    std::uint64_t w;
    std::memcpy(&w, s.data() + i, sizeof w);
    if (PlainWord(w)) continue;
    for (std::size_t k = i; k < i + 8; ++k) {
      const unsigned char c = static_cast<unsigned char>(s[k]);
      if (!NeedsEscape(c)) continue;
      out.append(s.data() + run, k - run);
      AppendEscaped(out, c);
      run = k + 1;
    }
  }
  for (; i < s.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (!NeedsEscape(c)) continue;
    out.append(s.data() + run, i - run);
    AppendEscaped(out, c);
    run = i + 1;
  }
  out.append(s.data() + run, s.size() - run);
  out += '"';
}

namespace {

void AppendNumber(std::string& out, double d) {
  if (std::isfinite(d)) {
    AppendDouble(out, d);
  } else {
    out += "null";  // JSON has no infinities
  }
}

void AppendPlain(std::string& out, const Variant& v, bool typed) {
  switch (v.vt()) {
    case VT_EMPTY:
    case VT_NULL: out += "null"; break;
    case VT_I2: AppendChars(out, v.i2()); break;
    case VT_I4:
    case VT_ERROR: AppendChars(out, v.i4()); break;
    case VT_R8: AppendNumber(out, v.r8()); break;
    case VT_BOOL: out += v.boolean() ? "true" : "false"; break;
    case VT_BSTR: AppendJsonString16(out, v.bstr()); break;
    case VT_DATE:
      if (typed) {
        AppendNumber(out, v.date());
      } else {
        char iso[32];
        if (FormatIsoDate(v.date(), iso, sizeof iso)) {
          AppendJsonString(out, iso);
        } else {
          out += "null";
        }
      }
      break;
    case kVtArrayOfVariant:
      out += '[';
      for (std::size_t i = 0; i < v.array().size(); ++i) {
        if (i) out += ',';
        AppendJson(out, v.array()[i], typed);
      }
      out += ']';
      break;
    default: out += "null";
  }
}

}  // namespace

void AppendJson(std::string& out, const Variant& v, bool typed) {
  if (!typed) {
    AppendPlain(out, v, false);
    return;
  }
  out += "{\"vt\":";
  AppendChars(out, static_cast<int>(v.vt()));
  out += ",\"value\":";
  AppendPlain(out, v, true);
  out += '}';
}

}  // namespace orvane::cli
