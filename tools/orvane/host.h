// The command-line host: drives the control through late binding and its
// events, as any automation host would.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace orvane::cli {

struct Options {
  enum class Mode { kReplay, kLive, kMembers } mode = Mode::kReplay;
  std::string source;  // file or port
  std::optional<std::string> time_scale;
  std::optional<std::string> baud;  // live: put after Open
  std::vector<std::pair<std::string, std::string>> sets;
  bool json = false;
  bool typed = false;
  bool props = false;
  bool summary = false;
  bool all = false;   // every talker and ExtendedSentences on
  bool gpsd = false;  // gpsd's TPV and SKY, one per epoch
  double duration = -1;  // live: seconds, negative for until interrupted
};

// Parses argv; on a usage error returns nullopt with the message in *error.
std::optional<Options> ParseArgs(int argc, char** argv, std::string* error, bool* help, bool* version);
void PrintUsage(std::FILE* out);

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitSourceFailed = 1;
inline constexpr int kExitUsage = 2;

// Runs the command; returns the process exit status.
int Run(const Options& options, std::FILE* out, std::FILE* err);

}  // namespace orvane::cli
