// One decoded position: three labels and three values (VT_R8 when known, VT_EMPTY when
// not).
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "automation/variant.h"

namespace orvane {

class ValueFormat;

// Nothing derives from it: a position is a value, copied with every update.
class GeoPosition {
 public:
  GeoPosition();
  // Copying copies labels and values; assignment copies the values only, so
  // a stored position keeps its labels through every update. This asymmetry
  // is the control's published rule, not an accident: keep it.
  GeoPosition(const GeoPosition& other);
  GeoPosition& operator=(const GeoPosition& other);
  ~GeoPosition();

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

// The text of the last position formatted for an event, kept with what it
// came from: RMC, GGA and GLL of one fix, or a destination every RMB
// repeats, are formatted once and copied after.
class PositionTextCache {
 public:
  // Latitude and longitude as LatLonText gives them, as Ansi text values.
  void Format(const ValueFormat& format, const GeoPosition& p, Variant* latitude,
              Variant* longitude);

 private:
  std::mutex mutex_;  // events are built on one thread, but nothing relies on it
  std::int32_t key_ = -1;
  GeoPosition formatted_;  // values and labels
  Variant latitude_;
  Variant longitude_;
};

}  // namespace orvane
