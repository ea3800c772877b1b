// One decoded position: three labels and three values (VT_R8 when known, VT_EMPTY when
// not). Copying copies labels and values; assignment copies the values only,
// so a stored position keeps its labels through every update.
#pragma once

#include <string>
#include <string_view>

#include "automation/variant.h"

namespace orvane {

class GeoPosition {
 public:
  GeoPosition();
  GeoPosition(const GeoPosition& other);
  GeoPosition& operator=(const GeoPosition& other);
  virtual ~GeoPosition();

  // Narrow text in the ANSI code page (Windows-1252).
  std::string sec_label;
  std::string min_label;
  std::string deg_label;
  Variant altitude;   // metres
  Variant longitude;  // signed decimal degrees, west negative
  Variant latitude;   // signed decimal degrees, south negative

  // NMEA ddmm.mmmm / dddmm.mmmm fields. False when a field is malformed; the
  // position then holds what was completed before the fault.
  bool ParseLatLon(std::string_view lat, std::string_view lat_hemisphere, std::string_view lon,
                   std::string_view lon_hemisphere);
  bool ParseLatLonAlt(std::string_view lat, std::string_view lat_hemisphere, std::string_view lon,
                      std::string_view lon_hemisphere, std::string_view altitude_text,
                      std::string_view altitude_unit);
};

}  // namespace orvane
