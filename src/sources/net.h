// The operating-system side of the network sources: sockets behind the same
// kind of seam as device.h.
#pragma once

#include <string>
#include <string_view>

#include "engine/stop_event.h"
#include "sources/device.h"
#include "sources/net_text.h"

namespace orvane::detail {

// Connects a stream socket to `where`, trying each address in turn, for at
// most a few seconds; a set `stop` (may be null) gives up at once. The socket
// is non-blocking. kNoHandle on failure, with `cause` saying why.
NativeHandle ConnectStream(const HostPort& where, const StopEvent* stop, std::string* cause);
// A datagram socket bound to `where` (an empty host: every address).
NativeHandle BindDatagram(const HostPort& where, std::string* cause);

enum class NetWait { kStop, kReadable, kTimeout, kFailed };
// Sleeps until the socket is readable (or closed by the peer), `stop` is set
// or the time-out passes.
NetWait WaitForSocket(NativeHandle socket, const StopEvent& stop, int timeout_ms);

enum class NetRead { kData, kNothing, kClosed };
// Appends up to `limit` bytes now waiting on a stream; kClosed when the peer
// closed it or it failed.
NetRead ReceiveStream(NativeHandle socket, std::string& out, std::size_t limit);
// Appends the next waiting datagram; kNothing when none waits.
NetRead ReceiveDatagram(NativeHandle socket, std::string& out);
// Sends all of `bytes` on a connected stream, waiting briefly if needed.
bool SendAll(NativeHandle socket, std::string_view bytes);
void CloseSocket(NativeHandle socket);

}  // namespace orvane::detail
