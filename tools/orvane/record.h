// --record: the receiver's bytes appended to a file as they arrive, so that
// a replay of the file reproduces the session.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace orvane {
class OrvaneControl;
}

namespace orvane::cli {

class Recorder {
 public:
  // Told once, on the reader thread, why the recording stopped.
  using Stopped = std::function<void(const std::string& message)>;

  // Opens `path` for appending; null with `error` set when it cannot.
  static std::unique_ptr<Recorder> Open(const std::string& path, Stopped stopped,
                                        std::string* error);
  // Writes what is still pending (a last line without its line feed).
  ~Recorder();
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // Bytes as read, in any runs. Each complete line is written through to
  // the file before the call returns; a failed write stops the recording.
  void Feed(std::string_view bytes);
  // The receiver was lost mid-line: the control drops what it had of the
  // line, and so does the recording, lest a replay handle the piece (a line
  // without a checksum is taken) or join it to the next line.
  void DropTornLine() { partial_.clear(); }
  bool stopped() const { return fd_ < 0; }

 private:
  Recorder(int fd, std::string path, Stopped stopped)
      : fd_(fd), path_(std::move(path)), on_stop_(std::move(stopped)) {}
  bool WriteAll(std::string_view bytes);
  void Stop(int error);

  int fd_;
  std::string path_;
  Stopped on_stop_;
  std::string partial_;  // the line not yet ended
};

// A recorder of everything `control` reads from sources it opens
// afterwards; null with `error` set when the file cannot be opened.
std::unique_ptr<Recorder> RecordInto(OrvaneControl& control, const std::string& path,
                                     Recorder::Stopped stopped, std::string* error);

}  // namespace orvane::cli
