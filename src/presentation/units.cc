#include "presentation/units.h"

#include <cstddef>

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

namespace {

// Factors by unit code; a code past its table keeps the stored unit.
constexpr double kSpeedFactors[] = {kKnotsToMph, kKnotsToKmh};
constexpr double kDistanceFactors[] = {kNmToMetres, kNmToFeet, kNmToStatuteMiles};
constexpr double kHeightFactors[] = {0.0, kMetresToFeet};

template <std::size_t N>
Variant ScaleByCode(const Variant& stored, std::int16_t code, const double (&factors)[N]) {
  return code >= 0 && static_cast<std::size_t>(code) < N ? Scale(stored, factors[code]) : stored;
}

}  // namespace

Variant ConvertSpeed(const Variant& knots, std::int16_t speed_units) {
  return ScaleByCode(knots, speed_units, kSpeedFactors);
}

Variant ConvertDistance(const Variant& nautical_miles, std::int16_t dist_units) {
  return ScaleByCode(nautical_miles, dist_units, kDistanceFactors);
}

Variant ConvertGeoidHeight(const Variant& metres, std::int16_t altitude_units) {
  return ScaleByCode(metres, altitude_units, kHeightFactors);
}

Variant ConvertAltitude(const Variant& metres, std::int16_t altitude_units) {
  if (metres.is_empty()) return Variant();
  if (altitude_units == 1) return Variant::R8(StoredDouble(metres) * kMetresToFeet);
  return Variant::R8(StoredDouble(metres));
}

}  // namespace orvane
