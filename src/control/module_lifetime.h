// The module's lifetime, one count for the core and for the COM layer over
// it: live controls (until the last reader that shares their state has
// ended), server locks, and whatever a host layer hands out that runs the
// module's code (class factories, enumerators). Changed atomically.
#pragma once

#include <chrono>
#include <functional>

namespace orvane {

void LockModule();
void UnlockModule();
// For a thread that goes on running the module's code after its unlock (a
// reader that freed a control's last state): the module is not free to go
// until that thread has ended.
void UnlockModuleLeavingThread();
// False once nothing is counted and every leaving thread has ended.
bool ModuleInUse();

// Final release, after the reader was told to stop: true once joining it
// cannot wait on this thread. On Windows the reader reaches sinks through COM,
// which hands each call to this apartment as a message, so this thread serves
// them until `ended()`, giving up after `limit`; on POSIX the calls waiting
// for this thread are cancelled instead.
bool ServeStoppingReader(const std::function<bool()>& ended, std::chrono::milliseconds limit);

}  // namespace orvane
