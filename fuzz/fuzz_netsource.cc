// The sources' input paths: Open's names as every network kind parses
// them, a gpsd stream torn into chunks whose sizes come from the input, and
// (on POSIX) a log replayed from a pipe written in such chunks, which must
// be handled as the same bytes read at once.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "sources/net_text.h"

#ifndef _WIN32
#include <unistd.h>

#include <chrono>
#include <thread>

#include "control/event_source.h"
#include "engine/receiver.h"
#include "presentation/settings.h"
#include "sources/source_manager.h"
#include "support/memory_reader.h"

namespace {

void ReplayFromAPipe(std::string_view text, const std::uint8_t* data) {
  int fds[2];
  if (pipe(fds) != 0) return;
  orvane::Settings settings;
  orvane::EventSource events;
  orvane::Receiver streamed(settings, events);
  orvane::SourceManager sources(streamed, events);
  if (sources.OpenStream(fds[0], orvane::Variant()) != orvane::S_OK) std::abort();
  close(fds[0]);
  // Short inputs are cut every few bytes; a long one in a few hundred
  // pieces, not one per 15 bytes: a write and a reader's wake per piece, not
  // the replay, were most of the cost of a 270 KB input.
  const std::size_t scale = std::max<std::size_t>(1, text.size() / 4096);
  std::thread writer([&] {
    for (std::size_t at = 0; at < text.size();) {
      const std::size_t n = std::min<std::size_t>(text.size() - at, (1 + data[at] % 29) * scale);
      if (write(fds[1], text.data() + at, n) != static_cast<ssize_t>(n)) break;
      at += n;
    }
    close(fds[1]);
  });
  writer.join();
  while (sources.IsOpen()) std::this_thread::sleep_for(std::chrono::microseconds(200));

  orvane::Receiver whole(settings, events);
  orvane::StopEvent stop;
  orvane::testing::MemoryReader reader{std::string(text), {}};
  while (!reader.drained()) whole.ProcessAvailableSentences(reader, stop);
  whole.ProcessAvailableSentences(reader, stop);
  const orvane::Receiver::Stats& a = streamed.stats();
  const orvane::Receiver::Stats& b = whole.stats();
  if (a.lines != b.lines || a.checksum_dropped != b.checksum_dropped ||
      a.overlong_dropped != b.overlong_dropped || a.unrecognised != b.unrecognised ||
      a.by_row != b.by_row) {
    std::abort();
  }
}

}  // namespace
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using orvane::detail::GpsdFilter;
  using orvane::detail::HostPort;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  // Names: whatever parses has a port of digits and a host without brackets.
  for (int kind = 0; kind < 3; ++kind) {
    HostPort where;
    const bool ok =
        orvane::detail::ParseHostPort(text, kind == 2 ? "2947" : "", kind == 1, kind == 1, &where);
    if (!ok) continue;
    if (where.port.empty() || where.port.find_first_not_of("0123456789") != std::string::npos)
      std::abort();
    if (where.host.find_first_of("[]/ ") != std::string::npos) std::abort();
    if (kind != 1 && where.host.empty()) std::abort();
  }

  // gpsd: the output is the input's lines that do not start with '{', the
  // same however the stream is cut.
  GpsdFilter whole;
  std::string expected;
  whole.Append(text, expected);
  GpsdFilter torn;
  std::string got;
  std::size_t at = 0;
  while (at < size) {
    const std::size_t n = std::min<std::size_t>(size - at, 1 + data[at] % 13);
    torn.Append(text.substr(at, n), got);
    at += n;
  }
  if (got != expected) std::abort();
  bool line_start = true;
  for (char c : expected) {
    if (line_start && c == '{') std::abort();
    line_start = c == '\n';
  }
#ifndef _WIN32
  ReplayFromAPipe(text, data);
#endif
  return 0;
}
