#include "automation/platform.h"
#include "control/module_lifetime.h"

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
