#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "control/event_args.h"
#include "engine/fix_state.h"
#include "presentation/settings.h"

namespace orvane {
namespace {

// The reader thread stores alternating fixes while the host thread reads
// properties and event arguments and changes labels: every read must come
// from one sentence, never a mix.
TEST(FixStateConcurrency, ReadsAreNeverTorn) {
  Settings settings;
  FixState fix(settings);
  const SentenceFields north = {"$GPRMC", "000000", "A",      "1000.00", "N", "02000.00", "E",
                                "1.0",    "90.0",   "310104", "1.0",     "E", "A"};
  const SentenceFields south = {"$GPRMC", "120000", "V",      "3000.00", "S", "04000.00", "W",
                                "2.0",    "270.0",  "010204", "",        "",  ""};
  const SentenceFields gga_north = {"$GPGGA", "000000", "1000.00", "N", "02000.00", "E", "1", "08",
                                    "",       "100.0",  "M",       "",  "",         "",  ""};
  fix.ParseRmc(north);
  std::atomic<bool> stop{false};
  std::atomic<long> stores{0};
  // The reader runs until the host has made its checks: a fixed count of
  // stores could finish before the host thread is even scheduled.
  std::thread reader([&] {
    for (long i = 0; !stop.load(); ++i) {
      fix.ParseRmc(i % 2 ? south : north);
      if (i % 6 == 0) fix.ParseGga(gga_north);  // same place as the RMC before it
      stores.store(i + 1);
    }
  });
  while (stores.load() == 0) std::this_thread::yield();
  const long first_store = stores.load();

  // Keep checking until the stores have moved on well past where the checks
  // began, so reads and stores overlapped whatever the scheduler did.
  long checks = 0;
  std::string failure;
  while (failure.empty() && (checks < 20000 || stores.load() < first_store + 1000)) {
    const FixUpdateArgs args = EventArgs::Of(fix);
    const std::string lat = args[2].ToUtf8();
    const std::string lon = args[3].ToUtf8();
    const bool is_north = lat.rfind("10", 0) == 0;
    const bool is_south = lat.rfind("30", 0) == 0;
    if (!(is_north || is_south) || lon.rfind(is_north ? "020" : "040", 0) != 0 ||
        args[5] != Variant::R8(is_north ? 1.0 : 2.0) ||
        args[6] != Variant::R8(is_north ? 90.0 : 270.0) || args[0] != Variant::Bool(is_north)) {
      failure = lat + " | " + lon + " | " + DebugString(args[5]) + " | " + DebugString(args[0]);
    }
    // Whole-string reads of values and labels replaced on the other thread.
    const Variant variation = fix.MagVariation();
    if (!variation.is_empty() && variation != Variant::Text("1.0 E"))
      failure = DebugString(variation);
    fix.PutDegLabel(Variant::Text(checks % 2 ? "deg " : "\u00B0 "));
    const Variant label = fix.DegLabel();
    if (label != Variant::Text("deg ") && label != Variant::Text("\u00B0 "))
      failure = DebugString(label);
    settings.lat_lon_format = static_cast<std::int16_t>(checks % 3);
    ++checks;
  }
  stop = true;
  reader.join();
  EXPECT_EQ(failure, "");
}

}  // namespace
}  // namespace orvane
