#include "sources/net_text.h"

namespace orvane::detail {
namespace {

bool ValidPort(std::string_view port, bool allow_zero) {
  if (port.empty() || port.size() > 5) return false;
  unsigned value = 0;
  for (char c : port) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return value <= 65535 && (value != 0 || allow_zero);
}

bool ValidHost(std::string_view host) {
  for (char c : host) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= ' ' || u >= 0x7F || c == '/' || c == '[' || c == ']' || c == '@') return false;
  }
  return true;
}

}  // namespace

bool ParseHostPort(std::string_view text, std::string_view default_port, bool host_optional,
                   bool allow_port_zero, HostPort* out) {
  std::string_view host, port;
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) return false;
    host = text.substr(1, close - 1);
    std::string_view rest = text.substr(close + 1);
    if (rest.empty()) {
      port = default_port;
    } else if (rest.front() == ':') {
      port = rest.substr(1);
    } else {
      return false;
    }
    if (host.find(':') == std::string_view::npos) return false;  // brackets are for IPv6
  } else {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) {
      host = text;
      port = default_port;
    } else {
      host = text.substr(0, colon);
      port = text.substr(colon + 1);
      if (host.find(':') != std::string_view::npos) return false;  // IPv6 needs brackets
    }
  }
  if (host.empty() && !host_optional) return false;
  if (!ValidHost(host) || !ValidPort(port, allow_port_zero)) return false;
  out->host.assign(host);
  out->port.assign(port);
  return true;
}

void GpsdFilter::Append(std::string_view in, std::string& out) {
  std::size_t at = 0;
  while (at < in.size()) {
    if (at_line_start) {
      in_reply = in[at] == '{';
      at_line_start = false;
    }
    const std::size_t lf = in.find('\n', at);
    const std::size_t end = lf == std::string_view::npos ? in.size() : lf + 1;
    if (!in_reply) out.append(in.substr(at, end - at));
    if (lf != std::string_view::npos) at_line_start = true;
    at = end;
  }
}

}  // namespace orvane::detail
