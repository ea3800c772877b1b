// The log file: consecutive 80-byte reads from offset 0, pass after pass
// without sleeping, until the end of the file.
#include "sources/source.h"

namespace orvane::detail {
namespace {

constexpr std::size_t kFileChunkBytes = 80;

class FileSource final : public Source {
 public:
  explicit FileSource(NativeHandle file) : file_(file) {}

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
    receiver.fix().SetPacingStopEvent(&stop);
  }
  void EndReading(Receiver& receiver) override { receiver.fix().SetPacingStopEvent(nullptr); }
  void Close() override { CloseLogFile(file_); }

 private:
  const NativeHandle file_;
  std::uint64_t offset_ = 0;
  bool end_of_file_ = false;
};

}  // namespace

OpenAttempt OpenLogFileSource(const std::string& path) {
  OpenAttempt attempt;
  const NativeHandle file = path.empty() ? kNoHandle : OpenLogFile(path, &attempt.cause);
  if (file == kNoHandle) return attempt;
  try {
    attempt.source = std::make_unique<FileSource>(file);
  } catch (...) {
    CloseLogFile(file);
    throw;
  }
  return attempt;
}

}  // namespace orvane::detail
