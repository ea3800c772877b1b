#include "control/apartment.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sched.h>
#include <sys/eventfd.h>
#include <unistd.h>
#endif

#include <cstdint>

#include "automation/thread_slot.h"

namespace orvane {

namespace {

// Cross-thread calls come in bursts, one per event: both sides spin briefly
// before sleeping, which saves two context switches per call when the other
// thread answers within microseconds on another processor. A spin is only
// worth it while the partner is seen running elsewhere; on a shared
// processor it would only delay the partner, so the wait sleeps at once.
constexpr auto kSpinFor = std::chrono::microseconds(50);
constexpr int kSpinsPerLook = 64;  // pauses between looks at the partner and the clock
constexpr int kBackoffWaits = 32;

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#else
  std::this_thread::yield();
#endif
}

// Spins until `ready()`, while `worth()` and for at most kSpinFor; true when
// ready. A spin that runs out of time arms `backoff`; an armed one is spent
// instead of spinning.
template <typename Ready, typename Worth, typename Backoff>
bool SpinFor(const Ready& ready, const Worth& worth, Backoff& backoff) {
  if (ready()) return true;
  if (backoff > 0) {
    backoff = backoff - 1;
    return false;
  }
  const auto until = std::chrono::steady_clock::now() + kSpinFor;
  while (worth()) {
    for (int i = 0; i < kSpinsPerLook; ++i) {
      if (ready()) return true;
      CpuRelax();
    }
    if (std::chrono::steady_clock::now() >= until) {
      backoff = kBackoffWaits;
      return false;
    }
  }
  return ready();
}

int CurrentCpu() {
#ifdef _WIN32
  return static_cast<int>(GetCurrentProcessorNumber());
#elif defined(__linux__)
  return sched_getcpu();
#else
  return -1;
#endif
}

// True when `partner` (a processor number, -1 unknown) is not this thread's.
bool OnOtherCpu(int partner) {
  if (partner < 0) return true;
  return partner != CurrentCpu();
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

bool PendingCall::Wait(const Apartment& owner) {
  auto settled = [this] {
    const int s = state_.load(std::memory_order_acquire);
    return s == kDone || s == kCancelled;
  };
  if (!SpinFor(
          settled, [&] { return owner.OwnerRunningElsewhere(); }, owner.caller_spin_backoff_)) {
    std::unique_lock<std::mutex> lock(mutex_);
    caller_blocked_ = true;
    cv_.wait(lock, settled);
  }
  return state_.load(std::memory_order_acquire) == kDone;
}

void PendingCall::Cancel() {
  if (Leave(kCancelled)) Finish(kCancelled);
}

void PendingCalls::Track(const std::shared_ptr<PendingCall>& call) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (shut_down()) {
    call->Cancel();
    return;
  }
  std::erase_if(in_flight_, [](const auto& w) { return w.expired(); });
  in_flight_.push_back(call);
}

void PendingCalls::CancelWaits() {
  std::vector<std::weak_ptr<PendingCall>> calls;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    shut_down_.store(true, std::memory_order_release);
    calls.swap(in_flight_);
  }
  for (auto& weak : calls) {
    if (auto call = weak.lock()) call->Cancel();
  }
}

// Owns the thread's apartment; ending the thread ends the apartment, so a
// reader never waits on a thread that is gone.
struct ApartmentHolder {
  std::shared_ptr<Apartment> apartment;
  ~ApartmentHolder() {
    if (apartment) apartment->CancelWaits();
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

// Marks the owner awake for the scope of a pump (nested ones included).
class Apartment::Awake {
 public:
  explicit Awake(Apartment* a) : a_(a), was_(a->owner_awake_.load(std::memory_order_relaxed)) {
    a_->owner_cpu_.store(CurrentCpu(), std::memory_order_relaxed);
    a_->owner_awake_.store(true, std::memory_order_release);
  }
  ~Awake() { a_->owner_awake_.store(was_, std::memory_order_release); }
  Awake(const Awake&) = delete;
  Awake& operator=(const Awake&) = delete;

 private:
  Apartment* a_;
  bool was_;
};

bool Apartment::OwnerRunningElsewhere() const {
  return owner_awake_.load(std::memory_order_acquire) &&
         OnOtherCpu(owner_cpu_.load(std::memory_order_relaxed));
}

#ifndef _WIN32
int Apartment::fd() {
  if (!fd_watched_.load(std::memory_order_acquire)) {
    // Calls queued before anyone watched were not signalled: signal them now.
    bool signal_fd;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      fd_watched_.store(true, std::memory_order_release);
      signal_fd = !queue_.empty() && !fd_signalled_;
      if (signal_fd) fd_signalled_ = true;
    }
    if (signal_fd) {
      std::uint64_t one = 1;
      [[maybe_unused]] ssize_t n = write(fd_, &one, sizeof one);
    }
  }
  return fd_;
}
#endif

Apartment::~Apartment() {
#ifndef _WIN32
  if (fd_ >= 0) close(fd_);
#endif
}

void Apartment::CancelWaits() {
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
  caller_cpu_.store(CurrentCpu(), std::memory_order_relaxed);
  bool wake = false, signal_fd = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (ended_) return false;
    queue_.push_back(call);
    queued_.store(queue_.size(), std::memory_order_release);
    wake = owner_blocked_;
#ifndef _WIN32
    signal_fd = !fd_signalled_ && fd_watched_.load(std::memory_order_relaxed);
    if (signal_fd) fd_signalled_ = true;
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
  return call->Wait(*this);
}

std::size_t Apartment::Pump() {
  Awake awake(this);
  std::size_t ran = 0;
  bool drained = false;  // the descriptor was read since the last call ran
  while (true) {
    bool read_fd = false;
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
        read_fd = fd_signalled_;
        fd_signalled_ = false;
#endif
      }
    }
    if (!call) {
#ifndef _WIN32
      // Read outside the lock (a caller queueing meanwhile must not wait on a
      // system call), then look at the queue once more: a call whose signal
      // this read swallowed runs now instead of waiting on a quiet descriptor.
      if (read_fd) {
        std::uint64_t count;
        [[maybe_unused]] ssize_t n = read(fd_, &count, sizeof count);
      }
#else
      (void)read_fd;
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
  auto queued = [this] { return queued_.load(std::memory_order_acquire) != 0; };
  if (queued()) return true;
  // Spin only while a caller may be producing on another processor.
  auto caller_elsewhere = [this] {
    const int me = CurrentCpu();
    owner_cpu_.store(me, std::memory_order_relaxed);
    const int caller = caller_cpu_.load(std::memory_order_relaxed);
    return caller < 0 || caller != me;
  };
  if (SpinFor(queued, caller_elsewhere, owner_spin_backoff_)) return true;
  std::unique_lock<std::mutex> lock(mutex_);
  owner_blocked_ = true;
  owner_awake_.store(false, std::memory_order_release);
  const bool work = cv_.wait_until(lock, deadline, [this] { return !queue_.empty(); });
  owner_awake_.store(true, std::memory_order_release);
  owner_cpu_.store(CurrentCpu(), std::memory_order_relaxed);
  owner_blocked_ = false;
  return work;
}

std::size_t Apartment::RunFor(std::chrono::milliseconds duration) {
  Awake awake(this);
  const auto deadline = std::chrono::steady_clock::now() + duration;
  std::size_t ran = Pump();
  while (std::chrono::steady_clock::now() < deadline) {
    if (WaitForWork(deadline)) ran += Pump();
  }
  return ran;
}

bool Apartment::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  Awake awake(this);
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
