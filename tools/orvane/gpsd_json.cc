#include "gpsd_json.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

#include "json.h"

namespace orvane::cli {
namespace {

constexpr double kMetresPerSecondPerKnot = 1852.0 / 3600.0;

// Written straight into the caller's buffer through a cursor: an epoch makes
// no text of its own, and a sky of forty satellites stays one pass. Each
// object's room is reserved first from the most its fields can take.
class Cursor {
 public:
  Cursor(TextBuffer& out, std::size_t room) : out_(out), p_(out.Reserve(room)) {}
  ~Cursor() { out_.Commit(p_); }
  Cursor(const Cursor&) = delete;
  Cursor& operator=(const Cursor&) = delete;

  template <std::size_t N>
  void Literal(const char (&text)[N]) {
    std::memcpy(p_, text, N - 1);
    p_ += N - 1;
  }
  void Int(long long value) { p_ = std::to_chars(p_, p_ + kIntChars, value).ptr; }
  // `key` is `,"name":`.
  // At most `decimals` places, as gpsd writes them: a sum or a change of
  // units (altHAE, speed in m/s) would otherwise show the binary noise of
  // 49.199999999999996.
  template <std::size_t N>
  void Number(const char (&key)[N], const std::optional<double>& value, int decimals,
              double factor = 1.0) {
    if (!value) return;
    // JSON has no infinity: a field that overflows is left out, as gpsd
    // leaves out what it does not know.
    const double v = *value * factor;
    if (!std::isfinite(v)) return;
    Literal(key);
    if (std::fabs(v) >= 1e15) {  // past fixed notation's room
      p_ = WriteDouble(p_, v);
      return;
    }
    char* end = WriteFixed(p_, v, decimals);
    while (end[-1] == '0') --end;
    if (end[-1] == '.') --end;
    if (end - p_ == 2 && p_[0] == '-' && p_[1] == '0') {  // -0.0001 at 3 places
      *p_ = '0';
      end = p_ + 1;
    }
    p_ = end;
  }
  template <std::size_t N>
  void Integer(const char (&key)[N], const std::optional<int>& value) {
    if (!value) return;
    Literal(key);
    Int(*value);
  }
  void Time(const std::optional<UtcTime>& time, int milliseconds);

  static constexpr std::size_t kIntChars = 21;
  static constexpr std::size_t kKeyChars = 16;  // the longest `,"name":` here
  static constexpr std::size_t kTimeChars = 48;

 private:
  char* TwoDigits(char* p, unsigned v) {
    *p++ = static_cast<char>('0' + v / 10 % 10);
    *p++ = static_cast<char>('0' + v % 10);
    return p;
  }

  TextBuffer& out_;
  char* p_;
};

void Cursor::Time(const std::optional<UtcTime>& time, int milliseconds) {
  if (!time) return;
  const auto day = std::chrono::floor<std::chrono::days>(*time);
  const std::chrono::year_month_day ymd(day);
  const std::chrono::hh_mm_ss hms(*time - day);
  const int year = static_cast<int>(ymd.year());
  const unsigned ms =
      milliseconds >= 0 && milliseconds <= 999 ? static_cast<unsigned>(milliseconds) : 0;
  if (year < 0 || year > 9999) {
    const int n = std::snprintf(
        p_, kTimeChars, ",\"time\":\"%04d-%02u-%02uT%02d:%02d:%02d.%03uZ\"", year,
        static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
        static_cast<int>(hms.hours().count()), static_cast<int>(hms.minutes().count()),
        static_cast<int>(hms.seconds().count()), ms);
    p_ += n > 0 ? std::min<std::size_t>(static_cast<std::size_t>(n), kTimeChars - 1) : 0;
    return;
  }
  char* p = p_;
  std::memcpy(p, ",\"time\":\"", 9);
  p += 9;
  p = TwoDigits(p, static_cast<unsigned>(year / 100));
  p = TwoDigits(p, static_cast<unsigned>(year % 100));
  *p++ = '-';
  p = TwoDigits(p, static_cast<unsigned>(ymd.month()));
  *p++ = '-';
  p = TwoDigits(p, static_cast<unsigned>(ymd.day()));
  *p++ = 'T';
  p = TwoDigits(p, static_cast<unsigned>(hms.hours().count()));
  *p++ = ':';
  p = TwoDigits(p, static_cast<unsigned>(hms.minutes().count()));
  *p++ = ':';
  p = TwoDigits(p, static_cast<unsigned>(hms.seconds().count()));
  *p++ = '.';
  *p++ = static_cast<char>('0' + ms / 100);
  p = TwoDigits(p, ms % 100);
  std::memcpy(p, "Z\"", 2);
  p_ = p + 2;
}

// gpsd's gnssid and svid for a unique satellite number (its PRN field):
// the system, and the number within the system.
struct GnssRange {
  int first, last;
  int gnssid;
  int svid_offset;  // svid = PRN + offset
};
constexpr GnssRange kGnssRanges[] = {
    {1, 32, 0, 0},        // GPS
    {33, 64, 1, 87},      // SBAS, svid 120-151
    {65, 96, 6, -64},     // GLONASS
    {193, 202, 5, -192},  // QZSS
    {301, 336, 2, -300},  // Galileo
    {401, 463, 3, -400},  // BeiDou
    {501, 514, 7, -500},  // NavIC
};

const GnssRange* RangeOf(int prn) {
  for (const GnssRange& r : kGnssRanges) {
    if (prn >= r.first && prn <= r.last) return &r;
  }
  return nullptr;
}

// gpsd's sigid is u-blox's signal number within a system, not the NMEA
// signal id: each system's NMEA ids (one hex digit) to u-blox's, -1 where
// u-blox has no number for the signal. A satellite on its system's first
// signal has sigid 0, which gpsd leaves out.
struct SignalNumbers {
  int gnssid;
  signed char ublox[16];  // by NMEA id 0..F; id 0 (all signals) names none
};
constexpr SignalNumbers kSignalNumbers[] = {
    // GPS: 1 L1 C/A, 5 L2 CM, 6 L2 CL, 7 L5 I, 8 L5 Q
    {0, {-1, 0, -1, -1, -1, 4, 3, 6, 7, -1, -1, -1, -1, -1, -1, -1}},
    // SBAS: 1 L1 C/A
    {1, {-1, 0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1}},
    // Galileo: 1 E5a, 2 E5b, 7 E1 B/C
    {2, {-1, 3, 5, -1, -1, -1, -1, 0, -1, -1, -1, -1, -1, -1, -1, -1}},
    // BeiDou: 1 B1I, 3 B1C, 5 B2a, B B2I
    {3, {-1, 0, -1, 5, -1, 7, -1, -1, -1, -1, -1, 2, -1, -1, -1, -1}},
    // QZSS: 1 L1 C/A, 4 L1S, 5 L2 CM, 6 L2 CL, 7 L5 I, 8 L5 Q
    {5, {-1, 0, -1, -1, 1, 4, 5, 8, 9, -1, -1, -1, -1, -1, -1, -1}},
    // GLONASS: 1 L1 OF, 3 L2 OF
    {6, {-1, 0, -1, 2, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1}},
    // NavIC: 1 L5 A
    {7, {-1, 0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1}},
};

// u-blox's signal number for an NMEA signal id of system `gnssid`, or -1.
int UbloxSignal(int gnssid, char signal) {
  int id = -1;
  if (signal >= '0' && signal <= '9') id = signal - '0';
  if (signal >= 'A' && signal <= 'F') id = signal - 'A' + 10;
  if (signal >= 'a' && signal <= 'f') id = signal - 'a' + 10;
  if (id < 0) return -1;
  for (const SignalNumbers& n : kSignalNumbers) {
    if (n.gnssid == gnssid) return n.ublox[id];
  }
  return -1;
}

// One entry of SKY's satellites; `sigid` written when above 0, as gpsd does.
void WriteSatellite(Cursor& c, const Satellite& sat, bool first, bool per_signal, char signal) {
  if (first) {
    c.Literal("{\"PRN\":");
  } else {
    c.Literal(",{\"PRN\":");
  }
  c.Int(sat.number);
  c.Integer(",\"el\":", sat.elevation);
  c.Integer(",\"az\":", sat.azimuth);
  c.Integer(",\"ss\":", sat.snr);
  if (sat.used_in_fix) {
    c.Literal(",\"used\":true");
  } else {
    c.Literal(",\"used\":false");
  }
  if (const GnssRange* r = RangeOf(sat.number)) {
    c.Literal(",\"gnssid\":");
    c.Int(r->gnssid);
    c.Literal(",\"svid\":");
    c.Int(sat.number + r->svid_offset);
    const int sigid = per_signal ? UbloxSignal(r->gnssid, signal) : -1;
    if (sigid > 0) {
      c.Literal(",\"sigid\":");
      c.Int(sigid);
    }
  }
  c.Literal("}");
}

constexpr std::size_t kNumberRoom = Cursor::kKeyChars + kDoubleChars;
constexpr std::size_t kIntegerRoom = Cursor::kKeyChars + Cursor::kIntChars;

}  // namespace

char* TextBuffer::Reserve(std::size_t room) {
  if (capacity_ - size_ < room) {
    const std::size_t grown = std::max(capacity_ * 2, size_ + room);
    auto data = std::make_unique_for_overwrite<char[]>(grown);
    if (size_ != 0) std::memcpy(data.get(), data_.get(), size_);
    data_ = std::move(data);
    capacity_ = grown;
  }
  return data_.get() + size_;
}

void AppendGpsdTpv(TextBuffer& s, const Epoch& e) {
  Cursor c(s, 64 + Cursor::kTimeChars + 15 * kNumberRoom);
  c.Literal("{\"class\":\"TPV\",\"mode\":");
  c.Int(e.mode.value_or(0));
  c.Time(e.time, e.milliseconds);
  c.Number(",\"lat\":", e.latitude, 9);
  c.Number(",\"lon\":", e.longitude, 9);
  c.Number(",\"altHAE\":", e.altitude_hae, 4);
  c.Number(",\"altMSL\":", e.altitude, 4);
  c.Number(",\"geoidSep\":", e.geoid_height, 4);
  c.Number(",\"epx\":", e.longitude_error, 3);
  c.Number(",\"epy\":", e.latitude_error, 3);
  c.Number(",\"epv\":", e.altitude_error, 3);
  c.Number(",\"track\":", e.course, 4);
  c.Number(",\"magtrack\":", e.magnetic_course, 4);
  c.Number(",\"magvar\":", e.magnetic_variation, 4);
  c.Number(",\"speed\":", e.speed, 3, kMetresPerSecondPerKnot);
  c.Number(",\"heading\":", e.heading, 4);
  c.Literal("}\n");
}

void AppendGpsdSky(TextBuffer& s, const Epoch& e) {
  // A receiver that names its signals is listed as gpsd lists it: once per
  // satellite and signal, nSat counting the entries and uSat the entries
  // used (a satellite GSA names is used on each of its signals).
  const bool per_signal = !e.signals.empty();
  const std::size_t entries = per_signal ? e.signals.size() : e.sky.in_sight.size();
  std::size_t used = e.sky.used.size();
  if (per_signal) {
    used = static_cast<std::size_t>(
        std::count_if(e.signals.begin(), e.signals.end(),
                      [](const SignalSatellite& sat) { return sat.satellite.used_in_fix; }));
  }
  constexpr std::size_t kPerSatellite = 24 + 7 * kIntegerRoom;
  Cursor c(s, 128 + Cursor::kTimeChars + 5 * kNumberRoom + entries * kPerSatellite);
  c.Literal("{\"class\":\"SKY\"");
  c.Time(e.time, e.milliseconds);
  c.Number(",\"hdop\":", e.hdop, 3);
  c.Number(",\"pdop\":", e.pdop, 3);
  c.Number(",\"vdop\":", e.vdop, 3);
  c.Literal(",\"nSat\":");
  c.Int(static_cast<long long>(entries));
  c.Literal(",\"uSat\":");
  c.Int(static_cast<long long>(used));
  c.Literal(",\"satellites\":[");
  bool first = true;
  if (per_signal) {
    for (const SignalSatellite& sat : e.signals) {
      WriteSatellite(c, sat.satellite, first, true, sat.signal);
      first = false;
    }
  } else {
    for (const Satellite& sat : e.sky.in_sight) {
      WriteSatellite(c, sat, first, false, '\0');
      first = false;
    }
  }
  c.Literal("]}\n");
}

bool SkyInEpoch(const Epoch& e) {
  for (const std::string& type : e.sentences) {
    if (type == "GSV" || type == "GSA") return true;
  }
  return false;
}

void AppendGpsd(TextBuffer& s, const Epoch& e) {
  AppendGpsdTpv(s, e);
  if (SkyInEpoch(e)) AppendGpsdSky(s, e);
}

std::string GpsdTpv(const Epoch& e) {
  TextBuffer s;
  AppendGpsdTpv(s, e);
  return std::string(s.view());
}

std::string GpsdSky(const Epoch& e) {
  TextBuffer s;
  AppendGpsdSky(s, e);
  return std::string(s.view());
}

}  // namespace orvane::cli
