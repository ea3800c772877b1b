// Stored quantities leave the control in the host's units; stored values are
// never converted.
#pragma once

#include <cstdint>

#include "automation/variant.h"

namespace orvane {

inline constexpr double kKnotsToMph = 1.150779;
inline constexpr double kKnotsToKmh = 1.852;
inline constexpr double kNmToMetres = 1852.0;
inline constexpr double kNmToFeet = 6076.1154856;
inline constexpr double kNmToStatuteMiles = 1.1507771;
inline constexpr double kMetresToFeet = 3.2808399;

// A stored quantity as a double: VT_R8 (or another number) as it is, anything
// else, VT_EMPTY included, as 0.0.
double StoredDouble(const Variant& v);

// Speed (knots) under SpeedUnits; an empty value converts to 0.0 under a
// converting code.
Variant ConvertSpeed(const Variant& knots, std::int16_t speed_units);
// Distance (nautical miles) under DistUnits; empty converts to 0.0 likewise.
Variant ConvertDistance(const Variant& nautical_miles, std::int16_t dist_units);
// Geoid height (metres) under AltitudeUnits; empty converts to 0.0 likewise.
Variant ConvertGeoidHeight(const Variant& metres, std::int16_t altitude_units);
// Altitude (metres) under AltitudeUnits; an empty altitude stays empty.
Variant ConvertAltitude(const Variant& metres, std::int16_t altitude_units);

}  // namespace orvane
