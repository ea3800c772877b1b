// The log file: consecutive 80-byte chunks from offset 0, pass after pass
// without sleeping, until the end of the file; a paced replay waits in its
// fix handlers through the pacer.
#include <optional>

#include "sources/replay_pacer.h"
#include "sources/source.h"

namespace orvane::detail {
namespace {

constexpr std::size_t kFileChunkBytes = 80;

class FileSource final : public Source {
 public:
  FileSource(NativeHandle file, double time_scale) : file_(file) {
    if (time_scale > 0.0) pacer_.emplace(time_scale);
  }

  // The offset moves on even when a read fails, so a bad spot is skipped.
  int ReadChunk(std::string& pending) override {
    if (end_of_file_) return 0;
    const std::uint64_t at = offset_;
    offset_ += kFileChunkBytes;
    switch (ReadAt(file_, at, kFileChunkBytes, pending)) {
      case ReadAtResult::kData:
        return 0;
      case ReadAtResult::kEndOfFile:
        end_of_file_ = true;
        return 0;
      case ReadAtResult::kFailed:
        // Past the end a failing read would otherwise be retried forever.
        if (AtOrPastEnd(file_, offset_)) end_of_file_ = true;
        return 1;
    }
    return 1;
  }
  Wake Wait(const StopEvent& stop) override { return stop.IsSet() ? Wake::kStop : Wake::kPass; }
  bool Exhausted() const override { return end_of_file_; }
  bool IsReplay() const override { return true; }
  NativeHandle handle() const override { return file_; }
  void BeginReading(Receiver& receiver, const StopEvent& stop) override {
    if (!pacer_) return;
    pacer_->SetStopEvent(&stop);
    receiver.fix().SetFixTimeListener(&*pacer_);
  }
  void EndReading(Receiver& receiver) override {
    if (pacer_) receiver.fix().SetFixTimeListener(nullptr);
  }
  void Close() override { CloseLogFile(file_); }

 private:
  const NativeHandle file_;
  std::uint64_t offset_ = 0;
  bool end_of_file_ = false;
  std::optional<ReplayPacer> pacer_;
};

}  // namespace

OpenAttempt OpenLogFileSource(const std::string& path, double time_scale) {
  OpenAttempt attempt;
  const NativeHandle file = path.empty() ? kNoHandle : OpenLogFile(path, &attempt.cause);
  if (file == kNoHandle) return attempt;
  try {
    attempt.source = std::make_unique<FileSource>(file, time_scale);
  } catch (...) {
    CloseLogFile(file);
    throw;
  }
  return attempt;
}

}  // namespace orvane::detail
