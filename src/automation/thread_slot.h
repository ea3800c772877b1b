// One object of type T per thread, made on first use and destroyed when its
// thread ends; one slot per type. A plain thread_local would do, but MinGW's
// i686 compilers call the destructor of a thread_local object with the wrong
// calling convention (GCC bug 83562: a __thiscall destructor called as cdecl),
// which frees garbage when the thread ends. On Windows the object lives on the
// heap behind a trivially destructible thread_local pointer, and a
// fiber-local-storage callback destroys it.
#pragma once

#include "automation/platform.h"

namespace orvane {

#ifdef _WIN32

template <typename T>
class ThreadSlot {
 public:
  ThreadSlot() : index_(FlsAlloc(&Destroy)) {}
  // Unloading the module destroys the objects of the threads still running.
  ~ThreadSlot() {
    if (index_ != FLS_OUT_OF_INDEXES) FlsFree(index_);
  }
  ThreadSlot(const ThreadSlot&) = delete;
  ThreadSlot& operator=(const ThreadSlot&) = delete;

  T& Get() {
    if (mine_ == nullptr) {
      mine_ = new T();
      // Without an index the object outlives its thread: leaked, not freed wrong.
      if (index_ != FLS_OUT_OF_INDEXES) FlsSetValue(index_, mine_);
    }
    return *mine_;
  }

 private:
  static void WINAPI Destroy(void* object) {
    if (object == mine_) mine_ = nullptr;
    delete static_cast<T*>(object);
  }

  const DWORD index_;
  static thread_local T* mine_;
};

template <typename T>
thread_local T* ThreadSlot<T>::mine_ = nullptr;

#else

template <typename T>
class ThreadSlot {
 public:
  T& Get() {
    thread_local T object;
    return object;
  }
};

#endif

}  // namespace orvane
