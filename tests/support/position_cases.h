// How the latitude and longitude fields of a sentence become a position. One
// table, run against GeoPosition::ParseLatLon and through the handlers that
// call it, so a handler cannot drift from the rule.
//
// Every row starts from latitude 1 and longitude 2 (R8 1.0 and 2.0).
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <vector>

#include "automation/variant.h"

namespace orvane::tables {

struct PositionCase {
  const char* lat;
  const char* lat_h;
  const char* lon;
  const char* lon_h;
  bool ok;
  Variant latitude;
  Variant longitude;
};

inline std::ostream& operator<<(std::ostream& os, const PositionCase& c) {
  return os << '"' << c.lat << "\",\"" << c.lat_h << "\",\"" << c.lon << "\",\"" << c.lon_h << '"';
}

// Same type, and for R8 the same value within 1e-9 degrees.
inline ::testing::AssertionResult PositionNear(const Variant& got, const Variant& want) {
  if (got.vt() != want.vt() || (want.vt() == VT_R8 && !(std::abs(got.r8() - want.r8()) <= 1e-9))) {
    return ::testing::AssertionFailure()
           << "got " << DebugString(got) << ", want " << DebugString(want);
  }
  return ::testing::AssertionSuccess();
}

inline const std::vector<PositionCase>& PositionCases() {
  const Variant old_lat = Variant::R8(1.0);
  const Variant old_lon = Variant::R8(2.0);
  const Variant e;
  const Variant lat = Variant::R8(49.274166666666666);
  const Variant lon = Variant::R8(123.18533333333333);
  const Variant south = Variant::R8(-49.274166666666666);
  const Variant west = Variant::R8(-123.18533333333333);
  static const std::vector<PositionCase> cases = {
      {"4916.45", "N", "12311.12", "W", true, lat, west},
      {"4916.45", "S", "12311.12", "E", true, south, lon},
      {"4916.45", "S", "12311.12", "W", true, south, west},
      {"4916.45", "n", "12311.12", "w", true, lat, west},
      {"4916.45", "s", "12311.12", "e", true, south, lon},
      // Empty degrees count as 0; no range check on minutes or degrees.
      {"30.0", "N", "75.0", "E", true, Variant::R8(0.5), Variant::R8(1.25)},
      {"9960.0", "N", "00.0", "E", true, Variant::R8(100.0), Variant::R8(0.0)},
      // Empty field or hemisphere clears that coordinate only.
      {"", "N", "12311.12", "W", true, e, west},
      {"", "", "12311.12", "E", true, e, lon},
      {"4916.45", "", "", "W", true, e, e},
      {"4916.45", "N", "12311.12", "", true, lat, e},
      {"", "", "", "", true, e, e},
      // Malformed latitude: nothing changes.
      {"4916", "N", "12311.12", "W", false, old_lat, old_lon},
      {"4.5", "N", "12311.12", "W", false, old_lat, old_lon},
      {".5", "N", "12311.12", "W", false, old_lat, old_lon},
      {"4916.45", "X", "12311.12", "W", false, old_lat, old_lon},
      {"4916.45", "NN", "12311.12", "W", false, old_lat, old_lon},
      {"4916.45", "E", "12311.12", "W", false, old_lat, old_lon},
      {"-4916.45", "N", "12311.12", "W", false, old_lat, old_lon},
      // Degrees that overflow a double are no place on earth.
      {"1e99900.0", "N", "12311.12", "W", false, old_lat, old_lon},
      {"01.0", "N", "1e99900.0", "E", false, Variant::R8(0.016666666666666666), old_lon},
      // Malformed longitude: the new latitude stays, the longitude is kept.
      {"4916.45", "N", "12311", "W", false, lat, old_lon},
      {"4916.45", "N", "12311.12", "N", false, lat, old_lon},
      {"4916.45", "N", "12311.12", "Q", false, lat, old_lon},
      {"", "", "1.2", "E", false, e, old_lon},
      // Non-numeric text reads as 0 in the manner of atof.
      {"ab.cd", "N", "xyz.w", "E", true, Variant::R8(0.0), Variant::R8(0.0)},
  };
  return cases;
}

}  // namespace orvane::tables
