// watch in a build made without ncurses.
#include "watch.h"

namespace orvane::cli {

int RunWatch(const Options&, std::FILE* err) {
  std::fprintf(
      err,
      "orvane: watch is not in this build: it needs ncurses (libncurses-dev) when it is built\n");
  return kExitSourceFailed;
}

}  // namespace orvane::cli
