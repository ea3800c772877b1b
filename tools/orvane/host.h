// The command-line host: drives the control through late binding and its
// events, as any automation host would.
#pragma once

#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "automation/platform.h"

namespace orvane {
class OrvaneControl;
struct ExcepInfo;
}  // namespace orvane

namespace orvane::cli {

struct Options {
  enum class Mode { kReplay, kLive, kWatch, kMembers } mode = Mode::kReplay;
  std::string source;  // file or port
  std::optional<std::string> time_scale;
  std::optional<std::string> record;  // live, watch: the file the bytes are appended to
  std::optional<std::string> baud;    // live: put after Open
  std::vector<std::pair<std::string, std::string>> sets;
  bool json = false;
  bool typed = false;
  bool props = false;
  bool summary = false;
  bool all = false;      // every talker and ExtendedSentences on
  bool gpsd = false;     // gpsd's TPV and SKY, one per epoch
  double duration = -1;  // live: seconds, negative for until interrupted
  enum class Export { kNone, kGpx, kCsv } export_format = Export::kNone;
  std::optional<std::string> output;  // -o: the export's file, else standard output
  std::optional<double> gap;          // --gpx: seconds without a point that end a segment
};

// Parses argv; on a usage error returns nullopt with the message in *error.
std::optional<Options> ParseArgs(int argc, char** argv, std::string* error, bool* help,
                                 bool* version);
void PrintUsage(std::FILE* out);

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitSourceFailed = 1;
inline constexpr int kExitUsage = 2;
// Standard output's reader went away: the command ends as by SIGPIPE, once
// what it writes to files is complete.
inline constexpr int kExitReaderGone = 128 + SIGPIPE;

// After the last write to standard output: kExitOk when all of it went out,
// kExitReaderGone, or kExitSourceFailed after saying why.
int EndOfOutput(std::FILE* out, std::FILE* err);

// Runs the command; returns the process exit status.
int Run(const Options& options, std::FILE* out, std::FILE* err);

// Shared by the commands. Puts each --set; false after telling why one was
// refused (exit status 2).
bool ApplySets(OrvaneControl& control, const Options& options, std::FILE* err);
// Says why Open or OpenFile of `source` failed with `hr`.
void ReportOpenError(OrvaneControl& control, const std::string& source, HRESULT hr,
                     const ExcepInfo& info, std::FILE* err);
// Puts --baud; false after telling why the value or the port refused it.
bool PutBaud(OrvaneControl& control, const std::string& baud, std::FILE* err);

}  // namespace orvane::cli
