// The text side of the network sources, free of sockets: names and the
// gpsd stream.
#pragma once

#include <string>
#include <string_view>

namespace orvane::detail {

struct HostPort {
  std::string host;  // without brackets; may be empty where allowed
  std::string port;  // decimal digits
};

// "HOST:PORT", "[IPV6]:PORT", or "HOST" alone when `default_port` is given.
// An empty host is refused unless `host_optional`; ports run from 1 to
// 65535 (0 too with `allow_port_zero`: the system then picks one).
bool ParseHostPort(std::string_view text, std::string_view default_port, bool host_optional,
                   bool allow_port_zero, HostPort* out);

// Keeps gpsd's relayed NMEA and drops its own replies (lines that start
// with '{'). `in_reply` carries a reply cut by the end of `in` into the next
// call; `at_line_start` likewise.
struct GpsdFilter {
  bool at_line_start = true;
  bool in_reply = false;
  void Append(std::string_view in, std::string& out);
};

}  // namespace orvane::detail
