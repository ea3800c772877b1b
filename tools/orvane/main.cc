#include <csignal>
#include <cstdio>
#include <string>

#include "host.h"

namespace {

// A reader that went away is seen as a failed write rather than as a signal
// mid-write: files being written are completed first, and the command then
// ends as by SIGPIPE, quietly, as `cat` into `head` does.
int Exit(int status) {
  if (status == orvane::cli::kExitReaderGone) {
    std::signal(SIGPIPE, SIG_DFL);
    std::raise(SIGPIPE);
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  std::string error;
  bool help = false, version = false;
  auto options = orvane::cli::ParseArgs(argc, argv, &error, &help, &version);
  if (help) {
    orvane::cli::PrintUsage(stdout);
    return Exit(orvane::cli::EndOfOutput(stdout, stderr));
  }
  if (version) {
    std::printf("orvane %s\n", ORVANE_VERSION);
    return Exit(orvane::cli::EndOfOutput(stdout, stderr));
  }
  if (!options) {
    std::fprintf(stderr, "orvane: %s\n\n", error.c_str());
    orvane::cli::PrintUsage(stderr);
    return 2;
  }
  return Exit(orvane::cli::Run(*options, stdout, stderr));
}
