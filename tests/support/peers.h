// What tests read or set inside production types, through the one friend
// each type names: nothing here is part of any production interface.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

#include "control/event_source.h"
#include "engine/fix_state.h"
#include "engine/receiver.h"
#include "sources/lookup.h"

namespace orvane::testing {

struct EventSourcePeer {
  // Slot capacity, free slots included.
  static std::size_t SlotCount(const EventSource& source) {
    std::lock_guard<std::mutex> lock(source.mutex_);
    return source.slots_.size();
  }
};

struct ReceiverPeer {
  // Reads a chunk, queues the complete lines and copies the oldest into
  // `line`. Returns the lines still queued, or the reader's failure value.
  static int ReadLine(Receiver& receiver, ChunkReader& reader, std::string& line) {
    std::string_view view;
    const int rc = receiver.NextLine(reader, &view);
    if (view.data() != nullptr) line.assign(view);
    return rc;
  }
  // Everything held: queued lines, pending text and handed-out bytes not yet
  // dropped.
  static std::size_t BufferedBytes(const Receiver& receiver) { return receiver.buf_.size(); }
};

struct FixStatePeer {
  static FixTimeListener* Listener(const FixState& fix) {
    return fix.listener_.load(std::memory_order_acquire);
  }
};

struct LookupPeer {
  // Null: none.
  static void SetHook(detail::LookupHook::Fn hook) { detail::LookupHook::Set(hook); }
};

}  // namespace orvane::testing
