// A live source whose device can go away and come back: on a failure it
// closes the device, reports the loss, and reopens the same name with the
// same settings every second until it works or the stop event is set.
#pragma once

#include <chrono>

#include "sources/source.h"

namespace orvane::detail {

class LiveSource : public Source {
 public:
  Wake Wait(const StopEvent& stop) final {
    if (lost_) {
      if (stop.WaitFor(kRetryInterval)) return Wake::kStop;
      if (!Reopen(stop)) return stop.IsSet() ? Wake::kStop : Wake::kIdle;
      lost_ = false;
      ReportLink(LinkChange::kBack);
      return Wake::kResumed;
    }
    const DeviceWake woke = WaitDevice(stop);
    switch (woke) {
      case DeviceWake::kStop: return Wake::kStop;
      case DeviceWake::kPass: return Wake::kPass;
      case DeviceWake::kIdle: return Wake::kIdle;
      case DeviceWake::kLost: break;
    }
    Drop();
    lost_ = true;
    ReportLink(LinkChange::kLost);
    return Wake::kIdle;
  }

 protected:
  static constexpr std::chrono::milliseconds kRetryInterval{1000};
  enum class DeviceWake { kStop, kPass, kIdle, kLost };
  // One wait on the working device, which wakes at least every 100 ms.
  virtual DeviceWake WaitDevice(const StopEvent& stop) = 0;
  // Closes the failed device.
  virtual void Drop() = 0;
  // Opens the same name again with the same settings; false when it is
  // still away.
  virtual bool Reopen(const StopEvent& stop) = 0;

 private:
  bool lost_ = false;
};

}  // namespace orvane::detail
