#include "control/module_lifetime.h"

#include <atomic>

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
  return g_module_locks.load(std::memory_order_acquire) != 0 || detail::LeavingThreadsRunning();
}

}  // namespace orvane
