#include "presentation/units.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace orvane {
namespace {

struct UnitCase {
  const char* name;
  std::function<Variant(const Variant&, std::int16_t)> convert;
  Variant stored;
  std::int16_t code;
  Variant expected;
};

TEST(Units, FactorsAndEmptyRules) {
  const Variant e;
  const UnitCase cases[] = {
      {"speed mph", ConvertSpeed, Variant::R8(10), 0, Variant::R8(10 * 1.150779)},
      {"speed mph factor", ConvertSpeed, Variant::R8(1), 0, Variant::R8(1.150779)},
      {"speed km/h", ConvertSpeed, Variant::R8(10), 1, Variant::R8(10 * 1.852)},
      {"speed knots", ConvertSpeed, Variant::R8(10), 2, Variant::R8(10)},
      {"speed empty knots", ConvertSpeed, e, 2, e},
      {"speed empty mph", ConvertSpeed, e, 0, Variant::R8(0.0)},
      {"speed empty km/h", ConvertSpeed, e, 1, Variant::R8(0.0)},
      {"distance m", ConvertDistance, Variant::R8(1), 0, Variant::R8(1852)},
      {"distance ft", ConvertDistance, Variant::R8(1), 1, Variant::R8(6076.1154856)},
      {"distance statute mi", ConvertDistance, Variant::R8(1), 2, Variant::R8(1.1507771)},
      {"distance nmi", ConvertDistance, Variant::R8(2.5), 3, Variant::R8(2.5)},
      {"distance empty nmi", ConvertDistance, e, 3, e},
      {"distance empty m", ConvertDistance, e, 0, Variant::R8(0.0)},
      {"distance empty ft", ConvertDistance, e, 1, Variant::R8(0.0)},
      {"distance empty mi", ConvertDistance, e, 2, Variant::R8(0.0)},
      {"altitude m", ConvertAltitude, Variant::R8(100), 0, Variant::R8(100)},
      {"altitude ft", ConvertAltitude, Variant::R8(100), 1, Variant::R8(100 * 3.2808399)},
      {"altitude empty m", ConvertAltitude, e, 0, e},
      {"altitude empty ft", ConvertAltitude, e, 1, e},
      {"geoid m", ConvertGeoidHeight, Variant::R8(-17.5), 0, Variant::R8(-17.5)},
      {"geoid ft", ConvertGeoidHeight, Variant::R8(10), 1, Variant::R8(10 * 3.2808399)},
      {"geoid empty m", ConvertGeoidHeight, e, 0, e},
      {"geoid empty ft", ConvertGeoidHeight, e, 1, Variant::R8(0.0)},
      // A code no setting gives keeps the stored unit, on either side of
      // the known ones.
      {"speed code -1", ConvertSpeed, Variant::R8(10), -1, Variant::R8(10)},
      {"speed code 3", ConvertSpeed, Variant::R8(10), 3, Variant::R8(10)},
      {"distance code -1", ConvertDistance, Variant::R8(2.5), -1, Variant::R8(2.5)},
      {"distance code 4", ConvertDistance, Variant::R8(2.5), 4, Variant::R8(2.5)},
      {"distance empty code 4", ConvertDistance, e, 4, e},
      {"geoid code -1", ConvertGeoidHeight, Variant::R8(10), -1, Variant::R8(10)},
      {"geoid code 2", ConvertGeoidHeight, Variant::R8(10), 2, Variant::R8(10)},
      {"geoid empty code 2", ConvertGeoidHeight, e, 2, e},
  };
  for (const UnitCase& c : cases) {
    const Variant got = c.convert(c.stored, c.code);
    ASSERT_EQ(got.vt(), c.expected.vt()) << c.name << ": " << DebugString(got);
    // Plain double products of the factor as written: exact, not near.
    if (got.vt() == VT_R8) {
      EXPECT_EQ(got.r8(), c.expected.r8()) << c.name;
    }
  }
}

}  // namespace
}  // namespace orvane
