// What every replayed source shares: it ends with FileComplete, a paced one
// lends its pacer to the fix handlers while its reader runs, and it counts
// the bytes the line assembly has let go of, for a host's progress. (Bytes
// read would run ahead: the assembly queues thousands of lines.)
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include "sources/replay_pacer.h"
#include "sources/source.h"

namespace orvane::detail {

class ReplaySource : public Source {
 public:
  // A time scale of 0 replays without pacing.
  explicit ReplaySource(double time_scale) {
    if (time_scale > 0.0) pacer_.emplace(time_scale);
  }

  bool IsReplay() const final { return true; }
  void BeginReading(Receiver& receiver, const StopEvent& stop) final {
    if (!pacer_) return;
    pacer_->SetStopEvent(&stop);
    receiver.fix().SetFixTimeListener(&*pacer_);
  }
  void EndReading(Receiver& receiver) final {
    if (pacer_) receiver.fix().SetFixTimeListener(nullptr);
    // Read to the end: every line was handled by now.
    if (Exhausted()) handed_on_.store(read_, std::memory_order_relaxed);
  }
  void ExtendPacing(std::uint32_t ms) final {
    if (pacer_) pacer_->Extend(ms);
  }
  ReplayProgress Progress() const final {
    return {handed_on_.load(std::memory_order_relaxed), total_bytes_};
  }

 protected:
  // Reader thread. Each ReadChunk tells how much of what was read the line
  // assembly still `held` as it asked, then how many bytes it appended.
  void NoteHeld(std::size_t held) {
    if (held <= read_) handed_on_.store(read_ - held, std::memory_order_relaxed);
  }
  void CountRead(std::size_t appended) { read_ += appended; }
  // Before the reader starts; 0 when the length is unknown.
  void SetTotalBytes(std::uint64_t total) { total_bytes_ = total; }

 private:
  std::optional<ReplayPacer> pacer_;
  std::uint64_t read_ = 0;
  std::atomic<std::uint64_t> handed_on_{0};
  std::uint64_t total_bytes_ = 0;
};

}  // namespace orvane::detail
