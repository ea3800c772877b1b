// The network sources' text: Open's names as every kind parses them, and a
// gpsd stream torn into chunks whose sizes come from the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "sources/net_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using orvane::detail::GpsdFilter;
  using orvane::detail::HostPort;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  // Names: whatever parses has a port of digits and a host without brackets.
  for (int kind = 0; kind < 3; ++kind) {
    HostPort where;
    const bool ok = orvane::detail::ParseHostPort(text, kind == 2 ? "2947" : "", kind == 1, kind == 1, &where);
    if (!ok) continue;
    if (where.port.empty() || where.port.find_first_not_of("0123456789") != std::string::npos) std::abort();
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
  return 0;
}
