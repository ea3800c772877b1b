// Typed snapshots from the engine's stored values, each state read under its
// own lock: a sentence changes one state, so it is wholly in a snapshot or
// not at all.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/receiver.h"
#include "orvane/snapshots.h"

namespace orvane {

class OrvaneControl;

// A waypoint the receiver published (WPL), in the receiver's units.
struct WaypointPosition {
  std::string name;
  std::optional<double> latitude, longitude;  // signed decimal degrees
};

class SnapshotReader {
 public:
  static Fix ReadFix(const Receiver& receiver);
  static Satellites ReadSatellites(const Receiver& receiver);
  // Epoch::signals: empty unless the receiver names its signals. On the
  // reader's thread only, as ReadEpoch.
  static std::vector<SignalSatellite> ReadSignals(const Receiver& receiver);
  static Navigation ReadNavigation(const Receiver& receiver);
  // The published waypoints, by name.
  static std::vector<WaypointPosition> ReadWaypoints(const Receiver& receiver);
  // `rows` as EpochListener gives them; on the reader's thread, where epochs end.
  static Epoch ReadEpoch(const Receiver& receiver, std::uint64_t rows);
  static Receiver& ReceiverOf(OrvaneControl& control);
};

}  // namespace orvane
