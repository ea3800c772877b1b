// A receiver wired to an event recorder, and the files and terminals the
// source tests read from.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pty.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "automation/error_info.h"
#include "automation/variant.h"
#include "engine/events.h"
#include "engine/receiver.h"
#include "presentation/settings.h"
#include "sources/source_manager.h"
#include "support/nmea.h"

namespace orvane::testing {

// A TCP socket listening on 127.0.0.1 at a port the system chose, or -1.
inline int ListenOnLoopback(std::uint16_t* port) {
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::listen(listener, 2) != 0 ||
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    if (listener >= 0) ::close(listener);
    return -1;
  }
  *port = ntohs(a.sin_port);
  return listener;
}

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Records every event with the time it arrived; safe from any thread.
class RecordingEvents : public EventRaiser {
 public:
  bool HasSinks() const override { return true; }
  void FireRawDataReceived(std::u16string_view raw_data, std::int32_t num_bytes) override {
    std::lock_guard<std::mutex> lock(mutex_);
    raw_.push_back(Utf16ToUtf8(raw_data));
    raw_bytes_.push_back(num_bytes);
    cv_.notify_all();
  }
  void FireFixUpdate(const FixState&) override {
    std::lock_guard<std::mutex> lock(mutex_);
    fix_times_.push_back(Clock::now());
    cv_.notify_all();
  }
  void FireNavUpdate(const NavigationState&) override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++nav_count_;
  }
  void FireSatelliteUpdate(const SatelliteState&) override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++sat_count_;
  }
  void FireFileComplete() override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++file_complete_;
    cv_.notify_all();
  }

  std::vector<std::string> raw() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return raw_;
  }
  std::vector<std::int32_t> raw_bytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return raw_bytes_;
  }
  std::vector<Clock::time_point> fix_times() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return fix_times_;
  }
  int nav_count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return nav_count_;
  }
  int sat_count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sat_count_;
  }
  int file_complete() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return file_complete_;
  }
  // Waits for `done` to hold, re-checked on each event and every 10 ms.
  bool WaitUntil(const std::function<bool()>& done, milliseconds timeout = milliseconds(5000)) {
    const auto deadline = Clock::now() + timeout;
    while (!done()) {
      if (Clock::now() >= deadline) return false;
      std::unique_lock<std::mutex> lock(mutex_);
      cv_.wait_for(lock, milliseconds(10));
    }
    return true;
  }
  bool WaitRaw(std::size_t n, milliseconds timeout = milliseconds(5000)) {
    return WaitUntil([&] { return raw().size() >= n; }, timeout);
  }
  bool WaitFileComplete(int n = 1, milliseconds timeout = milliseconds(5000)) {
    return WaitUntil([&] { return file_complete() >= n; }, timeout);
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<std::string> raw_;
  std::vector<std::int32_t> raw_bytes_;
  std::vector<Clock::time_point> fix_times_;
  int nav_count_ = 0;
  int sat_count_ = 0;
  int file_complete_ = 0;
};

// The control's pieces as the control owns them: the manager goes first.
struct Rig {
  Settings settings;
  RecordingEvents events;
  Receiver receiver{settings, events};
  std::unique_ptr<SourceManager> sources = std::make_unique<SourceManager>(receiver, events);

  // True once the reader has closed the source.
  bool WaitClosed(milliseconds timeout = milliseconds(5000)) {
    return events.WaitUntil([&] { return !sources->IsOpen(); }, timeout);
  }
};

// A file in a fresh temporary directory, removed with it.
class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "orvane-src-XXXXXX").string();
    if (mkdtemp(tmpl.data()) != nullptr) path_ = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  std::string Write(const std::string& name, std::string_view bytes) const {
    const std::string p = (path_ / name).string();
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return p;
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// A pseudo-terminal: the test writes to the master as a receiver would; the
// source opens the slave by name.
class Pty {
 public:
  Pty() {
    if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) == 0) name_ = ttyname(slave_);
  }
  ~Pty() {
    CloseMaster();
    if (slave_ >= 0) close(slave_);
  }
  bool ok() const { return master_ >= 0 && !name_.empty(); }
  const std::string& name() const { return name_; }
  int slave() const { return slave_; }
  void Write(std::string_view bytes) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
      if (n <= 0) return;
      done += static_cast<std::size_t>(n);
    }
  }
  // The receiver is unplugged.
  void CloseMaster() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string name_;
};

inline std::string ErrorText() {
  std::optional<ErrorRecord> rec = TakeErrorRecord();
  return rec ? Utf16ToUtf8(rec->description) : std::string("<no error record>");
}

}  // namespace orvane::testing
