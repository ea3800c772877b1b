// The command's JSON values: escapes, UTF-16 to UTF-8, numbers and dates,
// written straight into one buffer.
#include <gtest/gtest.h>

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>

#include "automation/date.h"

#include "json.h"

namespace orvane::cli {
namespace {

std::string Json(const Variant& v, bool typed = false) {
  std::string out = "prefix:";  // values append, never replace
  AppendJson(out, v, typed);
  return out.substr(7);
}

TEST(JsonTest, TextIsEscapedAndConvertedAsUtf8) {
  struct Case {
    std::u16string text;
    std::string json;
  } cases[] = {
      {u"", "\"\""},
      {u"plain 47.5 N", "\"plain 47.5 N\""},
      // Escapes anywhere in and between eight-byte words.
      {u"0123456\"89abcdef\\hijklmnopqrstuv\x01",
       "\"0123456\\\"89abcdef\\\\hijklmnopqrstuv\\u0001\""},
      {u"a\"b\\c\n\r\t\x01\x1f\x7f", "\"a\\\"b\\\\c\\n\\r\\t\\u0001\\u001f\x7f\""},
      {u"\u00e9\u20ac\U0001F600", "\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\""},
      // Lone halves of a pair become U+FFFD, also right before an escape.
      {std::u16string(u"\xD800\"", 2), "\"\xEF\xBF\xBD\\\"\""},
      {std::u16string(u"x\xDC00", 2), "\"x\xEF\xBF\xBD\""},
      {std::u16string(u"\xD83D\n\xDE00", 3), "\"\xEF\xBF\xBD\\n\xEF\xBF\xBD\""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Json(Variant::Bstr(c.text)), c.json);
    // The same bytes as converting first and escaping the UTF-8.
    std::string via_utf8;
    AppendJsonString(via_utf8, Utf16ToUtf8(c.text));
    EXPECT_EQ(via_utf8, c.json);
  }
}

TEST(JsonTest, NumbersDatesAndArrays) {
  struct Case {
    Variant value;
    std::string plain, typed;
  } cases[] = {
      {Variant::I2(-32768), "-32768", "{\"vt\":2,\"value\":-32768}"},
      {Variant::I4(INT_MIN), "-2147483648", "{\"vt\":3,\"value\":-2147483648}"},
      {Variant::R8(0.1), "0.1", "{\"vt\":5,\"value\":0.1}"},
      {Variant::R8(-1e300), "-1e+300", "{\"vt\":5,\"value\":-1e+300}"},
      {Variant::R8(HUGE_VAL), "null", "{\"vt\":5,\"value\":null}"},
      {Variant::R8(std::numeric_limits<double>::quiet_NaN()), "null", "{\"vt\":5,\"value\":null}"},
      {Variant::Date(38000.5), "\"2004-01-14T12:00:00\"", "{\"vt\":7,\"value\":38000.5}"},
      {Variant::Bool(false), "false", "{\"vt\":11,\"value\":false}"},
      {Variant(), "null", "{\"vt\":0,\"value\":null}"},
      {Variant::Array({Variant::I2(3), Variant::Text("G")}), "[3,\"G\"]",
       "{\"vt\":8204,\"value\":[{\"vt\":2,\"value\":3},{\"vt\":8,\"value\":\"G\"}]}"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Json(c.value), c.plain);
    EXPECT_EQ(Json(c.value, true), c.typed);
  }
}

std::string ToChars(double d) {
  char buf[32];
  return std::string(buf, std::to_chars(buf, buf + sizeof buf, d).ptr);
}

// The short decimals written digit by digit against the library's shortest
// text, on the edges of their range and on random values of every shape.
TEST(JsonTest, DoublesAreTheShortestTextThatReadsBack) {
  std::vector<double> values = {0.001,
                                0.00099999999999999,
                                0.0010000000000000002,
                                9999.999999,
                                9999.9999999,
                                10000,
                                1e4 - 1e-12,
                                0.1,
                                0.2,
                                0.3,
                                1.0 / 3,
                                2.0 / 3,
                                5.8,
                                335.2,
                                1e-3 * 7,
                                0.0012,
                                0.000999,
                                1,
                                9,
                                10,
                                100,
                                1000,
                                4096.5,
                                0.5,
                                0.25,
                                0.125,
                                0.0625,
                                123.456789,
                                47.123456,
                                1.0000005,
                                0.1000001,
                                5e-324,
                                1e300,
                                0,
                                1e5,
                                2e5,
                                3e6,
                                1e-4,
                                5e-4};
  std::mt19937_64 rng(15);
  std::uniform_int_distribution<int> digits(0, 8);
  for (int i = 0; i < 200000; ++i) {
    const int k = digits(rng);
    const auto m = static_cast<double>(rng() % 100000000);
    values.push_back(m / std::pow(10.0, k));  // short decimals, as receivers send
    std::uint64_t bits = rng();
    double any;
    std::memcpy(&any, &bits, sizeof any);
    values.push_back(any);
    values.push_back(std::ldexp(static_cast<double>(rng() >> 11), -static_cast<int>(rng() % 70)));
  }
  int mismatches = 0;
  for (double v : values) {
    for (double d : {v, -v}) {
      const std::string want = std::isfinite(d) ? ToChars(d) : "null";
      if (Json(Variant::R8(d)) != want && ++mismatches <= 10)
        ADD_FAILURE() << want << " written as " << Json(Variant::R8(d));
    }
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(ShortestDouble(-0.0), "-0");
}

// Dates written digit by digit against printf's, across the whole range.
TEST(JsonTest, DatesMatchPrintf) {
  std::vector<double> dates = {-657434,        -657434.5, 0,        1,   2958465.99999,
                               2958465.999993, 38000.5,   45000.25, -1.5};
  std::mt19937_64 rng(15);
  std::uniform_real_distribution<double> any(-700000, 3000000);
  for (int i = 0; i < 20000; ++i) dates.push_back(any(rng));
  for (double d : dates) {
    const auto parts = SplitDate(d);
    std::string want = "null";
    if (parts) {
      char buf[64];
      std::snprintf(buf, sizeof buf, "\"%04d-%02d-%02dT%02d:%02d:%02d\"", parts->year, parts->month,
                    parts->day, parts->hour, parts->minute, parts->second);
      want = buf;
    }
    ASSERT_EQ(Json(Variant::Date(d)), want) << d;
  }
}

// Fixed places the quick way against to_chars's own, on random values of
// every size and sign and on the values nearest half-way between two
// results, where one rounding too many would show.
TEST(JsonTest, FixedPlacesMatchToChars) {
  std::mt19937_64 rng(29);
  std::vector<std::pair<double, int>> cases = {
      {0.0, 3},   {-0.0, 3},     {-0.0001, 3}, {0.125, 2},  {0.375, 2},  {2.5, 0},     {3.5, 0},
      {1.005, 2}, {1e15 - 1, 4}, {0x1p50, 1},  {1e-300, 9}, {-5e-10, 9}, {123456.5, 0}};
  std::uniform_int_distribution<int> places(0, 9);
  std::uniform_real_distribution<double> magnitude(-12, 15);
  for (int i = 0; i < 200000; ++i) {
    const int d = places(rng);
    const double v = (rng() & 1 ? -1 : 1) * std::pow(10.0, magnitude(rng));
    cases.emplace_back(v, d);
    // The doubles around a half-way point of `d` places.
    const double half = (std::floor(std::fabs(v) * std::pow(10.0, d)) + 0.5) / std::pow(10.0, d);
    cases.emplace_back(half, d);
    cases.emplace_back(std::nextafter(half, 0.0), d);
    cases.emplace_back(std::nextafter(half, 1e300), d);
  }
  int mismatches = 0;
  for (const auto& [v, d] : cases) {
    if (!(std::fabs(v) < 1e15)) continue;
    char want[kDoubleChars + 8], got[kDoubleChars + 8];
    const std::string w(
        want, std::to_chars(want, want + sizeof want, v, std::chars_format::fixed, d).ptr);
    const std::string g(got, WriteFixed(got, v, d));
    if (w != g && ++mismatches < 10) ADD_FAILURE() << v << " at " << d << ": " << g << " not " << w;
  }
  EXPECT_EQ(mismatches, 0);
}

// The one-pass UTF-16 writer against converting first and escaping the
// UTF-8, on random texts weighted to what it must get right: surrogates in
// and out of pairs, control characters, quotes, backslashes, U+2028.
TEST(JsonTest, TextMatchesConvertingFirstOnRandomTexts) {
  const char16_t kAwkward[] = {0,      0x1f,   0x7f,   u'"',   u'\\',  u'\n',  0x80,
                               0x7ff,  0x800,  0x2028, 0x2029, 0xD7FF, 0xD800, 0xDBFF,
                               0xDC00, 0xDFFF, 0xE000, 0xFFFD, 0xFFFF, u'a',   u'\t',
                               0xD83D, 0xDE00, u' ',   u'~'};
  std::mt19937_64 rng(15);
  for (int i = 0; i < 20000; ++i) {
    std::u16string text(rng() % 40, u'\0');
    for (char16_t& c : text) {
      c = rng() % 3 == 0 ? static_cast<char16_t>(rng()) : kAwkward[rng() % std::size(kAwkward)];
    }
    std::string want;
    AppendJsonString(want, Utf16ToUtf8(text));
    ASSERT_EQ(Json(Variant::Bstr(text)), want);
  }
}

}  // namespace
}  // namespace orvane::cli
