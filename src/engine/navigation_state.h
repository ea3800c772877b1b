// Navigation to the active waypoint (RMB, BOD), the route (RTE) and the
// waypoints (WPL).
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "automation/variant.h"
#include "engine/geo_position.h"
#include "engine/sentence.h"
#include "engine/value_format.h"

namespace orvane {

// Waypoint name (exact bytes, case-sensitive) to its location; the positions
// keep the default labels.
using WaypointTable = std::map<std::string, GeoPosition, std::less<>>;

class NavigationState final {
 public:
  // Receivers hold routes of a few hundred waypoints at most. Identifiers
  // past this count (or past kMaxPendingNameBytes of identifier text) are
  // dropped until the next route start, so a stream that never starts a new
  // route cannot grow the pending route without end.
  static constexpr std::size_t kMaxRouteWaypoints = 4096;
  // WPL names collected before the next route start. A new name beyond this
  // count or byte total marks the pending table as overflowed: new names are
  // then ignored and the table is discarded, never published, at the next
  // route start (a route can hold no more identifiers than this anyway).
  static constexpr std::size_t kMaxPendingWaypoints = 4096;
  static constexpr std::size_t kMaxPendingNameBytes = 1024 * 1024;

  explicit NavigationState(const ValueFormat& format);
  ~NavigationState();

  // Fields are the normalized SentenceFields: element 0 the identifier.
  void ParseRmb(const SentenceFields& f);
  void ParseBod(const SentenceFields& f);
  void ParseRte(const SentenceFields& f);
  void ParseWpl(const SentenceFields& f);

  // Property reads with the current settings applied: fresh values the
  // caller owns.
  Variant CrossTrackError() const;
  Variant OriginWptID() const;
  Variant DestWptID() const;
  Variant DestWptLatitude() const;   // VT_BSTR, maybe empty
  Variant DestWptLongitude() const;  // VT_BSTR, maybe empty
  Variant RangeToDest() const;       // in DistUnits
  Variant TrueBearingToDest() const;
  Variant DestClosingVelocity() const;  // in SpeedUnits
  Variant OrigToDestTrueBearing() const;
  Variant OrigToDestMagBearing() const;
  Variant ArrivedAtDest() const;
  Variant RouteName() const;
  Variant RouteContainsAllWpts() const;
  // VT_ARRAY | VT_VARIANT of VT_BSTR, zero elements for an empty route.
  Variant WptsInRoute() const;

  // The formatted location of a published waypoint. A name that does not
  // coerce to text returns the coercion's HRESULT and writes nothing; an
  // unknown name gives two empty strings and S_OK.
  HRESULT GetWptLocation(const Variant& name, Variant* latitude, Variant* longitude) const;

  // A text "0.66 L" as a number and its letter; both none when the text
  // does not read as one.
  struct NumberAndLetter {
    std::optional<double> value;
    std::optional<char> letter;
  };
  // The stored values as they stand, for typed snapshots and event
  // parameters: valid only during Read's call.
  struct View {
    const Variant& origin_wpt_id;
    const Variant& dest_wpt_id;
    const GeoPosition& destination_position;
    const Variant& range_to_dest;  // nautical miles
    const Variant& true_bearing_to_dest;
    const Variant& cross_track_error;
    const NumberAndLetter& cross_track;    // CrossTrackError's text, typed
    const Variant& dest_closing_velocity;  // knots
    // The BOD bearings' texts, typed.
    const std::optional<double>& orig_to_dest_true_degrees;
    const std::optional<double>& orig_to_dest_mag_degrees;
    const Variant& arrived_at_dest;
    const Variant& route_name;
    const Variant& route_contains_all_wpts;
    const std::vector<std::string>& route_waypoints;  // ANSI
    const Variant& route_array;                       // WptsInRoute's value
    const WaypointTable& waypoint_table;
    const NavigationState& state;
    // The destination's latitude and longitude text for an event, cached for
    // the next event with the same destination.
    void FormatEventPosition(Variant* latitude, Variant* longitude) const {
      state.event_text_.Format(state.format_, state.destination_position_, latitude, longitude);
    }
  };
  // `read(view)` under the state's lock: every value from whole sentences.
  template <typename Fn>
  auto Read(const Fn& read) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return read(View{origin_wpt_id_, dest_wpt_id_, destination_position_, range_to_dest_,
                     true_bearing_to_dest_, cross_track_error_, cross_track_,
                     dest_closing_velocity_, orig_to_dest_true_degrees_, orig_to_dest_mag_degrees_,
                     arrived_at_dest_, route_name_, route_contains_all_wpts_, route_waypoints_,
                     route_array_, waypoint_table_, *this});
  }
  const ValueFormat& format() const { return format_; }

 private:
  // Pending identifiers or names with their byte total, for the bounds.
  struct PendingRoute {
    std::vector<std::string> names;
    std::size_t bytes = 0;
  };
  struct PendingTable {
    WaypointTable table;
    std::size_t bytes = 0;
    bool overflowed = false;
  };

  void FormatPosition(const GeoPosition& position, Variant* latitude, Variant* longitude) const;
  Variant WptsInRouteLocked() const;
  // The steps of an RTE, under the lock: a first sentence starts a route
  // (publishing the waypoints heard since the last start), each sentence
  // adds its identifiers, the last one publishes them.
  void StartRouteLocked();
  void AddRouteIdsLocked(const SentenceFields& f);
  void PublishRouteLocked();

  const ValueFormat& format_;
  mutable std::mutex mutex_;
  Variant route_contains_all_wpts_;
  Variant route_name_;
  Variant orig_to_dest_true_bearing_;
  Variant orig_to_dest_mag_bearing_;
  std::optional<double> orig_to_dest_true_degrees_;  // beside the texts, for View
  std::optional<double> orig_to_dest_mag_degrees_;
  Variant arrived_at_dest_;
  Variant dest_closing_velocity_;
  Variant true_bearing_to_dest_;
  Variant range_to_dest_;
  GeoPosition destination_position_;
  mutable PositionTextCache event_text_;  // of the destination events were last built with
  Variant dest_wpt_id_;
  Variant origin_wpt_id_;
  Variant cross_track_error_;
  NumberAndLetter cross_track_;  // beside its text, for View
  std::vector<std::string> route_waypoints_;
  Variant route_array_;  // route_waypoints_ as WptsInRoute gives them
  PendingRoute pending_route_waypoints_;
  WaypointTable waypoint_table_;
  PendingTable pending_waypoint_table_;
};

}  // namespace orvane
