// Receivers beyond the GP talker: talker matching, NMEA 4.10 trailing ids and
// satellites of several systems, fed through the receiver's line handling.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "engine/gnss.h"
#include "engine/receiver.h"
#include "engine/talkers.h"
#include "presentation/settings_access.h"

namespace orvane {
namespace {

class NoSinks : public EventRaiser {
 public:
  bool HasSinks() const override { return false; }
  void FireRawDataReceived(std::u16string_view, std::int32_t) override {}
  void FireFixUpdate(const FixState&) override {}
  void FireNavUpdate(const NavigationState&) override {}
  void FireSatelliteUpdate(const SatelliteState&) override {}
  void FireFileComplete() override {}
};

std::vector<int> Prns(const Variant& v) {
  std::vector<int> out;
  for (const Variant& e : v.array()) out.push_back(e.i2());
  return out;
}

class GnssTest : public ::testing::Test {
 protected:
  Settings settings;
  NoSinks events;
  Receiver receiver{settings, events};

  void Feed(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) receiver.HandleLine(line);
  }
  std::vector<int> InView() const { return Prns(receiver.satellites().SatelliteInViewPRNs()); }
  std::vector<int> InFix() const { return Prns(receiver.satellites().FixSatellitePRNs()); }
  void Accept(const char* talkers) {
    ASSERT_EQ(PutTalkers(settings, Variant::Text(talkers)), S_OK);
  }
  int Snr(int prn) const {
    Variant azimuth, elevation, snr;
    EXPECT_EQ(receiver.satellites().GetSatelliteInfo(Variant::I2(static_cast<std::int16_t>(prn)),
                                                     &azimuth, &elevation, &snr),
              S_OK);
    return snr.is_empty() ? -1 : snr.i2();
  }
};

TEST(TalkerSetTest, ParseAndAccept) {
  struct Case {
    const char* text;
    bool valid;
    std::vector<const char*> accepted, refused;
  } cases[] = {
      {"GP", true, {"GP"}, {"GN", "gp", "G"}},
      {"*", true, {"GP", "GN", "GL", "EC", "II", "IN"}, {"PG", "PQ", "gp", "G1", "GPX"}},
      {"GP,GN,GL", true, {"GP", "GN", "GL"}, {"GA", "BD"}},
      {"EC", true, {"EC"}, {"GP"}},
      {"", false, {}, {}},
      {"gp", false, {}, {}},
      {"GPS", false, {}, {}},
      {"GP,", false, {}, {}},
      {",GP", false, {}, {}},
      {"GP,,GN", false, {}, {}},
      {"GP GN", false, {}, {}},
      {"*,GP", false, {}, {}},
      {"G1", false, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TalkerSet set;
    ASSERT_EQ(TalkerSet::Parse(c.text, &set), c.valid);
    if (!c.valid) {
      EXPECT_TRUE(set.GpOnly()) << "a refused text leaves the set alone";
      continue;
    }
    for (const char* t : c.accepted) EXPECT_TRUE(set.Accepts(t)) << t;
    for (const char* t : c.refused) EXPECT_FALSE(set.Accepts(t)) << t;
  }
}

TEST(GnssNumberingTest, EveryWayReceiversWriteANumber) {
  struct Case {
    GnssSystem system;
    int prn, unique;
  } cases[] = {
      {GnssSystem::kGps, 1, 1},         {GnssSystem::kGps, 32, 32},
      {GnssSystem::kGps, 46, 46},       {GnssSystem::kGps, 120, 33},
      {GnssSystem::kGps, 151, 64},      {GnssSystem::kGps, 193, 193},
      {GnssSystem::kGps, 0, 0},         {GnssSystem::kGps, 100, 0},
      {GnssSystem::kGlonass, 65, 65},   {GnssSystem::kGlonass, 96, 96},
      {GnssSystem::kGlonass, 1, 65},    {GnssSystem::kGlonass, 24, 88},
      {GnssSystem::kGlonass, 97, 0},    {GnssSystem::kGalileo, 1, 301},
      {GnssSystem::kGalileo, 36, 336},  {GnssSystem::kGalileo, 301, 301},
      {GnssSystem::kGalileo, 103, 303}, {GnssSystem::kGalileo, 37, 0},
      {GnssSystem::kBeidou, 1, 401},    {GnssSystem::kBeidou, 63, 463},
      {GnssSystem::kBeidou, 201, 401},  {GnssSystem::kBeidou, 437, 437},
      {GnssSystem::kBeidou, 64, 0},     {GnssSystem::kQzss, 1, 193},
      {GnssSystem::kQzss, 193, 193},    {GnssSystem::kQzss, 11, 0},
      {GnssSystem::kNavic, 1, 501},     {GnssSystem::kUnknown, 5, 5},
      {GnssSystem::kUnknown, 40, 40},   {GnssSystem::kUnknown, 70, 70},
      {GnssSystem::kUnknown, 130, 43},  {GnssSystem::kUnknown, 195, 195},
      {GnssSystem::kUnknown, 201, 401}, {GnssSystem::kUnknown, 237, 437},
      {GnssSystem::kUnknown, 305, 305}, {GnssSystem::kUnknown, 405, 405},
      {GnssSystem::kUnknown, 97, 0},    {GnssSystem::kUnknown, -1, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(UniqueSatelliteNumber(c.system, c.prn), c.unique)
        << "system " << static_cast<int>(c.system) << " prn " << c.prn;
  }
  EXPECT_EQ(SystemFromTalker("GN"), GnssSystem::kUnknown);
  EXPECT_EQ(SystemFromTalker("BD"), GnssSystem::kBeidou);
  EXPECT_EQ(SystemFromTalker("QZ"), GnssSystem::kQzss);
  EXPECT_EQ(SystemFromId("3"), GnssSystem::kGalileo);
  EXPECT_EQ(SystemFromId("7"), GnssSystem::kUnknown);
  EXPECT_EQ(SystemOfNumber(333), GnssSystem::kGalileo);
  EXPECT_EQ(SystemOfNumber(88), GnssSystem::kGlonass);
}

TEST(GnssNumberingTest, EveryTalkerAndNearMisses) {
  struct Case {
    std::string talker;
    GnssSystem system;
  } cases[] = {
      {"GP", GnssSystem::kGps},      {"GL", GnssSystem::kGlonass},
      {"GA", GnssSystem::kGalileo},  {"GB", GnssSystem::kBeidou},
      {"BD", GnssSystem::kBeidou},   {"GQ", GnssSystem::kQzss},
      {"QZ", GnssSystem::kQzss},     {"GI", GnssSystem::kNavic},
      {"GN", GnssSystem::kUnknown},  {"gp", GnssSystem::kUnknown},
      {"PG", GnssSystem::kUnknown},  {"G", GnssSystem::kUnknown},
      {"GPS", GnssSystem::kUnknown}, {"", GnssSystem::kUnknown},
      {"BQ", GnssSystem::kUnknown},  {std::string("G\0", 2), GnssSystem::kUnknown},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SystemFromTalker(c.talker), c.system) << ::testing::PrintToString(c.talker);
    // Its first letter alone is no talker.
    if (!c.talker.empty()) {
      EXPECT_EQ(SystemFromTalker(std::string_view(c.talker).substr(0, 1)), GnssSystem::kUnknown);
    }
  }
}

TEST_F(GnssTest, OtherTalkersOnlyWhenAccepted) {
  struct Case {
    const char* talkers;
    const char* line;
    bool fix;
  } cases[] = {
      {"GP", "$GNRMC,120000,A,4736.372,N,12219.926,W,5.5,045.0,310104,,,A", false},
      {"*", "$GNRMC,120001,A,4736.372,N,12219.926,W,5.5,045.0,310104,,,A", true},
      {"GP,GN", "$GNGGA,120002,4736.372,N,12219.926,W,1,09,0.9,12.5,M,,,,", true},
      {"GP,GL", "$GNGLL,4736.372,N,12219.926,W,120003,A,A", false},
      {"*", "$PGRMC,120004,A,4736.372,N,12219.926,W,5.5,045.0,310104,,,A", false},
      {"IN", "$INRMC,120005,A,4736.372,N,12219.926,W,5.5,045.0,310104,,,A", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.talkers) + " " + c.line);
    Accept(c.talkers);
    const auto before = receiver.stats().by_row;
    receiver.HandleLine(c.line);
    std::uint64_t handled = 0;
    for (std::size_t i = 0; i < before.size(); ++i)
      handled += receiver.stats().by_row[i] - before[i];
    EXPECT_EQ(handled, c.fix ? 1u : 0u);
  }
}

TEST_F(GnssTest, GsvGroupsPerTalkerAndSignalMergeIntoOneSky) {
  Accept("*");
  Feed({
      // GPS on L1 (signal 1) in two messages, then on L5 (signal 8): 10 is
      // seen on both, stronger on L5.
      "$GPGSV,2,1,05,01,10,100,30,05,20,200,40,10,30,300,25,12,40,040,20,1",
      "$GPGSV,2,2,05,15,50,150,35,1",
      "$GPGSV,1,1,02,10,30,300,44,24,60,060,33,8",
      "$GLGSV,1,1,02,65,15,115,31,72,25,225,41,1",
      "$GAGSV,1,1,01,05,35,335,28,7",
      "$GBGSV,1,1,01,19,45,145,38,1",
      "$GNGSV,1,1,01,130,10,210,20",
  });
  EXPECT_EQ(InView(), (std::vector<int>{1, 5, 10, 12, 15, 24, 43, 65, 72, 305, 419}));
  EXPECT_EQ(receiver.satellites().NumSatellitesInView(), Variant::I2(11));
  EXPECT_EQ(Snr(10), 44);
  Variant azimuth, elevation, snr;
  receiver.satellites().GetSatelliteInfo(Variant::I2(10), &azimuth, &elevation, &snr);
  EXPECT_EQ(azimuth, Variant::I2(300));
  EXPECT_EQ(Snr(305), 28) << "Galileo 5 is not GPS 5";
  EXPECT_EQ(Snr(5), 40);
  // A new L1 group replaces only GPS L1.
  Feed({"$GPGSV,1,1,01,01,11,101,31,1"});
  EXPECT_EQ(InView(), (std::vector<int>{1, 10, 24, 43, 65, 72, 305, 419}));
  EXPECT_EQ(Snr(10), 44);
}

// Beside the union, each satellite once per named signal, with that
// signal's own values; a signal's group that goes stale leaves both.
TEST_F(GnssTest, SignalsListEachSatelliteOncePerSignal) {
  using Row = std::tuple<int, char, int, int>;  // number, signal, azimuth, SNR
  const auto signals = [&] {
    return receiver.satellites().ReadSignals([](const SignalList& list, const auto&) {
      std::vector<Row> out;
      for (const SignalEntry& e : list)
        out.emplace_back(e.satellite.prn, e.signal, e.satellite.azimuth, e.satellite.snr);
      return out;
    });
  };
  Accept("*");
  Feed({"$GPGSV,1,1,02,10,30,300,25,12,40,040,20"});
  EXPECT_TRUE(signals().empty()) << "no signal named: the union is the whole sky";
  Feed({
      "$GPGSV,1,1,02,10,30,300,25,12,40,040,20,1", "$GPGSV,1,1,01,10,30,300,44,6",
      "$GNGSV,1,1,01,10,31,301,47,6",  // the same signal from GN: merged, GN first
      "$GAGSV,1,1,01,05,35,335,28,7", "$GAGSV,1,1,01,05,35,,30,2",
      "$GLGSV,1,1,01,65,15,115,31,Z",  // a garbage id names no signal
  });
  EXPECT_EQ(signals(), (std::vector<Row>{{10, 0, 300, 25},
                                         {10, '1', 300, 25},
                                         {10, '6', 301, 47},
                                         {12, 0, 40, 20},
                                         {12, '1', 40, 20},
                                         {65, 0, 115, 31},
                                         {305, '2', -1, 30},
                                         {305, '7', 335, 28}}));
  EXPECT_EQ(InView(), (std::vector<int>{10, 12, 65, 305})) << "the union as before";
  EXPECT_EQ(Snr(10), 47);
  // Fix times pass while only GPS L1 is sent: every other group leaves.
  for (int s = 0; s <= SatelliteState::kStaleFixTimes + 1; ++s) {
    char rmc[96];
    std::snprintf(rmc, sizeof rmc, "$GNRMC,1200%02d,A,4736.372,N,12219.926,W,5.5,045.0,310104,,,A",
                  s);
    Feed({rmc, "$GPGSV,1,1,01,12,40,040,21,1"});
  }
  EXPECT_EQ(signals(), (std::vector<Row>{{12, '1', 40, 21}}));
  EXPECT_EQ(InView(), (std::vector<int>{12}));
  // Talkers back to GP alone: its group as received is the sky, no signals.
  Accept("GP");
  Feed({"$GPGSV,1,1,01,14,40,040,21,1"});
  EXPECT_TRUE(signals().empty());
  EXPECT_EQ(InView(), (std::vector<int>{14}));
}

// GP alone: the group as received, no signal list.
TEST_F(GnssTest, OneGroupListsNoSignals) {
  Feed({"$GPGSV,1,1,02,10,30,300,25,12,40,040,20,1", "$GPGSV,1,1,01,10,30,300,44,6"});
  EXPECT_TRUE(receiver.satellites().ReadSignals(
      [](const SignalList& list, const auto&) { return list.empty(); }));
  EXPECT_EQ(InView(), (std::vector<int>{10}));
}

TEST_F(GnssTest, GsaUnionPerFixEpochWithSystemIds) {
  Accept("*");
  Feed({
      "$GNRMC,120000,A,4736.372,N,12219.926,W,5.5,045.0,310104,,,A",
      "$GNGSA,A,3,01,03,,,,,,,,,,,2.0,1.0,1.5,1",
      "$GNGSA,A,3,68,70,,,,,,,,,,,2.0,1.0,1.5,2",
      "$GNGSA,A,3,103,05,,,,,,,,,,,2.0,1.0,1.5,3",
      "$GNGSA,A,3,19,,,,,,,,,,,,2.1,1.1,1.6,4",
  });
  EXPECT_EQ(InFix(), (std::vector<int>{1, 3, 68, 70, 303, 305, 419}));
  EXPECT_EQ(receiver.satellites().PDOP(), Variant::R8(2.1));
  // A 4.0 receiver: no ids, two GN GSAs told apart by their numbers.
  Feed({
      "$GNGGA,120001,4736.372,N,12219.926,W,1,09,0.9,12.5,M,,,,",
      "$GNGSA,A,3,02,04,,,,,,,,,,,2.0,1.0,1.5",
      "$GNGSA,A,3,66,81,,,,,,,,,,,2.0,1.0,1.5",
      "$BDGSA,A,3,07,,,,,,,,,,,,2.0,1.0,1.5",
  });
  EXPECT_EQ(InFix(), (std::vector<int>{2, 4, 66, 81, 407}));
  // In GP mode the same GSAs replace each other, numbers as written.
  Accept("GP");
  Feed({"$GPGSA,A,3,02,04,,,,,,,,,,,2.0,1.0,1.5,1", "$GPGSA,A,3,66,,,,,,,,,,,,2.0,1.0,1.5,2"});
  EXPECT_EQ(InFix(), (std::vector<int>{66}));
}

TEST_F(GnssTest, GarbageTalkersAndSignalsKeepTheGroupsBounded) {
  Accept("*");
  Feed({"$GPGSV,1,1,01,03,10,100,30"});
  for (char a = 'A'; a <= 'Z'; ++a) {
    for (char b = 'A'; b <= 'Z'; ++b) {
      receiver.HandleLine(std::string("$") + a + b + "GSV,2,1,01,01,10,100,30," + a + b);
    }
  }
  Feed({"$GPGSV,1,1,01,05,10,100,30"});
  EXPECT_EQ(InView(), (std::vector<int>{5})) << "a known group still publishes";
  Feed({"$ZZGSV,1,1,01,07,10,100,30"});
  EXPECT_EQ(InView(), (std::vector<int>{5})) << "a new group beyond the bound is dropped";
}

TEST_F(GnssTest, ASystemThatStopsSendingLeavesTheSky) {
  Accept("*");
  auto second = [&](int s) {
    char rmc[96];
    std::snprintf(rmc, sizeof rmc, "$GNRMC,1200%02d,A,4736.372,N,12219.926,W,5.5,045.0,310104,,,A",
                  s);
    receiver.HandleLine(rmc);
  };
  second(0);
  Feed({"$GPGSV,1,1,01,01,10,100,30", "$GLGSV,1,1,01,65,15,115,31"});
  for (int s = 1; s <= SatelliteState::kStaleFixTimes; ++s) {
    second(s);
    Feed({"$GPGSV,1,1,01,01,10,100,30"});
    ASSERT_EQ(InView(), (std::vector<int>{1, 65})) << "second " << s;
  }
  // The same time again is the same fix: nothing ages.
  second(SatelliteState::kStaleFixTimes);
  EXPECT_EQ(InView(), (std::vector<int>{1, 65}));
  second(SatelliteState::kStaleFixTimes + 1);
  EXPECT_EQ(InView(), (std::vector<int>{1}));
  EXPECT_EQ(receiver.satellites().NumSatellitesInView(), Variant::I2(1));
}

// A trailing signal id is never a satellite, whatever the talkers: with four
// blocks the field count already cuts it, with fewer it used to be read as a
// PRN.
TEST_F(GnssTest, TrailingSignalIdIsNotASatellite) {
  struct Case {
    const char* name;
    std::vector<std::string> lines;
    std::vector<int> in_view;
  } cases[] = {
      {"three blocks and the id",
       {"$GPGSV,1,1,03,01,10,100,30,02,20,200,40,03,30,300,50,1"},
       {1, 2, 3}},
      {"two blocks and the id", {"$GPGSV,1,1,02,04,10,100,30,05,20,200,40,1"}, {4, 5}},
      {"one block and the id", {"$GPGSV,1,1,01,06,10,100,30,8"}, {6}},
      {"no block, only the id", {"$GPGSV,1,1,00,1"}, {}},
      {"four blocks and the id",
       {"$GPGSV,2,1,05,07,10,100,30,08,20,200,40,09,30,300,50,10,40,040,20,1",
        "$GPGSV,2,2,05,11,10,100,30,1"},
       {7, 8, 9, 10, 11}},
      {"without an id the blocks are unchanged",
       {"$GPGSV,1,1,02,12,10,100,30,13,20,200,40"},
       {12, 13}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Feed(c.lines);
    EXPECT_EQ(InView(), c.in_view);
  }
}

// Random groups of three GPS signals, numbers seen on several signals and
// repeated within a group, values often missing, groups often torn: after
// every line the sky must be the union rule applied to the groups last
// completed, computed here the plain way.
TEST_F(GnssTest, RandomGroupsMergeByTheUnionRule) {
  Accept("*");
  struct Sat {
    int elevation = -1, azimuth = -1, snr = -1;
  };
  using Group = std::map<int, Sat>;  // a number listed again replaces its values
  std::map<std::string, Group> pending, published;
  std::mt19937 rng(11);
  auto value = [&](int high) { return rng() % 4 == 0 ? -1 : static_cast<int>(rng() % (high + 1)); };
  auto field = [](int v) { return v < 0 ? std::string() : std::to_string(v); };
  for (int line = 0; line < 3000; ++line) {
    const std::string signal = std::string(1, "158"[rng() % 3]);
    const int total = 1 + static_cast<int>(rng() % 3);
    const int number = 1 + static_cast<int>(rng() % total);
    std::string text = "$GPGSV," + std::to_string(total) + "," + std::to_string(number) + ",12";
    Group& group = pending[signal];
    if (number == 1) group.clear();
    for (int block = static_cast<int>(rng() % 5); block > 0; --block) {
      const int prn = 1 + static_cast<int>(rng() % 12);
      const Sat sat{value(90), value(360), value(99)};
      group[prn] = sat;
      text += "," + std::to_string(prn) + "," + field(sat.elevation) + "," + field(sat.azimuth) +
              "," + field(sat.snr);
    }
    if (number == total) published[signal] = group;
    Feed({text + "," + signal});

    Group sky;  // first signal's position, strongest signal
    for (const auto& [key, g] : published) {
      for (const auto& [prn, sat] : g) {
        auto [it, inserted] = sky.try_emplace(prn, sat);
        if (inserted) continue;
        if (it->second.elevation < 0) it->second.elevation = sat.elevation;
        if (it->second.azimuth < 0) it->second.azimuth = sat.azimuth;
        it->second.snr = std::max(it->second.snr, sat.snr);
      }
    }
    std::vector<int> numbers;
    for (const auto& entry : sky) numbers.push_back(entry.first);
    ASSERT_EQ(InView(), numbers) << text;
    for (const auto& [prn, sat] : sky) {
      Variant azimuth, elevation, snr;
      receiver.satellites().GetSatelliteInfo(Variant::I2(static_cast<std::int16_t>(prn)), &azimuth,
                                             &elevation, &snr);
      ASSERT_EQ(elevation, sat.elevation < 0
                               ? Variant()
                               : Variant::I2(static_cast<std::int16_t>(sat.elevation)));
      ASSERT_EQ(azimuth,
                sat.azimuth < 0 ? Variant() : Variant::I2(static_cast<std::int16_t>(sat.azimuth)));
      ASSERT_EQ(snr, sat.snr < 0 ? Variant() : Variant::I2(static_cast<std::int16_t>(sat.snr)))
          << prn;
    }
  }
}

}  // namespace
}  // namespace orvane
