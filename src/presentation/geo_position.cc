#include "presentation/geo_position.h"

#include <charconv>
#include <cmath>

#include "presentation/units.h"

namespace orvane {
namespace {

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
    default: return out;
  }
  out += ' ';
  out += signed_value > 0 ? positive : negative;
  return out;
}

}  // namespace

void FormatLatLon(const GeoPosition& p, std::int16_t code, std::string* latitude_text,
                  std::string* longitude_text) {
  if (latitude_text) *latitude_text = FormatCoordinate(p, p.latitude, code, 2, 'N', 'S');
  if (longitude_text) *longitude_text = FormatCoordinate(p, p.longitude, code, 3, 'E', 'W');
}

}  // namespace orvane
