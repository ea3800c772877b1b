#include "presentation/settings.h"

#include "presentation/geo_position.h"
#include "presentation/units.h"

namespace orvane {

void Settings::LatLonText(const GeoPosition& p, std::string* latitude,
                          std::string* longitude) const {
  FormatLatLon(p, LatLonFormat(), latitude, longitude);
}

Variant Settings::Speed(const Variant& knots) const { return ConvertSpeed(knots, SpeedUnits()); }

Variant Settings::Distance(const Variant& nautical_miles) const {
  return ConvertDistance(nautical_miles, DistUnits());
}

Variant Settings::Altitude(const Variant& metres) const {
  return ConvertAltitude(metres, AltitudeUnits());
}

Variant Settings::GeoidHeight(const Variant& metres) const {
  return ConvertGeoidHeight(metres, AltitudeUnits());
}

}  // namespace orvane
