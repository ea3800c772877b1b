// One read into the end of a string, for every POSIX read the sources make
// (a port, a file at an offset, a stream, a socket).
#pragma once

#include <sys/types.h>

#include <cerrno>
#include <cstddef>
#include <string>

namespace orvane::detail {

// Appends what one `read_into(buffer, count)` call (read, pread, recv)
// brings, retried when a signal interrupts it. Returns that call's result,
// its errno left for the caller.
template <typename ReadInto>
ssize_t AppendRead(std::string& out, std::size_t count, const ReadInto& read_into) {
  const std::size_t old_size = out.size();
  out.resize(old_size + count);
  ssize_t got;
  do {
    got = read_into(out.data() + old_size, count);
  } while (got < 0 && errno == EINTR);
  out.resize(old_size + (got > 0 ? static_cast<std::size_t>(got) : 0));
  return got;
}

}  // namespace orvane::detail
