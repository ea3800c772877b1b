// The numbers a state keeps beside the texts it stores as received: each
// must be what reading the stored text back would give, so typed snapshots
// agree with the getters whatever the receiver sends.
#include <gtest/gtest.h>

#include <charconv>
#include <limits>
#include <optional>
#include <string>
#include <tuple>

#include "engine/fix_state.h"
#include "engine/navigation_state.h"
#include "presentation/settings.h"
#include "support/nmea.h"

namespace orvane {
namespace {

// The stored text read back, as the snapshots once did.
std::optional<double> LeadingNumberOf(const Variant& v) {
  if (v.vt() != VT_BSTR) return std::nullopt;
  const std::string text = v.ToUtf8();
  double value = 0.0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end == text.data()) return std::nullopt;
  return value;
}

// "003.1 W": the number, a space, one letter.
std::optional<double> NumberBeforeLetterOf(const Variant& v, std::optional<char>* letter) {
  if (v.vt() != VT_BSTR) return std::nullopt;
  const std::string text = v.ToUtf8();
  if (text.size() < 3) return std::nullopt;
  double value = 0.0;
  const char* end = text.data() + text.size() - 2;
  auto [stop, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || stop != end) return std::nullopt;
  *letter = text.back();
  return value;
}

constexpr double kInf = std::numeric_limits<double>::infinity();

struct Case {
  const char* value;
  const char* letter;
  std::optional<double> number;  // unsigned, as the text reads
};

// Numbers as from_chars reads them: no sign but '-', a letter of
// one ASCII byte (0xE9 is two bytes of UTF-8 once stored).
const Case kCases[] = {
    {"003.1", "W", 3.1},
    {"003.1", "E", 3.1},
    {"0.25", "L", 0.25},
    {"-2.5", "w", -2.5},
    {"1e2", "R", 100.0},
    {"+1.0", "W", {}},
    {" 1.0", "E", 1.0} /* fields come trimmed */,
    {"1.0x", "W", {}},
    {"1.2.3", "L", {}},
    {"003.1", "\xE9", {}},
    {"", "W", {}},
    {"3.1", "", {}},
    {"3.1", "WE", {}},
    {"inf", "E", kInf},
    {"1e999", "W", {}},
    {"12", "\x7F", 12.0},
};

TEST(TypedViews, MagneticVariationIsItsTextReadBack) {
  for (const Case& c : kCases) {
    Settings settings;
    FixState fix(settings);
    fix.ParseRmc(testing::HandlerFields(
        std::string("$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,") + c.value + "," +
        c.letter + ",A"));
    const std::optional<double> kept =
        fix.Read([](const FixState::View& v) { return v.magnetic_variation; });
    std::optional<char> letter;
    std::optional<double> read_back = NumberBeforeLetterOf(fix.MagVariation(), &letter);
    if (read_back && (letter == 'W' || letter == 'w')) read_back = -*read_back;
    EXPECT_EQ(kept, read_back) << c.value << " " << c.letter;
    std::optional<double> expected = c.number;
    if (expected && (c.letter[0] == 'W' || c.letter[0] == 'w')) expected = -*expected;
    EXPECT_EQ(kept, expected) << c.value << " " << c.letter;
  }
}

TEST(TypedViews, CrossTrackAndBearingsAreTheirTextsReadBack) {
  for (const Case& c : kCases) {
    Settings settings;
    NavigationState nav(settings);
    nav.ParseRmb(testing::HandlerFields(std::string("$GPRMB,A,") + c.value + "," + c.letter +
                                        ",ORG,DST,4917.24,N,12309.57,W,1.3,3.2,10.5,V"));
    nav.ParseBod(
        testing::HandlerFields(std::string("$GPBOD,") + c.value + ",T," + c.value + ",M,DST,ORG"));
    const auto [cross, bearing_true, bearing_mag] = nav.Read([](const NavigationState::View& v) {
      return std::make_tuple(v.cross_track, v.orig_to_dest_true_degrees,
                             v.orig_to_dest_mag_degrees);
    });
    std::optional<char> letter;
    EXPECT_EQ(cross.value, NumberBeforeLetterOf(nav.CrossTrackError(), &letter))
        << c.value << " " << c.letter;
    EXPECT_EQ(cross.letter, letter) << c.value << " " << c.letter;
    EXPECT_EQ(bearing_true, LeadingNumberOf(nav.OrigToDestTrueBearing())) << c.value;
    EXPECT_EQ(bearing_mag, LeadingNumberOf(nav.OrigToDestMagBearing())) << c.value;
    EXPECT_EQ(cross.value, c.number) << c.value << " " << c.letter;
  }
  // A sentence without the bearing clears its number with its text.
  Settings settings;
  NavigationState nav(settings);
  nav.ParseBod(testing::HandlerFields("$GPBOD,097.0,T,103.2,M,DST,ORG"));
  EXPECT_EQ(nav.Read([](const NavigationState::View& v) { return v.orig_to_dest_true_degrees; }),
            97.0);
  nav.ParseBod(testing::HandlerFields("$GPBOD,,,103.2,M,DST,ORG"));
  EXPECT_EQ(nav.Read([](const NavigationState::View& v) { return v.orig_to_dest_true_degrees; }),
            std::nullopt);
  EXPECT_EQ(nav.Read([](const NavigationState::View& v) { return v.orig_to_dest_mag_degrees; }),
            103.2);
}

}  // namespace
}  // namespace orvane
