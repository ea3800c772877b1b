#include "control/snapshots.h"

#include <algorithm>
#include <bit>
#include <bitset>
#include <mutex>
#include <string>

#include "automation/coerce.h"
#include "automation/date.h"
#include "control/orvane_control.h"
#include "engine/gnss.h"

namespace orvane {
namespace {

std::optional<double> Number(const Variant& v) { return ScalarNumber(v); }

std::optional<int> Integer(const Variant& v) {
  if (v.vt() == VT_I2) return v.i2();
  if (v.vt() == VT_I4) return v.i4();
  return std::nullopt;
}

std::optional<bool> Boolean(const Variant& v) {
  if (v.vt() == VT_BOOL) return v.boolean();
  return std::nullopt;
}

std::optional<std::string> Text(const Variant& v) {
  if (v.vt() == VT_BSTR) return v.ToUtf8();
  return std::nullopt;
}

// The stored DATE 0.0 means no time received.
std::optional<UtcTime> Time(const Variant& v) {
  if (v.vt() != VT_DATE || v.date() == 0.0) return std::nullopt;
  const std::optional<DateParts> p = SplitDate(v.date());
  if (!p) return std::nullopt;
  using namespace std::chrono;
  return sys_days(year(p->year) / p->month / p->day) + hours(p->hour) + minutes(p->minute) +
         seconds(p->second);
}

}  // namespace

// The HDOP is read while the fix is still locked, so it is the one stored
// when that fix was (the reader stores each sentence under one lock and
// never holds two; this is the one place that nests them, fix first).
Fix SnapshotReader::ReadFix(const Receiver& receiver) {
  return receiver.fix().Read([&receiver](const FixState::View& s) {
    Fix out;
    out.good = s.fix_good.vt() == VT_BOOL && s.fix_good.boolean();
    out.time = Time(s.fix_date_time);
    out.latitude = Number(s.position.latitude);
    out.longitude = Number(s.position.longitude);
    out.altitude = Number(s.position.altitude);
    out.speed = Number(s.speed);
    out.course = Number(s.true_course);
    out.magnetic_variation = s.magnetic_variation;
    out.quality = Integer(s.fix_quality);
    out.satellites_in_fix = Integer(s.num_satellites_in_fix);
    out.geoid_height = Number(s.geoid_height);
    out.dgps_age = Integer(s.time_since_last_dgps_update);
    out.dgps_station = Integer(s.dgps_ref_station_id);
    if (std::optional<std::string> mode = Text(s.mode_indicator); mode && mode->size() == 1) {
      out.mode = mode->front();
    }
    const auto extra = [&s](FixExtra which) -> const Variant& { return s.Extra(which); };
    out.magnetic_course = Number(extra(FixExtra::kMagneticCourse));
    out.local_zone_offset = Integer(extra(FixExtra::kLocalZoneOffset));
    out.gnss_mode = Text(extra(FixExtra::kGnssMode));
    out.heading = Number(extra(FixExtra::kTrueHeading));
    out.magnetic_heading = Number(extra(FixExtra::kMagneticHeading));
    out.latitude_error = Number(extra(FixExtra::kLatitudeError));
    out.longitude_error = Number(extra(FixExtra::kLongitudeError));
    out.altitude_error = Number(extra(FixExtra::kAltitudeError));
    out.receiver_text = Text(extra(FixExtra::kReceiverText));
    out.hdop = receiver.satellites().Read(
        [](const SatelliteState::View& sat) { return Number(sat.hdop); });
    return out;
  });
}

namespace {

// The mode from GSA; else from GNS's letters or GGA's quality, 3D when an
// altitude came with the fix.
std::optional<int> EpochMode(const Satellites& sky, const Fix& fix, std::uint64_t rows) {
  const auto rows_have = [&](std::string_view type) {
    const auto all = Receiver::Sentences();
    for (std::size_t i = 0; i < all.size(); ++i) {
      if (all[i].identifier == type) return (rows >> i & 1) != 0;
    }
    return false;
  };
  if (sky.mode && rows_have("GSA")) return sky.mode;
  if (fix.gnss_mode && rows_have("GNS")) {
    const bool none = fix.gnss_mode->find_first_not_of('N') == std::string::npos;
    return none ? 1 : fix.altitude ? 3 : 2;
  }
  if (fix.quality && rows_have("GGA")) return *fix.quality == 0 ? 1 : fix.altitude ? 3 : 2;
  if (sky.mode) return sky.mode;
  if (rows_have("RMC") || rows_have("GLL")) return fix.good ? 2 : 1;
  return std::nullopt;
}

}  // namespace

Epoch SnapshotReader::ReadEpoch(const Receiver& receiver, std::uint64_t rows) {
  const Fix fix = ReadFix(receiver);
  Epoch e;
  e.sky = ReadSatellites(receiver);
  e.signals = ReadSignals(receiver);
  e.time = fix.time;
  if (e.time) e.milliseconds = receiver.EpochMilliseconds();
  e.good = fix.good;
  e.latitude = fix.latitude;
  e.longitude = fix.longitude;
  e.altitude = fix.altitude;
  e.geoid_height = fix.geoid_height;
  if (fix.altitude && fix.geoid_height) e.altitude_hae = *fix.altitude + *fix.geoid_height;
  e.speed = fix.speed;
  e.course = fix.course;
  e.magnetic_course = fix.magnetic_course;
  e.magnetic_variation = fix.magnetic_variation;
  e.heading = fix.heading;
  e.magnetic_heading = fix.magnetic_heading;
  e.quality = fix.quality;
  e.satellites_used = fix.satellites_in_fix;
  if (!e.satellites_used && !e.sky.used.empty())
    e.satellites_used = static_cast<int>(e.sky.used.size());
  e.satellites_in_view = e.sky.in_view;
  e.pdop = e.sky.pdop;
  // GSA's HDOP, else the fix sentence's: a receiver that sends GGA without
  // GSA still says how good its fix is.
  e.hdop = e.sky.hdop ? e.sky.hdop : fix.hdop;
  if (!e.hdop) {
    e.hdop = receiver.fix().Read(
        [](const FixState::View& s) { return Number(s.Extra(FixExtra::kFixHdop)); });
  }
  e.vdop = e.sky.vdop;
  e.latitude_error = fix.latitude_error;
  e.longitude_error = fix.longitude_error;
  e.altitude_error = fix.altitude_error;
  e.mode = EpochMode(e.sky, fix, rows);
  const auto all = Receiver::Sentences();
  e.sentences.reserve(static_cast<std::size_t>(std::popcount(rows)));
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (rows >> i & 1) e.sentences.emplace_back(all[i].identifier);
  }
  return e;
}

namespace {

// GSA's numbers as a set: the small ones (every unique number) looked up at
// once, any other searched for.
class UsedNumbers {
 public:
  explicit UsedNumbers(const std::vector<std::int16_t>& prns) : prns_(prns) {
    for (std::int16_t n : prns)
      if (Small(n)) small_[static_cast<std::size_t>(n)] = true;
  }
  bool Contains(std::int16_t n) const {
    if (Small(n)) return small_[static_cast<std::size_t>(n)];
    return std::find(prns_.begin(), prns_.end(), n) != prns_.end();
  }

 private:
  static bool Small(std::int16_t n) { return n >= 0 && n < static_cast<int>(kMaxUniqueNumber); }
  const std::vector<std::int16_t>& prns_;
  std::bitset<kMaxUniqueNumber> small_;
};

// A GSV block's values, an empty one as none.
void SetBlockValues(Satellite& sat, const SatelliteEntry& block) {
  const auto optional = [](std::int16_t v) { return v < 0 ? std::nullopt : std::optional<int>(v); };
  sat.elevation = optional(block.elevation);
  sat.azimuth = optional(block.azimuth);
  sat.snr = optional(block.snr);
}

}  // namespace

Satellites SnapshotReader::ReadSatellites(const Receiver& receiver) {
  return receiver.satellites().Read([](const SatelliteState::View& s) {
    Satellites out;
    out.automatic = Boolean(s.automatic_operation);
    out.mode = Integer(s.operation_mode);
    out.pdop = Number(s.pdop);
    out.hdop = Number(s.hdop);
    out.vdop = Number(s.vdop);
    out.in_view = Integer(s.num_satellites_in_view);
    out.used.assign(s.fix_satellite_prns.begin(), s.fix_satellite_prns.end());
    // A number listed twice shows its last block. A list in strictly
    // ascending order (the union of several systems always is) has each
    // number once: no search is needed.
    const SatelliteList& listed_all = s.satellite_in_view;
    const bool ascending = std::adjacent_find(listed_all.begin(), listed_all.end(),
                                              [](const SatelliteEntry& a, const SatelliteEntry& b) {
                                                return a.prn >= b.prn;
                                              }) == listed_all.end();
    const UsedNumbers used(s.fix_satellite_prns);
    out.in_sight.reserve(listed_all.size());
    for (const SatelliteEntry& listed : listed_all) {
      const std::int16_t number = listed.prn;
      Satellite sat;
      sat.number = number;
      if (const SatelliteEntry* found = ascending ? &listed : s.FindInView(number))
        SetBlockValues(sat, *found);
      sat.used_in_fix = used.Contains(number);
      out.in_sight.push_back(sat);
    }
    return out;
  });
}

std::vector<SignalSatellite> SnapshotReader::ReadSignals(const Receiver& receiver) {
  return receiver.satellites().ReadSignals(
      [](const SignalList& signals, const std::vector<std::int16_t>& used_prns) {
        std::vector<SignalSatellite> out;
        if (signals.empty()) return out;
        out.reserve(signals.size());
        const UsedNumbers used(used_prns);
        for (const SignalEntry& listed : signals) {
          SignalSatellite sat;
          sat.signal = listed.signal;
          sat.satellite.number = listed.satellite.prn;
          SetBlockValues(sat.satellite, listed.satellite);
          sat.satellite.used_in_fix = used.Contains(listed.satellite.prn);
          out.push_back(sat);
        }
        return out;
      });
}

Navigation SnapshotReader::ReadNavigation(const Receiver& receiver) {
  return receiver.navigation().Read([](const NavigationState::View& s) {
    Navigation out;
    out.origin = Text(s.origin_wpt_id);
    out.destination = Text(s.dest_wpt_id);
    out.destination_latitude = Number(s.destination_position.latitude);
    out.destination_longitude = Number(s.destination_position.longitude);
    out.range = Number(s.range_to_dest);
    out.bearing_to_destination = Number(s.true_bearing_to_dest);
    out.cross_track_error = s.cross_track.value;
    out.steer = s.cross_track.letter;
    out.closing_velocity = Number(s.dest_closing_velocity);
    out.origin_to_destination_true = s.orig_to_dest_true_degrees;
    out.origin_to_destination_magnetic = s.orig_to_dest_mag_degrees;
    out.arrived = Boolean(s.arrived_at_dest);
    out.route_name = Text(s.route_name);
    out.route_complete = Boolean(s.route_contains_all_wpts);
    out.route.reserve(s.route_waypoints.size());
    for (const std::string& name : s.route_waypoints)
      out.route.push_back(Variant::Ansi(name).ToUtf8());
    return out;
  });
}

std::vector<WaypointPosition> SnapshotReader::ReadWaypoints(const Receiver& receiver) {
  return receiver.navigation().Read([](const NavigationState::View& s) {
    std::vector<WaypointPosition> out;
    out.reserve(s.waypoint_table.size());
    for (const auto& [name, position] : s.waypoint_table) {
      out.push_back(
          {Variant::Ansi(name).ToUtf8(), Number(position.latitude), Number(position.longitude)});
    }
    return out;
  });
}

Receiver& SnapshotReader::ReceiverOf(OrvaneControl& control) { return control.receiver_; }

}  // namespace orvane
