// Winsock for the network sources: each socket has an event selected for
// FD_READ and FD_CLOSE, so the reader waits on the stop event and the socket
// together with WaitForMultipleObjects.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <map>
#include <mutex>

#include "sources/net.h"
#include "sources/resolve.h"

namespace orvane::detail {
namespace {

constexpr DWORD kConnectTimeoutMs = 5000;
constexpr long kStopCheckUs = 100 * 1000;

SOCKET S(NativeHandle h) { return static_cast<SOCKET>(h); }

std::mutex g_sockets_mutex;
std::map<SOCKET, HANDLE> g_socket_events;

HANDLE EventOf(NativeHandle socket) {
  std::lock_guard<std::mutex> lock(g_sockets_mutex);
  auto it = g_socket_events.find(S(socket));
  return it == g_socket_events.end() ? nullptr : it->second;
}

std::string ErrorText(int error) {
  char buf[256] = {};
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, static_cast<DWORD>(error), 0, buf, sizeof buf, nullptr);
  std::string text(buf, n);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.'))
    text.pop_back();
  return text.empty() ? "network error " + std::to_string(error) : text;
}

void SetCause(std::string* cause, const std::string& text) {
  if (cause != nullptr) *cause = text;
}

bool Started() {
  static const bool started = [] {
    WSADATA data{};
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

// With `stop`, Close need not wait for a resolver that hangs.
addrinfo* Resolve(const HostPort& where, int socktype, bool passive, const StopEvent* stop,
                  std::string* cause) {
  if (!Started()) {
    SetCause(cause, "Winsock is not available");
    return nullptr;
  }
  return ResolveAddresses(where, socktype, passive, stop, ErrorText, cause);
}

// Non-blocking, with its wake-up event registered; kNoHandle when that fails.
NativeHandle Register(SOCKET s) {
  u_long on = 1;
  HANDLE event = WSACreateEvent();
  if (event == WSA_INVALID_EVENT || ioctlsocket(s, FIONBIO, &on) != 0 ||
      WSAEventSelect(s, event, FD_READ | FD_CLOSE) != 0) {
    if (event != WSA_INVALID_EVENT) WSACloseEvent(event);
    closesocket(s);
    return kNoHandle;
  }
  std::lock_guard<std::mutex> lock(g_sockets_mutex);
  g_socket_events[s] = event;
  return static_cast<NativeHandle>(s);
}

int FinishConnect(SOCKET s, const StopEvent* stop) {
  const ULONGLONG deadline = GetTickCount64() + kConnectTimeoutMs;
  while (true) {
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval tv{0, kStopCheckUs};
    const int rc = select(0, nullptr, &writable, &failed, &tv);
    if (rc == SOCKET_ERROR) return WSAGetLastError();
    if (stop != nullptr && stop->IsSet()) return WSAEINTR;
    if (FD_ISSET(s, &writable)) return 0;
    if (FD_ISSET(s, &failed)) {
      int error = 0;
      int len = sizeof error;
      getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &len);
      return error != 0 ? error : WSAECONNREFUSED;
    }
    if (GetTickCount64() >= deadline) return WSAETIMEDOUT;
  }
}

}  // namespace

NativeHandle ConnectStream(const HostPort& where, const StopEvent* stop, std::string* cause) {
  addrinfo* list = Resolve(where, SOCK_STREAM, false, stop, cause);
  if (list == nullptr) return kNoHandle;
  SOCKET s = INVALID_SOCKET;
  int error = WSAECONNREFUSED;
  for (addrinfo* a = list; a != nullptr && s == INVALID_SOCKET; a = a->ai_next) {
    s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (s == INVALID_SOCKET) {
      error = WSAGetLastError();
      continue;
    }
    u_long on = 1;
    ioctlsocket(s, FIONBIO, &on);
    error = connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0 ? 0 : WSAGetLastError();
    if (error == WSAEWOULDBLOCK) error = FinishConnect(s, stop);
    if (error != 0) {
      closesocket(s);
      s = INVALID_SOCKET;
      if (error == WSAEINTR) break;
    }
  }
  freeaddrinfo(list);
  if (s == INVALID_SOCKET) {
    SetCause(cause, ErrorText(error));
    return kNoHandle;
  }
  const NativeHandle handle = Register(s);
  if (handle == kNoHandle) SetCause(cause, ErrorText(WSAGetLastError()));
  return handle;
}

NativeHandle BindDatagram(const HostPort& where, std::string* cause) {
  addrinfo* list = Resolve(where, SOCK_DGRAM, true, nullptr, cause);
  if (list == nullptr) return kNoHandle;
  SOCKET s = INVALID_SOCKET;
  int error = WSAEADDRNOTAVAIL;
  for (int pass = 0; pass < 2 && s == INVALID_SOCKET; ++pass) {
    for (addrinfo* a = list; a != nullptr && s == INVALID_SOCKET; a = a->ai_next) {
      if ((pass == 0) != (a->ai_family == AF_INET6)) continue;
      s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
      if (s == INVALID_SOCKET) {
        error = WSAGetLastError();
        continue;
      }
      DWORD zero = 0;
      if (a->ai_family == AF_INET6) {
        setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&zero), sizeof zero);
      }
      if (bind(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0) {
        error = WSAGetLastError();
        closesocket(s);
        s = INVALID_SOCKET;
      }
    }
  }
  freeaddrinfo(list);
  if (s == INVALID_SOCKET) {
    SetCause(cause, ErrorText(error));
    return kNoHandle;
  }
  return Register(s);
}

NetWait WaitForSocket(NativeHandle socket, const StopEvent& stop, int timeout_ms) {
  HANDLE events[2] = {static_cast<HANDLE>(stop.native_handle()), EventOf(socket)};
  if (events[0] == nullptr || events[1] == nullptr) return NetWait::kFailed;
  const DWORD rc = WaitForMultipleObjects(2, events, FALSE, static_cast<DWORD>(timeout_ms));
  if (rc == WAIT_FAILED) return NetWait::kFailed;
  if (rc == WAIT_OBJECT_0 || stop.IsSet()) return NetWait::kStop;
  if (rc != WAIT_OBJECT_0 + 1) return NetWait::kTimeout;
  // Resets the event; the next recv that leaves data behind sets it again.
  WSANETWORKEVENTS happened{};
  WSAEnumNetworkEvents(S(socket), events[1], &happened);
  return NetWait::kReadable;
}

NetRead ReceiveStream(NativeHandle socket, std::string& out, std::size_t limit) {
  const std::size_t old_size = out.size();
  out.resize(old_size + limit);
  const int got = recv(S(socket), out.data() + old_size, static_cast<int>(limit), 0);
  out.resize(old_size + (got > 0 ? static_cast<std::size_t>(got) : 0));
  if (got > 0) return NetRead::kData;
  if (got == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) return NetRead::kNothing;
  return NetRead::kClosed;
}

NetRead ReceiveDatagram(NativeHandle socket, std::string& out) {
  constexpr int kMaxDatagram = 65536;
  const std::size_t old_size = out.size();
  out.resize(old_size + kMaxDatagram);
  const int got = recv(S(socket), out.data() + old_size, kMaxDatagram, 0);
  out.resize(old_size + (got > 0 ? static_cast<std::size_t>(got) : 0));
  if (got >= 0) return NetRead::kData;
  return WSAGetLastError() == WSAEWOULDBLOCK ? NetRead::kNothing : NetRead::kClosed;
}

bool SendAll(NativeHandle socket, std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const int n = send(S(socket), bytes.data() + done, static_cast<int>(bytes.size() - done), 0);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) {
      fd_set writable;
      FD_ZERO(&writable);
      FD_SET(S(socket), &writable);
      timeval tv{1, 0};
      if (select(0, nullptr, &writable, nullptr, &tv) <= 0) return false;
      continue;
    }
    return false;
  }
  return true;
}

void CloseSocket(NativeHandle socket) {
  HANDLE event = nullptr;
  {
    std::lock_guard<std::mutex> lock(g_sockets_mutex);
    auto it = g_socket_events.find(S(socket));
    if (it != g_socket_events.end()) {
      event = it->second;
      g_socket_events.erase(it);
    }
  }
  closesocket(S(socket));
  if (event != nullptr) WSACloseEvent(event);
}

}  // namespace orvane::detail
