// A stream's first failed write, remembered and said once:
// "orvane: NAME: cannot write: REASON".
#pragma once

#include <atomic>
#include <cstdio>
#include <string>
#include <utility>

namespace orvane::cli {

class WriteCheck {
 public:
  // `quiet_broken_pipe`: a reader that went away (EPIPE) is not said; the
  // command ends as by SIGPIPE instead (standard output into `head`).
  WriteCheck(std::FILE* out, std::string name, std::FILE* err, bool quiet_broken_pipe = false)
      : out_(out), name_(std::move(name)), err_(err), quiet_broken_pipe_(quiet_broken_pipe) {}

  // A write fell short; `error` is its errno (0: unknown).
  void Fail(int error);
  // After writing, on the thread that wrote: the stream's error flag, so
  // that a failure inside a buffered write is seen where it happened.
  bool Check();
  // Sends what the stream holds on; false once any write failed.
  bool Flush();
  bool failed() const { return failed_.load(std::memory_order_acquire); }
  // The failure was a reader gone away, and not said.
  bool reader_gone() const { return failed() && gone_; }
  std::FILE* stream() const { return out_; }
  void Forget() { out_ = nullptr; }

 private:
  std::FILE* out_;
  std::string name_;
  std::FILE* err_;
  bool quiet_broken_pipe_;
  bool gone_ = false;  // written before failed_
  std::atomic<bool> failed_{false};
  std::atomic<bool> said_{false};
};

}  // namespace orvane::cli
