// Replay throughput on a log in memory (ORVANE_BENCH_LOG, else a built-in
// sample): the floor (split lines and XOR checksums only), the sentence loop
// without and with sinks, and OpenFile through the control.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "bench_log.h"
#include "control/orvane_control.h"
#include "presentation/settings.h"

// The automation names (HRESULT, S_OK, VT_*) live in namespace orvane.
using namespace orvane;

namespace {

const std::string& LogPath() {
  static const std::string path = [] {
    const char* p = std::getenv("ORVANE_BENCH_LOG");
    return std::string(p ? p : ORVANE_SAMPLE_LOG);
  }();
  return path;
}

const std::string& Log() {
  static const std::string log = orvane::bench::ReadWholeFile(LogPath());
  return log;
}

std::size_t LineCount() {
  static const std::size_t n = orvane::bench::CountLines(Log());
  return n;
}

// The floor: what any NMEA reader must do to every byte.
void BM_Floor_SplitAndChecksum(benchmark::State& state) {
  for (auto _ : state) {
    unsigned accepted = orvane::bench::SplitAndChecksum(Log());
    benchmark::DoNotOptimize(accepted);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * LineCount()));
}
BENCHMARK(BM_Floor_SplitAndChecksum)->Unit(benchmark::kMillisecond);

using orvane::bench::CountingSink;

void RunLoop(benchmark::State& state, bool with_sink) {
  orvane::Settings settings;
  orvane::EventSource events;
  auto sink = std::make_shared<CountingSink>();
  std::uint32_t cookie;
  if (with_sink) events.Advise(sink, &cookie, orvane::SinkThreading::kFreeThreaded);
  orvane::Receiver receiver(settings, events);
  for (auto _ : state)
    orvane::bench::RunLoopOnce(receiver, Log(), static_cast<std::size_t>(state.range(0)));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * LineCount()));
}

void BM_Loop_NoSinks(benchmark::State& state) { RunLoop(state, false); }
BENCHMARK(BM_Loop_NoSinks)->Arg(80)->Arg(4096)->Unit(benchmark::kMillisecond);

void BM_Loop_FreeThreadedSink(benchmark::State& state) { RunLoop(state, true); }
BENCHMARK(BM_Loop_FreeThreadedSink)->Arg(80)->Unit(benchmark::kMillisecond);

void RunOpenFile(benchmark::State& state, bool host_sink) {
  for (auto _ : state) {
    auto control = orvane::CreateOrvaneControl();
    auto sink = std::make_shared<CountingSink>();
    std::uint32_t cookie;
    if (host_sink) control->events().Advise(sink, &cookie);  // this thread's apartment
    control->OpenFile(orvane::Variant::Text(LogPath()),
                      orvane::Variant::Error(DISP_E_PARAMNOTFOUND));
    orvane::Apartment::Current()->RunUntil([&] { return !control->IsSourceOpen(); },
                                           std::chrono::minutes(10));
    benchmark::DoNotOptimize(sink->count);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * LineCount()));
}

void BM_OpenFile_NoSinks(benchmark::State& state) { RunOpenFile(state, false); }
BENCHMARK(BM_OpenFile_NoSinks)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OpenFile_HostThreadSink(benchmark::State& state) { RunOpenFile(state, true); }
BENCHMARK(BM_OpenFile_HostThreadSink)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
