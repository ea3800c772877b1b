// tcp://HOST:PORT: a multiplexer, phone app or chart plotter serving NMEA.
#include "sources/stream_source.h"

namespace orvane::detail {
namespace {

class TcpSource final : public StreamSource {
 public:
  using StreamSource::StreamSource;
};

}  // namespace

OpenAttempt OpenTcpSource(const std::string& name) {
  HostPort where;
  if (!ParseHostPort(std::string_view(name).substr(6), "", false, false, &where)) {
    return {nullptr, S_OK, "expected tcp://HOST:PORT"};
  }
  return OpenStream<TcpSource>(where);
}

}  // namespace orvane::detail
