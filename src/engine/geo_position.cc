#include "engine/geo_position.h"

#include <cmath>
#include <cstring>

#include "engine/numbers.h"
#include "engine/value_format.h"

namespace orvane {
namespace {

// The double nearest to 1/60; dividing by 60 would round differently.
constexpr double kMinutesToDegrees = 0.016666666666666666;

// Reads one NMEA coordinate (d..dmm.mmmm plus hemisphere letter) into *out.
// False when malformed.
bool ParseCoordinate(std::string_view text, std::string_view hemisphere, char positive,
                     char negative, double* out) {
  double degrees = 0.0, minutes = 0.0;
  if (!ReadDegreesMinutes(text, &degrees, &minutes)) return false;
  double value = degrees + minutes * kMinutesToDegrees;
  // "inf", "nan" and overflowing digits read as numbers; no place on earth.
  if (!std::isfinite(value) || value < 0) return false;
  if (hemisphere.size() != 1) return false;
  const char h = hemisphere[0];
  if (h == negative || h == negative + ('a' - 'A')) {
    value = -value;
  } else if (h != positive && h != positive + ('a' - 'A')) {
    return false;
  }
  *out = value;
  return true;
}

// One coordinate field pair into *out: empty when either field is; false,
// leaving *out alone, when malformed.
bool ParseAxis(std::string_view text, std::string_view hemisphere, char positive, char negative,
               Variant* out) {
  if (text.empty() || hemisphere.empty()) {
    *out = Variant();
    return true;
  }
  double value = 0.0;
  if (!ParseCoordinate(text, hemisphere, positive, negative, &value)) return false;
  *out = Variant::R8(value);
  return true;
}

}  // namespace

GeoPosition::GeoPosition() : sec_label("\""), min_label("' "), deg_label("\xB0 ") {}

GeoPosition::GeoPosition(const GeoPosition& other) = default;

GeoPosition& GeoPosition::operator=(const GeoPosition& other) {
  altitude = other.altitude;
  longitude = other.longitude;
  latitude = other.latitude;
  return *this;
}

GeoPosition::~GeoPosition() = default;

bool GeoPosition::ParseLatLon(std::string_view lat, std::string_view lat_hemisphere,
                              std::string_view lon, std::string_view lon_hemisphere) {
  return ParseAxis(lat, lat_hemisphere, 'N', 'S', &latitude) &&
         ParseAxis(lon, lon_hemisphere, 'E', 'W', &longitude);
}

bool GeoPosition::ParseLatLonAlt(std::string_view lat, std::string_view lat_hemisphere,
                                 std::string_view lon, std::string_view lon_hemisphere,
                                 std::string_view altitude_text, std::string_view altitude_unit) {
  if (altitude_text.empty()) {
    altitude = Variant();
  } else {
    if (altitude_unit != "M" && altitude_unit != "m") return false;
    altitude = Variant::R8(ReadDouble(altitude_text));
  }
  return ParseLatLon(lat, lat_hemisphere, lon, lon_hemisphere);
}

namespace {

// Bit for bit, so that -0.0 and 0.0 (which may print apart) differ.
bool SameValue(const Variant& a, const Variant& b) {
  if (a.vt() != b.vt()) return false;
  if (a.vt() != VT_R8) return a.is_empty();
  const double x = a.r8(), y = b.r8();
  return std::memcmp(&x, &y, sizeof x) == 0;
}

}  // namespace

void PositionTextCache::Format(const ValueFormat& format, const GeoPosition& p, Variant* latitude,
                               Variant* longitude) {
  const std::int32_t key = format.LatLonFormatKey();
  std::lock_guard<std::mutex> lock(mutex_);
  const bool same = key >= 0 && key == key_ && SameValue(p.latitude, formatted_.latitude) &&
                    SameValue(p.longitude, formatted_.longitude) &&
                    p.deg_label == formatted_.deg_label && p.min_label == formatted_.min_label &&
                    p.sec_label == formatted_.sec_label;
  if (!same) {
    std::string lat_text, lon_text;
    format.LatLonText(p, &lat_text, &lon_text);
    Variant lat = Variant::Ansi(lat_text);
    Variant lon = Variant::Ansi(lon_text);
    key_ = -1;  // until every part is stored: copying a label may throw
    formatted_ = p;
    formatted_.deg_label = p.deg_label;
    formatted_.min_label = p.min_label;
    formatted_.sec_label = p.sec_label;
    latitude_ = std::move(lat);
    longitude_ = std::move(lon);
    // A format put while this text was made may or may not be in it.
    key_ = format.LatLonFormatKey() == key ? key : -1;
  }
  *latitude = latitude_;
  *longitude = longitude_;
}

}  // namespace orvane
