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

// Whether JSON needs `c` (an ASCII byte) escaped.
bool NeedsEscape(unsigned c) { return c < 0x20 || c == '"' || c == '\\'; }

void AppendEscaped(std::string& out, unsigned char c) {
  switch (c) {
    case '"': out += "\\\""; break;
    case '\\': out += "\\\\"; break;
    case '\n': out += "\\n"; break;
    case '\r': out += "\\r"; break;
    case '\t': out += "\\t"; break;
    default: {
      static constexpr char kHex[] = "0123456789abcdef";
      const char u[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
      out.append(u, sizeof u);
    }
  }
}

// The UTF-8 of a UTF-16 text, escaped. The characters JSON escapes are never
// half of a surrogate pair, so the text between them converts on its own.
void AppendJsonString16(std::string& out, std::u16string_view s) {
  out += '"';
  std::size_t run = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char16_t c = s[i];
    if (c >= 0x80 || !NeedsEscape(c)) continue;
    AppendUtf8(out, s.substr(run, i - run));
    AppendEscaped(out, static_cast<unsigned char>(c));
    run = i + 1;
  }
  AppendUtf8(out, s.substr(run));
  out += '"';
}

// Writes "YYYY-MM-DDTHH:MM:SS" into buf (at least 32 bytes); false when out
// of range.
bool FormatIsoDate(double date, char* buf, std::size_t size) {
  auto parts = SplitDate(date);
  if (!parts) return false;
  std::snprintf(buf, size, "%04d-%02d-%02dT%02d:%02d:%02d", parts->year, parts->month, parts->day,
                parts->hour, parts->minute, parts->second);
  return true;
}

}  // namespace

std::string ShortestDouble(double d) {
  std::string s;
  AppendChars(s, d);
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
  return ((w - kOnes * 0x20) & ~w & kHighs) == 0 && !has(w ^ (kOnes * '"')) && !has(w ^ (kOnes * '\\'));
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
    AppendChars(out, d);
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
