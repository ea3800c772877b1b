#include "automation/codepage.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace orvane {
namespace {

// 0x80..0x9F of Windows-1252; 0 marks the five bytes the code page leaves
// undefined, which Windows maps to the C1 control of the same value.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char16_t ByteToChar(unsigned char b) {
  if (b >= 0x80 && b <= 0x9F && kHigh[b - 0x80] != 0) return kHigh[b - 0x80];
  return b;
}

}  // namespace

bool EqualsAnsi(std::u16string_view text, std::string_view bytes) {
  if (text.size() != bytes.size()) return false;
  std::size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    // Four at a time while the bytes are ASCII, which stand for themselves:
    // each widened to sixteen bits and the four compared as one word.
    for (; i + 4 <= bytes.size(); i += 4) {
      std::uint32_t b;
      std::memcpy(&b, bytes.data() + i, sizeof b);
      if ((b & 0x80808080u) != 0) break;
      const std::uint64_t wide = (b & 0xFFu) | (std::uint64_t{b & 0xFF00u} << 8) |
                                 (std::uint64_t{b & 0xFF0000u} << 16) |
                                 (std::uint64_t{b & 0xFF000000u} << 24);
      std::uint64_t t;
      std::memcpy(&t, text.data() + i, sizeof t);
      if (t != wide) return false;
    }
  }
  for (; i < bytes.size(); ++i) {
    if (text[i] != ByteToChar(static_cast<unsigned char>(bytes[i]))) return false;
  }
  return true;
}

std::u16string AnsiToUtf16(std::string_view bytes) {
  std::u16string out(bytes.size(), u'\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    out[i] = ByteToChar(static_cast<unsigned char>(bytes[i]));
  }
  return out;
}

std::string Utf16ToAnsi(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    // A surrogate pair is one character and becomes one '?'.
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      out.push_back('?');
      ++i;
      continue;
    }
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    char mapped = '?';
    for (std::size_t k = 0; k < kHigh.size(); ++k) {
      char16_t want = kHigh[k] != 0 ? kHigh[k] : static_cast<char16_t>(0x80 + k);
      if (want == c) {
        mapped = static_cast<char>(0x80 + k);
        break;
      }
    }
    out.push_back(mapped);
  }
  return out;
}

}  // namespace orvane
