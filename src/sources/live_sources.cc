// The kinds of source Open can name. A new kind adds one row here.
#include <array>
#include <string_view>

#include "sources/source.h"

namespace orvane::detail {
namespace {

struct LiveKind {
  std::string_view scheme;
  OpenAttempt (*open)(const std::string& name);
};

constexpr std::array kLiveKinds = {
    LiveKind{"tcp://", OpenTcpSource},
    LiveKind{"udp://", OpenUdpSource},
    LiveKind{"gpsd://", OpenGpsdSource},
};

}  // namespace

OpenAttempt OpenLiveSource(const std::string& name) {
  for (const LiveKind& kind : kLiveKinds) {
    if (name.compare(0, kind.scheme.size(), kind.scheme) == 0) return kind.open(name);
  }
  return OpenSerialSource(name);
}

}  // namespace orvane::detail
