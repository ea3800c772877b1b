#include "presentation/units.h"

#include "automation/coerce.h"

namespace orvane {

// Stored quantities are VT_R8 or VT_EMPTY; the other numeric types are read
// for completeness, anything else counts as 0.0 like an empty value.
double StoredDouble(const Variant& v) { return ScalarNumber(v).value_or(0.0); }

namespace {

// factor 0 means the code keeps the stored unit.
Variant Scale(const Variant& stored, double factor) {
  if (factor == 0.0) return stored;
  return Variant::R8(StoredDouble(stored) * factor);
}

}  // namespace

Variant ConvertSpeed(const Variant& knots, std::int16_t speed_units) {
  switch (speed_units) {
    case 0:
      return Scale(knots, kKnotsToMph);
    case 1:
      return Scale(knots, kKnotsToKmh);
    default:
      return knots;
  }
}

Variant ConvertDistance(const Variant& nautical_miles, std::int16_t dist_units) {
  switch (dist_units) {
    case 0:
      return Scale(nautical_miles, kNmToMetres);
    case 1:
      return Scale(nautical_miles, kNmToFeet);
    case 2:
      return Scale(nautical_miles, kNmToStatuteMiles);
    default:
      return nautical_miles;
  }
}

Variant ConvertGeoidHeight(const Variant& metres, std::int16_t altitude_units) {
  return altitude_units == 1 ? Scale(metres, kMetresToFeet) : metres;
}

Variant ConvertAltitude(const Variant& metres, std::int16_t altitude_units) {
  if (metres.is_empty()) return Variant();
  if (altitude_units == 1) return Variant::R8(StoredDouble(metres) * kMetresToFeet);
  return Variant::R8(StoredDouble(metres));
}

}  // namespace orvane
