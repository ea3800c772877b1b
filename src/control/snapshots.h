// Typed snapshots from the engine's stored values, each state read under its
// own lock: a sentence changes one state, so it is wholly in a snapshot or
// not at all.
#pragma once

#include "engine/receiver.h"
#include "orvane/snapshots.h"

namespace orvane {

class OrvaneControl;

class SnapshotReader {
 public:
  static Fix ReadFix(const Receiver& receiver);
  static Satellites ReadSatellites(const Receiver& receiver);
  static Navigation ReadNavigation(const Receiver& receiver);
  static Receiver& ReceiverOf(OrvaneControl& control);
};

}  // namespace orvane
