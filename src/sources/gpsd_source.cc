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
  void AppendReceived(const std::string& bytes, std::string& pending) override {
    filter_.Append(bytes, pending);
  }

 private:
  GpsdFilter filter_;
};

}  // namespace

OpenAttempt OpenGpsdSource(const std::string& name) {
  return OpenStream<GpsdSource>(name, "gpsd://", "2947", "expected gpsd://HOST[:PORT]");
}

}  // namespace orvane::detail
