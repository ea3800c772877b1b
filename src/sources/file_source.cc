// The log file: consecutive 80-byte chunks from offset 0, pass after pass
// without sleeping, until the end of the file; a paced replay waits in its
// fix handlers through the pacer. Chunks are served from large block reads:
// one system call per 64 KiB instead of one per chunk.
#include <string>

#include "sources/replay_source.h"

namespace orvane::detail {
namespace {

constexpr std::size_t kFileChunkBytes = 80;
constexpr std::size_t kFileBlockBytes = 64 * 1024;

class FileSource final : public ReplaySource {
 public:
  FileSource(NativeHandle file, double time_scale) : ReplaySource(time_scale), file_(file) {
    SetTotalBytes(FileSize(file));
  }

  // The offset moves on even when a read fails, so a bad spot is skipped.
  int ReadChunk(std::string& pending) override {
    NoteHeld(pending.size());
    if (end_of_file_) return 0;
    const std::uint64_t at = offset_;
    offset_ += kFileChunkBytes;
    const std::size_t from = pending.size();
    switch (ReadChunkAt(at, pending)) {
      case ReadAtResult::kData: CountRead(pending.size() - from); return 0;
      case ReadAtResult::kEndOfFile: end_of_file_ = true; return 0;
      case ReadAtResult::kFailed:
        // Past the end a failing read would otherwise be retried forever.
        if (AtOrPastEnd(file_, offset_)) end_of_file_ = true;
        return 1;
    }
    return 1;
  }
  Wake Wait(const StopEvent& stop) override { return stop.IsSet() ? Wake::kStop : Wake::kPass; }
  bool Exhausted() const override { return end_of_file_; }
  NativeHandle handle() const override { return file_; }
  void Close() override { CloseLogFile(file_); }

 private:
  // The chunk at `at` as one read of it would give: a chunk the block holds
  // whole comes from the block; any other starts a new block there, so the
  // end of the file (and a file still growing) is read as it is now. A block
  // that fails falls back to the chunk alone, so one bad spot costs one chunk.
  ReadAtResult ReadChunkAt(std::uint64_t at, std::string& pending) {
    if (at < block_at_ || at - block_at_ + kFileChunkBytes > block_.size()) {
      block_.clear();
      block_at_ = at;
      if (ReadAt(file_, at, kFileBlockBytes, block_) == ReadAtResult::kFailed) {
        block_.clear();
        return ReadAt(file_, at, kFileChunkBytes, pending);
      }
    }
    const std::size_t from = static_cast<std::size_t>(at - block_at_);
    if (from >= block_.size()) return ReadAtResult::kEndOfFile;
    pending.append(block_, from, kFileChunkBytes);
    return ReadAtResult::kData;
  }

  const NativeHandle file_;
  std::uint64_t offset_ = 0;
  bool end_of_file_ = false;
  std::string block_;  // the file's bytes from block_at_
  std::uint64_t block_at_ = 0;
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
