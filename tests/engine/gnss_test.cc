// Receivers beyond the GP talker: talker matching, NMEA 4.10 trailing ids and
// satellites of several systems, fed through the receiver's line handling.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/receiver.h"

namespace orvane {
namespace {

class NoSinks : public EventRaiser {
 public:
  bool HasSinks() const override { return false; }
  void FireRawDataReceived(std::u16string_view, std::int32_t) override {}
  void FireFixUpdate(const FixUpdateArgs&) override {}
  void FireNavUpdate(const NavUpdateArgs&) override {}
  void FireSatelliteUpdate(const SatelliteUpdateArgs&) override {}
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
};

// A trailing signal id is never a satellite, whatever the talkers: with four
// blocks the field count already cuts it, with fewer it used to be read as a
// PRN.
TEST_F(GnssTest, TrailingSignalIdIsNotASatellite) {
  struct Case {
    const char* name;
    std::vector<std::string> lines;
    std::vector<int> in_view;
  } cases[] = {
      {"three blocks and the id", {"$GPGSV,1,1,03,01,10,100,30,02,20,200,40,03,30,300,50,1"}, {1, 2, 3}},
      {"two blocks and the id", {"$GPGSV,1,1,02,04,10,100,30,05,20,200,40,1"}, {4, 5}},
      {"one block and the id", {"$GPGSV,1,1,01,06,10,100,30,8"}, {6}},
      {"no block, only the id", {"$GPGSV,1,1,00,1"}, {}},
      {"four blocks and the id",
       {"$GPGSV,2,1,05,07,10,100,30,08,20,200,40,09,30,300,50,10,40,040,20,1", "$GPGSV,2,2,05,11,10,100,30,1"},
       {7, 8, 9, 10, 11}},
      {"without an id the blocks are unchanged", {"$GPGSV,1,1,02,12,10,100,30,13,20,200,40"}, {12, 13}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Feed(c.lines);
    EXPECT_EQ(InView(), c.in_view);
  }
}

}  // namespace
}  // namespace orvane
