// The serial device: woken by arriving bytes (a line feed on Windows) or
// every 100 ms, reading everything waiting in one step.
#include <chrono>
#include <mutex>

#include "sources/source.h"

namespace orvane::detail {
namespace {

constexpr int kQuietWakeMs = 100;
constexpr int kMaxEmptyWakes = 3;

class SerialSource final : public Source {
 public:
  explicit SerialSource(NativeHandle port) : port_(port) {}

  // A device that failed answers "no bytes" for the rest of the pass instead
  // of a failure value: the loop would retry a failure at once, spinning on
  // a dead device.
  int ReadChunk(std::string& pending) override {
    if (failed_) return 0;
    const std::size_t before = pending.size();
    if (!ReadAvailable(port_, pending)) failed_ = true;
    bytes_ += pending.size() - before;
    return 0;
  }

  Wake Wait(const StopEvent& stop) override {
    SettleLastPass();
    if (device_failed_) {
      // After a failure the device is probed every quiet period instead of
      // polled: a hung-up descriptor reads as always ready.
      if (stop.WaitFor(std::chrono::milliseconds(kQuietWakeMs))) return Wake::kStop;
      const PortWait probe = WaitForPort(port_, stop, 0, true);
      if (probe == PortWait::kStop) return Wake::kStop;
      if (probe == PortWait::kReadable || probe == PortWait::kTimeout) return BeginPass(probe);
      return Wake::kIdle;
    }
    // No event character here: any arriving byte wakes the reader, and a
    // pass without a complete line just leaves the bytes pending.
    const PortWait w = WaitForPort(port_, stop, kQuietWakeMs, true);
    if (w == PortWait::kStop) return Wake::kStop;
    if (w == PortWait::kWaitFailed) {
      device_failed_ = true;
      return Wake::kIdle;
    }
    return BeginPass(w);
  }

  NativeHandle handle() const override {
    std::lock_guard<std::mutex> lock(mutex_);
    return port_;
  }
  bool GetLineSpeed(std::int32_t* baud) override {
    std::lock_guard<std::mutex> lock(mutex_);
    return GetPortSpeed(port_, baud);
  }
  HRESULT SetLineSpeed(std::int32_t baud) override {
    std::lock_guard<std::mutex> lock(mutex_);
    return SetPortSpeed(port_, baud);
  }
  void Close() override {
    std::lock_guard<std::mutex> lock(mutex_);
    ClosePort(port_);
  }

 private:
  Wake BeginPass(PortWait woke_by) {
    woke_by_ = woke_by;
    in_pass_ = true;
    failed_ = false;
    bytes_ = 0;
    return Wake::kPass;
  }
  // A device that keeps reporting data it never delivers counts as failed.
  void SettleLastPass() {
    if (!in_pass_) return;
    in_pass_ = false;
    const bool empty = woke_by_ == PortWait::kReadable && bytes_ == 0;
    empty_wakes_ = empty ? empty_wakes_ + 1 : 0;
    device_failed_ = failed_ || woke_by_ == PortWait::kDeviceFailed || empty_wakes_ >= kMaxEmptyWakes;
  }

  mutable std::mutex mutex_;  // guards port_ against the host's line-speed calls
  NativeHandle port_;
  bool failed_ = false;
  std::size_t bytes_ = 0;
  bool in_pass_ = false;
  PortWait woke_by_ = PortWait::kTimeout;
  bool device_failed_ = false;
  int empty_wakes_ = 0;
};

}  // namespace

OpenAttempt OpenSerialSource(const std::string& name) {
  OpenAttempt attempt;
  const NativeHandle port = name.empty() ? kNoHandle : OpenPort(name, &attempt.cause);
  if (port == kNoHandle) return attempt;
  try {
    attempt.source = std::make_unique<SerialSource>(port);
  } catch (...) {
    ClosePort(port);
    throw;
  }
  // Configured before the reader starts: once it runs, a sink may close the
  // port and its descriptor number may be reused.
  attempt.configured = ConfigurePort(port);
  return attempt;
}

}  // namespace orvane::detail
