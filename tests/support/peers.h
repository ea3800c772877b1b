// What tests read or set inside production types, through the one friend
// each type names: nothing here is part of any production interface.
#pragma once

#include <cstddef>
#include <mutex>

#include "control/event_source.h"
#include "sources/lookup.h"

namespace orvane::testing {

struct EventSourcePeer {
  // Slot capacity, free slots included.
  static std::size_t SlotCount(const EventSource& source) {
    std::lock_guard<std::mutex> lock(source.mutex_);
    return source.slots_.size();
  }
};

struct LookupPeer {
  // Null: none.
  static void SetHook(detail::LookupHook::Fn hook) { detail::LookupHook::Set(hook); }
};

}  // namespace orvane::testing
