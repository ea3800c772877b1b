// The serial device: woken by arriving bytes (a line feed on Windows) or
// every 100 ms, reading everything waiting in one step.
#include <chrono>
#include <mutex>

#include "sources/live_source.h"

namespace orvane::detail {
namespace {

constexpr int kQuietWakeMs = 100;
constexpr int kMaxEmptyWakes = 3;

// A device that hangs up or fails is closed and opened again by name every
// second (a USB receiver unplugged and plugged back), at the line speed last
// set.
class SerialSource final : public LiveSource {
 public:
  SerialSource(std::string name, NativeHandle port) : name_(std::move(name)), port_(port) {}

  // A device that failed answers "no bytes" for the rest of the pass instead
  // of a failure value: the loop would retry a failure at once, spinning on
  // a dead device.
  int ReadChunk(std::string& pending) override {
    if (failed_ || port_ == kNoHandle) return 0;
    const std::size_t before = pending.size();
    if (!ReadAvailable(port_, pending)) failed_ = true;
    bytes_ += pending.size() - before;
    return 0;
  }

  NativeHandle handle() const override {
    std::lock_guard<std::mutex> lock(mutex_);
    return port_;
  }
  bool GetLineSpeed(std::int32_t* baud) override {
    std::lock_guard<std::mutex> lock(mutex_);
    return port_ != kNoHandle && GetPortSpeed(port_, baud);
  }
  HRESULT SetLineSpeed(std::int32_t baud) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (port_ == kNoHandle) return kGetCommStateFailed;
    const HRESULT hr = SetPortSpeed(port_, baud);
    if (SUCCEEDED(hr)) baud_ = baud;
    return hr;
  }
  void Close() override { Drop(); }

 protected:
  DeviceWake WaitDevice(const StopEvent& stop) override {
    if (SettleLastPass()) return DeviceWake::kLost;
    // No event character here: any arriving byte wakes the reader, and a
    // pass without a complete line just leaves the bytes pending.
    const PortWait w = WaitForPort(port_, stop, kQuietWakeMs, true);
    if (w == PortWait::kStop) return DeviceWake::kStop;
    if (w == PortWait::kWaitFailed) return DeviceWake::kLost;
    woke_by_ = w;
    in_pass_ = true;
    failed_ = false;
    bytes_ = 0;
    return DeviceWake::kPass;
  }
  void Drop() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (port_ != kNoHandle) ClosePort(port_);
    port_ = kNoHandle;
  }
  bool Reopen(const StopEvent&) override {
    const NativeHandle port = OpenPort(name_);
    if (port == kNoHandle) return false;
    ConfigurePort(port);
    std::lock_guard<std::mutex> lock(mutex_);
    if (baud_ != kOpenBaud) SetPortSpeed(port, baud_);
    port_ = port;
    empty_wakes_ = 0;
    in_pass_ = false;
    return true;
  }

 private:
  static constexpr std::int32_t kOpenBaud = 4800;
  // True when the last pass showed the device failed. A device that keeps
  // reporting data it never delivers counts as failed: a hung-up descriptor
  // reads as always ready.
  bool SettleLastPass() {
    if (!in_pass_) return false;
    in_pass_ = false;
    const bool empty = woke_by_ == PortWait::kReadable && bytes_ == 0;
    empty_wakes_ = empty ? empty_wakes_ + 1 : 0;
    return failed_ || woke_by_ == PortWait::kDeviceFailed || empty_wakes_ >= kMaxEmptyWakes;
  }

  const std::string name_;
  mutable std::mutex mutex_;  // guards port_ and baud_ against the host's calls
  NativeHandle port_;
  std::int32_t baud_ = kOpenBaud;
  bool failed_ = false;
  std::size_t bytes_ = 0;
  bool in_pass_ = false;
  PortWait woke_by_ = PortWait::kTimeout;
  int empty_wakes_ = 0;
};

}  // namespace

OpenAttempt OpenSerialSource(const std::string& name) {
  OpenAttempt attempt;
  const NativeHandle port = name.empty() ? kNoHandle : OpenPort(name, &attempt.cause);
  if (port == kNoHandle) return attempt;
  try {
    attempt.source = std::make_unique<SerialSource>(name, port);
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
