#include "engine/stop_event.h"

#ifndef _WIN32
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#else
#include <windows.h>
#endif

namespace orvane {

StopEvent::StopEvent() {
#ifndef _WIN32
  fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
#else
  handle_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
#endif
}

StopEvent::~StopEvent() {
#ifndef _WIN32
  if (fd_ >= 0) close(fd_);
#else
  if (handle_ != nullptr) CloseHandle(handle_);
#endif
}

void StopEvent::Set() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (set_.exchange(true, std::memory_order_acq_rel)) return;
  }
  cv_.notify_all();
#ifndef _WIN32
  if (fd_ >= 0) {
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(fd_, &one, sizeof one);
  }
#else
  if (handle_ != nullptr) SetEvent(handle_);
#endif
}

bool StopEvent::WaitFor(std::chrono::milliseconds timeout) const {
  if (IsSet()) return true;
  std::unique_lock<std::mutex> lock(mutex_);
  return cv_.wait_for(lock, timeout, [this] { return IsSet(); });
}

}  // namespace orvane
