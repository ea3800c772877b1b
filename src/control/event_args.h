// The automation events' parameters in type-library order, built from the
// engine's states with the host's formats and units applied.
#pragma once

#include <array>

#include "automation/variant.h"

namespace orvane {

class FixState;
class NavigationState;
class SatelliteState;

using FixUpdateArgs = std::array<Variant, 7>;
using NavUpdateArgs = std::array<Variant, 11>;
using SatelliteUpdateArgs = std::array<Variant, 8>;

// Each reads its state under the state's one lock, so the parameters come
// from one sentence.
struct EventArgs {
  // FixGood, FixDateTime, Latitude, Longitude, Altitude, Speed, TrueCourse.
  static FixUpdateArgs Of(const FixState& fix);
  // OriginWptID, DestWptID, DestWptLatitude, DestWptLongitude,
  // TrueBearingToDest, RangeToDest, CrossTrackError, DestClosingVelocity,
  // DestArrivalAlarm, RouteName, WptsInRoute.
  static NavUpdateArgs Of(const NavigationState& navigation);
  // AutomaticOperation, OperationMode, NumSatellitesInView, HDOP, PDOP, VDOP,
  // FixSatellitePRNs, SatelliteInViewPRNs.
  static SatelliteUpdateArgs Of(const SatelliteState& satellites);
};

}  // namespace orvane
