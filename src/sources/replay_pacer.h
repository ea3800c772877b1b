// Replay pacing: a paced log replays its fixes at a multiple of the time they
// were taken. The file source owns one pacer and lends it to the fix handlers
// as their fix-time listener while its reader runs.
#pragma once

#include <atomic>

#include <cstdint>

#include "automation/variant.h"
#include "engine/fix_state.h"
#include "engine/stop_event.h"

namespace orvane::detail {

// Milliseconds a paced replay still has to wait for a fix `span_days` after
// the reference fix when `elapsed_ms` have passed since it: truncated toward
// zero to 64 bits, then read as a signed 32-bit count, as the wait call takes
// it. Out-of-range or NaN results wait 0.
std::int32_t PacingWaitMs(double span_days, double elapsed_ms, double time_scale);
// The millisecond tick count, wrapping at 2^32.
std::uint32_t SteadyTickMs();

// OpenFile's TimeScale argument as a pacing scale.
struct TimeScale {
  HRESULT coerced = S_OK;  // the failed coercion to a number, if any
  bool in_range = true;
  double scale = 0.0;  // 0: no pacing (omitted, or within the band around zero)
};
TimeScale ReadTimeScale(const Variant& time_scale);

class ReplayPacer final : public FixTimeListener {
 public:
  using TickSource = std::uint32_t (*)();

  // The reference is taken at the first dated fix.
  explicit ReplayPacer(double time_scale, TickSource tick = &SteadyTickMs)
      : time_scale_(time_scale), tick_(tick) {}

  // The event a wait ends on; without one a wait sleeps out. Set before the
  // reader reports fixes.
  void SetStopEvent(const StopEvent* stop) { stop_ = stop; }

  // Waits until `fix_time` is due at the time scale, measured from the first
  // dated fix; a set stop event ends the wait at once. Reader thread only.
  void FixTimeReached(double fix_time) override;
  // Any thread: the replay was held (a host paused it) for `ms`; the fixes
  // after it keep their spacing instead of catching up.
  void Extend(std::uint32_t ms) { extended_ms_.fetch_add(ms, std::memory_order_relaxed); }

 private:
  const double time_scale_;
  const TickSource tick_;
  const StopEvent* stop_ = nullptr;
  double reference_time_ = 0.0;
  std::uint32_t reference_tick_ = 0;
  std::atomic<std::uint32_t> extended_ms_{0};
};

}  // namespace orvane::detail
