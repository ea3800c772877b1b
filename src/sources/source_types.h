// What a source tells the manager that runs it, and the manager's hosts: so
// the source abstraction need not know its user.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

namespace orvane {

// How far a replay has read: the bytes handed to the line assembly, and the
// log's length when it is known (0 for a stream).
struct ReplayProgress {
  std::uint64_t bytes_read = 0;
  std::uint64_t total_bytes = 0;
};

// Shown the bytes of a replayed stream as they are read, on the reader
// thread (a host's own checks).
using ByteTap = std::function<void(std::string_view)>;

}  // namespace orvane
