#include <mutex>
#include <vector>

#include "automation/platform.h"
#include "control/module_lifetime.h"

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

namespace orvane {

bool ServeStoppingReader(const std::function<bool()>& ended, std::chrono::milliseconds limit) {
  const ULONGLONG give_up = GetTickCount64() + static_cast<ULONGLONG>(limit.count());
  bool quit = false;
  WPARAM quit_code = 0;
  while (!ended() && GetTickCount64() < give_up) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      // The host's own loop must still see its WM_QUIT.
      if (msg.message == WM_QUIT) {
        quit = true;
        quit_code = msg.wParam;
        continue;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  if (quit) PostQuitMessage(static_cast<int>(quit_code));
  return ended();
}

}  // namespace orvane
