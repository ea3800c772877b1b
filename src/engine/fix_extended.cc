// The sentences today's receivers send beside the first nine. Each decodes
// into locals and stores under the one lock, as the fix handlers do.
#include <cstdlib>
#include <cstring>
#include <string>

#include "automation/date.h"
#include "engine/fix_state.h"
#include "engine/numbers.h"

namespace orvane {
namespace {

Variant OptionalR8(std::string_view field) {
  return field.empty() ? Variant() : Variant::R8(ReadDouble(field));
}

// A number field read before the lock is taken; an empty field stays empty.
// Stored straight into its place: no Variant is built and moved on the way.
struct OptionalNumber {
  explicit OptionalNumber(std::string_view field)
      : present(!field.empty()), value(present ? ReadDouble(field) : 0.0) {}
  void StoreIn(Variant& slot) const {
    if (present) {
      slot = Variant::R8(value);
    } else {
      slot.Clear();
    }
  }
  bool present;
  double value;
};

// A value with its E/W letter: west negative. Without a valid letter the
// value has no sign to trust and is left out.
Variant SignedEastWest(std::string_view value, std::string_view direction) {
  if (value.empty()) return Variant();
  const double v = ReadDouble(value);
  if (direction == "E" || direction == "e") return Variant::R8(v);
  if (direction == "W" || direction == "w") return Variant::R8(-v);
  return Variant();
}

// GGA's quality from a GNS mode letter (the first system not without fix).
Variant QualityOfMode(std::string_view mode) {
  if (mode.empty()) return Variant();
  static constexpr char kModes[] = "NADPRFEMS";  // quality 0..8
  for (char c : mode) {
    if (c == 'N') continue;
    const char* at = std::strchr(kModes, c);
    return at != nullptr ? Variant::I2(static_cast<std::int16_t>(at - kModes)) : Variant();
  }
  return Variant::I2(0);
}

}  // namespace

bool IsLength(FixExtra which) {
  switch (which) {
    case FixExtra::kRangeResidualRms:
    case FixExtra::kErrorEllipseMajor:
    case FixExtra::kErrorEllipseMinor:
    case FixExtra::kLatitudeError:
    case FixExtra::kLongitudeError:
    case FixExtra::kAltitudeError:
    case FixExtra::kExpectedLatitudeError:
    case FixExtra::kExpectedLongitudeError:
    case FixExtra::kExpectedAltitudeError: return true;
    default: return false;
  }
}

Variant FixState::Extra(FixExtra which) const {
  Variant value;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    value = extra_[static_cast<std::size_t>(which)];
  }
  if (IsLength(which) && value.vt() != VT_EMPTY) return format_.Altitude(value);
  return value;
}

// $GPVTG,054.7,T,034.4,M,005.5,N,010.2,K,A
//   1 course true, 2 T, 3 course magnetic, 4 M, 5 knots, 6 N, 7 km/h, 8 K,
//   9 mode
void FixState::ParseVtg(const SentenceFields& f) {
  const OptionalNumber course(Field(f, 1));
  const OptionalNumber magnetic(Field(f, 3));
  OptionalNumber speed(Field(f, 5));
  if (!speed.present && !Field(f, 7).empty()) {
    speed.present = true;
    speed.value = ReadDouble(Field(f, 7)) / 1.852;
  }
  try {
    std::lock_guard<std::mutex> lock(mutex_);
    speed.StoreIn(speed_);
    course.StoreIn(true_course_);
    magnetic.StoreIn(ExtraLocked(FixExtra::kMagneticCourse));
  } catch (...) {
    // The lock failed: the sentence is dropped.
  }
}

// $GPZDA,201530.00,04,07,2002,-05,00
//   1 time, 2 day, 3 month, 4 year, 5 local zone hours, 6 its minutes (with
//   the hours' sign)
void FixState::ParseZda(const SentenceFields& f) {
  try {
    Variant date;
    const std::string_view time = Field(f, 1);
    if (time.size() > 5 && !Field(f, 2).empty() && !Field(f, 3).empty() &&
        Field(f, 4).size() == 4) {
      date = Variant::Date(MakeDate(ReadInt(Field(f, 4)), ReadInt(Field(f, 3)),
                                    ReadInt(Field(f, 2)), ReadInt(time.substr(0, 2)),
                                    ReadInt(time.substr(2, 2)), ReadInt(time.substr(4, 2)))
                               .value_or(0.0));
    }
    Variant zone;
    if (!Field(f, 5).empty() || !Field(f, 6).empty()) {
      const std::int32_t hours = ReadInt(Field(f, 5));
      const std::int32_t minutes = ReadInt(Field(f, 6));
      const bool negative =
          hours < 0 || (hours == 0 && !Field(f, 5).empty() && Field(f, 5)[0] == '-');
      const std::int32_t total = hours * 60 + (negative ? -std::abs(minutes) : std::abs(minutes));
      if (total >= -24 * 60 && total <= 24 * 60)
        zone = Variant::I2(static_cast<std::int16_t>(total));
    }
    ReportFixTime(date);
    std::lock_guard<std::mutex> lock(mutex_);
    fix_date_time_ = std::move(date);
    ExtraLocked(FixExtra::kLocalZoneOffset) = std::move(zone);
  } catch (...) {
  }
}

// $GNGNS,112257.00,3844.24011,N,00908.43828,W,AN,03,10.5,,,,,V
//   1 time, 2-5 position, 6 mode per system (GPS, GLONASS, Galileo, BeiDou,
//   QZSS, NavIC), 7 satellites used, 8 HDOP, 9 altitude (m, mean sea level),
//   10 geoid separation (m), 11 differential age, 12 station, 13 status
void FixState::ParseGns(const SentenceFields& f) {
  try {
    GgaFix fix;
    fix.position = position_;
    const std::string_view mode = Field(f, 6);
    if (Field(f, 1).size() > 5) {
      fix.date = Variant::Date(TimeOnDateRepeated(Field(f, 1), fix_date_time_));
    }
    fix.position.ParseLatLonAlt(Field(f, 2), Field(f, 3), Field(f, 4), Field(f, 5), Field(f, 9),
                                "M");
    fix.quality = QualityOfMode(mode);
    if (!Field(f, 7).empty()) fix.satellites = Variant::I2(ReadInt16(Field(f, 7)));
    fix.hdop = OptionalR8(Field(f, 8));
    fix.geoid = OptionalR8(Field(f, 10));
    if (!Field(f, 11).empty()) fix.age = Variant::I4(ReadInt(Field(f, 11)));
    if (!Field(f, 12).empty()) fix.station = Variant::I2(ReadInt16(Field(f, 12)));
    Variant mode_text = mode.empty() ? Variant() : Variant::Ansi(mode);
    ReportFixTime(fix.date);
    std::lock_guard<std::mutex> lock(mutex_);
    StoreGgaLocked(fix);
    ExtraLocked(FixExtra::kGnssMode) = std::move(mode_text);
  } catch (...) {
  }
}

// $GPGST,172814.0,0.006,0.023,0.020,273.6,0.023,0.020,0.031
//   1 time, 2 RMS of the range residuals, 3 semi-major and 4 semi-minor
//   axis of the error ellipse, 5 its orientation, 6-8 standard deviations
//   of latitude, longitude and altitude (metres)
void FixState::ParseGst(const SentenceFields& f) {
  static constexpr FixExtra kKinds[7] = {
      FixExtra::kRangeResidualRms,  FixExtra::kErrorEllipseMajor,
      FixExtra::kErrorEllipseMinor, FixExtra::kErrorEllipseOrientation,
      FixExtra::kLatitudeError,     FixExtra::kLongitudeError,
      FixExtra::kAltitudeError};
  const OptionalNumber values[7] = {OptionalNumber(Field(f, 2)), OptionalNumber(Field(f, 3)),
                                    OptionalNumber(Field(f, 4)), OptionalNumber(Field(f, 5)),
                                    OptionalNumber(Field(f, 6)), OptionalNumber(Field(f, 7)),
                                    OptionalNumber(Field(f, 8))};
  try {
    std::lock_guard<std::mutex> lock(mutex_);
    for (std::size_t i = 0; i < 7; ++i) values[i].StoreIn(ExtraLocked(kKinds[i]));
  } catch (...) {
  }
}

// $GPHDT,274.07,T
//   1 heading true, 2 T
void FixState::ParseHdt(const SentenceFields& f) {
  const OptionalNumber heading(Field(f, 1));
  try {
    std::lock_guard<std::mutex> lock(mutex_);
    heading.StoreIn(ExtraLocked(FixExtra::kTrueHeading));
  } catch (...) {
  }
}

// $HCHDG,98.3,0.0,E,12.6,W
//   1 magnetic heading, 2 deviation, 3 E/W, 4 variation, 5 E/W
void FixState::ParseHdg(const SentenceFields& f) {
  try {
    Variant heading = OptionalR8(Field(f, 1));
    Variant deviation = SignedEastWest(Field(f, 2), Field(f, 3));
    Variant variation = SignedEastWest(Field(f, 4), Field(f, 5));
    std::lock_guard<std::mutex> lock(mutex_);
    ExtraLocked(FixExtra::kMagneticHeading) = std::move(heading);
    ExtraLocked(FixExtra::kMagneticDeviation) = std::move(deviation);
    ExtraLocked(FixExtra::kHeadingVariation) = std::move(variation);
  } catch (...) {
  }
}

// $GPTHS,77.52,E
//   1 heading true, 2 mode: A autonomous, E estimated, M manual, S
//   simulator, V not valid (the heading is then none)
void FixState::ParseThs(const SentenceFields& f) {
  try {
    const std::string_view mode = Field(f, 2);
    Variant heading = mode == "V" ? Variant() : OptionalR8(Field(f, 1));
    Variant mode_text = mode.size() == 1 ? Variant::Ansi(mode) : Variant();
    std::lock_guard<std::mutex> lock(mutex_);
    ExtraLocked(FixExtra::kTrueHeading) = std::move(heading);
    ExtraLocked(FixExtra::kHeadingMode) = std::move(mode_text);
  } catch (...) {
  }
}

// $GPGBS,235458.00,1.4,1.3,3.1,03,,-21.4,3.8,1,0
//   1 time, 2-4 expected errors of latitude, longitude and altitude (m),
//   5 the most likely failed satellite, 6 its probability of missed
//   detection, 7 its bias estimate, 8 the bias's standard deviation
void FixState::ParseGbs(const SentenceFields& f) {
  try {
    Variant lat = OptionalR8(Field(f, 2)), lon = OptionalR8(Field(f, 3)),
            alt = OptionalR8(Field(f, 4));
    Variant failed = Field(f, 5).empty() ? Variant() : Variant::I2(ReadInt16(Field(f, 5)));
    std::lock_guard<std::mutex> lock(mutex_);
    ExtraLocked(FixExtra::kExpectedLatitudeError) = std::move(lat);
    ExtraLocked(FixExtra::kExpectedLongitudeError) = std::move(lon);
    ExtraLocked(FixExtra::kExpectedAltitudeError) = std::move(alt);
    ExtraLocked(FixExtra::kFailedSatellite) = std::move(failed);
  } catch (...) {
  }
}

// $GPTXT,01,01,02,ANTSTATUS=OK
//   1 messages in the group, 2 this message, 3 text id, 4 text. The parts
//   of a group are joined; the whole message is published at its last part.
void FixState::ParseTxt(const SentenceFields& f) {
  // Far beyond any real message (99 parts of 61 characters).
  static constexpr std::size_t kMaxText = 8192;
  try {
    const std::int32_t total = ReadInt(Field(f, 1));
    const std::int32_t number = ReadInt(Field(f, 2));
    if (Field(f, 2).empty() || number == 1) {
      pending_text_.clear();
    }
    const std::string_view text = Field(f, 4);
    if (pending_text_.size() + text.size() <= kMaxText) pending_text_.append(text);
    if (total != number && !Field(f, 1).empty()) return;
    Variant message = Variant::Ansi(pending_text_);
    std::lock_guard<std::mutex> lock(mutex_);
    ExtraLocked(FixExtra::kReceiverText) = std::move(message);
  } catch (...) {
  }
}

}  // namespace orvane
