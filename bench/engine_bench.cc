// Replay throughput on a log in memory (ORVANE_BENCH_LOG, else a built-in
// sample): the floor (split lines and XOR checksums only), the sentence loop
// without and with sinks, and OpenFile through the control.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "control/event_source.h"
#include "control/orvane_control.h"
#include "engine/receiver.h"

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
  static const std::string log = [] {
    std::ifstream in(LogPath(), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }();
  return log;
}

std::size_t LineCount() {
  static const std::size_t n = [] {
    std::size_t c = 0;
    for (char ch : Log()) c += ch == '\n';
    return c;
  }();
  return n;
}

class MemoryReader : public orvane::ChunkReader {
 public:
  explicit MemoryReader(const std::string& data, std::size_t chunk) : data_(data), chunk_(chunk) {}
  int ReadChunk(std::string& pending) override {
    const std::size_t n = std::min(chunk_, data_.size() - pos_);
    pending.append(data_, pos_, n);
    pos_ += n;
    return 0;
  }
  bool done() const { return pos_ == data_.size(); }

 private:
  const std::string& data_;
  std::size_t chunk_;
  std::size_t pos_ = 0;
};

// The floor: what any NMEA reader must do to every byte.
void BM_Floor_SplitAndChecksum(benchmark::State& state) {
  const std::string& log = Log();
  for (auto _ : state) {
    unsigned accepted = 0;
    const char* p = log.data();
    const char* end = p + log.size();
    while (p < end) {
      const char* lf = static_cast<const char*>(std::memchr(p, '\n', end - p));
      if (lf == nullptr) break;
      const char* star = static_cast<const char*>(std::memchr(p, '*', lf - p));
      unsigned x = 0;
      for (const char* q = p + 1; q < (star ? star : lf); ++q) x ^= static_cast<unsigned char>(*q);
      accepted += star ? (std::strtoul(star + 1, nullptr, 16) == x) : 1;
      p = lf + 1;
    }
    benchmark::DoNotOptimize(accepted);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * LineCount()));
}
BENCHMARK(BM_Floor_SplitAndChecksum)->Unit(benchmark::kMillisecond);

class CountingSink : public orvane::EventSink {
 public:
  HRESULT Invoke(DISPID, std::span<orvane::Variant> args) override {
    count += args.size() + 1;
    return S_OK;
  }
  std::size_t count = 0;
};

void RunLoop(benchmark::State& state, bool with_sink) {
  orvane::Settings settings;
  orvane::EventSource events;
  auto sink = std::make_shared<CountingSink>();
  std::uint32_t cookie;
  if (with_sink) events.Advise(sink, &cookie, orvane::SinkThreading::kFreeThreaded);
  orvane::Receiver receiver(settings, events);
  orvane::StopEvent stop;
  for (auto _ : state) {
    receiver.ResetLineAssembly();
    MemoryReader reader(Log(), static_cast<std::size_t>(state.range(0)));
    while (!reader.done()) receiver.ProcessAvailableSentences(reader, stop);
    receiver.ProcessAvailableSentences(reader, stop);
  }
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
    control->OpenFile(orvane::Variant::Text(LogPath()), orvane::Variant::Error(DISP_E_PARAMNOTFOUND));
    orvane::Apartment::Current()->RunUntil([&] { return !control->IsSourceOpen(); }, std::chrono::minutes(10));
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
