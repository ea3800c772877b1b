#include "engine/sentence.h"

#include <cstdint>
#include <cstring>
#include <limits>

namespace orvane {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// strtol(text, nullptr, 16) with a 32-bit long, as on the control's platform.
std::int32_t StrtolHex(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && IsCSpace(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (i + 2 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X') &&
      HexDigit(s[i + 2]) >= 0) {
    i += 2;
  }
  std::int64_t value = 0;
  bool overflow = false;
  for (; i < s.size(); ++i) {
    int d = HexDigit(s[i]);
    if (d < 0) break;
    value = value * 16 + d;
    if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) {
      overflow = true;
      value = 0x80000000LL;
    }
  }
  if (negative) {
    if (overflow || value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) {
      return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(-value);
  }
  if (overflow || value > std::numeric_limits<std::int32_t>::max()) {
    return std::numeric_limits<std::int32_t>::max();
  }
  return static_cast<std::int32_t>(value);
}

std::string_view TrimBlanks(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && s[b] == ' ') ++b;
  while (e > b && s[e - 1] == ' ') --e;
  return s.substr(b, e - b);
}

}  // namespace

bool VerifyChecksum(std::string_view& line) {
  // One pass finds the asterisk and computes the XOR on the way.
  unsigned x = 0;
  std::size_t star = 0;
  if (line.empty() || line[0] != '*') {
    for (star = 1; star < line.size(); ++star) {
      const unsigned char c = static_cast<unsigned char>(line[star]);
      if (c == '*') break;
      x ^= c;
    }
    if (star >= line.size()) return true;
  }
  const std::int32_t expected = StrtolHex(line.substr(star + 1));
  line = line.substr(0, star);
  return static_cast<std::int32_t>(x) == expected;
}

bool VerifyChecksum(std::string& line) {
  std::string_view view(line);
  const bool ok = VerifyChecksum(view);
  line.resize(view.size());
  return ok;
}

void SplitFields(std::string_view line, SentenceFields& fields) {
  fields.clear();
  if (line.empty()) return;
  // Fields are a few bytes long: a plain scan beats a memchr call per field.
  const char* p = line.data();
  const char* const end = p + line.size();
  const char* start = p;
  for (;; ++p) {
    if (p == end || *p == ',') {
      fields.push_back(TrimBlanks(std::string_view(start, static_cast<std::size_t>(p - start))));
      if (p == end) return;
      start = p + 1;
    }
  }
}

void NormalizeFieldCount(SentenceFields& fields, std::size_t count) { fields.resize(count); }

}  // namespace orvane
