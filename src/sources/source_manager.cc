#include "sources/source_manager.h"

#include <array>
#include <chrono>
#include <cmath>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <utility>

#include "automation/codepage.h"
#include "automation/coerce.h"
#include "automation/error_info.h"
#include "engine/stop_event.h"
#include "sources/device.h"

namespace orvane {
namespace {

using detail::kNoHandle;
using detail::NativeHandle;

constexpr std::int16_t kKindNone = 0;
constexpr std::int16_t kKindPort = 1;
constexpr std::int16_t kKindFile = 2;

constexpr std::int32_t kDefaultBaud = 4800;
constexpr std::array<std::int32_t, 16> kBaudRates = {110,   300,    600,    1200,  2400,  4800,
                                                     9600,  14400,  19200,  28800, 38400, 56000,
                                                     57600, 115200, 128000, 256000};

constexpr int kQuietWakeMs = 100;
constexpr int kMaxEmptyWakes = 3;
constexpr std::size_t kFileChunkBytes = 80;
// TimeScale values this close to zero mean "no pacing".
constexpr double kNoPacingBand = 0.00001;
constexpr double kMaxTimeScale = 1001.0;

// The serial device step: everything waiting, in one read. A device that
// failed answers "no bytes" for the rest of the pass instead of a failure
// value: the loop would retry a failure at once, spinning on a dead device.
class PortChunkReader final : public ChunkReader {
 public:
  explicit PortChunkReader(NativeHandle port) : port_(port) {}
  int ReadChunk(std::string& pending) override {
    if (failed_) return 0;
    const std::size_t before = pending.size();
    if (!detail::ReadAvailable(port_, pending)) failed_ = true;
    bytes_ += pending.size() - before;
    return 0;
  }
  void BeginPass() {
    failed_ = false;
    bytes_ = 0;
  }
  bool failed() const { return failed_; }
  std::size_t bytes() const { return bytes_; }

 private:
  NativeHandle port_;
  bool failed_ = false;
  std::size_t bytes_ = 0;
};

// The log-file device step: consecutive 80-byte reads from offset 0. The
// offset moves on even when a read fails, so a bad spot is skipped.
class FileChunkReader final : public ChunkReader {
 public:
  explicit FileChunkReader(NativeHandle file) : file_(file) {}
  int ReadChunk(std::string& pending) override {
    if (end_of_file_) return 0;
    const std::uint64_t at = offset_;
    offset_ += kFileChunkBytes;
    switch (detail::ReadAt(file_, at, kFileChunkBytes, pending)) {
      case detail::ReadAtResult::kData:
        return 0;
      case detail::ReadAtResult::kEndOfFile:
        end_of_file_ = true;
        return 0;
      case detail::ReadAtResult::kFailed:
        // Past the end a failing read would otherwise be retried forever.
        if (detail::AtOrPastEnd(file_, offset_)) end_of_file_ = true;
        return 1;
    }
    return 1;
  }
  bool end_of_file() const { return end_of_file_; }

 private:
  NativeHandle file_;
  std::uint64_t offset_ = 0;
  bool end_of_file_ = false;
};

bool IsBaudRate(std::int32_t baud) {
  for (std::int32_t r : kBaudRates) {
    if (r == baud) return true;
  }
  return false;
}

}  // namespace

// One opened source: its reader thread and stop event live until the thread
// is joined, after the reader itself has closed the device.
struct Session {
  Session(std::int16_t kind_in, NativeHandle handle_in) : kind(kind_in), handle(handle_in) {}
  const std::int16_t kind;
  const NativeHandle handle;  // closed by the reader, under Impl::mutex
  StopEvent stop;
  std::thread thread;
  bool final_release = false;  // guarded by Impl::mutex
};

struct SourceManager::Impl {
  Impl(Receiver& r, EventRaiser& e) : receiver(r), events(e) {}

  Receiver& receiver;
  EventRaiser& events;

  // Guards every member below. Held only for short device calls on the host's
  // thread and the reader's final close; never across the sentence loop or
  // an event.
  std::mutex mutex;
  NativeHandle handle = kNoHandle;  // the source handle: set while open
  std::int16_t kind = kKindNone;
  std::int32_t baud = kDefaultBaud;
  std::string port_name;
  // Current, or ended and not yet joined. The reader holds it too.
  std::shared_ptr<Session> session;
  std::weak_ptr<void> owner;  // held by each reader while it runs

  // Takes a session whose reader has ended, for joining outside the lock.
  std::shared_ptr<Session> TakeEndedLocked() {
    if (session != nullptr && handle == kNoHandle) return std::move(session);
    return nullptr;
  }
  static void Join(std::shared_ptr<Session> s, bool may_wait = true) {
    if (s == nullptr || !s->thread.joinable()) return;
    // A sink on the reader thread released the control, or the reader waits
    // for the very call that does: waiting would never end. The reader's own
    // references keep the session and the owner alive until it returns.
    if (!may_wait || s->thread.get_id() == std::this_thread::get_id()) {
      s->thread.detach();
      return;
    }
    s->thread.join();
  }
  void JoinEnded() {
    std::shared_ptr<Session> ended;
    {
      std::lock_guard<std::mutex> lock(mutex);
      ended = TakeEndedLocked();
    }
    Join(std::move(ended));
  }

  // Publishes the new source and starts its reader. On failure nothing stays
  // open.
  HRESULT Start(std::shared_ptr<Session> s, void (Impl::*body)(Session&));

  void SerialReader(Session& s);
  void FileReader(Session& s);
  void EndSession(Session& s);
};

HRESULT SourceManager::Impl::Start(std::shared_ptr<Session> s, void (Impl::*body)(Session&)) {
  Session& started = *s;
  std::shared_ptr<void> keep_owner = owner.lock();
  try {
    std::lock_guard<std::mutex> lock(mutex);
    handle = s->handle;
    kind = s->kind;
    session = s;
    // The thread's own references: released on the reader thread when it
    // returns, which may free the owner there if it was released meanwhile.
    // The reader starts only once the thread is stored (the lock), so a sink
    // that releases the control on its first event finds it.
    started.thread = std::thread([this, s = std::move(s), keep_owner = std::move(keep_owner), body] {
      { std::lock_guard<std::mutex> stored(mutex); }
      detail::ReaderThreadScope apartment;
      (this->*body)(*s);
    });
  } catch (...) {
    std::lock_guard<std::mutex> lock(mutex);
    if (started.kind == kKindPort) {
      detail::ClosePort(started.handle);
    } else {
      detail::CloseLogFile(started.handle);
    }
    handle = kNoHandle;
    kind = kKindNone;
    session.reset();
    return ReportError(E_UNEXPECTED);
  }
  return S_OK;
}

void SourceManager::Impl::SerialReader(Session& s) {
  PortChunkReader reader(s.handle);
  try {
    receiver.ResetLineAssembly();
    // After a failure the device is probed every quiet period instead of
    // polled: a hung-up descriptor reads as always ready. A device that keeps
    // reporting data it never delivers is treated the same way.
    bool device_failed = false;
    int empty_wakes = 0;
    auto pass = [&](detail::PortWait woke_by) {
      reader.BeginPass();
      receiver.ProcessAvailableSentences(reader, s.stop);
      const bool empty = woke_by == detail::PortWait::kReadable && reader.bytes() == 0;
      empty_wakes = empty ? empty_wakes + 1 : 0;
      device_failed = reader.failed() || woke_by == detail::PortWait::kDeviceFailed ||
                      empty_wakes >= kMaxEmptyWakes;
    };
    while (!s.stop.IsSet()) {
      if (device_failed) {
        if (s.stop.WaitFor(std::chrono::milliseconds(kQuietWakeMs))) break;
        const detail::PortWait probe = detail::WaitForPort(s.handle, s.stop, 0, true);
        if (probe == detail::PortWait::kStop) break;
        if (probe == detail::PortWait::kReadable || probe == detail::PortWait::kTimeout) {
          pass(probe);
        }
        continue;
      }
      // No event character here: any arriving byte wakes the reader, and a
      // pass without a complete line just leaves the bytes pending.
      const detail::PortWait w = detail::WaitForPort(s.handle, s.stop, kQuietWakeMs, true);
      if (w == detail::PortWait::kStop) break;
      if (w == detail::PortWait::kWaitFailed) {
        device_failed = true;
        continue;
      }
      pass(w);
    }
  } catch (...) {
    // Nothing may escape the reader; the source still closes below.
  }
  EndSession(s);
}

void SourceManager::Impl::FileReader(Session& s) {
  FileChunkReader reader(s.handle);
  try {
    receiver.fix().SetPacingStopEvent(&s.stop);
    receiver.ResetLineAssembly();
    while (!s.stop.IsSet()) {
      receiver.ProcessAvailableSentences(reader, s.stop);
      if (reader.end_of_file()) break;
    }
  } catch (...) {
  }
  bool fire;
  {
    std::lock_guard<std::mutex> lock(mutex);
    fire = !s.final_release;
  }
  if (fire) {
    try {
      events.FireFileComplete();
    } catch (...) {
    }
  }
  receiver.fix().SetPacingStopEvent(nullptr);
  EndSession(s);
}

void SourceManager::Impl::EndSession(Session& s) {
  std::lock_guard<std::mutex> lock(mutex);
  if (s.kind == kKindPort) {
    detail::ClosePort(s.handle);
  } else {
    detail::CloseLogFile(s.handle);
  }
  // Only the live session owns the members; a shut-down one was detached.
  if (handle == s.handle && (session == nullptr || session.get() == &s)) {
    handle = kNoHandle;
    kind = kKindNone;
  }
}

SourceManager::SourceManager(Receiver& receiver, EventRaiser& events)
    : impl_(std::make_unique<Impl>(receiver, events)) {}

SourceManager::~SourceManager() { Shutdown(); }

void SourceManager::Shutdown(bool may_wait) {
  std::shared_ptr<Session> s;
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    s = std::move(impl_->session);
    if (s != nullptr) {
      s->final_release = true;
      s->stop.Set();
    }
  }
  if (s == nullptr) return;
  Impl::Join(std::move(s), may_wait);
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->handle = kNoHandle;
  impl_->kind = kKindNone;
}

void SourceManager::KeepAliveWhileReading(std::weak_ptr<void> owner) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->owner = std::move(owner);
}

std::thread::id SourceManager::ReaderThread() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->session != nullptr ? impl_->session->thread.get_id() : std::thread::id();
}

bool SourceManager::IsOpen() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->handle != kNoHandle;
}

HRESULT SourceManager::Open(const Variant& port_name) {
  try {
    {
      std::lock_guard<std::mutex> lock(impl_->mutex);
      if (impl_->handle != kNoHandle) return ReportError(kAlreadyOpen);
    }
    impl_->JoinEnded();

    Variant text;
    const HRESULT hr = ChangeType(port_name, VT_BSTR, &text);
    if (FAILED(hr)) return hr;
    const std::string name = Utf16ToAnsi(text.bstr());
    // An empty name fails like any name that opens nothing.
    if (name.find('\0') != std::string::npos || name.size() > detail::MaxPathBytes()) {
      return ReportError(E_INVALIDARG);
    }
    const NativeHandle port = name.empty() ? kNoHandle : detail::OpenPort(name);
    if (port == kNoHandle) return ReportError(kCannotOpenPort);

    impl_->receiver.fix().StopPacing();
    std::shared_ptr<Session> s;
    try {
      s = std::make_shared<Session>(kKindPort, port);
    } catch (...) {
      detail::ClosePort(port);
      throw;
    }
    // Configured before the reader starts: once it runs, a sink may close the
    // port and its descriptor number may be reused. A failure still leaves
    // the port open, for Close.
    const HRESULT configured = detail::ConfigurePort(port);
    const HRESULT started = impl_->Start(std::move(s), &Impl::SerialReader);
    if (FAILED(started)) return started;
    if (FAILED(configured)) return ReportError(configured);
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->port_name = name;
    return S_OK;
  } catch (const std::bad_alloc&) {
    return ReportError(E_OUTOFMEMORY);
  } catch (...) {
    return ReportError(E_UNEXPECTED);
  }
}

HRESULT SourceManager::OpenFile(const Variant& file_name, const Variant& time_scale) {
  try {
    {
      std::lock_guard<std::mutex> lock(impl_->mutex);
      if (impl_->handle != kNoHandle) return ReportError(kAlreadyOpen);
    }
    impl_->JoinEnded();

    Variant text;
    HRESULT hr = ChangeType(file_name, VT_BSTR, &text);
    if (FAILED(hr)) return hr;
    const std::string path = Utf16ToAnsi(text.bstr());
    if (path.find('\0') != std::string::npos || path.size() > detail::MaxPathBytes()) {
      return ReportError(E_INVALIDARG);
    }
    const NativeHandle file = path.empty() ? kNoHandle : detail::OpenLogFile(path);
    if (file == kNoHandle) return ReportError(kCannotOpenFile);

    bool pacing = false;
    double scale = 0.0;
    if (time_scale.vt() != VT_ERROR) {
      Variant number;
      hr = ChangeType(time_scale, VT_R8, &number);
      if (FAILED(hr)) {
        detail::CloseLogFile(file);
        return hr;
      }
      scale = number.r8();
      if (!(scale > -kNoPacingBand && scale < kNoPacingBand)) {
        if (std::isnan(scale) || scale <= 0.0 || scale >= kMaxTimeScale) {
          detail::CloseLogFile(file);
          return ReportError(E_INVALIDARG);
        }
        pacing = true;
      }
    }
    std::shared_ptr<Session> s;
    try {
      s = std::make_shared<Session>(kKindFile, file);
    } catch (...) {
      detail::CloseLogFile(file);
      throw;
    }
    if (pacing) {
      impl_->receiver.fix().StartPacing(scale);
    } else {
      impl_->receiver.fix().StopPacing();
    }
    return impl_->Start(std::move(s), &Impl::FileReader);
  } catch (const std::bad_alloc&) {
    return ReportError(E_OUTOFMEMORY);
  } catch (...) {
    return ReportError(E_UNEXPECTED);
  }
}

HRESULT SourceManager::Close() {
  std::shared_ptr<Session> ended;
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->handle != kNoHandle && impl_->session != nullptr) impl_->session->stop.Set();
    ended = impl_->TakeEndedLocked();
  }
  Impl::Join(std::move(ended));
  return S_OK;
}

HRESULT SourceManager::get_BaudRate(Variant* pVal) {
  if (pVal == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (impl_->handle != kNoHandle) {
    std::int32_t baud = 0;
    if (!detail::GetPortSpeed(impl_->handle, &baud)) return ReportError(kGetCommStateFailed);
    impl_->baud = baud;
  }
  *pVal = Variant::I4(impl_->baud);
  return S_OK;
}

HRESULT SourceManager::put_BaudRate(const Variant& value) {
  Variant number;
  const HRESULT hr = ChangeType(value, VT_I4, &number);
  if (FAILED(hr)) return hr;
  const std::int32_t baud = number.i4();
  if (!IsBaudRate(baud)) return ReportError(E_INVALIDARG);
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (impl_->handle != kNoHandle) {
    const HRESULT set = detail::SetPortSpeed(impl_->handle, baud);
    if (FAILED(set)) return ReportError(set);
  }
  impl_->baud = baud;
  return S_OK;
}

HRESULT SourceManager::get_PortName(Variant* pVal) {
  if (pVal == nullptr) return E_POINTER;
  try {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->handle == kNoHandle) return ReportError(kPortClosed);
    *pVal = Variant::Bstr(AnsiToUtf16(impl_->port_name));
    return S_OK;
  } catch (...) {
    return ReportError(E_UNEXPECTED);
  }
}

HRESULT SourceManager::get_PortHandle(Variant* pVal) {
  if (pVal == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (impl_->handle == kNoHandle) return ReportError(kPortClosed);
  *pVal = Variant::I4(static_cast<std::int32_t>(impl_->handle));
  return S_OK;
}

}  // namespace orvane
