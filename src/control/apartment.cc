#include "control/apartment.h"

#ifndef _WIN32
#include <sys/eventfd.h>
#include <unistd.h>
#endif

#include <cstdint>

namespace orvane {

void PendingCall::Cancel() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_ != State::kQueued) return;
    state_ = State::kCancelled;
  }
  cv_.notify_all();
}

// Owns the thread's apartment; ending the thread ends the apartment, so a
// reader never waits on a thread that is gone.
struct ApartmentHolder {
  std::shared_ptr<Apartment> apartment;
  ~ApartmentHolder() {
    if (apartment) apartment->Shutdown();
  }
};

std::shared_ptr<Apartment> Apartment::Current() {
  thread_local ApartmentHolder holder;
  if (!holder.apartment) holder.apartment.reset(new Apartment());
  return holder.apartment;
}

Apartment::Apartment() : thread_(std::this_thread::get_id()) {
#ifndef _WIN32
  fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
#endif
}

Apartment::~Apartment() {
#ifndef _WIN32
  if (fd_ >= 0) close(fd_);
#endif
}

void Apartment::Shutdown() {
  std::deque<std::shared_ptr<PendingCall>> left;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
    left.swap(queue_);
  }
  for (auto& call : left) call->Cancel();
}

bool Apartment::Call(std::function<void()> fn,
                     const std::function<void(const std::shared_ptr<PendingCall>&)>& on_queued) {
  if (IsCurrentThread()) {
    fn();
    return true;
  }
  auto call = std::make_shared<PendingCall>(std::move(fn));
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (ended_) return false;
    queue_.push_back(call);
  }
  cv_.notify_all();
#ifndef _WIN32
  std::uint64_t one = 1;
  [[maybe_unused]] ssize_t n = write(fd_, &one, sizeof one);
#endif
  if (on_queued) on_queued(call);
  std::unique_lock<std::mutex> lock(call->mutex_);
  call->cv_.wait(lock, [&] {
    return call->state_ == PendingCall::State::kDone ||
           call->state_ == PendingCall::State::kCancelled;
  });
  return call->state_ == PendingCall::State::kDone;
}

std::size_t Apartment::Pump() {
  std::size_t ran = 0;
#ifndef _WIN32
  std::uint64_t drained;
  [[maybe_unused]] ssize_t n = read(fd_, &drained, sizeof drained);
#endif
  while (true) {
    std::shared_ptr<PendingCall> call;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (queue_.empty()) break;
      call = std::move(queue_.front());
      queue_.pop_front();
    }
    {
      std::lock_guard<std::mutex> lock(call->mutex_);
      if (call->state_ != PendingCall::State::kQueued) continue;
      call->state_ = PendingCall::State::kRunning;
    }
    call->fn_();
    {
      std::lock_guard<std::mutex> lock(call->mutex_);
      call->state_ = PendingCall::State::kDone;
    }
    call->cv_.notify_all();
    ++ran;
  }
  return ran;
}

bool Apartment::WaitForWork(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock<std::mutex> lock(mutex_);
  return cv_.wait_until(lock, deadline, [this] { return !queue_.empty(); });
}

std::size_t Apartment::RunFor(std::chrono::milliseconds duration) {
  const auto deadline = std::chrono::steady_clock::now() + duration;
  std::size_t ran = Pump();
  while (std::chrono::steady_clock::now() < deadline) {
    if (WaitForWork(deadline)) ran += Pump();
  }
  return ran;
}

bool Apartment::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  Pump();
  while (!done()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    // Wake at least every 10 ms: `done` may depend on state no call announces.
    if (WaitForWork(std::min(deadline, now + std::chrono::milliseconds(10)))) Pump();
  }
  return true;
}

}  // namespace orvane
