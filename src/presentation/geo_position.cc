#include "presentation/geo_position.h"

#include "presentation/units.h"

#include <charconv>
#include <cmath>

#include "engine/numbers.h"

namespace orvane {
namespace {

// The double nearest to 1/60; dividing by 60 would round differently.
constexpr double kMinutesToDegrees = 0.016666666666666666;

// Appends `value` in fixed notation with `decimals` decimals, rounded to
// nearest, padded on the left with '0' to at least `width` characters.
// to_chars never consults the locale, so the point stays '.'.
void AppendFixed(std::string& out, double value, int decimals, std::size_t width) {
  char buf[400];  // the largest double in fixed notation has 309 digits
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  if (ec != std::errc()) return;
  const std::size_t len = static_cast<std::size_t>(end - buf);
  if (len < width) out.append(width - len, '0');
  out.append(buf, len);
}

// One coordinate; `degree_width` is 2 for latitudes, 3 for longitudes.
std::string FormatCoordinate(const GeoPosition& p, const Variant& coordinate, std::int16_t code,
                             std::size_t degree_width, char positive, char negative) {
  std::string out;
  if (coordinate.is_empty()) return out;
  const double signed_value = StoredDouble(coordinate);
  const double a = std::fabs(signed_value);
  // The whole degrees stay a double: an integer cast of a huge value would be
  // undefined, and the text of a whole double is the same.
  const double d = std::floor(a);
  switch (code) {
    case 0:
      AppendFixed(out, a, 6, degree_width + 7);
      out += p.deg_label;
      break;
    case 1: {
      AppendFixed(out, d, 0, degree_width);
      out += p.deg_label;
      AppendFixed(out, std::fabs((a - d) * 60.0), 5, 8);
      out += p.min_label;
      break;
    }
    case 2: {
      AppendFixed(out, d, 0, degree_width);
      out += p.deg_label;
      const double mf = std::fabs((a - d) * 60.0);
      const double mi = std::trunc(mf);
      AppendFixed(out, mi, 0, 2);
      out += p.min_label;
      AppendFixed(out, std::fabs((mf - mi) * 60.0), 4, 7);
      out += p.sec_label;
      break;
    }
    default:
      return out;
  }
  out += ' ';
  out += signed_value > 0 ? positive : negative;
  return out;
}

// Reads one NMEA coordinate (d..dmm.mmmm plus hemisphere letter) into *out.
// False when malformed.
bool ParseCoordinate(std::string_view text, std::string_view hemisphere, char positive,
                     char negative, double* out) {
  const std::size_t p = text.find('.');
  if (p == std::string_view::npos || p < 2) return false;
  double value = ReadDouble(text.substr(0, p - 2)) + ReadDouble(text.substr(p - 2)) * kMinutesToDegrees;
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

void GeoPosition::Format(std::int16_t code, std::string* latitude_text,
                         std::string* longitude_text) const {
  if (latitude_text) *latitude_text = FormatCoordinate(*this, latitude, code, 2, 'N', 'S');
  if (longitude_text) *longitude_text = FormatCoordinate(*this, longitude, code, 3, 'E', 'W');
}

bool GeoPosition::ParseLatLon(std::string_view lat, std::string_view lat_hemisphere,
                              std::string_view lon, std::string_view lon_hemisphere) {
  if (lat.empty() || lat_hemisphere.empty()) {
    latitude = Variant();
  } else {
    double value = 0.0;
    if (!ParseCoordinate(lat, lat_hemisphere, 'N', 'S', &value)) return false;
    latitude = Variant::R8(value);
  }
  if (lon.empty() || lon_hemisphere.empty()) {
    longitude = Variant();
  } else {
    double value = 0.0;
    if (!ParseCoordinate(lon, lon_hemisphere, 'E', 'W', &value)) return false;
    longitude = Variant::R8(value);
  }
  return true;
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

}  // namespace orvane
