// The word-at-a-time and digit fast paths against plain byte-by-byte
// references, on random lines and fields of every length.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "engine/numbers.h"
#include "engine/sentence.h"

namespace orvane {
namespace {

std::string RandomText(std::mt19937_64& rng, std::string_view alphabet, std::size_t max_len) {
  std::string s(rng() % (max_len + 1), ' ');
  for (char& c : s) c = alphabet[rng() % alphabet.size()];
  return s;
}

TEST(FastPathTest, ChecksumMatchesAByteLoop) {
  std::mt19937_64 rng(15);
  constexpr std::string_view kAlphabet = "$GPRMC,0123456789.*  \r\x01\x7f\x80\xff";
  for (int i = 0; i < 100000; ++i) {
    std::string line = RandomText(rng, kAlphabet, 90);
    if (rng() % 2) {  // often a well-formed suffix, right or wrong
      unsigned x = 0;
      for (std::size_t k = 1; k < line.size() && line[k] != '*'; ++k)
        x ^= static_cast<unsigned char>(line[k]);
      char suffix[8];
      std::snprintf(suffix, sizeof suffix, "*%02X", rng() % 4 ? x : x ^ 1);
      line += suffix;
    }
    // The reference: the first '*' (at 0 too), XOR of bytes 1 up to it, and
    // the hex digits after it.
    const std::size_t star = line.empty()     ? std::string::npos
                             : line[0] == '*' ? 0
                                              : line.find('*', 1);
    std::string_view view(line);
    const bool got = VerifyChecksum(view);
    if (star == std::string::npos) {
      ASSERT_TRUE(got) << line;
      ASSERT_EQ(view, line);
      continue;
    }
    unsigned x = 0;
    for (std::size_t k = 1; k < star; ++k) x ^= static_cast<unsigned char>(line[k]);
    const std::string rest = line.substr(star + 1, 6);  // short: no 32-bit clamp
    const long expected = std::strtol(rest.c_str(), nullptr, 16);
    ASSERT_EQ(got, static_cast<long>(x) == expected) << line;
    ASSERT_EQ(view, std::string_view(line).substr(0, star));
  }
}

TEST(FastPathTest, FieldsMatchAByteLoop) {
  std::mt19937_64 rng(16);
  SentenceFields fields;
  for (int i = 0; i < 100000; ++i) {
    const std::string line = RandomText(rng, ",,, ab1.\t", 100);
    std::vector<std::string> expected;
    if (!line.empty()) {
      std::size_t start = 0;
      for (std::size_t k = 0; k <= line.size(); ++k) {
        if (k < line.size() && line[k] != ',') continue;
        std::string f = line.substr(start, k - start);
        f.erase(0, f.find_first_not_of(' '));
        f.erase(f.find_last_not_of(' ') + 1);
        expected.push_back(f);
        start = k + 1;
      }
    }
    SplitFields(line, fields);
    ASSERT_EQ(std::vector<std::string>(fields.begin(), fields.end()), expected) << line;
  }
}

TEST(FastPathTest, OnePassSplitMatchesChecksumThenSplit) {
  std::mt19937_64 rng(18);
  constexpr std::string_view kAlphabet = "$GP,,,,0123456789.*  \r\x80";
  SentenceFields got, expected;
  for (int i = 0; i < 100000; ++i) {
    std::string line =
        RandomText(rng, kAlphabet, i % 10 == 0 ? 200 : 90);  // long ones pass 64 commas
    if (rng() % 2) {
      unsigned x = 0;
      for (std::size_t k = 1; k < line.size() && line[k] != '*'; ++k)
        x ^= static_cast<unsigned char>(line[k]);
      char suffix[8];
      std::snprintf(suffix, sizeof suffix, rng() % 2 ? "*%02X" : "*%X\r", rng() % 4 ? x : x ^ 1);
      line += suffix;
    }
    std::string_view view(line);
    const bool accepted = VerifyChecksum(view);
    if (accepted) SplitFields(view, expected);
    // The one-pass way this build takes (sixteen bytes at a time with SSE2,
    // eight on arm64: the arm64 build runs this too).
    std::string_view one_pass(line);
    ASSERT_EQ(SplitVerifiedFields(one_pass, got), accepted) << line;
    ASSERT_EQ(one_pass, view) << line;
    if (accepted) {
      ASSERT_EQ(got, expected) << line;
    }
  }
}

// One list reused across lines of every width, around the inline room and
// far past it, then padded, cut and copied: no element of an earlier line
// may show through.
TEST(FastPathTest, FieldListReusedAcrossWidths) {
  const std::size_t widths[] = {3, 64, 65, 66, 64, 200, 2, 65, 130, 1};
  SentenceFields one_pass, two_pass;
  for (std::size_t w : widths) {
    SCOPED_TRACE(w);
    std::string line = "$GPXXX";
    std::vector<std::string> expected = {line};
    for (std::size_t k = 1; k < w; ++k) {
      expected.push_back(k % 3 == 0 ? "" : std::to_string(k * 7));
      line += ", " + expected.back();
    }
    unsigned x = 0;
    for (std::size_t k = 1; k < line.size(); ++k) x ^= static_cast<unsigned char>(line[k]);
    char suffix[8];
    std::snprintf(suffix, sizeof suffix, "*%02X", x);
    const std::string with_sum = line + suffix;
    std::string_view view(with_sum);
    ASSERT_TRUE(SplitVerifiedFields(view, one_pass));
    ASSERT_EQ(view, line);
    SplitFields(line, two_pass);
    ASSERT_EQ(std::vector<std::string>(one_pass.begin(), one_pass.end()), expected);
    ASSERT_EQ(two_pass, one_pass);
    std::size_t kept = w;
    for (std::size_t count : {w + 70, w / 2 + 1, w + 1}) {
      NormalizeFieldCount(one_pass, count);
      kept = std::min(kept, count);
      ASSERT_EQ(one_pass.size(), count);
      for (std::size_t k = 0; k < count; ++k)
        ASSERT_EQ(one_pass[k], k < kept ? expected[k] : "") << k;
    }
    const SentenceFields copy = one_pass;
    two_pass = copy;
    ASSERT_EQ(two_pass, one_pass);
    ASSERT_NE(two_pass.begin(), one_pass.begin());
  }
}

TEST(FastPathTest, IntegersMatchAtoiClampedTo32Bits) {
  std::mt19937_64 rng(17);
  for (int i = 0; i < 200000; ++i) {
    const std::string text = RandomText(rng, "0123456789000+- .x", 14);
    long long v = std::strtoll(text.c_str(), nullptr, 10);  // saturates far beyond 32 bits
    v = v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : v;
    ASSERT_EQ(ReadInt(text), v) << text;
  }
}

}  // namespace
}  // namespace orvane
