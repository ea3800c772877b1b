// Threads that go on running the module's code after nothing counts them
// any more (a reader that freed a control's last state, an abandoned name
// lookup): the module is not free to be unloaded until they have ended.
#pragma once

namespace orvane::detail {

// Records the calling thread; call it before the count that kept the
// module loaded drops, so there is no moment when neither holds it.
void AddLeavingThread();
bool LeavingThreadsRunning();

}  // namespace orvane::detail
