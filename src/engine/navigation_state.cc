#include "engine/navigation_state.h"

#include <new>
#include <string_view>
#include <utility>

#include "automation/codepage.h"
#include "automation/coerce.h"
#include "automation/variant.h"
#include "engine/numbers.h"

namespace orvane {
namespace {

// Handlers never fail: a text that cannot be allocated is stored as empty.
Variant AnsiOrEmpty(std::string_view bytes) {
  try {
    return Variant::Ansi(bytes);
  } catch (const std::bad_alloc&) {
    return Variant();
  }
}

Variant OptionalAnsi(std::string_view field) {
  return field.empty() ? Variant() : AnsiOrEmpty(field);
}

// The text as received and its number, which changes only with it.
void StoreBearing(Variant& slot, std::optional<double>& degrees, bool given,
                  std::string_view field) {
  if (!given) {
    slot.Clear();
    degrees.reset();
  } else if (!HoldsAnsi(slot, field)) {
    slot = AnsiOrEmpty(field);
    degrees = slot.is_empty() ? std::nullopt : ReadLeadingNumber(field);
  }
}

void StoreIdentifierIfGiven(Variant& slot, std::string_view field) {
  if (field.empty() || HoldsAnsi(slot, field)) return;
  Variant text = AnsiOrEmpty(field);
  if (!text.is_empty()) slot = std::move(text);
}

Variant OptionalR8(std::string_view field) {
  return field.empty() ? Variant() : Variant::R8(ReadDouble(field));
}

}  // namespace

// Both coordinates as text; empty strings for an unknown coordinate or a
// format code without a text form.
void NavigationState::FormatPosition(const GeoPosition& position, Variant* latitude,
                                     Variant* longitude) const {
  std::string lat_text;
  std::string lon_text;
  format_.LatLonText(position, &lat_text, &lon_text);
  Variant lat = Variant::Ansi(lat_text);
  Variant lon = Variant::Ansi(lon_text);
  *latitude = std::move(lat);
  *longitude = std::move(lon);
}

NavigationState::NavigationState(const ValueFormat& format)
    : format_(format), arrived_at_dest_(Variant::Bool(false)), route_array_(Variant::Array({})) {}
NavigationState::~NavigationState() = default;

// $GPRMB,A,0.66,L,003,004,4917.24,N,12309.57,W,001.3,052.5,000.5,V
//   1 status, 2 cross-track error (nmi), 3 direction to steer L/R, 4 origin,
//   5 destination, 6-9 destination lat/N/lon/W, 10 range (nmi), 11 true
//   bearing, 12 closing velocity (knots), 13 arrival A/V
void NavigationState::ParseRmb(const SentenceFields& f) {
  std::string_view cross_track = Field(f, 2);
  std::string_view steer = Field(f, 3);
  // "0.66 L": with no field that long it fits the string's own buffer.
  std::string cross_track_text;
  const bool has_cross_track = !cross_track.empty() && steer.size() == 1;
  if (has_cross_track) {
    try {
      cross_track_text.reserve(cross_track.size() + 2);
      cross_track_text.append(cross_track).append(1, ' ').append(steer);
    } catch (const std::bad_alloc&) {
      cross_track_text.clear();  // stored as empty
    }
  }
  const std::string_view origin = Field(f, 4);
  const std::string_view destination = Field(f, 5);
  Variant range = OptionalR8(Field(f, 10));
  Variant bearing = OptionalR8(Field(f, 11));
  Variant velocity = OptionalR8(Field(f, 12));

  Variant arrived = Variant::Bool(false);
  std::string_view arrival = Field(f, 13);
  if (arrival.size() == 1) {
    if (arrival == "A" || arrival == "a") {
      arrived = Variant::Bool(true);
    } else if (arrival != "V" && arrival != "v") {
      arrived = Variant();
    }
  }

  std::lock_guard<std::mutex> lock(mutex_);
  // A malformed latitude leaves both coordinates as they were; a malformed
  // longitude keeps the new latitude. ParseLatLon leaves exactly that behind.
  GeoPosition position(destination_position_);
  position.ParseLatLon(Field(f, 6), Field(f, 7), Field(f, 8), Field(f, 9));

  // Texts are converted only when they changed; building one under the lock
  // cannot throw (a failed allocation stores it as empty).
  if (!has_cross_track || cross_track_text.empty()) {
    cross_track_error_.Clear();
    cross_track_ = {};
  } else if (!HoldsAnsi(cross_track_error_, cross_track_text)) {
    cross_track_error_ = AnsiOrEmpty(cross_track_text);
    cross_track_ = {};
    if (!cross_track_error_.is_empty()) {
      cross_track_.value = ReadNumberBeforeLetter(cross_track, steer[0]);
      if (cross_track_.value) cross_track_.letter = steer[0];
    }
  }
  if (!HoldsOptionalAnsi(origin_wpt_id_, origin)) origin_wpt_id_ = OptionalAnsi(origin);
  if (!HoldsOptionalAnsi(dest_wpt_id_, destination)) dest_wpt_id_ = OptionalAnsi(destination);
  destination_position_ = position;
  range_to_dest_ = std::move(range);
  true_bearing_to_dest_ = std::move(bearing);
  dest_closing_velocity_ = std::move(velocity);
  arrived_at_dest_ = std::move(arrived);
}

// $GPBOD,097.0,T,103.2,M,POINTB,POINTA
//   1 true bearing, 2 T, 3 magnetic bearing, 4 M, 5 destination, 6 origin
void NavigationState::ParseBod(const SentenceFields& f) {
  std::string_view true_letter = Field(f, 2);
  std::string_view mag_letter = Field(f, 4);
  const bool has_true = true_letter == "T" || true_letter == "t";
  const bool has_mag = mag_letter == "M" || mag_letter == "m";
  const std::string_view destination = Field(f, 5);
  const std::string_view origin = Field(f, 6);

  std::lock_guard<std::mutex> lock(mutex_);
  // Kept as received: the text keeps leading zeros. Converted only when it
  // changed, which cannot throw (see ParseRmb).
  StoreBearing(orig_to_dest_true_bearing_, orig_to_dest_true_degrees_, has_true, Field(f, 1));
  StoreBearing(orig_to_dest_mag_bearing_, orig_to_dest_mag_degrees_, has_mag, Field(f, 3));
  // An empty identifier keeps what the last RMB said (so does one that
  // cannot be allocated).
  StoreIdentifierIfGiven(origin_wpt_id_, origin);
  StoreIdentifierIfGiven(dest_wpt_id_, destination);
}

// $GPRTE,2,1,c,0,W3IWI,DRIVWY,32CEDR,32-29,32BKLD,32-I95,32-US1,BW-32,BW-198
//   1 sentences in group, 2 this sentence, 3 c complete / w working route,
//   4 route identifier, 5-13 waypoint identifiers in route order
void NavigationState::ParseRte(const SentenceFields& f) {
  Variant contains_all;
  std::string_view mode = Field(f, 3);
  if (mode == "c" || mode == "C") {
    contains_all = Variant::Bool(true);
  } else if (mode == "w" || mode == "W") {
    contains_all = Variant::Bool(false);
  }
  Variant name = OptionalAnsi(Field(f, 4));
  std::string_view total = Field(f, 1);
  std::string_view number = Field(f, 2);

  std::lock_guard<std::mutex> lock(mutex_);
  if (number.empty() || ReadInt(number) == 1) StartRouteLocked();
  AddRouteIdsLocked(f);
  route_name_ = std::move(name);
  route_contains_all_wpts_ = std::move(contains_all);
  if (ReadInt(total) == ReadInt(number)) PublishRouteLocked();
}

void NavigationState::StartRouteLocked() {
  // The waypoints heard since the last route start become readable only
  // when there are as many as the published route has identifiers.
  PendingTable& pending = pending_waypoint_table_;
  if (!pending.overflowed && pending.table.size() == route_waypoints_.size()) {
    waypoint_table_ = std::move(pending.table);
  }
  pending.table.clear();
  pending.bytes = 0;
  pending.overflowed = false;
  pending_route_waypoints_.names.clear();
  pending_route_waypoints_.bytes = 0;
}

void NavigationState::AddRouteIdsLocked(const SentenceFields& f) {
  PendingRoute& route = pending_route_waypoints_;
  for (std::size_t i = 5; i <= 13; ++i) {
    std::string_view id = Field(f, i);
    if (id.empty()) continue;
    if (route.names.size() >= kMaxRouteWaypoints ||
        route.bytes + id.size() > kMaxPendingNameBytes) {
      break;
    }
    try {
      route.names.emplace_back(id);
      route.bytes += id.size();
    } catch (const std::bad_alloc&) {
      break;
    }
  }
}

// The route's array is built here, once per route, not per event or read.
void NavigationState::PublishRouteLocked() {
  if (pending_route_waypoints_.names == route_waypoints_) return;
  try {
    std::vector<std::string> published = pending_route_waypoints_.names;
    std::vector<Variant> elements;
    elements.reserve(published.size());
    for (const std::string& id : published) elements.push_back(Variant::Ansi(id));
    Variant array = Variant::Array(std::move(elements));
    route_waypoints_ = std::move(published);
    route_array_ = std::move(array);
  } catch (const std::bad_alloc&) {
    // The previous route stays published.
  }
}

// $GPWPL,4917.16,N,12310.64,W,003
//   1-4 latitude/N/longitude/W, 5 waypoint name
void NavigationState::ParseWpl(const SentenceFields& f) {
  std::string_view name = Field(f, 5);
  if (name.empty()) return;
  GeoPosition position;
  if (!position.ParseLatLon(Field(f, 1), Field(f, 2), Field(f, 3), Field(f, 4))) return;

  std::lock_guard<std::mutex> lock(mutex_);
  PendingTable& pending = pending_waypoint_table_;
  auto it = pending.table.find(name);
  if (it != pending.table.end()) {
    it->second = position;
    return;
  }
  if (pending.overflowed) return;
  if (pending.table.size() >= kMaxPendingWaypoints ||
      pending.bytes + name.size() > kMaxPendingNameBytes) {
    pending.overflowed = true;
    return;
  }
  try {
    pending.table.emplace(std::string(name), position);
    pending.bytes += name.size();
  } catch (const std::bad_alloc&) {
    // A waypoint missing from the table keeps it from being published, as a
    // lost sentence would.
  }
}

Variant NavigationState::CrossTrackError() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return cross_track_error_;
}

Variant NavigationState::OriginWptID() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return origin_wpt_id_;
}

Variant NavigationState::DestWptID() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dest_wpt_id_;
}

Variant NavigationState::DestWptLatitude() const {
  Variant latitude;
  Variant longitude;
  std::lock_guard<std::mutex> lock(mutex_);
  FormatPosition(destination_position_, &latitude, &longitude);
  return latitude;
}

Variant NavigationState::DestWptLongitude() const {
  Variant latitude;
  Variant longitude;
  std::lock_guard<std::mutex> lock(mutex_);
  FormatPosition(destination_position_, &latitude, &longitude);
  return longitude;
}

Variant NavigationState::RangeToDest() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return format_.Distance(range_to_dest_);
}

Variant NavigationState::TrueBearingToDest() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return true_bearing_to_dest_;
}

Variant NavigationState::DestClosingVelocity() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return format_.Speed(dest_closing_velocity_);
}

Variant NavigationState::OrigToDestTrueBearing() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return orig_to_dest_true_bearing_;
}

Variant NavigationState::OrigToDestMagBearing() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return orig_to_dest_mag_bearing_;
}

Variant NavigationState::ArrivedAtDest() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return arrived_at_dest_;
}

Variant NavigationState::RouteName() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return route_name_;
}

Variant NavigationState::RouteContainsAllWpts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return route_contains_all_wpts_;
}

Variant NavigationState::WptsInRouteLocked() const { return route_array_; }

Variant NavigationState::WptsInRoute() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return WptsInRouteLocked();
}

HRESULT NavigationState::GetWptLocation(const Variant& name, Variant* latitude,
                                        Variant* longitude) const {
  if (latitude == nullptr || longitude == nullptr) return E_POINTER;
  try {
    Variant text;
    if (name.vt() != VT_BSTR) {
      HRESULT hr = ChangeType(name, VT_BSTR, &text);
      if (FAILED(hr)) return hr;
    }
    std::string key = Utf16ToAnsi(name.vt() == VT_BSTR ? name.bstr() : text.bstr());
    Variant lat = Variant::Ansi("");
    Variant lon = Variant::Ansi("");
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto it = waypoint_table_.find(key);
      if (it != waypoint_table_.end()) {
        FormatPosition(it->second, &lat, &lon);
      }
    }
    *latitude = std::move(lat);
    *longitude = std::move(lon);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace orvane
