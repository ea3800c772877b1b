#include <cstdio>
#include <string>

#include "host.h"

int main(int argc, char** argv) {
  std::string error;
  bool help = false, version = false;
  auto options = orvane::cli::ParseArgs(argc, argv, &error, &help, &version);
  if (help) {
    orvane::cli::PrintUsage(stdout);
    return 0;
  }
  if (version) {
    std::printf("orvane %s\n", ORVANE_VERSION);
    return 0;
  }
  if (!options) {
    std::fprintf(stderr, "orvane: %s\n\n", error.c_str());
    orvane::cli::PrintUsage(stderr);
    return 2;
  }
  return orvane::cli::Run(*options, stdout, stderr);
}
