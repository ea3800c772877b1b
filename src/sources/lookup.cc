#include "sources/lookup.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "automation/leaving_threads.h"

#ifndef _WIN32
#include <poll.h>
#else
#include <windows.h>
#endif

namespace orvane::detail {
namespace {

constexpr int kStopCheckMs = 100;

std::atomic<LookupHook::Fn> g_hook{nullptr};
std::atomic<std::size_t> g_running{0};

struct LookupState {
  StopEvent done;
  std::mutex mutex;
  bool finished = false;  // guarded by mutex: orders the lookup's writes before the caller's reads
};

// Sleeps until `done` or `stop` is set; true when `done` is.
bool WaitForDone(const StopEvent& done, const StopEvent& stop) {
  while (!done.IsSet() && !stop.IsSet()) {
#ifndef _WIN32
    pollfd fds[2] = {{done.fd(), POLLIN, 0}, {stop.fd(), POLLIN, 0}};
    poll(fds, 2, kStopCheckMs);
#else
    HANDLE handles[2] = {done.native_handle(), stop.native_handle()};
    WaitForMultipleObjects(2, handles, FALSE, kStopCheckMs);
#endif
  }
  return !stop.IsSet();
}

}  // namespace

bool RunLookup(std::function<void()> lookup, const StopEvent& stop) {
  auto state = std::make_shared<LookupState>();
  auto work = std::make_shared<std::function<void()>>(std::move(lookup));
  g_running.fetch_add(1);
  try {
    std::thread([state, work]() mutable {
      (*work)();
      work.reset();  // frees an abandoned lookup's result with the module still held
      {
        std::lock_guard<std::mutex> lock(state->mutex);
        state->finished = true;
      }
      state->done.Set();
      state.reset();
      // The thread still returns through the module's code.
      AddLeavingThread();
      g_running.fetch_sub(1);
    }).detach();
  } catch (...) {
    // No thread to be had: the lookup runs here, as it did before.
    g_running.fetch_sub(1);
    (*work)();
    return true;
  }
  WaitForDone(state->done, stop);
  std::lock_guard<std::mutex> lock(state->mutex);
  return state->finished;
}

void LookupHook::Set(Fn hook) { g_hook.store(hook); }

void LookupHook::Run(const HostPort& where) {
  if (const Fn hook = g_hook.load()) hook(where);
}

std::size_t LookupsRunning() { return g_running.load(); }

}  // namespace orvane::detail
