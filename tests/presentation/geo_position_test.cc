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

TEST(GeoPositionCopy, CopyTakesLabelsAssignmentKeepsThem) {
  GeoPosition a;
  a.deg_label = "D";
  a.min_label = "M";
  a.sec_label = "S";
  a.latitude = Variant::R8(1.0);
  a.longitude = Variant::R8(2.0);
  a.altitude = Variant::R8(3.0);

  GeoPosition copy(a);
  EXPECT_EQ(copy.deg_label, "D");
  EXPECT_EQ(copy.min_label, "M");
  EXPECT_EQ(copy.sec_label, "S");
  EXPECT_EQ(copy.altitude, Variant::R8(3.0));

  GeoPosition target;
  target = a;
  EXPECT_EQ(target.deg_label, kDeg);
  EXPECT_EQ(target.min_label, "' ");
  EXPECT_EQ(target.sec_label, "\"");
  EXPECT_EQ(target.latitude, Variant::R8(1.0));
  EXPECT_EQ(target.longitude, Variant::R8(2.0));
  EXPECT_EQ(target.altitude, Variant::R8(3.0));
}

// ParseLatLon: each case starts from latitude 1 and longitude 2.
struct ParseCase {
  const char* lat;
  const char* lat_h;
  const char* lon;
  const char* lon_h;
  bool ok;
  Variant latitude;
  Variant longitude;
};

std::ostream& operator<<(std::ostream& os, const ParseCase& c) {
  return os << '"' << c.lat << "\",\"" << c.lat_h << "\",\"" << c.lon << "\",\"" << c.lon_h << '"';
}

void ExpectNear(const Variant& got, const Variant& want, const ParseCase& c, const char* what) {
  ASSERT_EQ(got.vt(), want.vt()) << c << ' ' << what << ": " << DebugString(got);
  if (want.vt() == VT_R8) {
    EXPECT_NEAR(got.r8(), want.r8(), 1e-9) << c << ' ' << what;
  }
}

TEST(GeoPositionParse, LatLonRules) {
  const Variant kOldLat = Variant::R8(1.0);
  const Variant kOldLon = Variant::R8(2.0);
  const Variant e;
  const ParseCase cases[] = {
      {"4916.45", "N", "12311.12", "W", true, Variant::R8(49.274166666666666),
       Variant::R8(-123.18533333333333)},
      {"4916.45", "S", "12311.12", "E", true, Variant::R8(-49.274166666666666),
       Variant::R8(123.18533333333333)},
      {"4916.45", "n", "12311.12", "w", true, Variant::R8(49.274166666666666),
       Variant::R8(-123.18533333333333)},
      {"4916.45", "s", "12311.12", "e", true, Variant::R8(-49.274166666666666),
       Variant::R8(123.18533333333333)},
      // Empty degrees count as 0; no range check on minutes or degrees.
      {"30.0", "N", "75.0", "E", true, Variant::R8(0.5), Variant::R8(1.25)},
      {"9960.0", "N", "00.0", "E", true, Variant::R8(100.0), Variant::R8(0.0)},
      // Empty field or hemisphere clears that coordinate only.
      {"", "N", "12311.12", "W", true, e, Variant::R8(-123.18533333333333)},
      {"4916.45", "", "", "W", true, e, e},
      {"4916.45", "N", "12311.12", "", true, Variant::R8(49.274166666666666), e},
      // Malformed latitude: nothing changes.
      {"4916", "N", "12311.12", "W", false, kOldLat, kOldLon},
      {"4.5", "N", "12311.12", "W", false, kOldLat, kOldLon},
      {".5", "N", "12311.12", "W", false, kOldLat, kOldLon},
      {"4916.45", "X", "12311.12", "W", false, kOldLat, kOldLon},
      {"4916.45", "NN", "12311.12", "W", false, kOldLat, kOldLon},
      {"4916.45", "E", "12311.12", "W", false, kOldLat, kOldLon},
      {"-4916.45", "N", "12311.12", "W", false, kOldLat, kOldLon},
      // Degrees that overflow a double are no place on earth.
      {"1e99900.0", "N", "12311.12", "W", false, kOldLat, kOldLon},
      {"01.0", "N", "1e99900.0", "E", false, Variant::R8(0.016666666666666666), kOldLon},
      // Malformed longitude: the new latitude stays, the longitude is kept.
      {"4916.45", "N", "12311", "W", false, Variant::R8(49.274166666666666), kOldLon},
      {"4916.45", "N", "12311.12", "N", false, Variant::R8(49.274166666666666), kOldLon},
      {"", "", "1.2", "E", false, e, kOldLon},
      // Non-numeric text reads as 0 in the manner of atof.
      {"ab.cd", "N", "xyz.w", "E", true, Variant::R8(0.0), Variant::R8(0.0)},
  };
  for (const ParseCase& c : cases) {
    GeoPosition p;
    p.latitude = kOldLat;
    p.longitude = kOldLon;
    p.altitude = Variant::R8(7.0);
    EXPECT_EQ(p.ParseLatLon(c.lat, c.lat_h, c.lon, c.lon_h), c.ok) << c;
    ExpectNear(p.latitude, c.latitude, c, "latitude");
    ExpectNear(p.longitude, c.longitude, c, "longitude");
    EXPECT_EQ(p.altitude, Variant::R8(7.0)) << c;
  }
}

TEST(GeoPositionParse, AltitudeUnitRule) {
  GeoPosition p;
  p.latitude = Variant::R8(1.0);
  p.longitude = Variant::R8(2.0);
  p.altitude = Variant::R8(3.0);
  // A unit other than M refuses the whole position.
  EXPECT_FALSE(p.ParseLatLonAlt("4916.45", "N", "12311.12", "W", "100.5", "F"));
  EXPECT_EQ(p.latitude, Variant::R8(1.0));
  EXPECT_EQ(p.longitude, Variant::R8(2.0));
  EXPECT_EQ(p.altitude, Variant::R8(3.0));
  EXPECT_FALSE(p.ParseLatLonAlt("4916.45", "N", "12311.12", "W", "100.5", ""));
  EXPECT_EQ(p.altitude, Variant::R8(3.0));

  EXPECT_TRUE(p.ParseLatLonAlt("4916.45", "N", "12311.12", "W", "100.5", "m"));
  EXPECT_EQ(p.altitude, Variant::R8(100.5));
  EXPECT_NEAR(p.latitude.r8(), 49.274166666666666, 1e-12);

  // An empty altitude needs no unit and clears the altitude.
  EXPECT_TRUE(p.ParseLatLonAlt("4916.45", "N", "12311.12", "W", "", "F"));
  EXPECT_TRUE(p.altitude.is_empty());

  // The altitude is taken before a malformed latitude ends the call.
  EXPECT_FALSE(p.ParseLatLonAlt("4916", "N", "12311.12", "W", "-12", "M"));
  EXPECT_EQ(p.altitude, Variant::R8(-12.0));
}

}  // namespace
}  // namespace orvane
