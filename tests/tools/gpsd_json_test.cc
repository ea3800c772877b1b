// Epochs as gpsd's TPV and SKY objects, written by hand for each shape.
#include <gtest/gtest.h>

#include <chrono>
#include <limits>

#include "gpsd_json.h"

namespace orvane::cli {
namespace {

using namespace std::chrono;

UtcTime At(int y, unsigned m, unsigned d, int hh, int mm, int ss) {
  return sys_days(year(y) / month(m) / day(d)) + hours(hh) + minutes(mm) + seconds(ss);
}

TEST(GpsdJsonTest, TpvWritesWhatTheEpochHolds) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  Epoch full;
  full.mode = 3;
  full.time = At(2024, 6, 5, 0, 0, 9);
  full.latitude = -33.5;
  full.longitude = 151.25;
  full.altitude = 12.5;
  full.altitude_hae = 34.75;
  full.geoid_height = 22.25;
  full.latitude_error = 1.5;
  full.longitude_error = 2;
  full.altitude_error = 3;
  full.course = 0;
  full.magnetic_course = 359.9;
  full.magnetic_variation = -1.2;
  full.speed = 3600.0 / 1852.0 * 2;  // 2 m/s in knots
  full.heading = 90.5;
  Epoch overflowed;
  overflowed.mode = 2;
  overflowed.latitude = 1;
  overflowed.altitude = kInf;
  overflowed.altitude_hae = -kInf;
  overflowed.speed = std::numeric_limits<double>::quiet_NaN();
  overflowed.course = 7;
  Epoch far;
  far.time = At(10000, 1, 1, 23, 59, 59);
  far.milliseconds = 50;
  // gpsd's places: a sum's binary noise rounded away, a tiny negative not
  // written as -0, a value past fixed notation's room still a number.
  Epoch places;
  places.latitude = 50.0 + 45.90001 / 60;
  places.altitude_hae = 1.9 + 47.3;
  places.magnetic_variation = -0.00001;
  places.speed = 1e300;
  Epoch half;
  half.time = At(2009, 12, 9, 15, 25, 8);
  half.milliseconds = 500;
  struct Case {
    const char* what;
    Epoch epoch;
    std::string tpv;
  } cases[] = {
      {"nothing known", Epoch{}, "{\"class\":\"TPV\",\"mode\":0}\n"},
      {"every field, in gpsd's order and units", full,
       "{\"class\":\"TPV\",\"mode\":3,\"time\":\"2024-06-05T00:00:09.000Z\",\"lat\":-33.5,\"lon\":"
       "151.25,"
       "\"altHAE\":34.75,\"altMSL\":12.5,\"geoidSep\":22.25,\"epx\":2,\"epy\":1.5,\"epv\":3,"
       "\"track\":0,"
       "\"magtrack\":359.9,\"magvar\":-1.2,\"speed\":2,\"heading\":90.5}\n"},
      // JSON has no infinity: what overflowed is left out, the rest stays.
      {"non-finite values", overflowed, "{\"class\":\"TPV\",\"mode\":2,\"lat\":1,\"track\":7}\n"},
      {"a year past four digits", far,
       "{\"class\":\"TPV\",\"mode\":0,\"time\":\"10000-01-01T23:59:59.050Z\"}\n"},
      {"gpsd's decimal places", places,
       "{\"class\":\"TPV\",\"mode\":0,\"lat\":50.765000167,\"altHAE\":49.2,\"magvar\":0,"
       "\"speed\":5.144444444444445e+299}\n"},
      {"half a second", half,
       "{\"class\":\"TPV\",\"mode\":0,\"time\":\"2009-12-09T15:25:08.500Z\"}\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(GpsdTpv(c.epoch), c.tpv) << c.what;
}

TEST(GpsdJsonTest, SkyNamesEachSatellitesSystemAsGpsdDoes) {
  Epoch e;
  e.time = At(2024, 6, 5, 12, 0, 0);
  e.hdop = 0.9;
  e.pdop = 1.6;
  e.sky.used = {5, 70, 307};
  struct Row {
    int number;
    const char* tail;  // after PRN, el, az and ss
  } rows[] = {
      {5, ",\"used\":true,\"gnssid\":0,\"svid\":5}"},
      {40, ",\"used\":false,\"gnssid\":1,\"svid\":127}"},
      {70, ",\"used\":true,\"gnssid\":6,\"svid\":6}"},
      {195, ",\"used\":false,\"gnssid\":5,\"svid\":3}"},
      {307, ",\"used\":true,\"gnssid\":2,\"svid\":7}"},
      {463, ",\"used\":false,\"gnssid\":3,\"svid\":63}"},
      {502, ",\"used\":false,\"gnssid\":7,\"svid\":2}"},
      // A number no system owns: no system named.
      {100, ",\"used\":false}"},
  };
  std::string want =
      "{\"class\":\"SKY\",\"time\":\"2024-06-05T12:00:00.000Z\",\"hdop\":0.9,\"pdop\":1.6,"
      "\"nSat\":9,\"uSat\":3,\"satellites\":[";
  for (const Row& r : rows) {
    Satellite sat;
    sat.number = r.number;
    sat.elevation = 10;
    sat.azimuth = 200;
    sat.snr = 40;
    sat.used_in_fix = r.number == 5 || r.number == 70 || r.number == 307;
    e.sky.in_sight.push_back(sat);
    want +=
        "{\"PRN\":" + std::to_string(r.number) + ",\"el\":10,\"az\":200,\"ss\":40" + r.tail + ",";
  }
  // Not tracked: no position in the sky, no signal.
  Satellite untracked;
  untracked.number = 12;
  e.sky.in_sight.push_back(untracked);
  want += "{\"PRN\":12,\"used\":false,\"gnssid\":0,\"svid\":12}]}\n";
  EXPECT_EQ(GpsdSky(e), want);
  e.sentences = {"RMC", "GSV"};
  EXPECT_TRUE(SkyInEpoch(e));
  e.sentences = {"RMC", "GGA"};
  EXPECT_FALSE(SkyInEpoch(e));
}

// gpsd's sigid is u-blox's number for the signal within its system: each
// system's NMEA signal ids, and those u-blox does not number (no sigid,
// as for a first signal, which gpsd leaves out).
TEST(GpsdJsonTest, SkyPerSignalWritesUbloxSignalNumbers) {
  struct Row {
    int number;
    char signal;
    const char* tail;  // after PRN, ss and used
  } rows[] = {
      {5, '1', ",\"gnssid\":0,\"svid\":5}"},                 // GPS L1 C/A
      {5, '5', ",\"gnssid\":0,\"svid\":5,\"sigid\":4}"},     // L2 CM
      {5, '6', ",\"gnssid\":0,\"svid\":5,\"sigid\":3}"},     // L2 CL
      {5, '7', ",\"gnssid\":0,\"svid\":5,\"sigid\":6}"},     // L5 I
      {5, '8', ",\"gnssid\":0,\"svid\":5,\"sigid\":7}"},     // L5 Q
      {5, '2', ",\"gnssid\":0,\"svid\":5}"},                 // L1 P(Y): u-blox has none
      {40, '1', ",\"gnssid\":1,\"svid\":127}"},              // SBAS L1
      {70, '1', ",\"gnssid\":6,\"svid\":6}"},                // GLONASS L1 OF
      {70, '3', ",\"gnssid\":6,\"svid\":6,\"sigid\":2}"},    // L2 OF
      {195, '4', ",\"gnssid\":5,\"svid\":3,\"sigid\":1}"},   // QZSS L1S
      {195, '6', ",\"gnssid\":5,\"svid\":3,\"sigid\":5}"},   // L2 CL
      {195, '8', ",\"gnssid\":5,\"svid\":3,\"sigid\":9}"},   // L5 Q
      {307, '7', ",\"gnssid\":2,\"svid\":7}"},               // Galileo E1
      {307, '1', ",\"gnssid\":2,\"svid\":7,\"sigid\":3}"},   // E5a
      {307, '2', ",\"gnssid\":2,\"svid\":7,\"sigid\":5}"},   // E5b
      {412, 'B', ",\"gnssid\":3,\"svid\":12,\"sigid\":2}"},  // BeiDou B2I
      {412, 'b', ",\"gnssid\":3,\"svid\":12,\"sigid\":2}"},
      {412, '3', ",\"gnssid\":3,\"svid\":12,\"sigid\":5}"},  // B1C
      {412, '5', ",\"gnssid\":3,\"svid\":12,\"sigid\":7}"},  // B2a
      {502, '1', ",\"gnssid\":7,\"svid\":2}"},               // NavIC L5
      // All signals, garbage, none, and a number no system owns.
      {5, '0', ",\"gnssid\":0,\"svid\":5}"},
      {5, 'Z', ",\"gnssid\":0,\"svid\":5}"},
      {5, '\0', ",\"gnssid\":0,\"svid\":5}"},
      {100, '6', "}"},
  };
  Epoch e;
  e.sky.used = {5};  // GSA's count stands only for the union
  std::string want = "{\"class\":\"SKY\",\"nSat\":24,\"uSat\":9,\"satellites\":[";
  for (const Row& r : rows) {
    SignalSatellite sat;
    sat.satellite.number = r.number;
    sat.satellite.snr = 30;
    sat.satellite.used_in_fix = r.number == 5;
    sat.signal = r.signal;
    e.signals.push_back(sat);
    want += std::string(e.signals.size() == 1 ? "" : ",") + "{\"PRN\":" + std::to_string(r.number) +
            ",\"ss\":30,\"used\":" + (r.number == 5 ? "true" : "false") + r.tail;
  }
  want += "]}\n";
  EXPECT_EQ(GpsdSky(e), want);
  // No signals: the union as before, GSA's count of satellites used.
  e.signals.clear();
  EXPECT_EQ(GpsdSky(e), "{\"class\":\"SKY\",\"nSat\":0,\"uSat\":1,\"satellites\":[]}\n");
}

// Many epochs into one buffer, as the command gathers them for one write,
// come out as each written alone: the buffer grows without losing text.
TEST(GpsdJsonTest, OneBufferHoldsManyEpochsInOrder) {
  TextBuffer buffer;
  std::string want;
  for (int i = 0; i < 2000; ++i) {
    Epoch e;
    e.mode = 3;
    e.latitude = i * 0.001;
    e.sentences = {"GGA", "GSA"};
    for (int n = 1; n <= i % 40; ++n) {
      Satellite sat;
      sat.number = n;
      sat.used_in_fix = n % 2 == 0;
      e.sky.in_sight.push_back(sat);
    }
    AppendGpsd(buffer, e);
    want += GpsdTpv(e) + GpsdSky(e);
  }
  EXPECT_EQ(buffer.view(), want);
  buffer.clear();
  EXPECT_EQ(buffer.size(), 0u);
}

}  // namespace
}  // namespace orvane::cli
