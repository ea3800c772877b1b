#include "engine/satellite_state.h"
#include "control/event_args.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "support/nmea.h"

namespace orvane {
namespace {

// Splits "$GPGSA,..." the way the sentence loop does and hands it over.
void Feed(SatelliteState& state, const std::string& line) {
  const SentenceFields f = testing::HandlerFields(line);
  if (f[0] == "$GPGSA")
    state.ParseGsa(f);
  else
    state.ParseGsv(f);
}

// The PRNs of an array, failing unless it is VT_ARRAY|VT_VARIANT of VT_I2.
std::vector<int> Prns(const Variant& v) {
  std::vector<int> out;
  EXPECT_EQ(v.vt(), kVtArrayOfVariant) << DebugString(v);
  for (const Variant& e : v.array()) {
    EXPECT_EQ(e.vt(), VT_I2) << DebugString(e);
    out.push_back(e.i2());
  }
  return out;
}

struct Info {
  Variant azimuth, elevation, snr;
};
Info Lookup(const SatelliteState& s, const Variant& prn) {
  Info info{Variant::I4(7), Variant::I4(7), Variant::I4(7)};
  EXPECT_EQ(s.GetSatelliteInfo(prn, &info.azimuth, &info.elevation, &info.snr), S_OK);
  return info;
}

TEST(SatelliteStateTest, StartsEmptyWithZeroElementArrays) {
  SatelliteState s;
  for (const Variant& v : {s.AutomaticOperation(), s.OperationMode(), s.HDOP(), s.PDOP(), s.VDOP(),
                           s.NumSatellitesInView()}) {
    EXPECT_TRUE(v.is_empty()) << DebugString(v);
  }
  EXPECT_TRUE(Prns(s.FixSatellitePRNs()).empty());
  EXPECT_TRUE(Prns(s.SatelliteInViewPRNs()).empty());
  Info info = Lookup(s, Variant::I2(12));
  EXPECT_TRUE(info.azimuth.is_empty() && info.elevation.is_empty() && info.snr.is_empty());
}

TEST(SatelliteStateTest, GsaStoresEveryValueAndTheNextGsaClearsThem) {
  SatelliteState s;
  Feed(s, "$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1");
  EXPECT_EQ(s.AutomaticOperation(), Variant::Bool(true));
  EXPECT_EQ(s.OperationMode(), Variant::I2(3));
  EXPECT_EQ(Prns(s.FixSatellitePRNs()), (std::vector<int>{4, 5, 9, 12, 24}));
  EXPECT_EQ(s.PDOP(), Variant::R8(2.5));
  EXPECT_EQ(s.HDOP(), Variant::R8(1.3));
  EXPECT_EQ(s.VDOP(), Variant::R8(2.1));

  Feed(s, "$GPGSA,M,1,,,,,,,,,,,,,,,");
  EXPECT_EQ(s.AutomaticOperation(), Variant::Bool(false));
  EXPECT_EQ(s.OperationMode(), Variant::I2(1));
  EXPECT_TRUE(Prns(s.FixSatellitePRNs()).empty());
  EXPECT_TRUE(s.PDOP().is_empty() && s.HDOP().is_empty() && s.VDOP().is_empty());

  Feed(s, "$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1");
  Feed(s, "$GPGSA,A,3,04,05,,09,12,,,24");  // cut short after the PRNs
  EXPECT_TRUE(s.PDOP().is_empty() && s.HDOP().is_empty() && s.VDOP().is_empty());
}

// The single-system and the per-system handler store selection, fix mode
// and the three DOPs alike, each replacing what the GSA before it stored.
TEST(SatelliteStateTest, BothGsaFormsStoreTheSameSummary) {
  struct Case {
    const char* sentence;
    Variant automatic, mode, pdop, hdop, vdop;
  };
  const Variant e;
  const Case cases[] = {
      {"$GPGSA,M,2,04,,,,,,,,,,,,3.5,2.5,1.5", Variant::Bool(false), Variant::I2(2),
       Variant::R8(3.5), Variant::R8(2.5), Variant::R8(1.5)},
      {"$GPGSA,a,1,,,,,,,,,,,,,,0.9,", Variant::Bool(true), Variant::I2(1), e, Variant::R8(0.9), e},
      {"$GPGSA,,,,,,,,,,,,,,,9,,", e, e, Variant::R8(9.0), e, e},
      {"$GPGSA,X,4,01", e, e, e, e, e},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sentence);
    const SentenceFields f = testing::HandlerFields(c.sentence);
    const SentenceFields before = testing::HandlerFields("$GPGSA,A,3,04,05,,,,,,,,,,,7.0,8.0,6.0");
    SatelliteState single;
    single.ParseGsa(before);
    single.ParseGsa(f);
    SatelliteState per_system;
    per_system.ParseGsaSystem(before, "GN", "1");
    per_system.ParseGsaSystem(f, "GN", "1");
    for (const SatelliteState* s : {&single, &per_system}) {
      EXPECT_EQ(s->AutomaticOperation(), c.automatic);
      EXPECT_EQ(s->OperationMode(), c.mode);
      EXPECT_EQ(s->PDOP(), c.pdop);
      EXPECT_EQ(s->HDOP(), c.hdop);
      EXPECT_EQ(s->VDOP(), c.vdop);
    }
  }
}

TEST(SatelliteStateTest, GsaModeFields) {
  struct Case {
    const char* selection;
    const char* fix;
    Variant automatic;
    Variant mode;
  };
  const Case cases[] = {
      {"a", "1", Variant::Bool(true), Variant::I2(1)},
      {"m", "2", Variant::Bool(false), Variant::I2(2)},
      {"X", "0", Variant(), Variant()},
      {"AA", "4", Variant(), Variant()},
      {"", "", Variant(), Variant()},
      {"\xC1", "-1", Variant(), Variant()},
      {"A", "3.9", Variant::Bool(true), Variant::I2(3)},
      {"A", "99999999999", Variant::Bool(true), Variant()},
      {"A", "abc", Variant::Bool(true), Variant()},
  };
  for (const Case& c : cases) {
    SatelliteState s;
    Feed(s, std::string("$GPGSA,") + c.selection + "," + c.fix);
    EXPECT_EQ(s.AutomaticOperation(), c.automatic) << "selection '" << c.selection << "'";
    EXPECT_EQ(s.OperationMode(), c.mode) << "fix '" << c.fix << "'";
  }
}

TEST(SatelliteStateTest, GsaReadsPrnsAsTruncatedDecimals) {
  const struct {
    const char* field;
    int prn;
  } cases[] = {{"12.7", 12}, {"-3.9", -3}, {"1e3", 1000},   {"70000", 4464}, {"99999999999", 0},
               {"1e400", 0}, {"abc", 0},   {"\xFF\xFE", 0}, {" 07", 7}};
  for (const auto& c : cases) {
    SatelliteState s;
    Feed(s, std::string("$GPGSA,A,3,") + c.field);
    EXPECT_EQ(Prns(s.FixSatellitePRNs()), std::vector<int>{c.prn}) << "field '" << c.field << "'";
  }
}

TEST(SatelliteStateTest, GsvGroupPublishesAtItsLastMessage) {
  SatelliteState s;
  Feed(s, "$GPGSV,3,1,09,01,10,100,30,02,20,200,40,03,30,300,50,04,40,040,20");
  EXPECT_EQ(s.NumSatellitesInView(), Variant::I2(9));
  EXPECT_TRUE(Prns(s.SatelliteInViewPRNs()).empty());
  Feed(s, "$GPGSV,3,2,10,05,10,100,30,06,20,200,40,07,30,300,50,08,40,040,20");
  EXPECT_EQ(s.NumSatellitesInView(), Variant::I2(10));
  EXPECT_TRUE(Prns(s.SatelliteInViewPRNs()).empty());
  EXPECT_TRUE(Lookup(s, Variant::I2(5)).azimuth.is_empty()) << "pending table is not published";
  Feed(s, "$GPGSV,3,3,09,09,10,100,30");
  EXPECT_EQ(Prns(s.SatelliteInViewPRNs()), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(Lookup(s, Variant::I2(6)).azimuth, Variant::I2(200));

  // A new group's first message leaves the published one readable.
  Feed(s, "$GPGSV,2,1,,30,10,100,30");
  EXPECT_TRUE(s.NumSatellitesInView().is_empty());
  EXPECT_EQ(Prns(s.SatelliteInViewPRNs()).size(), 9u);
  EXPECT_TRUE(Lookup(s, Variant::I2(30)).azimuth.is_empty());
}

TEST(SatelliteStateTest, GsvBlockRangeChecks) {
  // Elevation, azimuth, SNR of one block against the values stored.
  struct Case {
    const char* elevation;
    const char* azimuth;
    const char* snr;
    Variant want_elevation, want_azimuth, want_snr;
  };
  const Case cases[] = {
      {"90", "360", "99", Variant::I2(90), Variant::I2(360), Variant::I2(99)},
      {"91", "361", "100", Variant(), Variant(), Variant()},
      {"0", "0", "0", Variant::I2(0), Variant::I2(0), Variant::I2(0)},
      {"-1", "-1", "-1", Variant(), Variant(), Variant()},
      {"", "", "", Variant(), Variant(), Variant()},
      {"abc", "99999999999", "-99999999999", Variant::I2(0), Variant(), Variant()},
      {"45.9", "65536", "\xB0", Variant::I2(45), Variant(), Variant::I2(0)},
  };
  for (const Case& c : cases) {
    SatelliteState s;
    Feed(s, std::string("$GPGSV,1,1,1,17,") + c.elevation + "," + c.azimuth + "," + c.snr);
    std::string input = std::string(c.elevation) + "," + c.azimuth + "," + c.snr;
    EXPECT_EQ(Prns(s.SatelliteInViewPRNs()), std::vector<int>{17}) << input;
    Info info = Lookup(s, Variant::I2(17));
    EXPECT_EQ(info.elevation, c.want_elevation) << input;
    EXPECT_EQ(info.azimuth, c.want_azimuth) << input;
    EXPECT_EQ(info.snr, c.want_snr) << input;
  }
}

TEST(SatelliteStateTest, GsvBlocksAndGroupBoundaries) {
  struct Case {
    const char* name;
    std::vector<std::string> lines;
    std::vector<int> published;
  };
  const Case cases[] = {
      {"empty PRN skips only its block", {"$GPGSV,1,1,3,,10,100,30,05,,,,,20,200,40,07"}, {5, 7}},
      {"duplicate PRN listed twice", {"$GPGSV,1,1,2,05,10,100,30,05,20,200,40"}, {5, 5}},
      {"no number and no total start and end a group", {"$GPGSV,,,1,11"}, {11}},
      {"number above total publishes nothing", {"$GPGSV,1,2,1,11"}, {}},
      {"lost first message appends to the old group",
       {"$GPGSV,2,1,4,01,,,,02", "$GPGSV,2,2,4,03,,,,04", "$GPGSV,2,2,4,13,,,,14"},
       {1, 2, 3, 4, 13, 14}},
      {"repeated closing message publishes again",
       {"$GPGSV,2,1,1,08", "$GPGSV,2,2,1,09", "$GPGSV,2,2,1,09"},
       {8, 9, 9}},
      {"number 1 starts even out of order", {"$GPGSV,3,2,2,01", "$GPGSV,1,1,1,02"}, {2}},
      {"non-numeric numbers read as 0 and close", {"$GPGSV,x,y,1,21"}, {21}},
      {"garbage PRN reads as 0 and is kept", {"$GPGSV,1,1,1,\xE9\xE9"}, {0}},
  };
  for (const Case& c : cases) {
    SatelliteState s;
    for (const std::string& line : c.lines) Feed(s, line);
    EXPECT_EQ(Prns(s.SatelliteInViewPRNs()), c.published) << c.name;
  }
  SatelliteState s;
  Feed(s, "$GPGSV,1,1,2,05,10,100,30,05,20,200,40");
  Info info = Lookup(s, Variant::I2(5));
  EXPECT_EQ(info.elevation, Variant::I2(20)) << "the later block wins";
  EXPECT_EQ(info.azimuth, Variant::I2(200));
}

TEST(SatelliteStateTest, NumSatellitesInViewKeepsLow16Bits) {
  const struct {
    const char* field;
    Variant want;
  } cases[] = {{"12", Variant::I2(12)},
               {"", Variant()},
               {"-3", Variant::I2(-3)},
               {"70000", Variant::I2(4464)},
               {"99999999999", Variant::I2(-1)}};
  for (const auto& c : cases) {
    SatelliteState s;
    Feed(s, std::string("$GPGSV,1,1,") + c.field);
    EXPECT_EQ(s.NumSatellitesInView(), c.want) << "field '" << c.field << "'";
  }
}

TEST(SatelliteStateTest, PendingSatellitesAreBounded) {
  SatelliteState s;
  // Group starts lost for a long time: messages 2 of 3 only.
  for (int i = 0; i < 200; ++i) Feed(s, "$GPGSV,3,2,12,01,,,,02,,,,03,,,,04");
  Feed(s, "$GPGSV,3,3,12,05");
  std::vector<int> published = Prns(s.SatelliteInViewPRNs());
  ASSERT_EQ(published.size(), SatelliteState::kMaxPendingSatellites);
  EXPECT_EQ(published.back(), 3) << "255 = 63 whole messages and three PRNs of the next";
  EXPECT_TRUE(Lookup(s, Variant::I2(5)).azimuth.is_empty());

  // The next group start recovers.
  Feed(s, "$GPGSV,1,1,1,05,10,100,30");
  EXPECT_EQ(Prns(s.SatelliteInViewPRNs()), std::vector<int>{5});
  EXPECT_EQ(Lookup(s, Variant::I2(5)).azimuth, Variant::I2(100));
}

TEST(SatelliteStateTest, GetSatelliteInfoCoercesThePrn) {
  SatelliteState s;
  Feed(s, "$GPGSV,1,1,2,12,45,270,33,00,5,10,0");
  struct Case {
    Variant prn;
    HRESULT hr;
    Variant azimuth;  // when hr is S_OK
  };
  const Case cases[] = {
      {Variant::Text("12"), S_OK, Variant::I2(270)},
      {Variant::Text(" 12 "), S_OK, Variant::I2(270)},
      {Variant::R8(12.0), S_OK, Variant::I2(270)},
      {Variant::I4(12), S_OK, Variant::I2(270)},
      {Variant(), S_OK, Variant::I2(10)},  // empty is PRN 0
      {Variant::I2(13), S_OK, Variant()},
      {Variant::Text("twelve"), DISP_E_TYPEMISMATCH, Variant()},
      {Variant::Null(), DISP_E_TYPEMISMATCH, Variant()},
      {Variant::I4(70000), DISP_E_OVERFLOW, Variant()},
  };
  for (const Case& c : cases) {
    Variant azimuth = Variant::Text("old");
    Variant elevation = Variant::Text("old");
    Variant snr = Variant::Text("old");
    EXPECT_EQ(s.GetSatelliteInfo(c.prn, &azimuth, &elevation, &snr), c.hr) << DebugString(c.prn);
    if (c.hr == S_OK) {
      EXPECT_EQ(azimuth, c.azimuth) << DebugString(c.prn);
    } else {
      EXPECT_EQ(azimuth, Variant::Text("old")) << "nothing written for " << DebugString(c.prn);
      EXPECT_EQ(elevation, Variant::Text("old"));
      EXPECT_EQ(snr, Variant::Text("old"));
    }
  }
}

TEST(SatelliteStateTest, UpdateArgsMatchTheProperties) {
  SatelliteState s;
  Feed(s, "$GPGSA,A,3,04,05,,,,,,,,,,,2.5,1.3,2.1");
  Feed(s, "$GPGSV,1,1,2,07,,,,08");
  SatelliteUpdateArgs args = EventArgs::Of(s);
  const Variant want[] = {s.AutomaticOperation(),
                          s.OperationMode(),
                          s.NumSatellitesInView(),
                          s.HDOP(),
                          s.PDOP(),
                          s.VDOP(),
                          s.FixSatellitePRNs(),
                          s.SatelliteInViewPRNs()};
  for (std::size_t i = 0; i < args.size(); ++i) EXPECT_EQ(args[i], want[i]) << "argument " << i;
  EXPECT_EQ(args[3], Variant::R8(1.3)) << "HDOP comes before PDOP";
}

// Each sentence states its own size twice (satellites in view and PDOP), so a
// reader that sees half of one sentence sees a mismatch.
TEST(SatelliteStateTest, ReadersSeeWholeSentences) {
  SatelliteState s;
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < 3000; ++i) {
      int n = i % 4 + 1;
      std::string gsv = "$GPGSV,1,1," + std::to_string(n);
      std::string gsa = "$GPGSA,A,3";
      for (int k = 0; k < n; ++k) {
        gsv += "," + std::to_string(i % 50 + k) + ",1,2,3";
        gsa += "," + std::to_string(k + 1);
      }
      for (int k = n; k < 12; ++k) gsa += ",";
      gsa += "," + std::to_string(n) + ",1,1";
      Feed(s, gsv);
      Feed(s, gsa);
    }
    done = true;
  });
  int checked = 0;
  while (!done || checked == 0) {
    SatelliteUpdateArgs args = EventArgs::Of(s);
    if (args[2].is_empty() || args[4].is_empty()) continue;
    ASSERT_EQ(static_cast<std::size_t>(args[2].i2()), args[7].array().size());
    ASSERT_EQ(static_cast<std::size_t>(args[4].r8()), args[6].array().size());
    Variant az, el, snr;
    ASSERT_EQ(s.GetSatelliteInfo(Variant::I2(7), &az, &el, &snr), S_OK);
    ++checked;
  }
  writer.join();
}

}  // namespace
}  // namespace orvane
