// The manual-reset stop event that Close signals. The loop polls it, pacing
// waits on it, and a reader's wait includes it: its descriptor in poll() on
// POSIX, its event handle in WaitForMultipleObjects on Windows.
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
#else
  // A manual-reset event, signalled by Set.
  void* native_handle() const { return handle_; }
#endif

 private:
  std::atomic<bool> set_{false};
  mutable std::mutex mutex_;
  mutable std::condition_variable cv_;
#ifndef _WIN32
  int fd_ = -1;
#else
  void* handle_ = nullptr;
#endif
};

}  // namespace orvane
