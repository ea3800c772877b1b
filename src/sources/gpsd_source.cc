// gpsd://HOST[:PORT]: the receiver belongs to gpsd, which relays its raw
// NMEA once asked to; gpsd's own JSON replies are dropped.
#include "sources/stream_source.h"

namespace orvane::detail {
namespace {

constexpr std::string_view kWatch = "?WATCH={\"enable\":true,\"nmea\":true}\n";

class GpsdSource final : public StreamSource {
 public:
  using StreamSource::StreamSource;
  bool Greet(NativeHandle socket) override {
    filter_ = GpsdFilter();
    return SendAll(socket, kWatch);
  }

 protected:
  void AppendReceived(const std::string& bytes, std::string& pending) override { filter_.Append(bytes, pending); }

 private:
  GpsdFilter filter_;
};

}  // namespace

OpenAttempt OpenGpsdSource(const std::string& name) {
  HostPort where;
  if (!ParseHostPort(std::string_view(name).substr(7), "2947", false, false, &where)) {
    return {nullptr, S_OK, "expected gpsd://HOST[:PORT]"};
  }
  return OpenStream<GpsdSource>(where);
}

}  // namespace orvane::detail
