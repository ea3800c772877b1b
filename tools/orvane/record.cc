#include "record.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "control/orvane_control.h"

namespace orvane::cli {

std::unique_ptr<Recorder> Recorder::Open(const std::string& path, Stopped stopped,
                                         std::string* error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) {
    *error = "--record " + path + ": " + std::strerror(errno);
    return nullptr;
  }
  return std::unique_ptr<Recorder>(new Recorder(fd, path, std::move(stopped)));
}

Recorder::~Recorder() {
  if (fd_ < 0) return;
  if (!partial_.empty() && !WriteAll(partial_)) return;
  ::close(fd_);
}

void Recorder::Feed(std::string_view bytes) {
  if (fd_ < 0) return;
  const std::size_t last_end = bytes.rfind('\n');
  if (last_end == std::string_view::npos) {
    partial_.append(bytes);
    return;
  }
  // Whole lines go out in one write: nothing stays buffered past a line end.
  std::string_view lines = bytes.substr(0, last_end + 1);
  if (!partial_.empty()) {
    partial_.append(lines);
    lines = partial_;
  }
  if (!WriteAll(lines)) return;
  partial_.assign(bytes.substr(last_end + 1));
}

bool Recorder::WriteAll(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      Stop(n < 0 ? errno : EIO);
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

void Recorder::Stop(int error) {
  ::close(fd_);
  fd_ = -1;
  partial_.clear();
  if (on_stop_) on_stop_("recording to " + path_ + " stopped: " + std::strerror(error));
}

std::unique_ptr<Recorder> RecordInto(OrvaneControl& control, const std::string& path,
                                     Recorder::Stopped stopped, std::string* error) {
  std::unique_ptr<Recorder> recorder = Recorder::Open(path, std::move(stopped), error);
  if (recorder)
    control.SetByteTap([r = recorder.get()](std::string_view bytes) { r->Feed(bytes); });
  return recorder;
}

}  // namespace orvane::cli
