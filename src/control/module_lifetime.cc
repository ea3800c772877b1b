#include "control/module_lifetime.h"

#include <atomic>

#include "automation/leaving_threads.h"
#include "sources/lookup.h"

namespace orvane {
namespace {

std::atomic<long> g_module_locks{0};

}  // namespace

void LockModule() { g_module_locks.fetch_add(1, std::memory_order_acq_rel); }

void UnlockModule() { g_module_locks.fetch_sub(1, std::memory_order_acq_rel); }

void UnlockModuleLeavingThread() {
  detail::AddLeavingThread();
  UnlockModule();
}

bool ModuleInUse() {
  // An abandoned name lookup counts until it has handed itself over to the
  // leaving threads.
  return g_module_locks.load(std::memory_order_acquire) != 0 || detail::LookupsRunning() != 0 ||
         detail::LeavingThreadsRunning();
}

}  // namespace orvane
