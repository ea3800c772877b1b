#include "presentation/geo_position.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "support/comma_locale.h"

namespace orvane {
namespace {

// The degree sign of the control's code page and the default labels' spaces.
const std::string kDeg = "\xB0 ";

struct FormatCase {
  bool is_latitude;
  double value;
  std::int16_t code;
  std::string text;
};

std::ostream& operator<<(std::ostream& os, const FormatCase& c) {
  return os << (c.is_latitude ? "latitude " : "longitude ") << c.value << " code " << c.code;
}

std::string FormatOne(const GeoPosition& p, bool latitude, std::int16_t code) {
  std::string lat, lon;
  FormatLatLon(p, code, &lat, &lon);
  return latitude ? lat : lon;
}

const FormatCase kFormatCases[] = {
    {true, 47.6062, 0, "47.606200" + kDeg + " N"},
    {true, 47.6062, 1, "47" + kDeg + "36.37200'  N"},
    {true, 47.6062, 2, "47" + kDeg + "36' 22.3200\" N"},
    {true, -5.5, 0, "05.500000" + kDeg + " S"},
    {false, -122.3321, 0, "122.332100" + kDeg + " W"},
    {false, 2.35, 1, "002" + kDeg + "21.00000'  E"},
    {false, 2.35, 2, "002" + kDeg + "21' 00.0000\" E"},
    // No carry: the remainder rounds up to 60 and the whole part stays.
    {true, 10.99999999, 1, "10" + kDeg + "60.00000'  N"},
    {true, 10.99999999, 2, "10" + kDeg + "59' 60.0000\" N"},
    // Widths are minimums; degree widths 2 and 3; no minus sign ever.
    {false, 5.5, 0, "005.500000" + kDeg + " E"},
    {true, 5.5, 1, "05" + kDeg + "30.00000'  N"},
    {false, -5.5, 2, "005" + kDeg + "30' 00.0000\" W"},
    {true, -0.25, 1, "00" + kDeg + "15.00000'  S"},
    {false, -179.999999, 0, "179.999999" + kDeg + " W"},
    {true, 123.5, 0, "123.500000" + kDeg + " N"},
    {false, 1234.5, 1, "1234" + kDeg + "30.00000'  E"},
    // Rounding to nearest at the last decimal.
    {true, 1.0000004, 0, "01.000000" + kDeg + " N"},
    {true, 1.0000006, 0, "01.000001" + kDeg + " N"},
    // The equator and the prime meridian take S and W.
    {true, 0.0, 0, "00.000000" + kDeg + " S"},
    {false, 0.0, 0, "000.000000" + kDeg + " W"},
    {false, 0.0, 2, "000" + kDeg + "00' 00.0000\" W"},
    // Codes outside 0..2 give empty texts.
    {true, 47.6062, 3, ""},
    {false, 47.6062, -1, ""},
    {true, 47.6062, 32767, ""},
};

TEST(GeoPositionFormat, ExampleTable) {
  for (const FormatCase& c : kFormatCases) {
    GeoPosition p;
    (c.is_latitude ? p.latitude : p.longitude) = Variant::R8(c.value);
    EXPECT_EQ(FormatOne(p, c.is_latitude, c.code), c.text) << c;
  }
}

// A real receiver's fields, read and written back, give the same last digit
// on every processor. 42.34917 minutes are 0.7058195 degrees, a tie at the
// seventh place: with a multiply and an add fused (GCC does so by default
// where there is FMA, as on arm64) the longitude came out as 005.705819.
TEST(GeoPositionFormat, ReadAndWrittenAlikeOnEveryProcessor) {
  GeoPosition p;
  ASSERT_TRUE(p.ParseLatLon("5250.53814", "N", "00542.34917", "E"));
  EXPECT_EQ(FormatOne(p, true, 0), "52.842302" + kDeg + " N");
  EXPECT_EQ(FormatOne(p, false, 0), "005.705820" + kDeg + " E");
}

TEST(GeoPositionFormat, EmptyCoordinatesGiveEmptyTextInEveryCode) {
  GeoPosition p;
  for (std::int16_t code : {0, 1, 2, 7}) {
    std::string lat = "x", lon = "x";
    FormatLatLon(p, code, &lat, &lon);
    EXPECT_EQ(lat, "") << code;
    EXPECT_EQ(lon, "") << code;
  }
  p.latitude = Variant::R8(1.5);
  std::string lat, lon;
  FormatLatLon(p, 0, &lat, &lon);
  EXPECT_EQ(lat, "01.500000" + kDeg + " N");
  EXPECT_EQ(lon, "");
}

TEST(GeoPositionFormat, CustomAndEmptyLabels) {
  GeoPosition p;
  p.latitude = Variant::R8(47.6062);
  p.longitude = Variant::R8(-2.35);
  p.deg_label = "";
  std::string lat, lon;
  FormatLatLon(p, 0, &lat, &lon);
  EXPECT_EQ(lat, "47.606200 N");
  EXPECT_EQ(lon, "002.350000 W");
  p.deg_label = "d";
  p.min_label = "m";
  p.sec_label = "s";
  FormatLatLon(p, 2, &lat, &lon);
  EXPECT_EQ(lat, "47d36m22.3200s N");
  EXPECT_EQ(lon, "002d21m00.0000s W");
  FormatLatLon(p, 1, &lat, &lon);
  EXPECT_EQ(lat, "47d36.37200m N");
  // Labels are never widened to a field width.
  p.deg_label = "<deg>";
  FormatLatLon(p, 1, &lat, &lon);
  EXPECT_EQ(lat, "47<deg>36.37200m N");
}

TEST(GeoPositionFormat, HugeAndNonFiniteValuesDoNotCrash) {
  GeoPosition p;
  p.latitude = Variant::R8(1e300);
  p.longitude = Variant::R8(-INFINITY);
  for (std::int16_t code : {0, 1, 2}) {
    std::string lat, lon;
    FormatLatLon(p, code, &lat, &lon);
    EXPECT_EQ(lat.substr(0, 4), "1000") << code;
    EXPECT_EQ(lat.substr(lat.size() - 2), " N") << code;
    EXPECT_EQ(lon.substr(lon.size() - 2), " W") << code;
  }
}

TEST(GeoPositionFormat, IndependentOfTheProcessLocale) {
  const testing::CommaLocale locale;
  const char* const chosen = locale.name();
  if (chosen == nullptr) {
    GTEST_SKIP() << "NO COMMA LOCALE INSTALLED (tried de_DE/fr_FR): locale independence untested";
  }
  GeoPosition p;
  p.latitude = Variant::R8(47.6062);
  p.longitude = Variant::R8(-1234.5);
  std::string lat, lon;
  FormatLatLon(p, 0, &lat, &lon);
  std::string lat2;
  FormatLatLon(p, 2, &lat2, nullptr);
  EXPECT_EQ(lat, "47.606200" + kDeg + " N") << chosen;
  EXPECT_EQ(lon, "1234.500000" + kDeg + " W") << chosen;
  EXPECT_EQ(lat2, "47" + kDeg + "36' 22.3200\" N") << chosen;
}

}  // namespace
}  // namespace orvane
