#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "automation/date.h"
#include "control/event_args.h"
#include "engine/fix_state.h"
#include "engine/stop_event.h"
#include "presentation/settings.h"
#include "sources/replay_pacer.h"

namespace orvane {
namespace {

using detail::ReplayPacer;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr double kSecond = 1.0 / 86400.0;

TEST(PacingWait, ArithmeticAndThirtyTwoBitView) {
  struct Case {
    double span_days;
    double elapsed_ms;
    double scale;
    std::int32_t wait;
  };
  const Case cases[] = {
      {1 * kSecond, 0, 1, 1000},
      {1 * kSecond, 0, 2, 500},
      {1 * kSecond, 0, 0.5, 2000},
      {1 * kSecond, 300, 1, 700},
      {1 * kSecond, 5000, 1, -4000},  // late: no wait
      {-1 * kSecond, 0, 1, -1000},    // earlier than the reference: no wait
      {0, 0.9, 1, 0},                 // truncation toward zero
      {0, -0.9, 1, 0},
      {0, -2.5, 1, 2},
      {0, -4294967301.0, 1, 5},          // 2^32 + 5 ms is 5 ms to the wait call
      {0, -2147483648.0, 1, INT32_MIN},  // 2^31 reads negative: no wait
      {0, -1e30, 1, 0},                  // beyond 64 bits counts as 0
      {0, NAN, 1, 0},
      {0.5, 0, 0.5, 86400000},
      // Spans of weeks wrap as the 32-bit wait count does.
      {25, 0, 1, -2134967296},
      {50, 0, 1, 25032704},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(detail::PacingWaitMs(c.span_days, c.elapsed_ms, c.scale), c.wait)
        << "span " << c.span_days * 86400 << " s, elapsed " << c.elapsed_ms << " ms, scale "
        << c.scale;
  }
}

std::atomic<std::uint32_t> g_tick{0};
std::uint32_t FakeTick() { return g_tick.load(); }

// A fix time on a real day, so the pacing reference is taken.
double Day(double seconds) { return *MakeDate(2004, 1, 31, 0, 0, 0) + seconds * kSecond; }

class PacingTest : public ::testing::Test {
 protected:
  PacingTest() : fix_(settings_) {}
  double PaceMs(ReplayPacer& pacer, double fix_time) {
    pacer.SetStopEvent(&stop_);
    const auto start = Clock::now();
    pacer.FixTimeReached(fix_time);
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  }
  Settings settings_;
  StopEvent stop_;
  FixState fix_;
};

TEST_F(PacingTest, FixTimeAdvancesAtTheTimeScale) {
  ReplayPacer pacer(2.0);
  EXPECT_LT(PaceMs(pacer, Day(0)), 1000.0);       // takes the reference
  const double waited = PaceMs(pacer, Day(0.6));  // 300 ms at twice real time
  EXPECT_GE(waited, 250.0);
  EXPECT_LT(waited, 3000.0);
  // The next fix is measured from the first one, not from the last wait.
  const double again = PaceMs(pacer, Day(1.2));
  EXPECT_GE(again, 250.0);
  EXPECT_LT(again, 3000.0);
}

TEST_F(PacingTest, LateFixesAndDatelessFixesRunAtOnce) {
  ReplayPacer pacer(1.0, &FakeTick);
  // Fixes without a day re-take the reference every time: never delayed.
  EXPECT_LT(PaceMs(pacer, 0.25), 5000.0);
  EXPECT_LT(PaceMs(pacer, 0.75), 5000.0);
  g_tick = 0xFFFFFF00u;
  EXPECT_LT(PaceMs(pacer, Day(0)), 5000.0);
  // 512 ms have passed across the counter's wrap; the fix is due at 400.
  g_tick = 0x00000100u;
  EXPECT_LT(PaceMs(pacer, Day(0.4)), 5000.0);
  // Two minutes of ticks: a fix one minute on is late.
  g_tick = 0x00000100u + 120000u;
  EXPECT_LT(PaceMs(pacer, Day(60)), 5000.0);
  // Earlier than the reference: no wait.
  EXPECT_LT(PaceMs(pacer, Day(-3600)), 5000.0);
}

TEST_F(PacingTest, AHeldReplayKeepsItsSpacingInsteadOfCatchingUp) {
  ReplayPacer pacer(1.0, &FakeTick);
  g_tick = 5000u;
  PaceMs(pacer, Day(0));
  // Held ten seconds by its host, then 200 ms more: the fix half a second on
  // is still 300 ms away.
  g_tick = 5000u + 10200u;
  pacer.Extend(10000u);
  const double waited = PaceMs(pacer, Day(0.5));
  EXPECT_GE(waited, 250.0);
  EXPECT_LT(waited, 5000.0);
  // The hold counts once: ten seconds on, the next fix is late (held twice
  // it would wait 600 ms).
  g_tick = 5000u + 10200u + 10000u;
  EXPECT_LT(PaceMs(pacer, Day(1.0)), 500.0);
}

TEST_F(PacingTest, StopEventEndsALongWaitAtOnce) {
  ReplayPacer pacer(1.0);
  PaceMs(pacer, Day(0));
  std::thread closer([this] {
    std::this_thread::sleep_for(milliseconds(100));
    stop_.Set();
  });
  const double waited = PaceMs(pacer, Day(3600));  // an hour at real time
  closer.join();
  EXPECT_LT(waited, 10000.0);
  // Once set, later waits end at once too.
  EXPECT_LT(PaceMs(pacer, Day(7200)), 10000.0);
}

TEST_F(PacingTest, HandlersPaceOnlyWhilePacingIsOnAndNeverUnderTheLock) {
  ReplayPacer pacer(1.0);
  pacer.SetStopEvent(&stop_);
  fix_.SetFixTimeListener(&pacer);
  SentenceFields first = {"$GPRMC", "000000", "A",      "1000.00", "N", "02000.00", "E",
                          "",       "",       "310104", "",        "",  ""};
  fix_.ParseRmc(first);
  SentenceFields later = first;
  later[1] = "010000";  // an hour later
  later[3] = "3000.00";
  std::atomic<bool> done{false};
  std::thread reader([&] {
    fix_.ParseRmc(later);
    done = true;
  });
  // While the handler waits, the host still reads the previous fix.
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_FALSE(done.load());
  const Variant latitude = fix_.Latitude();
  const FixUpdateArgs args = EventArgs::Of(fix_);
  EXPECT_EQ(latitude.ToUtf8().substr(0, 9), "10.000000");
  EXPECT_EQ(args[2], latitude);
  stop_.Set();
  reader.join();
  EXPECT_EQ(fix_.Latitude().ToUtf8().substr(0, 9), "30.000000");

  // Pacing off: a fix a day later is stored at once, whatever the stop event.
  StopEvent fresh;
  pacer.SetStopEvent(&fresh);
  fix_.SetFixTimeListener(nullptr);
  later[1] = "020000";
  later[9] = "010204";
  const auto start = Clock::now();
  fix_.ParseRmc(later);
  EXPECT_LT(Clock::now() - start, milliseconds(5000));
}

}  // namespace
}  // namespace orvane
