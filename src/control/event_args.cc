#include "control/event_args.h"

#include <mutex>
#include <new>
#include <string>

#include "engine/fix_state.h"
#include "engine/navigation_state.h"
#include "engine/satellite_state.h"

namespace orvane {

FixUpdateArgs EventArgs::Of(const FixState& fix) {
  FixUpdateArgs args;
  Variant speed;
  std::unique_lock<std::mutex> lock(fix.mutex_);
  const GeoPosition position(fix.position_);  // copy construction: labels too
  args[0] = fix.fix_good_;
  args[1] = fix.fix_date_time_;
  speed = fix.speed_;
  args[6] = fix.true_course_;
  lock.unlock();
  fix.event_text_.Format(fix.format_, position, &args[2], &args[3]);
  args[4] = fix.format_.Altitude(position.altitude);
  args[5] = fix.format_.Speed(speed);
  return args;
}

NavUpdateArgs EventArgs::Of(const NavigationState& navigation) {
  NavUpdateArgs args;
  const NavigationState& n = navigation;
  std::lock_guard<std::mutex> lock(n.mutex_);
  try {
    args[0] = n.origin_wpt_id_;
    args[1] = n.dest_wpt_id_;
    n.event_text_.Format(n.format_, n.destination_position_, &args[2], &args[3]);
    args[4] = n.true_bearing_to_dest_;
    args[5] = n.format_.Distance(n.range_to_dest_);
    args[6] = n.cross_track_error_;
    args[7] = n.format_.Speed(n.dest_closing_velocity_);
    args[8] = n.arrived_at_dest_;
    args[9] = n.route_name_;
    args[10] = n.WptsInRouteLocked();
  } catch (const std::bad_alloc&) {
    // The reader thread goes on; the values that could not be built stay empty.
  }
  return args;
}

SatelliteUpdateArgs EventArgs::Of(const SatelliteState& satellites) {
  SatelliteUpdateArgs args;
  const SatelliteState& s = satellites;
  std::lock_guard<std::mutex> lock(s.mutex_);
  args[0] = s.automatic_operation_;
  args[1] = s.operation_mode_;
  args[2] = s.num_satellites_in_view_;
  args[3] = s.hdop_;
  args[4] = s.pdop_;
  args[5] = s.vdop_;
  try {
    args[6] = SatelliteState::PrnArray(s.fix_satellite_prns_);
    args[7] = SatelliteState::PrnArray(s.satellite_in_view_);
  } catch (const std::bad_alloc&) {
    // Sinks then see empty lists rather than the reader thread failing.
    args[6] = Variant::Array({});
    args[7] = Variant::Array({});
  }
  return args;
}

}  // namespace orvane
