// The most recent fix, decoded from RMC, GGA and GLL. Handlers run on the
// reader thread; getters and label puts on the host's thread. One mutex
// guards every stored value and label; it is never held while the fix-time
// listener runs.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <limits>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "automation/variant.h"
#include "engine/geo_position.h"
#include "engine/sentence.h"
#include "engine/value_format.h"

namespace orvane {

// Told the time (a DATE) of every RMC, GGA and GLL fix before it is stored,
// on the reader thread, outside the lock: a replay paces itself here.
class FixTimeListener {
 public:
  virtual void FixTimeReached(double fix_time) = 0;

 protected:
  ~FixTimeListener() = default;
};

// What the sentences beyond the first nine add (VTG, ZDA, GNS, GST, HDT,
// HDG, THS, GBS, TXT), in the receiver's units: each VT_EMPTY until received
// and cleared by an empty field of the sentence that carries it.
enum class FixExtra : std::uint8_t {
  kMagneticCourse,           // VTG, degrees magnetic
  kLocalZoneOffset,          // ZDA, minutes (VT_I2)
  kGnssMode,                 // GNS, one letter per system (VT_BSTR)
  kTrueHeading,              // HDT, or THS unless its mode is V
  kMagneticHeading,          // HDG, degrees
  kMagneticDeviation,        // HDG, degrees, east positive
  kHeadingVariation,         // HDG, degrees, east positive
  kHeadingMode,              // THS mode letter (VT_BSTR)
  kRangeResidualRms,         // GST, metres
  kErrorEllipseMajor,        // GST, metres (one standard deviation)
  kErrorEllipseMinor,        // GST, metres
  kErrorEllipseOrientation,  // GST, degrees true
  kLatitudeError,            // GST, metres
  kLongitudeError,           // GST, metres
  kAltitudeError,            // GST, metres
  kExpectedLatitudeError,    // GBS, metres
  kExpectedLongitudeError,   // GBS, metres
  kExpectedAltitudeError,    // GBS, metres
  kFailedSatellite,          // GBS, the receiver's number (VT_I2)
  kReceiverText,             // TXT, the last whole message (VT_BSTR)
  kFixHdop,                  // GGA or GNS: the fix's HDOP
  kCount
};
// Whether a FixExtra is a length, shown in the host's AltitudeUnits.
bool IsLength(FixExtra which);

namespace testing {
struct FixStatePeer;
}  // namespace testing

class FixState final {
 public:
  explicit FixState(const ValueFormat& format);
  ~FixState();
  FixState(const FixState&) = delete;
  FixState& operator=(const FixState&) = delete;

  // Fields are the normalized SentenceFields: element 0 the identifier.
  void ParseRmc(const SentenceFields& f);
  void ParseGga(const SentenceFields& f);
  void ParseGll(const SentenceFields& f);
  // Read only with ExtendedSentences on (the loop's rows say so).
  void ParseVtg(const SentenceFields& f);
  void ParseZda(const SentenceFields& f);
  void ParseGns(const SentenceFields& f);
  void ParseGst(const SentenceFields& f);
  void ParseHdt(const SentenceFields& f);
  void ParseHdg(const SentenceFields& f);
  void ParseThs(const SentenceFields& f);
  void ParseGbs(const SentenceFields& f);
  void ParseTxt(const SentenceFields& f);

  // Time of day from an hhmmss text on the calendar day of the stored
  // FixDateTime; 0.0 when the result is not a valid date.
  double TimeOnFixDate(std::string_view hhmmss) const;

  Variant FixGood() const;
  Variant FixDateTime() const;
  // The stored FixDateTime's date, NaN when it holds none: for the reader
  // thread alone, which writes it and so reads it without the lock.
  double FixDateOnReader() const {
    return fix_date_time_.vt() == VT_DATE ? fix_date_time_.date()
                                          : std::numeric_limits<double>::quiet_NaN();
  }
  Variant Latitude() const;   // text in the current LatLonFormat
  Variant Longitude() const;  // text in the current LatLonFormat
  Variant Speed() const;      // in the current SpeedUnits
  Variant TrueCourse() const;
  Variant MagVariation() const;
  Variant FixQuality() const;
  Variant NumSatellitesInFix() const;
  Variant Altitude() const;                        // in the current AltitudeUnits
  Variant GeoidHeightAboveWGS84Ellipsoid() const;  // in the current AltitudeUnits
  Variant TimeSinceLastDGPSUpdate() const;
  Variant DGPSRefStationID() const;
  Variant ModeIndicator() const;
  // A copy; lengths in the current AltitudeUnits, empty stays empty.
  Variant Extra(FixExtra which) const;

  // The fix position's labels, as VT_BSTR. A put coerces to text; a failed
  // coercion returns its HRESULT and keeps the label.
  Variant DegLabel() const;
  HRESULT PutDegLabel(const Variant& value);
  Variant MinLabel() const;
  HRESULT PutMinLabel(const Variant& value);
  Variant SecLabel() const;
  HRESULT PutSecLabel(const Variant& value);

  // The listener stays in use until replaced; it must outlive that. Set and
  // cleared by the reader thread that reports the fixes.
  void SetFixTimeListener(FixTimeListener* listener) {
    listener_.store(listener, std::memory_order_release);
  }

  // Whether GGA's HDOP is kept (FixExtra::kFixHdop): only epochs read it, so
  // it is decoded only while someone takes them.
  void KeepGgaHdop(bool keep) { keep_gga_hdop_.store(keep, std::memory_order_relaxed); }

  // The stored values as they stand, for typed snapshots and event
  // parameters: valid only during Read's call.
  struct View {
    const Variant& fix_good;
    const Variant& fix_date_time;
    const GeoPosition& position;  // labels too
    const Variant& speed;         // knots
    const Variant& true_course;
    // MagVariation's text as a number, east positive; none when the text
    // does not read as one.
    const std::optional<double>& magnetic_variation;
    const Variant& fix_quality;
    const Variant& num_satellites_in_fix;
    const Variant& geoid_height;  // metres
    const Variant& time_since_last_dgps_update;
    const Variant& dgps_ref_station_id;
    const Variant& mode_indicator;
    // In the receiver's units.
    const std::array<Variant, static_cast<std::size_t>(FixExtra::kCount)>& extra;
    const Variant& Extra(FixExtra which) const { return extra[static_cast<std::size_t>(which)]; }
  };
  // `read(view)` under the state's lock: every value from whole sentences.
  template <typename Fn>
  auto Read(const Fn& read) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return read(View{fix_good_, fix_date_time_, position_, speed_, true_course_,
                     mag_variation_degrees_, fix_quality_, num_satellites_in_fix_, geoid_height_,
                     time_since_last_dgps_update_, dgps_ref_station_id_, mode_indicator_, extra_});
  }
  const ValueFormat& format() const { return format_; }
  // Latitude and Longitude of `position` for an event, cached for the next
  // event of the same fix. Outside Read.
  void FormatEventPosition(const GeoPosition& position, Variant* latitude,
                           Variant* longitude) const {
    event_text_.Format(format_, position, latitude, longitude);
  }

 private:
  friend struct testing::FixStatePeer;  // reads the listener
  double TimeOnDate(std::string_view hhmmss, const Variant& date) const;
  // TimeOnDate for the handlers, kept for the last arguments: the fix
  // sentences of one cycle repeat the time on the date the first stored.
  double TimeOnDateRepeated(std::string_view hhmmss, const Variant& date);
  // What GGA and GNS both store, decoded outside the lock.
  struct GgaFix {
    GeoPosition position;  // values only: see ReadersOwnValues
    Variant date, quality, satellites, hdop, geoid, age, station;
  };
  void StoreGgaLocked(GgaFix& fix);
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
  std::optional<double> mag_variation_degrees_;  // beside its text, for View
  Variant true_course_;
  Variant speed_;
  Variant fix_date_time_ = Variant::Date(0.0);
  Variant fix_good_ = Variant::Bool(false);
  GeoPosition position_;
  std::array<Variant, static_cast<std::size_t>(FixExtra::kCount)> extra_;
  Variant& ExtraLocked(FixExtra which) { return extra_[static_cast<std::size_t>(which)]; }
  // A TXT message being joined; the reader's own.
  std::string pending_text_;
  mutable PositionTextCache event_text_;  // of the position events were last built with
  // TimeOnDateRepeated's last call; the reader thread's own.
  struct TimeOnDateMemo {
    bool valid = false;
    std::uint64_t date_bits = 0;
    char hhmmss[6] = {};
    double result = 0.0;
  } time_on_date_memo_;

  void ReportFixTime(const Variant& fix_time);

  std::atomic<FixTimeListener*> listener_{nullptr};
  std::atomic<bool> keep_gga_hdop_{false};
};

}  // namespace orvane
