#include "engine/fix_state.h"
#include "control/event_args.h"
#include "presentation/settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "automation/date.h"
#include "automation/error_info.h"
#include "engine/navigation_state.h"
#include "engine/sentence.h"
#include "presentation/geo_position.h"
#include "support/nmea.h"
#include "support/position_cases.h"

namespace orvane {
namespace {

// A sentence handed to its handler as the loop hands it over.
void Rmc(FixState& s, const std::string& body) {
  s.ParseRmc(testing::HandlerFields("$GPRMC," + body));
}
void Gga(FixState& s, const std::string& body) {
  s.ParseGga(testing::HandlerFields("$GPGGA," + body));
}
void Gll(FixState& s, const std::string& body) {
  s.ParseGll(testing::HandlerFields("$GPGLL," + body));
}

const char kFullRmc[] = "123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W,A";
const char kFullGga[] = "123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,3.7,0120";

std::string Deg() { return "\xB0 "; }

// "VT_DATE y-m-d h:m:s", "VT_DATE 0", "VT_EMPTY", ... for comparisons that
// print well.
std::string DateText(const Variant& v) {
  if (v.vt() != VT_DATE) return DebugString(v);
  if (v.date() == 0.0) return "VT_DATE 0";
  std::optional<DateParts> p = SplitDate(v.date());
  if (!p) return "VT_DATE ?";
  char buf[64];
  std::snprintf(buf, sizeof buf, "VT_DATE %04d-%02d-%02d %02d:%02d:%02d", p->year, p->month, p->day,
                p->hour, p->minute, p->second);
  return buf;
}

TEST(FixStateInitial, ValuesBeforeAnySentence) {
  Settings settings;
  FixState s(settings);
  EXPECT_EQ(s.FixGood(), Variant::Bool(false));
  EXPECT_EQ(s.FixDateTime(), Variant::Date(0.0));
  EXPECT_EQ(s.Latitude(), Variant::Text(""));
  EXPECT_EQ(s.Longitude(), Variant::Text(""));
  for (const Variant& v : {s.Speed(), s.TrueCourse(), s.MagVariation(), s.FixQuality(),
                           s.NumSatellitesInFix(), s.Altitude(), s.GeoidHeightAboveWGS84Ellipsoid(),
                           s.TimeSinceLastDGPSUpdate(), s.DGPSRefStationID(), s.ModeIndicator()}) {
    EXPECT_TRUE(v.is_empty()) << DebugString(v);
  }
  EXPECT_EQ(s.DegLabel(), Variant::Text("\u00B0 "));
  EXPECT_EQ(s.MinLabel(), Variant::Text("' "));
  EXPECT_EQ(s.SecLabel(), Variant::Text("\""));
  // Converting units turn an empty speed and geoid height into 0.0, never
  // an empty altitude.
  settings.speed_units = 1;
  settings.altitude_units = 1;
  EXPECT_EQ(s.Speed(), Variant::R8(0.0));
  EXPECT_EQ(s.GeoidHeightAboveWGS84Ellipsoid(), Variant::R8(0.0));
  EXPECT_TRUE(s.Altitude().is_empty());
}

struct DateCase {
  const char* time;
  const char* date;
  const char* expected;
};

TEST(FixStateRmc, DateAndCenturyRules) {
  const DateCase cases[] = {
      {"235959", "310104", "VT_DATE 2004-01-31 23:59:59"},
      {"235959.50", "310104", "VT_DATE 2004-01-31 23:59:59"},
      {"000000", "010169", "VT_DATE 2069-01-01 00:00:00"},
      {"000000", "010170", "VT_DATE 1970-01-01 00:00:00"},
      {"000000", "311299", "VT_DATE 1999-12-31 00:00:00"},
      {"000000", "010100", "VT_DATE 2000-01-01 00:00:00"},
      {"120000", "290200", "VT_DATE 2000-02-29 12:00:00"},
      {"1200ab", "010104", "VT_DATE 2004-01-01 12:00:00"},
      // Invalid dates and times store 0.0, not empty.
      {"120000", "300204", "VT_DATE 0"},
      {"120000", "290201", "VT_DATE 0"},
      {"240000", "010104", "VT_DATE 0"},
      {"126000", "010104", "VT_DATE 0"},
      {"120060", "010104", "VT_DATE 0"},
      {"120000", "001304", "VT_DATE 0"},
      {"120000", "xxxxxx", "VT_DATE 0"},
      // Without a usable date or time the fix time is cleared.
      {"120000", "", "VT_EMPTY"},
      {"120000", "01010", "VT_EMPTY"},
      {"120000", "0101040", "VT_EMPTY"},
      {"12000", "010104", "VT_EMPTY"},
      {"", "010104", "VT_EMPTY"},
  };
  for (const DateCase& c : cases) {
    Settings settings;
    FixState s(settings);
    Rmc(s, kFullRmc);
    Rmc(s, std::string(c.time) + ",A,4916.45,N,12311.12,W,,," + c.date + ",,,");
    EXPECT_EQ(DateText(s.FixDateTime()), c.expected) << c.time << " " << c.date;
  }
}

TEST(FixStateRmc, StatusLetters) {
  const std::pair<const char*, bool> cases[] = {{"A", true},    {"a", true}, {"V", false},
                                                {"v", false},   {"", false}, {"AA", false},
                                                {"\xC1", false}};
  for (const auto& [status, good] : cases) {
    Settings settings;
    FixState s(settings);
    Rmc(s, kFullRmc);
    Rmc(s, std::string("225446,") + status + ",4916.45,N,12311.12,W,000.5,054.7,191194,020.3,E,A");
    EXPECT_EQ(s.FixGood(), Variant::Bool(good)) << '"' << status << '"';
    // An invalid status still stores the rest of the fix.
    EXPECT_EQ(s.Latitude(), Variant::Ansi("49.274167" + Deg() + " N")) << status;
    EXPECT_EQ(s.Speed(), Variant::R8(0.5)) << status;
    EXPECT_EQ(DateText(s.FixDateTime()), "VT_DATE 1994-11-19 22:54:46") << status;
  }
}

struct RmcMembersCase {
  const char* speed;
  const char* course;
  const char* variation;
  const char* direction;
  const char* mode;
  Variant want_speed;
  Variant want_course;
  Variant want_variation;
  Variant want_mode;
};

TEST(FixStateRmc, SpeedCourseVariationMode) {
  const Variant e;
  const RmcMembersCase cases[] = {
      {"022.4", "084.4", "3.1", "W", "A", Variant::R8(22.4), Variant::R8(84.4),
       Variant::Text("3.1 W"), Variant::Text("A")},
      {"0", "359.9", "003.10", "e", "N", Variant::R8(0.0), Variant::R8(359.9),
       Variant::Text("003.10 e"), Variant::Text("N")},
      // Empty fields clear what the previous sentence stored.
      {"", "", "", "", "", e, e, e, e},
      // A non-numeric number stores 0; a direction of two bytes or none drops
      // the variation; a mode of two bytes is dropped, any single byte kept.
      {"abc", "x", "3.1", "W\r", "AB", Variant::R8(0.0), Variant::R8(0.0), e, e},
      {"1.5", "", "", "W", "\xE9", Variant::R8(1.5), e, e, Variant::Text("\u00E9")},
      {"", "", "3.1", "", "\x80", e, e, e, Variant::Text("\u20AC")},
  };
  for (const RmcMembersCase& c : cases) {
    Settings settings;
    FixState s(settings);
    Rmc(s, kFullRmc);
    Rmc(s, std::string("123519,A,4807.038,N,01131.000,E,") + c.speed + "," + c.course + ",230394," +
               c.variation + "," + c.direction + "," + c.mode);
    const std::string what = std::string(c.speed) + "|" + c.course + "|" + c.variation + "|" +
                             c.direction + "|" + c.mode;
    EXPECT_EQ(s.Speed(), c.want_speed) << what << " got " << DebugString(s.Speed());
    EXPECT_EQ(s.TrueCourse(), c.want_course) << what << " got " << DebugString(s.TrueCourse());
    EXPECT_EQ(s.MagVariation(), c.want_variation)
        << what << " got " << DebugString(s.MagVariation());
    EXPECT_EQ(s.ModeIndicator(), c.want_mode) << what << " got " << DebugString(s.ModeIndicator());
  }
}

TEST(FixStateRmc, LeavesGgaMembersAlone) {
  Settings settings;
  FixState s(settings);
  Gga(s, kFullGga);
  Rmc(s, kFullRmc);
  EXPECT_EQ(s.FixQuality(), Variant::I2(1));
  EXPECT_EQ(s.NumSatellitesInFix(), Variant::I2(8));
  EXPECT_EQ(s.Altitude(), Variant::R8(545.4));
  EXPECT_EQ(s.GeoidHeightAboveWGS84Ellipsoid(), Variant::R8(46.9));
  EXPECT_EQ(s.TimeSinceLastDGPSUpdate(), Variant::I4(3));
  EXPECT_EQ(s.DGPSRefStationID(), Variant::I2(120));
}

TEST(FixStateRmc, PositionFollowsTheParseRulesAndTheRestIsStored) {
  for (const tables::PositionCase& c : tables::PositionCases()) {
    Settings settings;
    FixState s(settings);
    Rmc(s, "000000,A,0100.00,N,00200.00,E,,,010104,,,");
    Rmc(s, std::string("000001,A,") + c.lat + "," + c.lat_h + "," + c.lon + "," + c.lon_h +
               ",1.0,,010104,,,");
    GeoPosition want;
    want.latitude = c.latitude;
    want.longitude = c.longitude;
    std::string lat, lon;
    FormatLatLon(want, 0, &lat, &lon);
    EXPECT_EQ(s.Latitude(), Variant::Ansi(lat)) << c;
    EXPECT_EQ(s.Longitude(), Variant::Ansi(lon)) << c;
    // The other members are stored whatever the position did.
    EXPECT_EQ(s.Speed(), Variant::R8(1.0)) << c;
  }
}

TEST(FixStateGga, TimeTakesTheStoredDay) {
  Settings settings;
  FixState s(settings);
  Gga(s, "123519,,,,,,,,,,,,,");
  EXPECT_EQ(DateText(s.FixDateTime()), "VT_DATE 1899-12-30 12:35:19");
  Rmc(s, "235959,A,,,,,,,310104,,,");
  Gga(s, "000001.25,,,,,,,,,,,,,");
  EXPECT_EQ(DateText(s.FixDateTime()), "VT_DATE 2004-01-31 00:00:01");
  EXPECT_NEAR(s.TimeOnFixDate("120000"), s.FixDateTime().date() + 0.5 - 1.0 / 86400, 1e-9);
  Gga(s, "250000,,,,,,,,,,,,,");
  EXPECT_EQ(DateText(s.FixDateTime()), "VT_DATE 0");
  Rmc(s, "235959,A,,,,,,,310104,,,");
  Gga(s, "12345,,,,,,,,,,,,,");
  EXPECT_EQ(DateText(s.FixDateTime()), "VT_EMPTY");
  Rmc(s, "235959,A,,,,,,,310104,,,");
  Gga(s, ",,,,,,,,,,,,,");
  EXPECT_EQ(DateText(s.FixDateTime()), "VT_EMPTY");
}

// GGA and GLL keep their last time-on-date result for a repeated time and
// stored date: every sentence must still give what the stored date and its
// own time give, whichever of the two repeats.
TEST(FixStateGga, RepeatedTimesAndDatesGiveTheFreshResult) {
  Settings settings;
  FixState s(settings);
  std::mt19937_64 rng(15);
  const char* const times[] = {"120000", "120000.50", "235959", "000000",
                               "120001", "250000",    "1200xx"};
  const char* const dates[] = {"310104", "010104", "290200", "311299", "000000"};
  for (int i = 0; i < 3000; ++i) {
    const std::string time = times[rng() % std::size(times)];
    switch (rng() % 3) {
      case 0: Rmc(s, time + ",A,,,,,,," + dates[rng() % std::size(dates)] + ",,,"); continue;
      case 1: {
        const double want = s.TimeOnFixDate(time);
        Gga(s, time + ",,,,,,,,,,,,,");
        ASSERT_EQ(s.FixDateTime().vt(), VT_DATE) << i;
        const double got = s.FixDateTime().date();
        ASSERT_EQ(std::memcmp(&want, &got, sizeof want), 0) << i << " " << time << " " << got;
        break;
      }
      default: {
        const double want = s.TimeOnFixDate(time);
        Gll(s, ",,,," + time + ",A");
        ASSERT_EQ(s.FixDateTime().vt(), VT_DATE) << i;
        const double got = s.FixDateTime().date();
        ASSERT_EQ(std::memcmp(&want, &got, sizeof want), 0) << i << " " << time << " " << got;
        break;
      }
    }
  }
}

TEST(FixStateGga, MembersAndUnitRules) {
  struct Case {
    const char* body;
    const char* latitude;
    Variant altitude, quality, satellites, geoid, age, station;
  };
  const Variant e;
  // Each case follows a GGA at 10 N, 20 E, 7 m and an RMC at 48.1173 N.
  const Case cases[] = {
      {kFullGga, "48.117300", Variant::R8(545.4), Variant::I2(1), Variant::I2(8), Variant::R8(46.9),
       Variant::I4(3), Variant::I2(120)},
      // Altitude not in metres: nothing of the position changes.
      {"123519,4916.45,N,12311.12,W,2,05,1.0,100.0,F,-17.0,m,,", "48.117300", Variant::R8(7.0),
       Variant::I2(2), Variant::I2(5), Variant::R8(-17.0), e, e},
      {"123519,4916.45,N,12311.12,W,2,05,1.0,100.0,,-17.0,M,,", "48.117300", Variant::R8(7.0),
       Variant::I2(2), Variant::I2(5), Variant::R8(-17.0), e, e},
      // An empty altitude needs no unit; the geoid needs M or m.
      {"123519,4916.45,N,12311.12,W,9,70000,1.0,,F,-17.0,F,x,-1", "49.274167", e, Variant::I2(9),
       Variant::I2(4464), e, Variant::I4(0), Variant::I2(-1)},
      {"123519,4916.45,N,12311.12,W,x,,1.0,1e2,m,-17.0,,99999999999,", "49.274167",
       Variant::R8(100.0), Variant::I2(0), e, e, Variant::I4(2147483647), e},
      {",,,,,,,,,,,,,", "", e, e, e, e, e, e},
  };
  for (const Case& c : cases) {
    Settings settings;
    FixState s(settings);
    Gga(s, "000000,1000.00,N,02000.00,E,1,12,1.0,7.0,M,1.0,M,1,1");
    Rmc(s, kFullRmc);
    Gga(s, c.body);
    const std::string lat = s.Latitude().ToUtf8();
    EXPECT_EQ(lat.substr(0, lat.find('\xC2')), c.latitude) << c.body;
    EXPECT_EQ(s.Altitude(), c.altitude) << c.body << " got " << DebugString(s.Altitude());
    EXPECT_EQ(s.FixQuality(), c.quality) << c.body;
    EXPECT_EQ(s.NumSatellitesInFix(), c.satellites) << c.body;
    EXPECT_EQ(s.GeoidHeightAboveWGS84Ellipsoid(), c.geoid) << c.body;
    EXPECT_EQ(s.TimeSinceLastDGPSUpdate(), c.age) << c.body;
    EXPECT_EQ(s.DGPSRefStationID(), c.station) << c.body;
    // RMC's members are not GGA's business.
    EXPECT_EQ(s.FixGood(), Variant::Bool(true)) << c.body;
    EXPECT_EQ(s.Speed(), Variant::R8(22.4)) << c.body;
    EXPECT_EQ(s.TrueCourse(), Variant::R8(84.4)) << c.body;
    EXPECT_EQ(s.MagVariation(), Variant::Text("003.1 W")) << c.body;
    EXPECT_EQ(s.ModeIndicator(), Variant::Text("A")) << c.body;
  }
}

TEST(FixStateGll, TimeStatusAndPosition) {
  Settings settings;
  FixState s(settings);
  Rmc(s, "235959,A,,,,,,,310104,,,");
  // No time: the stored fix time stays.
  Gll(s, "4916.45,N,12311.12,W,,A");
  EXPECT_EQ(DateText(s.FixDateTime()), "VT_DATE 2004-01-31 23:59:59");
  EXPECT_EQ(s.FixGood(), Variant::Bool(true));
  EXPECT_EQ(s.Longitude(), Variant::Ansi("123.185333" + Deg() + " W"));
  Gll(s, "4916.45,N,12311.12,W,12345,a");
  EXPECT_EQ(DateText(s.FixDateTime()), "VT_DATE 2004-01-31 23:59:59");
  EXPECT_EQ(s.FixGood(), Variant::Bool(true));
  // A time goes on the stored day.
  Gll(s, "4916.45,N,12311.12,W,225444.99,V");
  EXPECT_EQ(DateText(s.FixDateTime()), "VT_DATE 2004-01-31 22:54:44");
  EXPECT_EQ(s.FixGood(), Variant::Bool(false));
  Gll(s, "4916.45,N,12311.12,W,225444,");
  EXPECT_EQ(s.FixGood(), Variant::Bool(false));
  Gll(s, "4916.45,N,12311.12,W,995444,A");
  EXPECT_EQ(DateText(s.FixDateTime()), "VT_DATE 0");
  // GLL has no altitude: the stored one stays.
  Gga(s, "000000,,,,,,,,12.5,M,,,,");
  Gll(s, "4916.45,S,12311.12,E,,A");
  EXPECT_EQ(s.Altitude(), Variant::R8(12.5));
  EXPECT_EQ(s.Latitude(), Variant::Ansi("49.274167" + Deg() + " S"));
}

// Event texts are reused while a position repeats: after every change of
// position, format or label they must still read as the properties do.
TEST(FixStateEvents, PositionTextsFollowEveryChange) {
  Settings settings;
  FixState s(settings);
  NavigationState nav(settings);
  auto rmb = [&](const std::string& dest) {
    nav.ParseRmb(
        testing::HandlerFields("$GPRMB,A,0.66,L,003,004," + dest + ",001.3,052.5,000.5,V"));
  };
  const std::function<void()> steps[] = {
      [&] {
        Rmc(s, kFullRmc);
        rmb("4917.24,N,12309.57,W");
      },
      [&] {
        Gga(s, kFullGga);
        rmb("4917.24,N,12309.57,W");
      },  // the same positions again
      [&] { settings.lat_lon_format = 1; },
      [&] { settings.lat_lon_format = 2; },
      [&] { ASSERT_EQ(s.PutDegLabel(Variant::Text("d")), S_OK); },
      [&] { ASSERT_EQ(s.PutSecLabel(Variant::Text("''")), S_OK); },
      [&] {
        Gll(s, "0000.000,N,00000.000,E,225444,A");
        rmb("0000.000,N,00000.000,E");
      },
      [&] {
        Gll(s, "0000.000,S,00000.000,W,225444,A");
        rmb("0000.000,S,00000.000,W");
      },  // -0.0
      [&] {
        Gll(s, ",,,,225444,A");
        rmb(",,,");
      },
      [&] {
        settings.lat_lon_format = 0;
        Rmc(s, kFullRmc);
        rmb("4917.24,N,12309.57,W");
      },
  };
  for (std::size_t i = 0; i < std::size(steps); ++i) {
    SCOPED_TRACE(i);
    steps[i]();
    const FixUpdateArgs fix = EventArgs::Of(s);
    EXPECT_EQ(fix[2], s.Latitude());
    EXPECT_EQ(fix[3], s.Longitude());
    const NavUpdateArgs dest = EventArgs::Of(nav);
    EXPECT_EQ(dest[2], nav.DestWptLatitude());
    EXPECT_EQ(dest[3], nav.DestWptLongitude());
  }
}

TEST(FixStateRobustness, HighBytesOverlongAndShortFieldListsNeverCrash) {
  Settings settings;
  FixState s(settings);
  const std::string high = "\xFF\xB0\x80\xC3\xA9\x7F.\xFE";
  const std::string digits(200000, '9');
  const std::string overlong = digits + "." + digits;
  for (const std::string& f :
       {high, overlong, std::string("."), std::string("-"), std::string(",")}) {
    std::string rmc, gga, gll;
    for (int i = 0; i < 12; ++i) rmc += f + ",";
    for (int i = 0; i < 14; ++i) gga += f + ",";
    for (int i = 0; i < 6; ++i) gll += f + ",";
    Rmc(s, rmc);
    Gga(s, gga);
    Gll(s, gll);
    const FixUpdateArgs args = EventArgs::Of(s);
    EXPECT_EQ(args[2].vt(), VT_BSTR);
    EXPECT_EQ(args[0].vt(), VT_BOOL);
  }
  // An overlong degrees text overflows and is refused; minutes of 9s are
  // accepted as computed.
  Rmc(s, "000000,A,1000.00,N,02000.00,E,,,010104,,,");
  Rmc(s, "000000,A," + overlong + ",N,02000.00,E,,,010104,,,");
  EXPECT_EQ(s.Latitude(), Variant::Ansi("10.000000" + Deg() + " N"));
  // Handlers take whatever list they are given.
  s.ParseRmc(SentenceFields{"$GPRMC"});
  s.ParseGga(SentenceFields{});
  s.ParseGll(SentenceFields{"$GPGLL", "4916.45"});
  EXPECT_TRUE(s.Altitude().is_empty());
  EXPECT_EQ(s.Latitude(), Variant::Text(""));
}

TEST(FixStateLabels, PutGetAndEffectOnCoordinates) {
  struct Case {
    Variant value;
    HRESULT result;
    Variant read_back;
    const char* latitude;  // UTF-8, format 0, after the put
  };
  const Case cases[] = {
      {Variant::Text("deg"), S_OK, Variant::Text("deg"), "47.606200deg N"},
      {Variant::I2(5), S_OK, Variant::Text("5"), "47.6062005 N"},
      {Variant::Text(""), S_OK, Variant::Text(""), "47.606200 N"},
      {Variant(), S_OK, Variant::Text(""), "47.606200 N"},
      {Variant::Text("\u20AC"), S_OK, Variant::Text("\u20AC"), "47.606200\u20AC N"},
      // Outside the code page: the conversion's replacement character.
      {Variant::Text("\u4E2D"), S_OK, Variant::Text("?"), "47.606200? N"},
      {Variant::Null(), DISP_E_TYPEMISMATCH, Variant::Text("\u00B0 "), "47.606200\u00B0  N"},
  };
  for (const Case& c : cases) {
    Settings settings;
    FixState s(settings);
    Rmc(s, "000000,A,4736.372,N,12219.926,W,,,010104,,,");
    SetErrorRecord(std::nullopt);
    EXPECT_EQ(s.PutDegLabel(c.value), c.result) << DebugString(c.value);
    EXPECT_FALSE(TakeErrorRecord().has_value()) << DebugString(c.value);
    EXPECT_EQ(s.DegLabel(), c.read_back) << DebugString(c.value);
    EXPECT_EQ(s.Latitude().ToUtf8(), c.latitude) << DebugString(c.value);
    EXPECT_EQ(EventArgs::Of(s)[2].ToUtf8(), c.latitude) << DebugString(c.value);
  }
  Settings settings;
  FixState s(settings);
  Rmc(s, "000000,A,4736.372,N,12219.926,W,,,010104,,,");
  ASSERT_EQ(s.PutMinLabel(Variant::Text("m")), S_OK);
  ASSERT_EQ(s.PutSecLabel(Variant::Text("s")), S_OK);
  EXPECT_EQ(s.PutMinLabel(Variant::Null()), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(s.MinLabel(), Variant::Text("m"));
  EXPECT_EQ(s.SecLabel(), Variant::Text("s"));
  settings.lat_lon_format = 2;
  EXPECT_EQ(s.Latitude().ToUtf8(), "47\u00B0 36m22.3200s N");
  // A new fix keeps the labels.
  Rmc(s, "000000,A,4736.372,S,12219.926,W,,,010104,,,");
  EXPECT_EQ(s.Latitude().ToUtf8(), "47\u00B0 36m22.3200s S");
}

TEST(FixStateArgs, UpdateArgsMatchTheGettersUnderEverySetting) {
  Settings settings;
  FixState s(settings);
  Rmc(s, kFullRmc);
  Gga(s, kFullGga);
  for (std::int16_t format : {0, 1, 2, 3}) {
    for (std::int16_t speed : {0, 1, 2}) {
      for (std::int16_t altitude : {0, 1}) {
        settings.lat_lon_format = format;
        settings.speed_units = speed;
        settings.altitude_units = altitude;
        const FixUpdateArgs args = EventArgs::Of(s);
        const Variant want[7] = {s.FixGood(),  s.FixDateTime(), s.Latitude(),  s.Longitude(),
                                 s.Altitude(), s.Speed(),       s.TrueCourse()};
        for (int i = 0; i < 7; ++i) {
          EXPECT_EQ(args[i], want[i]) << "arg " << i << " format " << format << " speed " << speed
                                      << " altitude " << altitude << ": " << DebugString(args[i]);
        }
      }
    }
  }
  settings.lat_lon_format = 0;
  settings.speed_units = 1;
  settings.altitude_units = 1;
  const FixUpdateArgs args = EventArgs::Of(s);
  EXPECT_EQ(args[2], Variant::Ansi("48.117300" + Deg() + " N"));
  EXPECT_EQ(args[3], Variant::Ansi("011.516667" + Deg() + " E"));
  EXPECT_DOUBLE_EQ(args[4].r8(), 545.4 * 3.2808399);
  EXPECT_DOUBLE_EQ(args[5].r8(), 22.4 * 1.852);
  settings.lat_lon_format = 3;
  EXPECT_EQ(EventArgs::Of(s)[2], Variant::Text(""));
  EXPECT_EQ(s.Longitude(), Variant::Text(""));
}

}  // namespace
}  // namespace orvane

namespace orvane {
namespace {

// GGA and GNS store their common members through one step: the same fix
// sent either way leaves the same values, and the same HDOP beside them.
TEST(FixStateGns, StoresWhatGgaStoresAndItsHdop) {
  struct Case {
    const char* gga;
    const char* gns;
    Variant hdop;
  };
  const Case cases[] = {
      {"112257.00,3844.24011,N,00908.43828,W,1,14,1.5,120.3,M,48.1,M,,",
       "112257.00,3844.24011,N,00908.43828,W,AN,14,1.5,120.3,48.1,,", Variant::R8(1.5)},
      {"112258.00,3844.24011,S,00908.43828,E,2,07,0.9,-3.5,M,0.0,M,2,0042",
       "112258.00,3844.24011,S,00908.43828,E,DN,07,0.9,-3.5,0.0,2,0042", Variant::R8(0.9)},
      {"112259.00,,,,,0,00,,,M,,M,,", "112259.00,,,,,NN,00,,,,,", Variant()},
  };
  Settings settings;
  for (const Case& c : cases) {
    FixState by_gga(settings), by_gns(settings);
    by_gga.KeepGgaHdop(true);
    by_gga.ParseGga(testing::HandlerFields(std::string("$GPGGA,") + c.gga));
    by_gns.ParseGns(testing::HandlerFields(std::string("$GNGNS,") + c.gns));
    const auto members = [](const FixState& s) {
      return s.Read([](const FixState::View& v) {
        return std::vector<Variant>{v.position.latitude,  v.position.longitude,
                                    v.position.altitude,  v.fix_date_time,
                                    v.fix_quality,        v.num_satellites_in_fix,
                                    v.geoid_height,       v.time_since_last_dgps_update,
                                    v.dgps_ref_station_id};
      });
    };
    const std::vector<Variant> gga = members(by_gga);
    const std::vector<Variant> gns = members(by_gns);
    ASSERT_EQ(gga.size(), gns.size());
    for (std::size_t i = 0; i < gga.size(); ++i) {
      EXPECT_EQ(DebugString(gga[i]), DebugString(gns[i])) << c.gns << " member " << i;
    }
    EXPECT_EQ(DebugString(by_gns.Extra(FixExtra::kFixHdop)), DebugString(c.hdop)) << c.gns;
    EXPECT_EQ(DebugString(by_gga.Extra(FixExtra::kFixHdop)), DebugString(c.hdop)) << c.gga;
  }
  // GGA's is kept only while epochs are taken (they alone read it).
  FixState unread(settings);
  unread.ParseGga(testing::HandlerFields(std::string("$GPGGA,") + cases[0].gga));
  EXPECT_TRUE(unread.Extra(FixExtra::kFixHdop).is_empty());
  // An empty field clears the HDOP the last GNS stored.
  FixState s(settings);
  s.ParseGns(testing::HandlerFields(std::string("$GNGNS,") + cases[0].gns));
  s.ParseGns(testing::HandlerFields(std::string("$GNGNS,") + cases[2].gns));
  EXPECT_TRUE(s.Extra(FixExtra::kFixHdop).is_empty());
}

}  // namespace
}  // namespace orvane
