// The most recent fix, decoded from RMC, GGA and GLL. Handlers run on the
// reader thread; getters and label puts on the host's thread. One mutex
// guards every stored value and label; it is never held while pacing waits.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string_view>

#include "automation/variant.h"
#include "engine/sentence.h"
#include "engine/stop_event.h"
#include "engine/geo_position.h"
#include "engine/value_format.h"

namespace orvane {

namespace detail {
// Milliseconds a paced replay still has to wait for a fix `span_days` after
// the reference fix when `elapsed_ms` have passed since it: truncated toward
// zero to 64 bits, then read as a signed 32-bit count, as the wait call takes
// it. Out-of-range or NaN results wait 0.
std::int32_t PacingWaitMs(double span_days, double elapsed_ms, double time_scale);
// The millisecond tick count, wrapping at 2^32.
std::uint32_t SteadyTickMs();
}  // namespace detail

class FixState {
 public:
  using TickSource = std::uint32_t (*)();

  explicit FixState(const ValueFormat& format);
  virtual ~FixState();
  FixState(const FixState&) = delete;
  FixState& operator=(const FixState&) = delete;

  // Fields are the normalized SentenceFields: element 0 the identifier.
  void ParseRmc(const SentenceFields& f);
  void ParseGga(const SentenceFields& f);
  void ParseGll(const SentenceFields& f);

  // Time of day from an hhmmss text on the calendar day of the stored
  // FixDateTime; 0.0 when the result is not a valid date.
  double TimeOnFixDate(std::string_view hhmmss) const;

  Variant FixGood() const;
  Variant FixDateTime() const;
  Variant Latitude() const;   // text in the current LatLonFormat
  Variant Longitude() const;  // text in the current LatLonFormat
  Variant Speed() const;      // in the current SpeedUnits
  Variant TrueCourse() const;
  Variant MagVariation() const;
  Variant FixQuality() const;
  Variant NumSatellitesInFix() const;
  Variant Altitude() const;  // in the current AltitudeUnits
  Variant GeoidHeightAboveWGS84Ellipsoid() const;  // in the current AltitudeUnits
  Variant TimeSinceLastDGPSUpdate() const;
  Variant DGPSRefStationID() const;
  Variant ModeIndicator() const;

  // The fix position's labels, as VT_BSTR. A put coerces to text; a failed
  // coercion returns its HRESULT and keeps the label.
  Variant DegLabel() const;
  HRESULT PutDegLabel(const Variant& value);
  Variant MinLabel() const;
  HRESULT PutMinLabel(const Variant& value);
  Variant SecLabel() const;
  HRESULT PutSecLabel(const Variant& value);

  // Replay pacing. StartPacing takes a new reference at the next paced fix;
  // StopPacing keeps scale and reference. Called on the host's thread before
  // the file reader starts; safe while a reader runs.
  void StartPacing(double time_scale);
  void StopPacing();
  bool pacing() const { return pacing_.load(std::memory_order_acquire); }
  // The event a pacing wait ends on; it must outlive the reader's use.
  void SetPacingStopEvent(const StopEvent* stop);
  // Waits until `fix_time` is due at the time scale, measured from the first
  // paced fix; a set stop event ends the wait at once.
  void PaceReplay(const Variant& fix_time);
  // Tests replace the clock; nullptr restores the steady clock.
  void SetTickSourceForTesting(TickSource tick);

 private:
  friend class SnapshotReader;  // typed snapshots read under the one lock
  friend struct EventArgs;      // so are event parameters
  double TimeOnDate(std::string_view hhmmss, const Variant& date) const;
  HRESULT PutLabel(std::string GeoPosition::*label, const Variant& value);
  Variant GetLabel(std::string GeoPosition::*label) const;
  GeoPosition CopyPosition() const;

  const ValueFormat& format_;
  mutable std::mutex mutex_;

  Variant dgps_ref_station_id_;
  Variant time_since_last_dgps_update_;
  Variant geoid_height_;
  Variant num_satellites_in_fix_;
  Variant fix_quality_;
  Variant mode_indicator_;
  Variant mag_variation_;
  Variant true_course_;
  Variant speed_;
  Variant fix_date_time_ = Variant::Date(0.0);
  Variant fix_good_ = Variant::Bool(false);
  GeoPosition position_;

  // Replay pacing: the flag and scale are set by the host's thread while the
  // reader may run, so everything here is atomic.
  std::atomic<bool> pacing_{false};
  std::atomic<double> time_scale_{1.0};
  std::atomic<double> reference_time_{0.0};
  std::atomic<std::uint32_t> reference_tick_{0};
  std::atomic<const StopEvent*> stop_{nullptr};
  std::atomic<TickSource> tick_{&detail::SteadyTickMs};
};

}  // namespace orvane
