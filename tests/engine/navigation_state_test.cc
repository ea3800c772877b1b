#include "engine/navigation_state.h"
#include "control/event_args.h"
#include "presentation/settings.h"

#include <gtest/gtest.h>

#include <string>

#include "support/nmea.h"

namespace orvane {
namespace {

void Feed(NavigationState& state, const std::string& line) {
  const SentenceFields f = testing::HandlerFields(line);
  if (f[0] == "$GPRMB")
    state.ParseRmb(f);
  else
    state.ParseBod(f);
}

const char kRmb[] = "$GPRMB,A,0.12,L,ORG,DST,4917.24,N,12309.57,W,1.3,3.2,10.5,V";
// The destination above with the default labels: degree sign and a blank.
const char kDestLat[] = "49.287333\xB0  N";
const char kDestLon[] = "123.159500\xB0  W";

class NavigationStateTest : public ::testing::Test {
 protected:
  Settings settings_;
  NavigationState nav_{settings_};
};

TEST_F(NavigationStateTest, StartsEmptyExceptArrival) {
  EXPECT_EQ(nav_.ArrivedAtDest(), Variant::Bool(false));
  for (const Variant& v :
       {nav_.CrossTrackError(), nav_.OriginWptID(), nav_.DestWptID(), nav_.TrueBearingToDest(),
        nav_.OrigToDestTrueBearing(), nav_.OrigToDestMagBearing(), nav_.RangeToDest(),
        nav_.DestClosingVelocity()}) {
    EXPECT_TRUE(v.is_empty()) << DebugString(v);
  }
  EXPECT_EQ(nav_.DestWptLatitude(), Variant::Ansi(""));
  EXPECT_EQ(nav_.DestWptLongitude(), Variant::Ansi(""));
  settings_.dist_units = 0;
  settings_.speed_units = 1;
  EXPECT_EQ(nav_.RangeToDest(), Variant::R8(0.0));
  EXPECT_EQ(nav_.DestClosingVelocity(), Variant::R8(0.0));
}

TEST_F(NavigationStateTest, RmbStoresEveryValue) {
  Feed(nav_, kRmb);
  EXPECT_EQ(nav_.CrossTrackError(), Variant::Ansi("0.12 L"));
  EXPECT_EQ(nav_.OriginWptID(), Variant::Ansi("ORG"));
  EXPECT_EQ(nav_.DestWptID(), Variant::Ansi("DST"));
  EXPECT_EQ(nav_.DestWptLatitude(), Variant::Ansi(kDestLat));
  EXPECT_EQ(nav_.DestWptLongitude(), Variant::Ansi(kDestLon));
  EXPECT_EQ(nav_.RangeToDest(), Variant::R8(1.3));
  EXPECT_EQ(nav_.TrueBearingToDest(), Variant::R8(3.2));
  EXPECT_EQ(nav_.DestClosingVelocity(), Variant::R8(10.5));
  EXPECT_EQ(nav_.ArrivedAtDest(), Variant::Bool(false));

  // Every member is replaced: an RMB with nothing in it clears them all.
  Feed(nav_, "$GPRMB,V");
  for (const Variant& v :
       {nav_.CrossTrackError(), nav_.OriginWptID(), nav_.DestWptID(), nav_.RangeToDest(),
        nav_.TrueBearingToDest(), nav_.DestClosingVelocity()}) {
    EXPECT_TRUE(v.is_empty()) << DebugString(v);
  }
  EXPECT_EQ(nav_.DestWptLatitude(), Variant::Ansi(""));
  EXPECT_EQ(nav_.DestWptLongitude(), Variant::Ansi(""));
}

TEST_F(NavigationStateTest, RmbTextFieldsAndArrival) {
  struct Case {
    const char* cross_track;
    const char* steer;
    const char* arrival;
    Variant want_xte;
    Variant want_arrived;
  };
  const Case cases[] = {
      {"0.12", "R", "A", Variant::Ansi("0.12 R"), Variant::Bool(true)},
      {"abc", "L", "a", Variant::Ansi("abc L"), Variant::Bool(true)},
      {"0.12", "", "v", Variant(), Variant::Bool(false)},
      {"0.12", "LR", "X", Variant(), Variant()},
      {"", "L", "", Variant(), Variant::Bool(false)},
      {"9\xE9", "\xE9", "AV", Variant::Ansi("9\xE9 \xE9"), Variant::Bool(false)},
  };
  for (const Case& c : cases) {
    NavigationState nav(settings_);
    Feed(nav, std::string("$GPRMB,A,") + c.cross_track + "," + c.steer +
                  ",O,D,4917.24,N,12309.57,W,1,2,3," + c.arrival);
    std::string input = std::string(c.cross_track) + "|" + c.steer + "|" + c.arrival;
    EXPECT_EQ(nav.CrossTrackError(), c.want_xte) << input;
    EXPECT_EQ(nav.ArrivedAtDest(), c.want_arrived) << input;
  }
}

TEST_F(NavigationStateTest, RmbMalformedDestinationKeepsWhatParsed) {
  Feed(nav_, kRmb);
  // Bad latitude hemisphere: both coordinates stay, the rest is updated.
  Feed(nav_, "$GPRMB,A,0.5,R,O2,D2,1000.00,Q,02000.00,E,2.0,,,A");
  EXPECT_EQ(nav_.DestWptLatitude(), Variant::Ansi(kDestLat));
  EXPECT_EQ(nav_.DestWptLongitude(), Variant::Ansi(kDestLon));
  EXPECT_EQ(nav_.DestWptID(), Variant::Ansi("D2"));
  EXPECT_EQ(nav_.RangeToDest(), Variant::R8(2.0));
  EXPECT_TRUE(nav_.TrueBearingToDest().is_empty());
  EXPECT_EQ(nav_.ArrivedAtDest(), Variant::Bool(true));
  // Bad longitude: the new latitude stays with the old longitude.
  Feed(nav_, "$GPRMB,A,,,,,1000.00,S,02000.00,X");
  EXPECT_EQ(nav_.DestWptLatitude(), Variant::Ansi("10.000000\xB0  S"));
  EXPECT_EQ(nav_.DestWptLongitude(), Variant::Ansi(kDestLon));
}

TEST_F(NavigationStateTest, BodBearingsAreTextAndIdentifiersPersist) {
  Feed(nav_, kRmb);
  Feed(nav_, "$GPBOD,097.0,T,103.2,M,,");
  EXPECT_EQ(nav_.OrigToDestTrueBearing(), Variant::Ansi("097.0"));
  EXPECT_EQ(nav_.OrigToDestMagBearing(), Variant::Ansi("103.2"));
  EXPECT_EQ(nav_.OriginWptID(), Variant::Ansi("ORG")) << "empty BOD identifiers keep RMB's";
  EXPECT_EQ(nav_.DestWptID(), Variant::Ansi("DST"));
  EXPECT_EQ(nav_.RangeToDest(), Variant::R8(1.3)) << "BOD leaves RMB values alone";

  Feed(nav_, "$GPBOD,097.0,,103.2,m,NEWD,NEWO");
  EXPECT_TRUE(nav_.OrigToDestTrueBearing().is_empty());
  EXPECT_EQ(nav_.OrigToDestMagBearing(), Variant::Ansi("103.2"));
  EXPECT_EQ(nav_.DestWptID(), Variant::Ansi("NEWD"));
  EXPECT_EQ(nav_.OriginWptID(), Variant::Ansi("NEWO"));

  Feed(nav_, "$GPBOD,,t,,TM");
  EXPECT_EQ(nav_.OrigToDestTrueBearing(), Variant::Ansi("")) << "letter present, no number";
  EXPECT_TRUE(nav_.OrigToDestMagBearing().is_empty());
}

TEST_F(NavigationStateTest, UnitsApplyOnReadOnly) {
  Feed(nav_, kRmb);
  const struct {
    std::int16_t units;
    double range;
  } dist[] = {{0, 1.3 * 1852.0}, {1, 1.3 * 6076.1154856}, {2, 1.3 * 1.1507771}, {3, 1.3}};
  for (const auto& d : dist) {
    settings_.dist_units = d.units;
    EXPECT_EQ(nav_.RangeToDest(), Variant::R8(d.range)) << "DistUnits " << d.units;
    EXPECT_EQ(nav_.CrossTrackError(), Variant::Ansi("0.12 L")) << "DistUnits " << d.units;
  }
  const struct {
    std::int16_t units;
    double velocity;
  } speed[] = {{0, 10.5 * 1.150779}, {1, 10.5 * 1.852}, {2, 10.5}};
  for (const auto& s : speed) {
    settings_.speed_units = s.units;
    EXPECT_EQ(nav_.DestClosingVelocity(), Variant::R8(s.velocity)) << "SpeedUnits " << s.units;
  }
}

TEST_F(NavigationStateTest, DestinationFollowsLatLonFormat) {
  Feed(nav_, kRmb);
  settings_.lat_lon_format = 1;
  EXPECT_EQ(nav_.DestWptLatitude(), Variant::Ansi("49\xB0 17.24000'  N"));
  EXPECT_EQ(nav_.DestWptLongitude(), Variant::Ansi("123\xB0 09.57000'  W"));
  for (std::int16_t code : {3, -1}) {
    settings_.lat_lon_format = code;
    EXPECT_EQ(nav_.DestWptLatitude(), Variant::Ansi("")) << "format " << code;
    EXPECT_EQ(nav_.DestWptLongitude(), Variant::Ansi("")) << "format " << code;
  }
}

TEST_F(NavigationStateTest, UpdateArgsMatchTheProperties) {
  Feed(nav_, kRmb);
  Feed(nav_, "$GPBOD,097.0,T,103.2,M,DST,ORG");
  settings_.dist_units = 0;
  settings_.speed_units = 1;
  NavUpdateArgs args = EventArgs::Of(nav_);
  const Variant want[] = {
      nav_.OriginWptID(),      nav_.DestWptID(),           nav_.DestWptLatitude(),
      nav_.DestWptLongitude(), nav_.TrueBearingToDest(),   nav_.RangeToDest(),
      nav_.CrossTrackError(),  nav_.DestClosingVelocity(), nav_.ArrivedAtDest(),
      nav_.RouteName(),        nav_.WptsInRoute()};
  for (std::size_t i = 0; i < args.size(); ++i) EXPECT_EQ(args[i], want[i]) << "argument " << i;
  EXPECT_EQ(args[5], Variant::R8(1.3 * 1852.0));
  EXPECT_EQ(args[10].vt(), kVtArrayOfVariant);
}

// Texts are kept when a sentence repeats them: whatever the sequence, every
// value is the one the last sentences gave, the code page's bytes included.
TEST_F(NavigationStateTest, RepeatedAndChangedTextsReadAsTheLastSentenceGave) {
  struct Step {
    const char* line;
    const char* cross_track;  // null: empty
    const char* origin;
    const char* true_bearing;
  };
  const Step steps[] = {
      {"$GPRMB,A,0.12,L,ORG,DST,,,,,,,,V", "0.12 L", "ORG", nullptr},
      {"$GPRMB,A,0.12,L,ORG,DST,,,,,,,,V", "0.12 L", "ORG", nullptr},
      {"$GPRMB,A,0.12,R,OR\xB0,DST,,,,,,,,V", "0.12 R", "OR\xB0", nullptr},
      {"$GPRMB,A,0.12,R,OR\xB1,DST,,,,,,,,V", "0.12 R", "OR\xB1", nullptr},
      {"$GPBOD,097.0,T,,,,", "0.12 R", "OR\xB1", "097.0"},
      {"$GPBOD,097.0,T,,,,ORG", "0.12 R", "ORG", "097.0"},
      {"$GPBOD,,T,,,,", "0.12 R", "ORG", ""},
      {"$GPBOD,097.0,X,,,,", "0.12 R", "ORG", nullptr},
      {"$GPRMB,A,,R,,DST,,,,,,,,V", nullptr, nullptr, nullptr},
      {"$GPRMB,A,1.5,L,O,DST,,,,,,,,V", "1.5 L", "O", nullptr},
  };
  auto text = [](const char* s) { return s == nullptr ? Variant() : Variant::Ansi(s); };
  for (const Step& step : steps) {
    Feed(nav_, step.line);
    EXPECT_EQ(nav_.CrossTrackError(), text(step.cross_track)) << step.line;
    EXPECT_EQ(nav_.OriginWptID(), text(step.origin)) << step.line;
    EXPECT_EQ(nav_.OrigToDestTrueBearing(), text(step.true_bearing)) << step.line;
    EXPECT_EQ(nav_.DestWptID(), Variant::Ansi("DST")) << step.line;
  }
}

}  // namespace
}  // namespace orvane
