// The resolver call both socket layers make; only the words for a failure
// differ between them.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <sys/socket.h>
#endif

#include <string>

#include "sources/lookup.h"

namespace orvane::detail {

// The addresses for `where` (an empty host: any, when `passive`), or null
// with `cause` set; `describe` turns getaddrinfo's failure code into words
// and is called straight after it, while the system's error is still its.
// With `stop`, Close need not wait for a resolver that hangs.
inline addrinfo* ResolveAddresses(const HostPort& where, int socktype, bool passive,
                                  const StopEvent* stop, std::string (*describe)(int rc),
                                  std::string* cause) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = socktype;
  hints.ai_flags = AI_NUMERICSERV | (passive ? AI_PASSIVE : 0);
  const auto resolve = [hints, describe](const HostPort& name, std::string* why) -> addrinfo* {
    addrinfo* list = nullptr;
    const int rc = getaddrinfo(name.host.empty() ? nullptr : name.host.c_str(), name.port.c_str(),
                               &hints, &list);
    if (rc == 0) return list;
    *why = describe(rc);
    return nullptr;
  };
  return ResolveUnlessStopped<addrinfo>(
      where, stop, resolve, [](addrinfo* list) { freeaddrinfo(list); }, cause);
}

}  // namespace orvane::detail
