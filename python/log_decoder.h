// The engine driven over a whole log, with no reader thread and no events:
// each completed epoch is read once, as the control's OnEpoch reads it, and
// appended to plain columns. No Python here, so a fuzz target can drive it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "control/event_source.h"
#include "control/snapshots.h"
#include "engine/receiver.h"
#include "engine/stop_event.h"
#include "orvane/snapshots.h"
#include "presentation/settings.h"

namespace orvane {

// Unknown values: NaN for floats, -1 for ints, kNaT for times (ns, UTC).
constexpr std::int64_t kNaT = std::numeric_limits<std::int64_t>::min();

struct EpochColumns {
  std::vector<std::int64_t> time;
  std::vector<double> lat, lon, alt, alt_hae, geoid_height, speed, course, magnetic_course,
      magnetic_variation, heading, pdop, hdop, vdop, lat_error, lon_error, alt_error;
  std::vector<std::int16_t> mode, quality, satellites_used, satellites_in_view;
  std::vector<bool> good;
};

struct SatelliteColumns {
  std::vector<std::int64_t> time;
  std::vector<std::int16_t> prn, elevation, azimuth, snr;
  std::vector<std::int8_t> system;
  std::vector<bool> used;
};

class LogDecoder final : EpochListener, ChunkReader {
 public:
  // Throws std::invalid_argument for talkers Talkers would refuse.
  LogDecoder(const std::string& talkers, bool extended);

  // Bytes of the log, in order; a line may span calls.
  void Feed(const char* data, std::size_t size);
  // The source ended: a last line without its line end is read too, and
  // the epoch in progress completes.
  void Finish();

  const Receiver::Stats& stats() const { return receiver_.stats(); }
  EpochColumns& epochs() { return e_; }
  SatelliteColumns& satellites() { return s_; }
  const Navigation& navigation() const { return route_; }
  const std::vector<WaypointPosition>& waypoints() const { return waypoints_; }

 private:
  int ReadChunk(std::string& pending) override;
  void EpochCompleted(std::uint64_t rows) override;

  Settings settings_;
  EventSource events_;
  Receiver receiver_;
  StopEvent stop_;
  const char* chunk_ = nullptr;
  std::size_t chunk_size_ = 0;
  std::uint64_t gsv_row_ = 0;
  EpochColumns e_;
  SatelliteColumns s_;
  Navigation route_;
  std::vector<WaypointPosition> waypoints_;
};

}  // namespace orvane
