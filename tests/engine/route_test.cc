#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "control/event_args.h"
#include "engine/navigation_state.h"
#include "presentation/settings.h"
#include "support/nmea.h"

namespace orvane {
namespace {

void Feed(NavigationState& state, const std::string& line) {
  const SentenceFields f = testing::HandlerFields(line);
  if (f[0] == "$GPRTE")
    state.ParseRte(f);
  else
    state.ParseWpl(f);
}

// The identifiers of WptsInRoute, failing unless it is an array of VT_BSTR.
std::vector<std::string> Route(const NavigationState& nav) {
  Variant v = nav.WptsInRoute();
  std::vector<std::string> out;
  EXPECT_EQ(v.vt(), kVtArrayOfVariant) << DebugString(v);
  for (const Variant& e : v.array()) {
    EXPECT_EQ(e.vt(), VT_BSTR) << DebugString(e);
    out.push_back(e.ToUtf8());
  }
  return out;
}

// Latitude and longitude texts (UTF-8) of GetWptLocation, "" when unknown.
std::pair<std::string, std::string> Where(const NavigationState& nav, const Variant& name) {
  Variant lat, lon;
  EXPECT_EQ(nav.GetWptLocation(name, &lat, &lon), S_OK) << DebugString(name);
  EXPECT_EQ(lat.vt(), VT_BSTR);
  EXPECT_EQ(lon.vt(), VT_BSTR);
  return {lat.ToUtf8(), lon.ToUtf8()};
}

const std::pair<std::string, std::string> kUnknown{"", ""};

class RouteTest : public ::testing::Test {
 protected:
  // One usual receiver cycle: the route, then one WPL per waypoint.
  void Cycle(const std::string& rte, const std::vector<std::string>& wpls) {
    Feed(nav_, rte);
    for (const std::string& w : wpls) Feed(nav_, w);
  }
  Settings settings_;
  NavigationState nav_{settings_};
};

const std::vector<std::string> kThreeWpls = {"$GPWPL,1000.00,N,02000.00,E,WP1",
                                             "$GPWPL,1100.00,S,02100.00,W,WP2",
                                             "$GPWPL,1200.00,N,02200.00,E,WP3"};

TEST_F(RouteTest, StartsWithNoRoute) {
  EXPECT_TRUE(Route(nav_).empty());
  EXPECT_TRUE(nav_.RouteName().is_empty());
  EXPECT_TRUE(nav_.RouteContainsAllWpts().is_empty());
  EXPECT_EQ(Where(nav_, Variant::Text("WP1")), kUnknown);
}

TEST_F(RouteTest, GroupPublishesAtItsLastSentence) {
  Feed(nav_, "$GPRTE,2,1,c,R1,WP1,WP2");
  EXPECT_TRUE(Route(nav_).empty());
  EXPECT_EQ(nav_.RouteName(), Variant::Ansi("R1"));
  EXPECT_EQ(nav_.RouteContainsAllWpts(), Variant::Bool(true));
  Feed(nav_, "$GPRTE,2,2,c,R1,WP3");
  EXPECT_EQ(Route(nav_), (std::vector<std::string>{"WP1", "WP2", "WP3"}));
  EXPECT_EQ(nav_.RouteName(), Variant::Ansi("R1"));
}

TEST_F(RouteTest, ModeAndName) {
  const struct {
    const char* mode;
    const char* name;
    Variant want_mode;
    Variant want_name;
  } cases[] = {
      {"c", "R1", Variant::Bool(true), Variant::Ansi("R1")},
      {"C", "r1", Variant::Bool(true), Variant::Ansi("r1")},
      {"w", "\xC9t\xE9", Variant::Bool(false), Variant::Ansi("\xC9t\xE9")},
      {"W", "", Variant::Bool(false), Variant()},
      {"x", "R", Variant(), Variant::Ansi("R")},
      {"cc", "R", Variant(), Variant::Ansi("R")},
      {"", "R", Variant(), Variant::Ansi("R")},
  };
  for (const auto& c : cases) {
    Feed(nav_, "$GPRTE,1,1,c,OLD,A");  // a value to replace
    Feed(nav_, std::string("$GPRTE,2,2,") + c.mode + "," + c.name);
    EXPECT_EQ(nav_.RouteContainsAllWpts(), c.want_mode) << "mode '" << c.mode << "'";
    EXPECT_EQ(nav_.RouteName(), c.want_name) << "name '" << c.name << "'";
  }
}

TEST_F(RouteTest, GroupAssembly) {
  const struct {
    const char* name;
    std::vector<std::string> lines;
    std::vector<std::string> route;
  } cases[] = {
      {"twelve identifiers, nine seen",
       {"$GPRTE,1,1,c,R,A,B,C,D,E,F,G,H,I,J,K,L"},
       {"A", "B", "C", "D", "E", "F", "G", "H", "I"}},
      {"empty identifiers skipped", {"$GPRTE,1,1,c,R,,A,,B"}, {"A", "B"}},
      {"lost first sentence appends to the old route",
       {"$GPRTE,1,1,c,R,A", "$GPRTE,2,2,c,S,B"},
       {"A", "B"}},
      {"repeated closing sentence appends again",
       {"$GPRTE,2,1,c,R,A", "$GPRTE,2,2,c,R,B", "$GPRTE,2,2,c,R,B"},
       {"A", "B", "B"}},
      {"unnumbered sentence starts and closes", {"$GPRTE,1,1,c,R,A", "$GPRTE,,,c,R,B"}, {"B"}},
      {"number without digits neither starts nor closes",
       {"$GPRTE,3,1,c,R,A", "$GPRTE,3,x,c,R,B"},
       {}},
      {"non-numeric total and number close", {"$GPRTE,y,x,c,R,A"}, {"A"}},
      {"duplicates kept", {"$GPRTE,1,1,c,R,WP1,WP2,WP1"}, {"WP1", "WP2", "WP1"}},
  };
  for (const auto& c : cases) {
    NavigationState nav(settings_);
    for (const std::string& line : c.lines) Feed(nav, line);
    EXPECT_EQ(Route(nav), c.route) << c.name;
  }
}

TEST_F(RouteTest, WaypointsBecomeReadableAtTheNextRouteStart) {
  Cycle("$GPRTE,1,1,c,R1,WP1,WP2,WP3", kThreeWpls);
  EXPECT_EQ(Where(nav_, Variant::Text("WP1")), kUnknown) << "first cycle answers nothing";
  Feed(nav_, "$GPRTE,2,1,c,R1,WP1,WP2");
  EXPECT_EQ(Where(nav_, Variant::Text("WP1")),
            std::make_pair(std::string("10.000000°  N"), std::string("020.000000°  E")));
  EXPECT_EQ(Where(nav_, Variant::Text("WP2")),
            std::make_pair(std::string("11.000000°  S"), std::string("021.000000°  W")));
  EXPECT_EQ(Where(nav_, Variant::Text("wp2")), kUnknown) << "lookup is case-sensitive";

  settings_.lat_lon_format = 2;
  EXPECT_EQ(Where(nav_, Variant::Text("WP3")), std::make_pair(std::string("12° 00' 00.0000\" N"),
                                                              std::string("022° 00' 00.0000\" E")));
  settings_.lat_lon_format = 3;
  EXPECT_EQ(Where(nav_, Variant::Text("WP3")), kUnknown);
}

TEST_F(RouteTest, PendingTableIsDiscardedWhenCountsDiffer) {
  Cycle("$GPRTE,1,1,c,R1,WP1,WP2,WP3", kThreeWpls);
  Cycle("$GPRTE,1,1,c,R1,WP1,WP2,WP3",
        {"$GPWPL,0100.00,N,00100.00,E,WP1", "$GPWPL,0100.00,N,00100.00,E,WP2",
         "$GPWPL,0100.00,N,00100.00,E,WP3", "$GPWPL,0100.00,N,00100.00,E,WP4"});
  Feed(nav_, "$GPRTE,1,1,c,R1,WP1,WP2,WP3");
  EXPECT_EQ(Where(nav_, Variant::Text("WP1")).first, "10.000000°  N") << "old table kept";
  EXPECT_EQ(Where(nav_, Variant::Text("WP4")), kUnknown);
}

TEST_F(RouteTest, WplRules) {
  Cycle("$GPRTE,1,1,c,R,A,B,C,D",
        {"$GPWPL,0100.00,N,00100.00,E,A", "$GPWPL,0200.00,N,00200.00,E,A",  // later wins
         "$GPWPL,0300.00,N,,E,B",                                           // no longitude
         "$GPWPL,0400.00,Q,00400.00,E,C",                                   // dropped
         "$GPWPL,0400.00,N,00400.00,X,C",                                   // dropped
         "$GPWPL,0500.00,n,00500.00,w,C", "$GPWPL,0600.00,N,00600.00,E,",   // no name
         "$GPWPL,0700.00,s,00700.00,e,D"});
  Feed(nav_, "$GPRTE,1,1,c,R,A");
  EXPECT_EQ(Where(nav_, Variant::Text("A")).first, "02.000000°  N");
  EXPECT_EQ(Where(nav_, Variant::Text("B")),
            std::make_pair(std::string("03.000000°  N"), std::string()));
  EXPECT_EQ(Where(nav_, Variant::Text("C")).second, "005.000000°  W");
  EXPECT_EQ(Where(nav_, Variant::Text("D")).first, "07.000000°  S");
}

TEST_F(RouteTest, RouteListingAWaypointTwiceIsNeverPublished) {
  Cycle("$GPRTE,1,1,c,R,WP1,WP2,WP1",
        {"$GPWPL,1000.00,N,02000.00,E,WP1", "$GPWPL,1100.00,S,02100.00,W,WP2"});
  Feed(nav_, "$GPRTE,1,1,c,R,WP1,WP2,WP1");
  EXPECT_EQ(Where(nav_, Variant::Text("WP1")), kUnknown);
}

TEST_F(RouteTest, GetWptLocationCoercesTheName) {
  Cycle("$GPRTE,1,1,c,R,3,\xC9T",
        {"$GPWPL,1000.00,N,02000.00,E,3", "$GPWPL,1000.00,N,02000.00,E,\xC9T"});
  Feed(nav_, "$GPRTE,1,1,c,R");
  EXPECT_EQ(Where(nav_, Variant::I4(3)).first, "10.000000°  N");
  EXPECT_EQ(Where(nav_, Variant::Text("ÉT")).first, "10.000000°  N") << "ANSI names match";
  EXPECT_EQ(Where(nav_, Variant()), kUnknown) << "empty is the empty name";
  for (const Variant& bad : {Variant::Null(), Variant::Array({})}) {
    Variant lat = Variant::I2(1), lon = Variant::I2(2);
    EXPECT_NE(nav_.GetWptLocation(bad, &lat, &lon), S_OK) << DebugString(bad);
    EXPECT_EQ(lat, Variant::I2(1)) << "nothing written for " << DebugString(bad);
    EXPECT_EQ(lon, Variant::I2(2));
  }
  Variant lat, lon;
  EXPECT_EQ(nav_.GetWptLocation(Variant::Null(), &lat, &lon), DISP_E_TYPEMISMATCH);
}

TEST_F(RouteTest, PendingRouteIsBounded) {
  // A group whose closing sentence never comes.
  Feed(nav_, "$GPRTE,9999,1,c,R");
  for (std::size_t i = 0; i < NavigationState::kMaxRouteWaypoints / 9 + 10; ++i) {
    Feed(nav_, "$GPRTE,9999,2,c,R,A,B,C,D,E,F,G,H,I");
  }
  Feed(nav_, "$GPRTE,3,3,c,R,LAST");
  std::vector<std::string> route = Route(nav_);
  ASSERT_EQ(route.size(), NavigationState::kMaxRouteWaypoints);
  EXPECT_NE(route.back(), "LAST");

  // Identifier bytes are bounded too: long names stop well before the count.
  const std::string long_id(60000, 'x');
  Feed(nav_, "$GPRTE,9,1,c,R," + long_id);
  for (int i = 0; i < 30; ++i) Feed(nav_, "$GPRTE,9,2,c,R," + long_id);
  Feed(nav_, "$GPRTE,9,9,c,R," + long_id);
  EXPECT_EQ(Route(nav_).size(), NavigationState::kMaxPendingNameBytes / long_id.size());
}

TEST_F(RouteTest, PendingWaypointTableIsBoundedWithoutFakingAMatch) {
  const std::size_t n = NavigationState::kMaxPendingWaypoints;
  ASSERT_LE(n, NavigationState::kMaxRouteWaypoints);
  auto long_route = [&] {
    for (std::size_t i = 0; i < n; i += 9) {
      std::string rte = std::string("$GPRTE,2,") + (i == 0 ? "1" : "2") + ",c,R";
      for (std::size_t k = i; k < i + 9 && k < n; ++k) rte += ",N" + std::to_string(k);
      Feed(nav_, rte);
    }
    Feed(nav_, "$GPRTE,2,2,c,R");
  };
  auto wpls = [&](std::size_t count, const char* lat) {
    for (std::size_t i = 0; i < count; ++i) {
      Feed(nav_, std::string("$GPWPL,") + lat + ",N,02000.00,E,N" + std::to_string(i));
    }
  };
  long_route();
  ASSERT_EQ(Route(nav_).size(), n);
  wpls(n, "1000.00");
  long_route();  // as many waypoints as identifiers: published
  EXPECT_EQ(Where(nav_, Variant::Text("N" + std::to_string(n - 1))).first, "10.000000°  N");
  // One name more than the bound: the table overflows and is discarded, as a
  // table with more names than the route has would be.
  wpls(n + 1, "2000.00");
  long_route();
  EXPECT_EQ(Where(nav_, Variant::Text("N0")).first, "10.000000°  N");
  EXPECT_EQ(Where(nav_, Variant::Text("N" + std::to_string(n))), kUnknown);
}

// Every route states its size in its name, so a reader that sees half of one
// sentence sees a mismatch.
TEST_F(RouteTest, ReadersSeeWholeSentences) {
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < 3000; ++i) {
      int n = i % 9 + 1;
      std::string rte = "$GPRTE,1,1,c," + std::to_string(n);
      for (int k = 0; k < n; ++k) rte += ",W" + std::to_string(k);
      Feed(nav_, rte);
      for (int k = 0; k < n; ++k) Feed(nav_, "$GPWPL,1000.00,N,02000.00,E,W" + std::to_string(k));
    }
    done = true;
  });
  int checked = 0;
  while (!done || checked == 0) {
    NavUpdateArgs args = EventArgs::Of(nav_);
    if (args[9].is_empty()) continue;
    ASSERT_EQ(std::to_string(args[10].array().size()), args[9].ToUtf8());
    auto where = Where(nav_, Variant::Text("W0"));
    ASSERT_TRUE(where == kUnknown || where.first == "10.000000°  N") << where.first;
    ++checked;
  }
  writer.join();
}

}  // namespace
}  // namespace orvane
