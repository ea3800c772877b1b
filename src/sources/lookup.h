// A host-name lookup that Close need not wait for: a resolver may take far
// longer than any wait the reader may make (a dead name server), and the
// system call cannot be interrupted. The lookup runs on a thread of its
// own; when the stop event comes first the caller goes on and the thread,
// once the resolver returns, frees what it found.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "engine/stop_event.h"
#include "sources/net_text.h"

namespace orvane::testing {
struct LookupPeer;
}  // namespace orvane::testing

namespace orvane::detail {

// Runs `lookup` until it returns or `stop` is set, whichever comes first;
// true when it returned, its writes then visible to the caller. `lookup`
// must own (share) whatever it writes: after a false it still runs on.
bool RunLookup(std::function<void()> lookup, const StopEvent& stop);

// Called on the lookup's thread before each resolver call: only tests set
// one (through testing::LookupPeer), to make a lookup slow.
class LookupHook {
 public:
  using Fn = void (*)(const HostPort& where);
  static void Run(const HostPort& where);

 private:
  friend struct testing::LookupPeer;
  static void Set(Fn hook);
};
// Lookup threads still running, abandoned ones included.
std::size_t LookupsRunning();

// The resolver's list of addresses for `where`, or null with `cause` set:
// `resolve` fills it (on the lookup's thread when `stop` is given), and a
// list found after `stop` was set is freed there by `release`.
template <typename List>
List* ResolveUnlessStopped(const HostPort& where, const StopEvent* stop,
                           std::function<List*(const HostPort&, std::string* cause)> resolve,
                           void (*release)(List*), std::string* cause) {
  struct Found {
    explicit Found(void (*r)(List*)) : release(r) {}
    ~Found() {
      if (list != nullptr) release(list);
    }
    void (*const release)(List*);
    List* list = nullptr;
    std::string cause;
  };
  auto found = std::make_shared<Found>(release);
  auto call = [found, where, resolve = std::move(resolve)] {
    LookupHook::Run(where);
    found->list = resolve(where, &found->cause);
  };
  if (stop == nullptr) {
    call();
  } else if (!RunLookup(call, *stop)) {
    if (cause != nullptr) *cause = "stopped while looking up the name";
    return nullptr;
  }
  if (found->list == nullptr && cause != nullptr) *cause = found->cause;
  return std::exchange(found->list, nullptr);
}

}  // namespace orvane::detail
