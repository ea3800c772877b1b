#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "sources/net.h"
#include "sources/posix_read.h"
#include "sources/resolve.h"

namespace orvane::detail {
namespace {

constexpr int kConnectTimeoutMs = 5000;
constexpr int kStopCheckMs = 100;

int AsFd(NativeHandle h) { return static_cast<int>(h); }

void SetCause(std::string* cause, const std::string& text) {
  if (cause != nullptr) *cause = text;
}

std::string ResolverText(int rc) {
  return rc == EAI_SYSTEM ? std::strerror(errno) : gai_strerror(rc);
}

addrinfo* Resolve(const HostPort& where, int socktype, bool passive, const StopEvent* stop,
                  std::string* cause) {
  return ResolveAddresses(where, socktype, passive, stop, ResolverText, cause);
}

// Waits for a non-blocking connect to finish; 0 or the errno.
int FinishConnect(int fd, const StopEvent* stop) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
  while (true) {
    pollfd fds[2] = {{fd, POLLOUT, 0}, {stop != nullptr ? stop->fd() : -1, POLLIN, 0}};
    const int rc = poll(fds, 2, kStopCheckMs);
    if (rc < 0 && errno != EINTR) return errno;
    if (stop != nullptr && stop->IsSet()) return ECANCELED;
    if (rc > 0 && fds[0].revents != 0) {
      int error = 0;
      socklen_t len = sizeof error;
      if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0) return errno;
      return error;
    }
    if (std::chrono::steady_clock::now() >= deadline) return ETIMEDOUT;
  }
}

ssize_t AppendReceived(int fd, std::string& out, std::size_t limit) {
  return AppendRead(out, limit, [fd](char* into, std::size_t n) { return recv(fd, into, n, 0); });
}

}  // namespace

NativeHandle ConnectStream(const HostPort& where, const StopEvent* stop, std::string* cause) {
  addrinfo* list = Resolve(where, SOCK_STREAM, false, stop, cause);
  if (list == nullptr) return kNoHandle;
  int fd = -1;
  int error = ECONNREFUSED;
  for (addrinfo* a = list; a != nullptr && fd < 0; a = a->ai_next) {
    fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) {
      error = errno;
      continue;
    }
    error = connect(fd, a->ai_addr, a->ai_addrlen) == 0 ? 0 : errno;
    if (error == EINPROGRESS) error = FinishConnect(fd, stop);
    if (error != 0) {
      close(fd);
      fd = -1;
      if (error == ECANCELED) break;
    }
  }
  freeaddrinfo(list);
  if (fd < 0) {
    SetCause(cause, std::strerror(error));
    return kNoHandle;
  }
  // A receiver's sentences are small and the control only reads.
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
  return fd;
}

NativeHandle BindDatagram(const HostPort& where, std::string* cause) {
  addrinfo* list = Resolve(where, SOCK_DGRAM, true, nullptr, cause);
  if (list == nullptr) return kNoHandle;
  int fd = -1;
  int error = EADDRNOTAVAIL;
  // An IPv6 wildcard first takes IPv4 senders too.
  for (int pass = 0; pass < 2 && fd < 0; ++pass) {
    for (addrinfo* a = list; a != nullptr && fd < 0; a = a->ai_next) {
      if ((pass == 0) != (a->ai_family == AF_INET6)) continue;
      fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
      if (fd < 0) {
        error = errno;
        continue;
      }
      int zero = 0;
      if (a->ai_family == AF_INET6) setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &zero, sizeof zero);
      if (bind(fd, a->ai_addr, a->ai_addrlen) != 0) {
        error = errno;
        close(fd);
        fd = -1;
      }
    }
  }
  freeaddrinfo(list);
  if (fd < 0) SetCause(cause, std::strerror(error));
  return fd < 0 ? kNoHandle : fd;
}

NetWait WaitForSocket(NativeHandle socket, const StopEvent& stop, int timeout_ms) {
  pollfd fds[2] = {{stop.fd(), POLLIN, 0}, {AsFd(socket), POLLIN, 0}};
  const int rc = poll(fds, 2, timeout_ms);
  if (rc < 0) return errno == EINTR ? NetWait::kTimeout : NetWait::kFailed;
  if (fds[0].revents != 0 || stop.IsSet()) return NetWait::kStop;
  if (rc == 0) return NetWait::kTimeout;
  // A hang-up or error shows as readable: the read then reports it.
  return fds[1].revents != 0 ? NetWait::kReadable : NetWait::kTimeout;
}

NetRead ReceiveStream(NativeHandle socket, std::string& out, std::size_t limit) {
  const ssize_t got = AppendReceived(AsFd(socket), out, limit);
  if (got > 0) return NetRead::kData;
  if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return NetRead::kNothing;
  return NetRead::kClosed;
}

NetRead ReceiveDatagram(NativeHandle socket, std::string& out) {
  constexpr std::size_t kMaxDatagram = 65536;
  const ssize_t got = AppendReceived(AsFd(socket), out, kMaxDatagram);
  if (got >= 0) return NetRead::kData;  // an empty datagram is still one
  return errno == EAGAIN || errno == EWOULDBLOCK ? NetRead::kNothing : NetRead::kClosed;
}

bool SendAll(NativeHandle socket, std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = send(AsFd(socket), bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd fd{AsFd(socket), POLLOUT, 0};
      if (poll(&fd, 1, 1000) <= 0) return false;
      continue;
    }
    return false;
  }
  return true;
}

void CloseSocket(NativeHandle socket) { close(AsFd(socket)); }

}  // namespace orvane::detail
