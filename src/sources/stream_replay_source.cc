// A log replayed from a stream (a pipe or a socket): read as it arrives,
// paced like a file, and ended by the writer closing it. Only one read
// follows each wait that found bytes, so a pass never blocks the reader and
// Close is seen within one wait.
#include <string>
#include <string_view>
#include <utility>

#include "sources/replay_source.h"

namespace orvane::detail {
namespace {

constexpr std::size_t kStreamReadBytes = 64 * 1024;
constexpr int kStopCheckMs = 100;

class StreamReplaySource final : public ReplaySource {
 public:
  StreamReplaySource(NativeHandle stream, double time_scale, ByteTap tap)
      : ReplaySource(time_scale), stream_(stream), tap_(std::move(tap)) {}

  int ReadChunk(std::string& pending) override {
    NoteHeld(pending.size());
    if (!readable_ || ended_) return 0;
    readable_ = false;
    const std::size_t from = pending.size();
    // A failed read ends the replay as the end of the stream does.
    ended_ = ReadStream(stream_, kStreamReadBytes, pending) != ReadAtResult::kData;
    CountRead(pending.size() - from);
    if (tap_ && pending.size() > from) tap_(std::string_view(pending).substr(from));
    return 0;
  }
  Wake Wait(const StopEvent& stop) override {
    switch (WaitForStream(stream_, stop, kStopCheckMs)) {
      case StreamWait::kStop: return Wake::kStop;
      case StreamWait::kReadable: readable_ = true; return Wake::kPass;
      case StreamWait::kTimeout: break;
    }
    return Wake::kIdle;
  }
  bool Exhausted() const override { return ended_; }
  NativeHandle handle() const override { return stream_; }
  void Close() override { CloseStream(stream_); }

 private:
  const NativeHandle stream_;
  const ByteTap tap_;
  bool readable_ = false;
  bool ended_ = false;
};

}  // namespace

OpenAttempt OpenStreamReplaySource(NativeHandle stream, double time_scale, ByteTap tap) {
  OpenAttempt attempt;
  const NativeHandle own = DuplicateStream(stream, &attempt.cause);
  if (own == kNoHandle) return attempt;
  try {
    attempt.source = std::make_unique<StreamReplaySource>(own, time_scale, std::move(tap));
  } catch (...) {
    CloseStream(own);
    throw;
  }
  return attempt;
}

}  // namespace orvane::detail
