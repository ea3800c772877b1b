// Receiver mode, dilution of precision and satellites, from GSA and GSV.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "automation/variant.h"
#include "engine/events.h"
#include "engine/sentence.h"

namespace orvane {

// One GSV satellite block as stored: each value VT_I2 within its range, or
// empty.
struct SatelliteRecord {
  Variant elevation;  // degrees, 0..90
  Variant azimuth;    // degrees, 0..360
  Variant snr;        // dB-Hz, 0..99
};

using SatelliteTable = std::map<std::int16_t, SatelliteRecord>;

class SatelliteState {
 public:
  // A real GSV group lists a few dozen satellites at most. A longer pending
  // list means group starts are being lost (or the stream is garbage); blocks
  // that arrive while this many PRNs are pending are dropped whole, and the
  // next group start recovers.
  static constexpr std::size_t kMaxPendingSatellites = 255;

  SatelliteState();
  virtual ~SatelliteState();

  // Fields are the normalized SentenceFields: element 0 the identifier.
  void ParseGsa(const SentenceFields& f);
  void ParseGsv(const SentenceFields& f);

  // Property reads: fresh values the caller owns.
  Variant AutomaticOperation() const;
  Variant OperationMode() const;
  Variant HDOP() const;
  Variant PDOP() const;
  Variant VDOP() const;
  Variant NumSatellitesInView() const;
  // VT_ARRAY | VT_VARIANT of VT_I2, zero elements when the list is empty.
  Variant FixSatellitePRNs() const;
  Variant SatelliteInViewPRNs() const;

  // Looks `prn` up in the last published GSV group. A PRN that does not
  // coerce to VT_I2 returns the coercion's HRESULT and writes nothing; an
  // unknown PRN gives three empty values and S_OK.
  HRESULT GetSatelliteInfo(const Variant& prn, Variant* azimuth, Variant* elevation,
                           Variant* snr) const;

  // AutomaticOperation, OperationMode, NumSatellitesInView, HDOP, PDOP, VDOP,
  // FixSatellitePRNs, SatelliteInViewPRNs, all from one state.
  SatelliteUpdateArgs UpdateArgs() const;

 private:
  friend class SnapshotReader;  // typed snapshots read under the one lock
  mutable std::mutex mutex_;
  Variant num_satellites_in_view_;
  Variant automatic_operation_;
  Variant operation_mode_;
  Variant pdop_;
  Variant hdop_;
  Variant vdop_;
  std::vector<std::int16_t> fix_satellite_prns_;
  std::vector<std::int16_t> satellite_in_view_prns_;
  std::vector<std::int16_t> pending_in_view_prns_;
  SatelliteTable satellite_table_;
  SatelliteTable pending_satellite_table_;
};

}  // namespace orvane
