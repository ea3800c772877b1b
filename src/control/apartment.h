// Apartments on POSIX: each thread that advises a sink gets a call queue, the
// counterpart of a single-threaded apartment and of the Global Interface Table.
// A call made from another thread is queued and the caller waits until the
// apartment's own thread has run it (Pump, RunFor, RunUntil, or any event loop
// that watches fd()).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace orvane {

class Apartment;

// Marks this thread as running a call that `caller` made and waits for, for
// Apartment::IsRunningCallFrom. The apartment's own calls make one; so does a
// call that reaches this thread by other means (a COM proxy's). Innermost
// first: a call's handler may pump again.
class RunningCall {
 public:
  explicit RunningCall(std::thread::id caller);
  ~RunningCall();
  RunningCall(const RunningCall&) = delete;
  RunningCall& operator=(const RunningCall&) = delete;

 private:
  friend class Apartment;
  const std::thread::id caller_;
  const RunningCall* const outer_;
};

// One cross-apartment call; shared by the waiting caller and the queue.
class PendingCall {
 public:
  explicit PendingCall(std::function<void()> fn)
      : fn_(std::move(fn)), caller_(std::this_thread::get_id()) {}
  // Marks a queued call as cancelled and wakes its caller; a call already
  // running is left to finish.
  void Cancel();

 private:
  friend class Apartment;
  enum State : int { kQueued, kRunning, kDone, kCancelled };
  // Moves kQueued to `to`; false when the call had left that state already.
  bool Leave(State to);
  void Finish(State to);
  // True once done, false once cancelled. Spins only while `owner` is
  // seen running on another processor.
  bool Wait(const Apartment& owner);

  std::function<void()> fn_;
  const std::thread::id caller_;
  std::atomic<int> state_{kQueued};
  std::mutex mutex_;
  std::condition_variable cv_;
  bool caller_blocked_ = false;  // guarded by mutex_
};

// The calls one object has queued for apartments, cancelled together at its
// final release so a reader never waits for a host thread tearing it down.
class PendingCalls {
 public:
  // For Apartment::Call's `on_queued`: keeps `call`, or cancels it once shut down.
  void Track(const std::shared_ptr<PendingCall>& call);
  void CancelWaits();
  bool shut_down() const { return shut_down_.load(std::memory_order_acquire); }

 private:
  std::atomic<bool> shut_down_{false};
  std::mutex mutex_;
  std::vector<std::weak_ptr<PendingCall>> in_flight_;
};

class Apartment : public std::enable_shared_from_this<Apartment> {
 public:
  // The calling thread's apartment, created on first use. It stops accepting
  // calls when its thread ends.
  static std::shared_ptr<Apartment> Current();

  ~Apartment();
  Apartment(const Apartment&) = delete;
  Apartment& operator=(const Apartment&) = delete;

  bool IsCurrentThread() const { return std::this_thread::get_id() == thread_; }
  // True while this thread runs a call that `caller` made and waits for:
  // waiting for `caller` here would never end.
  static bool IsRunningCallFrom(std::thread::id caller);

  // Runs `fn` on this apartment's thread and waits for it. Called on that
  // thread, runs it directly. False when the call was not run: the apartment
  // has ended, or `call` was cancelled while queued. `on_queued` sees the
  // pending call before the wait, so its owner can cancel it.
  bool Call(std::function<void()> fn,
            const std::function<void(const std::shared_ptr<PendingCall>&)>& on_queued = {});

  // Runs the calls queued now (and any they queue); returns how many ran. Only
  // on the apartment's own thread.
  std::size_t Pump();
  // Pumps until `duration` has passed.
  std::size_t RunFor(std::chrono::milliseconds duration);
  // Pumps until `done()` is true (checked after each call and on wake-ups) or
  // `timeout` passes; returns done().
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

#ifndef _WIN32
  // Readable while calls wait, and at times once more after their calls ran
  // (a wake-up that finds nothing to do); Pump() drains it. The descriptor is
  // signalled only once somebody has asked for it: a host that pumps with
  // RunUntil pays no system call per event.
  int fd();
#endif

 private:
  Apartment();
  void CancelWaits();  // the thread is ending: cancel whatever waits
  bool WaitForWork(std::chrono::steady_clock::time_point deadline);
  // Whether a thread waiting for this apartment's thread may spin: that
  // thread is in Pump, RunFor or RunUntil and not asleep, and was last seen
  // on another processor.
  bool OwnerRunningElsewhere() const;
  class Awake;
  friend struct ApartmentHolder;
  friend class PendingCall;

  std::thread::id thread_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::shared_ptr<PendingCall>> queue_;
  std::atomic<std::size_t> queued_{0};  // queue_.size(), for waiting without the lock
  bool ended_ = false;
  bool owner_blocked_ = false;  // the owner thread sleeps on cv_
  // Where the two sides run, for deciding between a spin and a sleep: two
  // threads that share a processor never see each other while spinning.
  std::atomic<bool> owner_awake_{false};  // pumping or about to, not asleep
  std::atomic<int> owner_cpu_{-1};
  std::atomic<int> caller_cpu_{-1};  // the latest caller's
  // After a spin that came to nothing, the next few waits sleep at once: the
  // partner was likely preempted, and spinning again would only cost more.
  mutable std::atomic<int> caller_spin_backoff_{0};
  int owner_spin_backoff_ = 0;  // the owner thread's own
#ifndef _WIN32
  int fd_ = -1;
  bool fd_signalled_ = false;  // one write per batch, not per call
  std::atomic<bool> fd_watched_{false};
#endif
};

}  // namespace orvane
