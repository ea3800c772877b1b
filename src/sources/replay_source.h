// What every replayed source shares: it ends with FileComplete, and a paced
// one lends its pacer to the fix handlers while its reader runs.
#pragma once

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
  }

 private:
  std::optional<ReplayPacer> pacer_;
};

}  // namespace orvane::detail
