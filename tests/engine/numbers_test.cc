#include "engine/numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "support/comma_locale.h"

namespace orvane {
namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

TEST(ReadInt, AtoiSemantics) {
  struct Row {
    std::string text;
    std::int32_t value;
  } rows[] = {
      {"42", 42},
      {"  \t\n\v\f\r42", 42},
      {"+7", 7},
      {"-7", -7},
      {"0042", 42},
      {"12.9", 12},
      {"12abc", 12},
      {"1e3", 1},
      {"", 0},
      {"abc", 0},
      {"-", 0},
      {"+-1", 0},
      {"--1", 0},
      {"- 1", 0},
      {"0x1F", 0},
      {"2147483647", kMax},
      {"2147483648", kMax},
      {"-2147483648", kMin},
      {"-2147483649", kMin},
      {"99999999999999999999999999", kMax},
      {"-99999999999999999999999999", kMin},
      {std::string("12\0"
                   "3",
                   4),
       12},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(::testing::PrintToString(r.text));
    EXPECT_EQ(ReadInt(r.text), r.value);
  }
}

TEST(ReadInt, StopsAtTheViewsEnd) {
  const std::string text = "12345";
  EXPECT_EQ(ReadInt(std::string_view(text).substr(0, 2)), 12);
}

TEST(ReadInt16, KeepsTheLowSixteenBits) {
  EXPECT_EQ(ReadInt16("32767"), 32767);
  EXPECT_EQ(ReadInt16("32768"), -32768);
  EXPECT_EQ(ReadInt16("65537"), 1);
  EXPECT_EQ(ReadInt16("-1"), -1);
}

TEST(ReadDouble, AtofSemantics) {
  struct Row {
    std::string text;
    double value;
  } rows[] = {
      {"4807.038", 4807.038},
      {"  -12.5", -12.5},
      {"+0.5", 0.5},
      {".5", 0.5},
      {"5.", 5.0},
      {"-.25", -0.25},
      {"1e3", 1000.0},
      {"1E-2", 0.01},
      {"2.5e+2x", 250.0},
      {"1e", 1.0},
      {"1e+", 1.0},
      {"1.5.5", 1.5},
      {"12,5", 12.0},
      {"", 0.0},
      {".", 0.0},
      {"-", 0.0},
      {"+-1", 0.0},
      {"abc", 0.0},
      {"inf", 0.0},
      {"-infinity", 0.0},
      {"nan", 0.0},
      {"0x10", 0.0},
      {"1e-400", 0.0},
      {"0." + std::string(400, '0') + "1", 0.0},
      {"0.0000001e-320", 0.0},
      {"1e400", HUGE_VAL},
      {"-1e400", -HUGE_VAL},
      {"100000e305", HUGE_VAL},
      {"0.001e312", HUGE_VAL},
      {"0.001e311", 1e308},
      {std::string(400, '9'), HUGE_VAL},
      {std::string("3.5\0"
                   "9",
                   5),
       3.5},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(::testing::PrintToString(r.text));
    const double got = ReadDouble(r.text);
    EXPECT_FALSE(std::isnan(got));
    EXPECT_EQ(got, r.value);
  }
}

TEST(ReadDouble, IgnoresTheProcessLocale) {
  const testing::CommaLocale locale;
  if (locale.name() == nullptr) {
    GTEST_SKIP() << "SKIPPED LOUDLY: no de_DE or fr_FR locale installed; locale independence of "
                    "ReadDouble is untested on this machine";
  }
  EXPECT_EQ(ReadDouble("4807.038"), 4807.038) << locale.name();
  EXPECT_EQ(ReadDouble("12,5"), 12.0) << locale.name();
  EXPECT_EQ(ReadInt(" 1234"), 1234) << locale.name();
}

// The short-decimal path must give exactly what a full conversion gives.
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

// The split read of a coordinate must be exactly the two ReadDouble calls
// on the parts either side of the minutes' first digit.
void ExpectSplitLikeTwoReads(const std::string& text) {
  const std::size_t point = text.find('.');
  const bool has_split = point != std::string::npos && point >= 2;
  double degrees = -1.0, minutes = -1.0;
  ASSERT_EQ(ReadDegreesMinutes(text, &degrees, &minutes), has_split) << text;
  if (!has_split) {
    EXPECT_EQ(degrees, -1.0) << text;
    EXPECT_EQ(minutes, -1.0) << text;
    return;
  }
  const double want_degrees = ReadDouble(std::string_view(text).substr(0, point - 2));
  const double want_minutes = ReadDouble(std::string_view(text).substr(point - 2));
  ASSERT_EQ(std::memcmp(&degrees, &want_degrees, sizeof degrees), 0) << text << " " << degrees;
  ASSERT_EQ(std::memcmp(&minutes, &want_minutes, sizeof minutes), 0) << text << " " << minutes;
}

TEST(ReadDegreesMinutes, Shapes) {
  const std::string rows[] = {
      "4807.038",
      "01131.000",
      "5045.9000",
      "00117.8800",
      "12.5",
      "07.",
      "4807.",
      "4807.0380000",
      "4807.03800000",
      "4807.038000000",
      "123456789.5",
      "1234567.12345678",
      "1234567.123456789",
      "4807.038e2",
      "4807.038E",
      "4807.03x",
      "4807.038 ",
      " 4807.038",
      "-4807.038",
      "48-7.038",
      "4807..038",
      "4807.0.38",
      "7.5",
      ".5",
      "4807",
      "",
      "48:7.038",
      "4807.03/",
      "4807.0389999999999",
      "99999.99999999",
      "00.00000000",
      std::string("4807.0\0"
                  "38",
                  8),
      "4807.038\xff",
      "\xff\xff"
      "807.038",
  };
  for (const std::string& text : rows) ExpectSplitLikeTwoReads(text);
}

TEST(ReadDegreesMinutes, RandomCoordinatesMatchTwoReadsBitForBit) {
  std::mt19937_64 rng(15);
  const char alphabet[] = "0123456789.0123456789-eE x/:";
  for (int i = 0; i < 200000; ++i) {
    std::string text;
    const int whole = static_cast<int>(rng() % 9);
    const int fraction = static_cast<int>(rng() % 11);
    for (int k = 0; k < whole; ++k) text += static_cast<char>('0' + rng() % 10);
    if (rng() % 16 != 0) text += '.';
    for (int k = 0; k < fraction; ++k) text += static_cast<char>('0' + rng() % 10);
    if (!text.empty() && rng() % 8 == 0)
      text[rng() % text.size()] = alphabet[rng() % (sizeof alphabet - 1)];
    ExpectSplitLikeTwoReads(text);
    if (HasFatalFailure()) return;
  }
}

TEST(ReadPlainDigits, OnlyOneToNineDigits) {
  struct Row {
    std::string text;
    bool plain;
  } rows[] = {
      {"0", true},         {"18", true},          {"007", true},
      {"123456789", true}, {"1234567890", false}, {"", false},
      {"-1", false},       {"+1", false},         {" 1", false},
      {"1 ", false},       {"1.0", false},        {"1e2", false},
      {"1/", false},       {":1", false},         {std::string("1\0", 2), false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(::testing::PrintToString(r.text));
    std::int32_t value = -1;
    ASSERT_EQ(ReadPlainDigits(r.text, &value), r.plain);
    if (r.plain) {
      EXPECT_EQ(value, ReadInt(r.text));
      EXPECT_EQ(static_cast<double>(value), ReadDouble(r.text));
    } else {
      EXPECT_EQ(value, -1);
    }
  }
}

}  // namespace
}  // namespace orvane
