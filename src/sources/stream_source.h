// A receiver's NMEA over a TCP stream, as a client. A peer that closes the
// stream counts as a lost device: the source connects again every second.
#pragma once

#include <mutex>
#include <string>
#include <string_view>

#include "sources/live_source.h"
#include "sources/net.h"

namespace orvane::detail {

class StreamSource : public LiveSource {
 public:
  StreamSource(HostPort where, NativeHandle socket) : where_(std::move(where)), socket_(socket) {}

  int ReadChunk(std::string& pending) override {
    if (closed_ || socket_ == kNoHandle) return 0;
    // A bounded read per line read: a fast peer cannot grow the buffer
    // ahead of the loop.
    constexpr std::size_t kChunkBytes = 4096;
    scratch_.clear();
    const NetRead got = ReceiveStream(socket_, scratch_, kChunkBytes);
    if (got == NetRead::kClosed) closed_ = true;
    AppendReceived(scratch_, pending);
    return 0;
  }
  NativeHandle handle() const override {
    std::lock_guard<std::mutex> lock(mutex_);
    return socket_;
  }
  void Close() override { Drop(); }
  // Called on each new connection before reading (gpsd asks for NMEA).
  virtual bool Greet(NativeHandle /*socket*/) { return true; }

 protected:
  // Hands received bytes to the line assembly; gpsd filters its replies.
  virtual void AppendReceived(const std::string& bytes, std::string& pending) { pending += bytes; }

  DeviceWake WaitDevice(const StopEvent& stop) override {
    if (closed_) return DeviceWake::kLost;
    switch (WaitForSocket(socket_, stop, 100)) {
      case NetWait::kStop: return DeviceWake::kStop;
      case NetWait::kReadable: return DeviceWake::kPass;
      case NetWait::kTimeout: return DeviceWake::kIdle;
      case NetWait::kFailed: break;
    }
    return DeviceWake::kLost;
  }
  void Drop() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (socket_ != kNoHandle) CloseSocket(socket_);
    socket_ = kNoHandle;
  }
  bool Reopen(const StopEvent& stop) override {
    const NativeHandle socket = ConnectStream(where_, &stop, nullptr);
    if (socket == kNoHandle) return false;
    if (!Greet(socket)) {
      CloseSocket(socket);
      return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    socket_ = socket;
    closed_ = false;
    return true;
  }

 private:
  const HostPort where_;
  mutable std::mutex mutex_;  // guards socket_ against PortHandle
  NativeHandle socket_;
  bool closed_ = false;
  std::string scratch_;
};

// Resolves and connects for Open; the source takes the socket.
template <typename Kind>
OpenAttempt OpenStream(const HostPort& where) {
  OpenAttempt attempt;
  const NativeHandle socket = ConnectStream(where, nullptr, &attempt.cause);
  if (socket == kNoHandle) return attempt;
  auto source = std::make_unique<Kind>(where, socket);
  if (!source->Greet(socket)) {
    attempt.cause = "the server refused the request";
    return attempt;  // the source closes the socket
  }
  attempt.source = std::move(source);
  return attempt;
}

// Open for a name that starts with `scheme`, followed by HOST:PORT (or HOST
// alone when there is a `default_port`); a name that does not parse is
// refused with `usage`.
template <typename Kind>
OpenAttempt OpenStream(const std::string& name, std::string_view scheme,
                       std::string_view default_port, const char* usage) {
  HostPort where;
  if (!ParseHostPort(std::string_view(name).substr(scheme.size()), default_port, false, false,
                     &where)) {
    return {nullptr, S_OK, usage};
  }
  return OpenStream<Kind>(where);
}

}  // namespace orvane::detail
