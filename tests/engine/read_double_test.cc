// The short-decimal path of ReadDouble must give exactly what a full
// conversion gives.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

#include "engine/numbers.h"

namespace orvane {
namespace {

TEST(ReadDoubleTest, ShortDecimalsMatchTheFullConversionBitForBit) {
  std::mt19937_64 rng(2024);
  for (int i = 0; i < 200000; ++i) {
    std::string text;
    if (rng() % 4 == 0) text += '-';
    const int whole = static_cast<int>(rng() % 9);
    const int fraction = static_cast<int>(rng() % 9);
    for (int k = 0; k < whole; ++k) text += static_cast<char>('0' + rng() % 10);
    if (fraction > 0 || rng() % 2) text += '.';
    for (int k = 0; k < fraction; ++k) text += static_cast<char>('0' + rng() % 10);
    if (rng() % 8 == 0) text += ",N";  // the field ends at a non-digit
    // A field without digits is not a number and reads as 0; MinGW's strtod
    // gives -0.0 for "-." where glibc gives 0.0.
    const bool digits = whole + fraction > 0;
    const double expected = digits ? std::strtod(text.c_str(), nullptr) : 0.0;  // the C locale here
    const double got = ReadDouble(text);
    ASSERT_EQ(got, expected) << text;
    ASSERT_EQ(std::signbit(got), std::signbit(expected)) << text;
  }
}

}  // namespace
}  // namespace orvane
