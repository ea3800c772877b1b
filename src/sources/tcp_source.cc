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
  return OpenStream<TcpSource>(name, "tcp://", "", "expected tcp://HOST:PORT");
}

}  // namespace orvane::detail
