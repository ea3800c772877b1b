// One pass over a log, for counting instructions under callgrind:
//   orvane_loop_once floor|loop|talkers|all|sink LOG
// (talkers: the loop with every talker accepted, several systems kept;
// all: that and ExtendedSentences, as orvane replay --all)
// Only Measured() is counted (callgrind --toggle-collect='*Measured*'), so
// reading the log and starting up stay out of the figures.
//
// Where callgrind cannot count (another processor's build under an
// emulator), the splitters are timed against the floor in one run instead:
//   orvane_loop_once splitters LOG
// prints, for the floor and each splitter, the best wall time per line of
// several interleaved passes and its ratio to the floor's.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_log.h"
#include "engine/sentence.h"
#include "presentation/settings.h"
#include "presentation/settings_access.h"

namespace {

enum class Kind { kFloor, kLoop, kTalkers, kAll, kSink };

[[gnu::noinline]] unsigned Measured(Kind kind, orvane::Receiver& receiver, const std::string& log) {
  if (kind == Kind::kFloor) return orvane::bench::SplitAndChecksum(log);
  orvane::bench::RunLoopOnce(receiver, log, 80);
  return 0;
}

// Best of several passes, interleaved so that a busy moment of the machine
// costs every way alike.
int TimeSplitters(const std::string& log) {
  std::vector<std::string_view> lines;
  for (std::size_t at = 0, lf; (lf = log.find('\n', at)) != std::string::npos; at = lf + 1) {
    lines.emplace_back(log.data() + at, lf - at);
  }
  using Split = bool (*)(std::string_view&, orvane::SentenceFields&);
  struct Way {
    const char* name;
    Split split;  // null: the floor
    double best_ns = 1e300;
    unsigned accepted = 0;
  };
  std::vector<Way> ways = {
      {"floor: split lines + XOR checksum", nullptr},
      {"reference splitter (byte by byte)", &orvane::SplitVerifiedFieldsReference},
      {"SplitVerifiedFields (this build's fast way)", &orvane::SplitVerifiedFields}};
  orvane::SentenceFields fields;
  for (int pass = 0; pass < 5; ++pass) {
    for (Way& way : ways) {
      const auto t0 = std::chrono::steady_clock::now();
      unsigned accepted = 0;
      if (way.split == nullptr) {
        accepted = orvane::bench::SplitAndChecksum(log);
      } else {
        for (std::string_view line : lines) accepted += way.split(line, fields);
      }
      const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - t0;
      way.best_ns = std::min(way.best_ns, took.count() / static_cast<double>(lines.size()));
      way.accepted = accepted;
    }
  }
  for (const Way& way : ways) {
    std::printf("%-44s %9.1f ns/line %6.2f x floor (%u accepted)\n", way.name, way.best_ns,
                way.best_ns / ways[0].best_ns, way.accepted);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "splitters") == 0) {
    return TimeSplitters(orvane::bench::ReadWholeFile(argv[2]));
  }
  if (argc != 3) {
    std::fprintf(stderr, "usage: orvane_loop_once floor|loop|talkers|all|sink|splitters LOG\n");
    return 2;
  }
  const Kind kind = std::strcmp(argv[1], "floor") == 0     ? Kind::kFloor
                    : std::strcmp(argv[1], "sink") == 0    ? Kind::kSink
                    : std::strcmp(argv[1], "talkers") == 0 ? Kind::kTalkers
                    : std::strcmp(argv[1], "all") == 0     ? Kind::kAll
                                                           : Kind::kLoop;
  const std::string log = orvane::bench::ReadWholeFile(argv[2]);
  orvane::Settings settings;
  orvane::EventSource events;
  auto sink = std::make_shared<orvane::bench::CountingSink>();
  std::uint32_t cookie;
  if ((kind == Kind::kTalkers || kind == Kind::kAll) &&
      orvane::PutTalkers(settings, orvane::Variant::Text("*")) != orvane::S_OK) {
    return 1;
  }
  settings.extended_sentences = kind == Kind::kAll;
  if (kind == Kind::kSink) events.Advise(sink, &cookie, orvane::SinkThreading::kFreeThreaded);
  orvane::Receiver receiver(settings, events);
  const unsigned accepted = Measured(kind, receiver, log);
  std::uint64_t handled = 0;
  for (std::uint64_t n : receiver.stats().by_row) handled += n;
  std::printf("%zu lines, %u accepted by the floor, %zu sink values, %llu handled\n",
              orvane::bench::CountLines(log), accepted, sink->count,
              static_cast<unsigned long long>(handled));
  return 0;
}
