#include "write_check.h"

#include <cerrno>
#include <cstring>

namespace orvane::cli {

void WriteCheck::Fail(int error) {
  if (said_.exchange(true)) return;
  if (error == 0) error = EIO;
  gone_ = quiet_broken_pipe_ && error == EPIPE;
  failed_.store(true, std::memory_order_release);
  if (gone_) return;
  std::fprintf(err_, "orvane: %s: cannot write: %s\n", name_.c_str(), std::strerror(error));
  std::fflush(err_);
}

bool WriteCheck::Check() {
  if (failed()) return false;
  // errno as the failed write left it: nothing has run since on this thread.
  if (out_ != nullptr && std::ferror(out_) != 0) Fail(errno);
  return !failed();
}

bool WriteCheck::Flush() {
  if (failed() || out_ == nullptr) return !failed();
  errno = 0;
  if (std::fflush(out_) != 0) Fail(errno);
  return Check();
}

}  // namespace orvane::cli
