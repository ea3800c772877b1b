#include "control/apartment.h"

#ifndef _WIN32
#include <sys/eventfd.h>
#include <unistd.h>
#endif

#include <cstdint>

#include "automation/thread_slot.h"

namespace orvane {

namespace {

// Cross-thread calls come in bursts, one per event: both sides spin briefly
// before sleeping, which saves two context switches per call when the other
// thread answers within microseconds.
constexpr int kSpins = 4000;

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#else
  std::this_thread::yield();
#endif
}

// The calls this thread is running, innermost first: a chain through the
// stack frames, so running a call never allocates.
thread_local const RunningCall* t_innermost = nullptr;

}  // namespace

RunningCall::RunningCall(std::thread::id caller) : caller_(caller), outer_(t_innermost) {
  t_innermost = this;
}

RunningCall::~RunningCall() { t_innermost = outer_; }

bool Apartment::IsRunningCallFrom(std::thread::id caller) {
  for (const RunningCall* r = t_innermost; r != nullptr; r = r->outer_)
    if (r->caller_ == caller) return true;
  return false;
}

bool PendingCall::Leave(State to) {
  int expected = kQueued;
  return state_.compare_exchange_strong(expected, to, std::memory_order_acq_rel);
}

void PendingCall::Finish(State to) {
  state_.store(to, std::memory_order_release);
  bool wake;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    wake = caller_blocked_;
  }
  if (wake) cv_.notify_all();
}

bool PendingCall::Wait() {
  auto settled = [this] {
    const int s = state_.load(std::memory_order_acquire);
    return s == kDone || s == kCancelled;
  };
  for (int i = 0; i < kSpins && !settled(); ++i) CpuRelax();
  if (!settled()) {
    std::unique_lock<std::mutex> lock(mutex_);
    caller_blocked_ = true;
    cv_.wait(lock, settled);
  }
  return state_.load(std::memory_order_acquire) == kDone;
}

void PendingCall::Cancel() {
  if (Leave(kCancelled)) Finish(kCancelled);
}

// Owns the thread's apartment; ending the thread ends the apartment, so a
// reader never waits on a thread that is gone.
struct ApartmentHolder {
  std::shared_ptr<Apartment> apartment;
  ~ApartmentHolder() {
    if (apartment) apartment->Shutdown();
  }
};

namespace {
ThreadSlot<ApartmentHolder> g_holders;
}  // namespace

std::shared_ptr<Apartment> Apartment::Current() {
  ApartmentHolder& holder = g_holders.Get();
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
    queued_.store(0, std::memory_order_release);
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
  bool wake = false, signal_fd = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (ended_) return false;
    queue_.push_back(call);
    queued_.store(queue_.size(), std::memory_order_release);
    wake = owner_blocked_;
#ifndef _WIN32
    signal_fd = !fd_signalled_;
    fd_signalled_ = true;
#endif
  }
  if (wake) cv_.notify_all();
#ifndef _WIN32
  if (signal_fd) {
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(fd_, &one, sizeof one);
  }
#else
  (void)signal_fd;
#endif
  if (on_queued) on_queued(call);
  return call->Wait();
}

std::size_t Apartment::Pump() {
  std::size_t ran = 0;
  bool drained = false;  // the descriptor was read since the last call ran
  while (true) {
    std::shared_ptr<PendingCall> call;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!queue_.empty()) {
        call = std::move(queue_.front());
        queue_.pop_front();
        queued_.store(queue_.size(), std::memory_order_release);
      } else if (drained) {
        break;
      } else {
#ifndef _WIN32
        fd_signalled_ = false;
#endif
      }
    }
    if (!call) {
#ifndef _WIN32
      // Read outside the lock (a caller queueing meanwhile must not wait on a
      // system call), then look at the queue once more: a call whose signal
      // this read swallowed runs now instead of waiting on a quiet descriptor.
      std::uint64_t count;
      [[maybe_unused]] ssize_t n = read(fd_, &count, sizeof count);
#endif
      drained = true;
      continue;
    }
    drained = false;
    if (!call->Leave(PendingCall::kRunning)) continue;  // cancelled while queued
    {
      RunningCall running(call->caller_);
      call->fn_();
    }
    call->Finish(PendingCall::kDone);
    ++ran;
  }
  return ran;
}

bool Apartment::WaitForWork(std::chrono::steady_clock::time_point deadline) {
  for (int i = 0; i < kSpins; ++i) {
    if (queued_.load(std::memory_order_acquire) != 0) return true;
    CpuRelax();
  }
  std::unique_lock<std::mutex> lock(mutex_);
  owner_blocked_ = true;
  const bool work = cv_.wait_until(lock, deadline, [this] { return !queue_.empty(); });
  owner_blocked_ = false;
  return work;
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
