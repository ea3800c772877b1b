#include "sources/replay_pacer.h"

#include <chrono>
#include <cmath>
#include <thread>

#include "automation/coerce.h"

namespace orvane::detail {
namespace {

// TimeScale values this close to zero mean "no pacing".
constexpr double kNoPacingBand = 0.00001;
constexpr double kMaxTimeScale = 1001.0;

}  // namespace

std::int32_t PacingWaitMs(double span_days, double elapsed_ms, double time_scale) {
  const double span_seconds = span_days * 86400.0;
  const double wait = span_seconds * 1000.0 / time_scale - elapsed_ms;
  // [-2^63, 2^63): the range a 64-bit truncation can hold; NaN fails both.
  if (!(wait >= -9223372036854775808.0 && wait < 9223372036854775808.0)) return 0;
  const auto whole = static_cast<std::int64_t>(wait);
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(whole)));
}

std::uint32_t SteadyTickMs() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

TimeScale ReadTimeScale(const Variant& time_scale) {
  TimeScale read;
  if (time_scale.vt() == VT_ERROR) return read;
  Variant number;
  read.coerced = ChangeType(time_scale, VT_R8, &number);
  if (FAILED(read.coerced)) return read;
  const double value = number.r8();
  if (value > -kNoPacingBand && value < kNoPacingBand) return read;
  if (std::isnan(value) || value <= 0.0 || value >= kMaxTimeScale) {
    read.in_range = false;
  } else {
    read.scale = value;
  }
  return read;
}

void ReplayPacer::FixTimeReached(double fix_time) {
  // A reference without a day was never taken: fixes without a date re-take
  // it and are never delayed.
  if (std::floor(reference_time_) == 0.0) {
    reference_time_ = fix_time;
    reference_tick_ = tick_();
  }
  reference_tick_ += extended_ms_.exchange(0, std::memory_order_relaxed);
  const std::uint32_t elapsed = tick_() - reference_tick_;
  const std::int32_t wait =
      PacingWaitMs(fix_time - reference_time_, static_cast<double>(elapsed), time_scale_);
  if (wait <= 0) return;
  if (stop_ != nullptr) {
    stop_->WaitFor(std::chrono::milliseconds(wait));
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(wait));
  }
}

}  // namespace orvane::detail
