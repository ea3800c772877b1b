// What a session writes per epoch: the human lines, gpsd's objects, the
// exports. The session fans each epoch to every output it holds.
#pragma once

#include "orvane/snapshots.h"

namespace orvane::cli {

class EpochOutput {
 public:
  virtual ~EpochOutput() = default;
  // On the reader thread, as each epoch ends.
  virtual void Write(const Epoch& epoch) = 0;
  // Once, after the source closed: completes what was written. False after
  // saying why the output failed.
  virtual bool Finish() { return true; }
  // Writing failed: a live session ends rather than run on unrecorded.
  virtual bool Failed() const { return false; }
};

}  // namespace orvane::cli
