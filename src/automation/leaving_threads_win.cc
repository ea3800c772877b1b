#include <mutex>
#include <vector>

#include "automation/leaving_threads.h"
#include "automation/platform.h"

namespace orvane::detail {
namespace {

// Handles of threads that unlocked the module and still return through its
// code; closed once they have ended.
std::mutex g_leaving_mutex;
std::vector<HANDLE> g_leaving;

}  // namespace

void AddLeavingThread() {
  HANDLE self = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self,
                       SYNCHRONIZE, FALSE, 0)) {
    return;
  }
  std::lock_guard<std::mutex> lock(g_leaving_mutex);
  try {
    g_leaving.push_back(self);
  } catch (...) {
    CloseHandle(self);
  }
}

bool LeavingThreadsRunning() {
  std::lock_guard<std::mutex> lock(g_leaving_mutex);
  std::erase_if(g_leaving, [](HANDLE h) {
    if (WaitForSingleObject(h, 0) == WAIT_TIMEOUT) return false;
    CloseHandle(h);
    return true;
  });
  return !g_leaving.empty();
}

}  // namespace orvane::detail
