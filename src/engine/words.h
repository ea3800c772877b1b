// Eight bytes at a time: text is read as little-endian words, and a byte of
// interest is found with the classic has-zero-byte test.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace orvane::words {

constexpr bool kEnabled = std::endian::native == std::endian::little;
constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighs = 0x8080808080808080ULL;

inline std::uint64_t Load(const char* p) {
  std::uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}

// The high bit of each byte of `w` equal to `c`. Only bytes above a true
// match can be flagged falsely, so the lowest flag is always exact.
inline std::uint64_t MatchBytes(std::uint64_t w, unsigned char c) {
  const std::uint64_t t = w ^ (kOnes * c);
  return (t - kOnes) & ~t & kHighs;
}

// Every byte of `w` equal to `c`, exactly (no false flags): for counting.
inline std::uint64_t MatchBytesExact(std::uint64_t w, unsigned char c) {
  const std::uint64_t t = w ^ (kOnes * c);
  return ~(((t & ~kHighs) + ~kHighs) | t | ~kHighs);
}

// The index of the byte a flag mask's lowest flag stands for.
inline unsigned FirstFlagged(std::uint64_t flags) {
  return static_cast<unsigned>(std::countr_zero(flags)) / 8;
}

}  // namespace orvane::words
