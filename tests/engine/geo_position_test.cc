#include "engine/geo_position.h"

#include <gtest/gtest.h>

#include <string>

#include "support/position_cases.h"

namespace orvane {
namespace {

using tables::PositionCase;
using tables::PositionCases;
using tables::PositionNear;

// The degree sign of the control's code page and the default label's space.
const std::string kDeg = "\xB0 ";

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

TEST(GeoPositionParse, LatLonRules) {
  for (const PositionCase& c : PositionCases()) {
    GeoPosition p;
    p.latitude = Variant::R8(1.0);
    p.longitude = Variant::R8(2.0);
    p.altitude = Variant::R8(7.0);
    EXPECT_EQ(p.ParseLatLon(c.lat, c.lat_h, c.lon, c.lon_h), c.ok) << c;
    EXPECT_TRUE(PositionNear(p.latitude, c.latitude)) << c << " latitude";
    EXPECT_TRUE(PositionNear(p.longitude, c.longitude)) << c << " longitude";
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
