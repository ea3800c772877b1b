#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "engine/fix_state.h"

namespace orvane {
namespace {

// The reader thread stores alternating fixes while the host thread reads
// properties and event arguments and changes labels: every read must come
// from one sentence, never a mix.
TEST(FixStateConcurrency, ReadsAreNeverTorn) {
  Settings settings;
  FixState fix(settings);
  const SentenceFields north = {"$GPRMC", "000000", "A", "1000.00", "N", "02000.00", "E",
                                "1.0", "90.0", "310104", "1.0", "E", "A"};
  const SentenceFields south = {"$GPRMC", "120000", "V", "3000.00", "S", "04000.00", "W",
                                "2.0", "270.0", "010204", "", "", ""};
  const SentenceFields gga_north = {"$GPGGA", "000000", "1000.00", "N", "02000.00", "E", "1", "08",
                                    "", "100.0", "M", "", "", "", ""};
  fix.ParseRmc(north);
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    for (int i = 0; i < 20000; ++i) {
      fix.ParseRmc(i % 2 ? south : north);
      if (i % 6 == 0) fix.ParseGga(gga_north);  // same place as the RMC before it
    }
    stop = true;
  });

  long checks = 0;
  std::string failure;
  while (!stop.load() && failure.empty()) {
    const FixUpdateArgs args = fix.UpdateArgs();
    const std::string lat = args[2].ToUtf8();
    const std::string lon = args[3].ToUtf8();
    const bool is_north = lat.rfind("10", 0) == 0;
    const bool is_south = lat.rfind("30", 0) == 0;
    if (!(is_north || is_south) || lon.rfind(is_north ? "020" : "040", 0) != 0 ||
        args[5] != Variant::R8(is_north ? 1.0 : 2.0) || args[6] != Variant::R8(is_north ? 90.0 : 270.0) ||
        args[0] != Variant::Bool(is_north)) {
      failure = lat + " | " + lon + " | " + DebugString(args[5]) + " | " + DebugString(args[0]);
    }
    // Whole-string reads of values and labels replaced on the other thread.
    const Variant variation = fix.GetMagVariation();
    if (!variation.is_empty() && variation != Variant::Text("1.0 E")) failure = DebugString(variation);
    fix.PutDegLabel(Variant::Text(checks % 2 ? "deg " : "\u00B0 "));
    const Variant label = fix.GetDegLabel();
    if (label != Variant::Text("deg ") && label != Variant::Text("\u00B0 ")) failure = DebugString(label);
    settings.lat_lon_format = static_cast<std::int16_t>(checks % 3);
    ++checks;
  }
  reader.join();
  EXPECT_EQ(failure, "");
  EXPECT_GT(checks, 0);
}

}  // namespace
}  // namespace orvane
