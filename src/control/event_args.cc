#include "control/event_args.h"

#include <new>
#include <string>

#include "engine/fix_state.h"
#include "engine/navigation_state.h"
#include "engine/satellite_state.h"

namespace orvane {

FixUpdateArgs EventArgs::Of(const FixState& fix) {
  FixUpdateArgs args;
  Variant speed;
  // Copy construction: labels too. Formatted after the lock is let go.
  const GeoPosition position = fix.Read([&](const FixState::View& v) {
    args[0] = v.fix_good;
    args[1] = v.fix_date_time;
    speed = v.speed;
    args[6] = v.true_course;
    return GeoPosition(v.position);
  });
  fix.FormatEventPosition(position, &args[2], &args[3]);
  args[4] = fix.format().Altitude(position.altitude);
  args[5] = fix.format().Speed(speed);
  return args;
}

NavUpdateArgs EventArgs::Of(const NavigationState& navigation) {
  NavUpdateArgs args;
  const ValueFormat& format = navigation.format();
  navigation.Read([&](const NavigationState::View& n) {
    try {
      args[0] = n.origin_wpt_id;
      args[1] = n.dest_wpt_id;
      n.FormatEventPosition(&args[2], &args[3]);
      args[4] = n.true_bearing_to_dest;
      args[5] = format.Distance(n.range_to_dest);
      args[6] = n.cross_track_error;
      args[7] = format.Speed(n.dest_closing_velocity);
      args[8] = n.arrived_at_dest;
      args[9] = n.route_name;
      args[10] = n.route_array;
    } catch (const std::bad_alloc&) {
      // The reader thread goes on; the values that could not be built stay empty.
    }
  });
  return args;
}

SatelliteUpdateArgs EventArgs::Of(const SatelliteState& satellites) {
  SatelliteUpdateArgs args;
  satellites.Read([&](const SatelliteState::View& s) {
    args[0] = s.automatic_operation;
    args[1] = s.operation_mode;
    args[2] = s.num_satellites_in_view;
    args[3] = s.hdop;
    args[4] = s.pdop;
    args[5] = s.vdop;
    try {
      args[6] = SatelliteState::PrnArray(s.fix_satellite_prns);
      args[7] = SatelliteState::PrnArray(s.satellite_in_view);
    } catch (const std::bad_alloc&) {
      // Sinks then see empty lists rather than the reader thread failing.
      args[6] = Variant::Array({});
      args[7] = Variant::Array({});
    }
  });
  return args;
}

}  // namespace orvane
