// udp://[ADDRESS]:PORT: NMEA broadcast in datagrams, as boat networks send
// it (port 10110 by convention). A line never spans datagrams.
#include "sources/net.h"
#include "sources/source.h"

namespace orvane::detail {
namespace {

class UdpSource final : public Source {
 public:
  explicit UdpSource(NativeHandle socket) : socket_(socket) {}

  int ReadChunk(std::string& pending) override {
    // Bounded per line read, like the stream: the loop keeps up.
    constexpr int kDatagramsPerRead = 64;
    for (int i = 0; i < kDatagramsPerRead; ++i) {
      const std::size_t before = pending.size();
      if (ReceiveDatagram(socket_, pending) != NetRead::kData) break;
      // Senders often leave out the last line's end; without one it would
      // join the next datagram's first line.
      if (pending.size() > before && pending.back() != '\n') pending += '\n';
    }
    return 0;
  }
  Wake Wait(const StopEvent& stop) override {
    const NetWait woke = WaitForSocket(socket_, stop, 100);
    if (woke == NetWait::kStop) return Wake::kStop;
    // A failed wait (rare) must not spin: sleep out the quiet period.
    if (woke == NetWait::kFailed)
      return stop.WaitFor(std::chrono::milliseconds(100)) ? Wake::kStop : Wake::kIdle;
    return woke == NetWait::kReadable ? Wake::kPass : Wake::kIdle;
  }
  NativeHandle handle() const override { return socket_; }
  void Close() override { CloseSocket(socket_); }

 private:
  const NativeHandle socket_;
};

}  // namespace

OpenAttempt OpenUdpSource(const std::string& name) {
  HostPort where;
  std::string_view rest = std::string_view(name).substr(6);
  const bool port_only =
      !rest.empty() && rest.find_first_not_of("0123456789") == std::string_view::npos;
  if (!ParseHostPort(port_only ? ":" + std::string(rest) : std::string(rest), "", true, true,
                     &where)) {
    return {nullptr, S_OK, "expected udp://[ADDRESS]:PORT"};
  }
  OpenAttempt attempt;
  const NativeHandle socket = BindDatagram(where, &attempt.cause);
  if (socket != kNoHandle) attempt.source = std::make_unique<UdpSource>(socket);
  return attempt;
}

}  // namespace orvane::detail
