// One pass over a log, for counting instructions under callgrind:
//   orvane_loop_once floor|loop|talkers|all|sink LOG
// (talkers: the loop with every talker accepted, several systems kept;
// all: that and ExtendedSentences, as orvane replay --all)
// Only Measured() is counted (callgrind --toggle-collect='*Measured*'), so
// reading the log and starting up stay out of the figures.
#include <cstdio>
#include <cstring>
#include <string>

#include "bench_log.h"
#include "presentation/settings.h"
#include "presentation/settings_access.h"

namespace {

enum class Kind { kFloor, kLoop, kTalkers, kAll, kSink };

[[gnu::noinline]] unsigned Measured(Kind kind, orvane::Receiver& receiver, const std::string& log) {
  if (kind == Kind::kFloor) return orvane::bench::SplitAndChecksum(log);
  orvane::bench::RunLoopOnce(receiver, log, 80);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: orvane_loop_once floor|loop|talkers|all|sink LOG\n");
    return 2;
  }
  const Kind kind = std::strcmp(argv[1], "floor") == 0  ? Kind::kFloor
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
  std::printf("%zu lines, %u accepted by the floor, %zu sink values\n", orvane::bench::CountLines(log), accepted,
              sink->count);
  return 0;
}
