// The manual-reset stop event that Close signals. The loop polls it, pacing
// waits on it, and on POSIX a reader's poll() can include its descriptor.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace orvane {

class StopEvent {
 public:
  StopEvent();
  ~StopEvent();
  StopEvent(const StopEvent&) = delete;
  StopEvent& operator=(const StopEvent&) = delete;

  void Set();
  bool IsSet() const { return set_.load(std::memory_order_acquire); }
  // Waits up to `timeout`; true when the event is (or becomes) signalled.
  bool WaitFor(std::chrono::milliseconds timeout) const;
#ifndef _WIN32
  // Readable once the event is set.
  int fd() const { return fd_; }
#endif

 private:
  std::atomic<bool> set_{false};
  mutable std::mutex mutex_;
  mutable std::condition_variable cv_;
#ifndef _WIN32
  int fd_ = -1;
#endif
};

}  // namespace orvane
