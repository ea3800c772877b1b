#include "automation/leaving_threads.h"

namespace orvane::detail {

// A shared library is not unloaded under a running thread by the platform's
// own machinery, so a leaving thread needs no tracking here.
void AddLeavingThread() {}
bool LeavingThreadsRunning() { return false; }

}  // namespace orvane::detail
