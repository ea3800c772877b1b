#include "engine/fix_state.h"

#include <cstring>
#include <string>

#include "automation/codepage.h"
#include "automation/coerce.h"
#include "automation/date.h"
#include "automation/variant.h"
#include "engine/numbers.h"

namespace orvane {
namespace {

bool IsActiveStatus(std::string_view status) {
  return status.size() == 1 && (status[0] == 'A' || status[0] == 'a');
}

// MagVariation's text ("003.1" "W") as a number, east positive.
std::optional<double> VariationDegrees(std::string_view value, std::string_view letter) {
  if (letter.size() != 1) return std::nullopt;
  const std::optional<double> degrees = ReadNumberBeforeLetter(value, letter[0]);
  if (degrees && (letter[0] == 'W' || letter[0] == 'w')) return -*degrees;
  return degrees;
}

// A stored fix time as a DATE; an empty one is 30 December 1899.
double AsDate(const Variant& v) { return ScalarNumber(v).value_or(0.0); }

}  // namespace

FixState::FixState(const ValueFormat& format) : format_(format) {}
FixState::~FixState() = default;

GeoPosition FixState::CopyPosition() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return position_;
}

double FixState::TimeOnDate(std::string_view hhmmss, const Variant& date) const {
  const int hour = ReadInt(hhmmss.substr(0, 2));
  const int minute = ReadInt(hhmmss.substr(2 < hhmmss.size() ? 2 : hhmmss.size(), 2));
  const int second = ReadInt(hhmmss.substr(4 < hhmmss.size() ? 4 : hhmmss.size(), 2));
  const std::optional<DateParts> day = SplitDate(AsDate(date));
  if (!day) return 0.0;
  return MakeDate(day->year, day->month, day->day, hour, minute, second).value_or(0.0);
}

double FixState::TimeOnDateRepeated(std::string_view hhmmss, const Variant& date) {
  // Only the six characters TimeOnDate reads, and the date's bits as stored.
  TimeOnDateMemo& memo = time_on_date_memo_;
  const double date_value = AsDate(date);
  std::uint64_t bits;
  std::memcpy(&bits, &date_value, sizeof bits);
  if (hhmmss.size() >= 6 && memo.valid && memo.date_bits == bits &&
      std::memcmp(memo.hhmmss, hhmmss.data(), 6) == 0) {
    return memo.result;
  }
  const double result = TimeOnDate(hhmmss, date);
  memo.valid = hhmmss.size() >= 6;
  memo.date_bits = bits;
  if (memo.valid) std::memcpy(memo.hhmmss, hhmmss.data(), 6);
  memo.result = result;
  return result;
}

double FixState::TimeOnFixDate(std::string_view hhmmss) const {
  Variant stored;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stored = fix_date_time_;
  }
  return TimeOnDate(hhmmss, stored);
}

// ReadersOwnValues: the decoded values are written on the reader thread
// alone (the host writes only the labels), so the handlers read the stored
// values there without the lock and take it once, to store: one lock per
// sentence.

// $GPRMC,hhmmss.ss,A,llll.ll,a,yyyyy.yy,a,x.x,x.x,ddmmyy,x.x,a,m
// $GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W,A
void FixState::ParseRmc(const SentenceFields& f) {
  try {
    Variant date;
    Variant fix_good = Variant::Bool(false);
    Variant speed, course;
    GeoPosition position;
    position = position_;  // values only; see ReadersOwnValues

    const std::string_view time = Field(f, 1);
    const std::string_view ddmmyy = Field(f, 9);
    if (time.size() > 5 && ddmmyy.size() == 6) {
      const int yy = ReadInt(ddmmyy.substr(4, 2));
      const int year = yy >= 70 ? 1900 + yy : 2000 + yy;
      date = Variant::Date(MakeDate(year, ReadInt(ddmmyy.substr(2, 2)),
                                    ReadInt(ddmmyy.substr(0, 2)), ReadInt(time.substr(0, 2)),
                                    ReadInt(time.substr(2, 2)), ReadInt(time.substr(4, 2)))
                               .value_or(0.0));
    }
    if (IsActiveStatus(Field(f, 2))) fix_good = Variant::Bool(true);
    position.ParseLatLon(Field(f, 3), Field(f, 4), Field(f, 5), Field(f, 6));
    if (!Field(f, 7).empty()) speed = Variant::R8(ReadDouble(Field(f, 7)));
    if (!Field(f, 8).empty()) course = Variant::R8(ReadDouble(Field(f, 8)));
    std::string variation_text;  // "003.1 W", empty for none
    if (!Field(f, 10).empty() && Field(f, 11).size() == 1) {
      variation_text.append(Field(f, 10)).append(1, ' ').append(Field(f, 11));
    }
    const std::string_view mode_text = Field(f, 12).size() == 1 ? Field(f, 12) : std::string_view();

    ReportFixTime(date);

    std::lock_guard<std::mutex> lock(mutex_);
    // Texts are converted only when they changed, before anything is stored,
    // so a failed allocation still drops the whole sentence.
    const bool same_variation = HoldsOptionalAnsi(mag_variation_, variation_text);
    const bool same_mode = HoldsOptionalAnsi(mode_indicator_, mode_text);
    Variant variation =
        same_variation || variation_text.empty() ? Variant() : Variant::Ansi(variation_text);
    Variant mode = same_mode || mode_text.empty() ? Variant() : Variant::Ansi(mode_text);
    fix_good_ = std::move(fix_good);
    position_ = position;
    fix_date_time_ = std::move(date);
    speed_ = std::move(speed);
    true_course_ = std::move(course);
    if (!same_variation) {
      mag_variation_ = std::move(variation);
      mag_variation_degrees_ = VariationDegrees(Field(f, 10), Field(f, 11));
    }
    if (!same_mode) mode_indicator_ = std::move(mode);
  } catch (...) {
    // Out of memory while decoding: the sentence is dropped, the fix stays.
  }
}

// $GPGGA,hhmmss.ss,llll.ll,a,yyyyy.yy,a,q,nn,h.h,alt,M,geoid,M,age,station
// $GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,
void FixState::ParseGga(const SentenceFields& f) {
  try {
    GgaFix fix;
    fix.position = position_;  // values only; see ReadersOwnValues
    const Variant& stored_date = fix_date_time_;

    if (Field(f, 1).size() > 5) {
      fix.date = Variant::Date(TimeOnDateRepeated(Field(f, 1), stored_date));
    }
    // A unit other than metres refuses the whole position.
    fix.position.ParseLatLonAlt(Field(f, 2), Field(f, 3), Field(f, 4), Field(f, 5), Field(f, 9),
                                Field(f, 10));
    if (!Field(f, 6).empty()) fix.quality = Variant::I2(ReadInt16(Field(f, 6)));
    if (!Field(f, 7).empty()) fix.satellites = Variant::I2(ReadInt16(Field(f, 7)));
    if (!Field(f, 8).empty() && keep_gga_hdop_.load(std::memory_order_relaxed))
      fix.hdop = Variant::R8(ReadDouble(Field(f, 8)));
    const std::string_view geoid_unit = Field(f, 12);
    if (!Field(f, 11).empty() && (geoid_unit == "M" || geoid_unit == "m")) {
      fix.geoid = Variant::R8(ReadDouble(Field(f, 11)));
    }
    if (!Field(f, 13).empty()) fix.age = Variant::I4(ReadInt(Field(f, 13)));
    if (!Field(f, 14).empty()) fix.station = Variant::I2(ReadInt16(Field(f, 14)));

    ReportFixTime(fix.date);

    std::lock_guard<std::mutex> lock(mutex_);
    StoreGgaLocked(fix);
  } catch (...) {
    // Out of memory while decoding: the sentence is dropped, the fix stays.
  }
}

void FixState::StoreGgaLocked(GgaFix& fix) {
  position_ = fix.position;
  fix_date_time_ = std::move(fix.date);
  fix_quality_ = std::move(fix.quality);
  num_satellites_in_fix_ = std::move(fix.satellites);
  geoid_height_ = std::move(fix.geoid);
  time_since_last_dgps_update_ = std::move(fix.age);
  dgps_ref_station_id_ = std::move(fix.station);
  // Kept beside the contract's members, which take the HDOP from GSA alone.
  ExtraLocked(FixExtra::kFixHdop) = std::move(fix.hdop);
}

// $GPGLL,llll.ll,a,yyyyy.yy,a,hhmmss.ss,A
// $GPGLL,4916.45,N,12311.12,W,225444,A
void FixState::ParseGll(const SentenceFields& f) {
  try {
    Variant date;
    Variant fix_good = Variant::Bool(false);
    GeoPosition position;
    position = position_;  // values only; see ReadersOwnValues
    date = fix_date_time_;

    position.ParseLatLon(Field(f, 1), Field(f, 2), Field(f, 3), Field(f, 4));
    // Without a time the stored one stays: GLL often comes without.
    if (Field(f, 5).size() > 5) date = Variant::Date(TimeOnDateRepeated(Field(f, 5), date));
    if (IsActiveStatus(Field(f, 6))) fix_good = Variant::Bool(true);

    ReportFixTime(date);

    std::lock_guard<std::mutex> lock(mutex_);
    position_ = position;
    fix_date_time_ = std::move(date);
    fix_good_ = std::move(fix_good);
  } catch (...) {
    // Out of memory while decoding: the sentence is dropped, the fix stays.
  }
}

Variant FixState::FixGood() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return fix_good_;
}

Variant FixState::FixDateTime() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return fix_date_time_;
}

Variant FixState::Latitude() const {
  std::string text;
  format_.LatLonText(CopyPosition(), &text, nullptr);
  return Variant::Ansi(text);
}

Variant FixState::Longitude() const {
  std::string text;
  format_.LatLonText(CopyPosition(), nullptr, &text);
  return Variant::Ansi(text);
}

Variant FixState::Speed() const {
  Variant speed;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    speed = speed_;
  }
  return format_.Speed(speed);
}

Variant FixState::TrueCourse() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return true_course_;
}

Variant FixState::MagVariation() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return mag_variation_;
}

Variant FixState::FixQuality() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return fix_quality_;
}

Variant FixState::NumSatellitesInFix() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return num_satellites_in_fix_;
}

Variant FixState::Altitude() const {
  Variant altitude;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    altitude = position_.altitude;
  }
  return format_.Altitude(altitude);
}

Variant FixState::GeoidHeightAboveWGS84Ellipsoid() const {
  Variant geoid;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    geoid = geoid_height_;
  }
  return format_.GeoidHeight(geoid);
}

Variant FixState::TimeSinceLastDGPSUpdate() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return time_since_last_dgps_update_;
}

Variant FixState::DGPSRefStationID() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dgps_ref_station_id_;
}

Variant FixState::ModeIndicator() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return mode_indicator_;
}

Variant FixState::GetLabel(std::string GeoPosition::*label) const {
  std::string text;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    text = position_.*label;
  }
  return Variant::Ansi(text);
}

HRESULT FixState::PutLabel(std::string GeoPosition::*label, const Variant& value) {
  Variant text;
  const HRESULT hr = ChangeType(value, VT_BSTR, &text);
  if (FAILED(hr)) return hr;
  std::string ansi = Utf16ToAnsi(text.bstr());
  std::lock_guard<std::mutex> lock(mutex_);
  (position_.*label).swap(ansi);
  return S_OK;
}

Variant FixState::DegLabel() const { return GetLabel(&GeoPosition::deg_label); }
HRESULT FixState::PutDegLabel(const Variant& value) {
  return PutLabel(&GeoPosition::deg_label, value);
}
Variant FixState::MinLabel() const { return GetLabel(&GeoPosition::min_label); }
HRESULT FixState::PutMinLabel(const Variant& value) {
  return PutLabel(&GeoPosition::min_label, value);
}
Variant FixState::SecLabel() const { return GetLabel(&GeoPosition::sec_label); }
HRESULT FixState::PutSecLabel(const Variant& value) {
  return PutLabel(&GeoPosition::sec_label, value);
}

void FixState::ReportFixTime(const Variant& fix_time) {
  FixTimeListener* listener = listener_.load(std::memory_order_acquire);
  if (listener != nullptr) listener->FixTimeReached(AsDate(fix_time));
}

}  // namespace orvane
