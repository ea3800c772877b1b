#include "sources/source_manager.h"

#include <chrono>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "automation/codepage.h"
#include "automation/coerce.h"
#include "automation/error_info.h"
#include "engine/stop_event.h"
#include "sources/baud_rates.h"
#include "sources/replay_pacer.h"
#include "sources/source.h"

namespace orvane {
namespace {

using detail::OpenAttempt;
using detail::Source;

constexpr std::int32_t kDefaultBaud = 4800;
// Runs an opening member: an exception becomes its code and error record.
template <typename Body>
HRESULT Guarded(const Body& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return ReportError(E_OUTOFMEMORY);
  } catch (...) {
    return ReportError(E_UNEXPECTED);
  }
}

}  // namespace

// One opened source: its reader thread and stop event live until the thread
// is joined, after the reader itself has closed the device.
struct ReaderSession {
  explicit ReaderSession(std::unique_ptr<Source> source_in) : source(std::move(source_in)) {}
  const std::unique_ptr<Source> source;  // closed by the reader, under Impl::mutex
  StopEvent stop;
  std::thread thread;
  bool final_release = false;  // guarded by Impl::mutex
  SourceManager::ByteTap tap;  // set before the reader starts
};

namespace {

// The source as the line assembly reads it, its new bytes shown to the tap.
class TappedReader final : public ChunkReader {
 public:
  TappedReader(ChunkReader& inner, const SourceManager::ByteTap& tap) : inner_(inner), tap_(tap) {}
  int ReadChunk(std::string& pending) override {
    const std::size_t from = pending.size();
    const int rc = inner_.ReadChunk(pending);
    if (pending.size() > from) tap_(std::string_view(pending).substr(from));
    return rc;
  }

 private:
  ChunkReader& inner_;
  const SourceManager::ByteTap& tap_;
};

}  // namespace

struct SourceManager::Impl {
  Impl(Receiver& r, EventRaiser& e) : receiver(r), events(e) {}

  Receiver& receiver;
  EventRaiser& events;

  // Guards every member below. Held only for short device calls on the host's
  // thread and the reader's final close; never across the sentence loop or
  // an event.
  std::mutex mutex;
  const ReaderSession* open = nullptr;  // the session whose source is open
  std::int32_t baud = kDefaultBaud;
  std::string port_name;
  std::string open_failure;
  ReplayProgress ended_progress;  // the last closed source's
  LinkObserver link_observer;
  ByteTap byte_tap;
  // Current, or ended and not yet joined. The reader holds it too.
  std::shared_ptr<ReaderSession> session;
  std::weak_ptr<void> owner;  // held by each reader while it runs

  // Takes a session whose reader has ended, for joining outside the lock.
  std::shared_ptr<ReaderSession> TakeEndedLocked() {
    if (session != nullptr && open == nullptr) return std::move(session);
    return nullptr;
  }
  static void Join(std::shared_ptr<ReaderSession> s,
                   SourceManager::ReaderJoin join = SourceManager::ReaderJoin::kWait) {
    if (s == nullptr || !s->thread.joinable()) return;
    // A sink on the reader thread released the control, or the reader waits
    // for the very call that does: waiting would never end. The reader's own
    // references keep the session and the owner alive until it returns.
    if (join == SourceManager::ReaderJoin::kLeave ||
        s->thread.get_id() == std::this_thread::get_id()) {
      s->thread.detach();
      return;
    }
    s->thread.join();
  }
  void JoinEnded() {
    std::shared_ptr<ReaderSession> ended;
    {
      std::lock_guard<std::mutex> lock(mutex);
      ended = TakeEndedLocked();
    }
    Join(std::move(ended));
  }

  // The common start of every opening member: an ended reader joined.
  HRESULT CheckNothingOpen();
  // Then, for Open and OpenFile, the name as text that fits a path. An empty
  // name fails later, like any name that opens nothing.
  HRESULT TakeName(const Variant& value, std::string* name);
  // Fails an open that found nothing, keeping the cause for messages.
  HRESULT Refuse(const std::string& name, const std::string& cause, HRESULT code) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      open_failure = cause.empty() || name.empty() ? std::string() : cause;
    }
    return ReportError(code);
  }
  // The end of a replay's opening: the source `attempt` opened, refused
  // when `scale` is not a time scale (only once the source is known to
  // exist), then started.
  HRESULT StartReplay(OpenAttempt attempt, const std::string& name, const detail::TimeScale& scale);
  // Publishes the new source and starts its reader. On failure nothing stays
  // open.
  HRESULT Start(std::unique_ptr<Source> source);
  void Reader(ReaderSession& s);
  void EndSession(ReaderSession& s);
};

HRESULT SourceManager::Impl::CheckNothingOpen() {
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (open != nullptr) return ReportError(kAlreadyOpen);
  }
  JoinEnded();
  return S_OK;
}

HRESULT SourceManager::Impl::TakeName(const Variant& value, std::string* name) {
  const HRESULT free = CheckNothingOpen();
  if (FAILED(free)) return free;
  Variant text;
  const HRESULT hr = ChangeType(value, VT_BSTR, &text);
  if (FAILED(hr)) return hr;
  *name = Utf16ToAnsi(text.bstr());
  if (name->find('\0') != std::string::npos || name->size() > detail::MaxPathBytes()) {
    return ReportError(E_INVALIDARG);
  }
  return S_OK;
}

HRESULT SourceManager::Impl::StartReplay(OpenAttempt attempt, const std::string& name,
                                         const detail::TimeScale& scale) {
  if (attempt.source == nullptr) return Refuse(name, attempt.cause, kCannotOpenFile);
  if (FAILED(scale.coerced) || !scale.in_range) {
    attempt.source->Close();
    return FAILED(scale.coerced) ? scale.coerced : ReportError(E_INVALIDARG);
  }
  return Start(std::move(attempt.source));
}

HRESULT SourceManager::Impl::Start(std::unique_ptr<Source> source) {
  std::shared_ptr<ReaderSession> s;
  try {
    s = std::make_shared<ReaderSession>(std::move(source));
  } catch (...) {
    source->Close();
    throw;
  }
  ReaderSession& started = *s;
  std::shared_ptr<void> keep_owner = owner.lock();
  try {
    std::lock_guard<std::mutex> lock(mutex);
    if (link_observer) {
      started.source->SetLinkListener([observer = link_observer](detail::LinkChange change) {
        observer(change == detail::LinkChange::kBack);
      });
    }
    started.tap = byte_tap;
    open = &started;
    session = s;
    // The thread's own references: released on the reader thread when it
    // returns, which may free the owner there if it was released meanwhile.
    // The reader starts only once the thread is stored (the lock), so a sink
    // that releases the control on its first event finds it.
    started.thread = std::thread([this, s = std::move(s), keep_owner = std::move(keep_owner)] {
      { std::lock_guard<std::mutex> stored(mutex); }
      detail::ReaderThreadScope apartment;
      Reader(*s);
    });
  } catch (...) {
    std::lock_guard<std::mutex> lock(mutex);
    started.source->Close();
    open = nullptr;
    session.reset();
    return ReportError(E_UNEXPECTED);
  }
  return S_OK;
}

// The one reader loop of every kind of source.
void SourceManager::Impl::Reader(ReaderSession& s) {
  Source& source = *s.source;
  std::optional<TappedReader> tapped;
  if (s.tap) tapped.emplace(source, s.tap);
  ChunkReader& reader = tapped ? static_cast<ChunkReader&>(*tapped) : source;
  try {
    source.BeginReading(receiver, s.stop);
    receiver.ResetLineAssembly();
    receiver.ForgetReceived();
    while (!s.stop.IsSet()) {
      const detail::Wake woke = source.Wait(s.stop);
      if (woke == detail::Wake::kStop) break;
      // Between passes only a partial line is left: that is all this drops.
      if (woke == detail::Wake::kResumed) receiver.ResetLineAssembly();
      if (woke == detail::Wake::kPass || woke == detail::Wake::kResumed) {
        receiver.ProcessAvailableSentences(reader, s.stop);
      }
      if (source.Exhausted()) {
        receiver.EndOfSource();
        break;
      }
    }
  } catch (...) {
    // Nothing may escape the reader; the source still closes below.
  }
  try {
    receiver.EndEpoch();  // the last epoch is not lost
  } catch (...) {
  }
  if (source.IsReplay()) {
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
  }
  source.EndReading(receiver);
  EndSession(s);
}

void SourceManager::Impl::EndSession(ReaderSession& s) {
  std::lock_guard<std::mutex> lock(mutex);
  ended_progress = s.source->Progress();
  s.source->Close();
  // Only the live session owns the members; a shut-down one was detached.
  if (open == &s) open = nullptr;
}

SourceManager::SourceManager(Receiver& receiver, EventRaiser& events)
    : impl_(std::make_unique<Impl>(receiver, events)) {}

SourceManager::~SourceManager() { Release(); }

void SourceManager::Release(ReaderJoin join) {
  std::shared_ptr<ReaderSession> s;
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    s = std::move(impl_->session);
    if (s != nullptr) {
      s->final_release = true;
      s->stop.Set();
    }
  }
  if (s == nullptr) return;
  Impl::Join(std::move(s), join);
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->open = nullptr;
}

ReplayProgress SourceManager::Progress() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->open != nullptr ? impl_->open->source->Progress() : impl_->ended_progress;
}

std::string SourceManager::LastOpenFailure() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->open_failure;
}

void SourceManager::SetLinkObserver(LinkObserver observer) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->link_observer = std::move(observer);
}

void SourceManager::ExtendPacing(std::uint32_t ms) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (impl_->open != nullptr) impl_->open->source->ExtendPacing(ms);
}

void SourceManager::SetByteTap(ByteTap tap) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->byte_tap = std::move(tap);
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
  return impl_->open != nullptr;
}

HRESULT SourceManager::Open(const Variant& port_name) {
  return Guarded([&] {
    std::string name;
    const HRESULT hr = impl_->TakeName(port_name, &name);
    if (FAILED(hr)) return hr;
    OpenAttempt attempt = detail::OpenLiveSource(name);
    if (attempt.source == nullptr) return impl_->Refuse(name, attempt.cause, kCannotOpenPort);
    // A configuration failure still leaves the port open, for Close.
    const HRESULT started = impl_->Start(std::move(attempt.source));
    if (FAILED(started)) return started;
    if (FAILED(attempt.configured)) return ReportError(attempt.configured);
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->port_name = name;
    return S_OK;
  });
}

HRESULT SourceManager::OpenFile(const Variant& file_name, const Variant& time_scale) {
  return Guarded([&] {
    std::string path;
    const HRESULT hr = impl_->TakeName(file_name, &path);
    if (FAILED(hr)) return hr;
    // A missing file is reported before a bad scale.
    const detail::TimeScale scale = detail::ReadTimeScale(time_scale);
    return impl_->StartReplay(detail::OpenLogFileSource(path, scale.scale), path, scale);
  });
}

HRESULT SourceManager::OpenStream(std::intptr_t stream, const Variant& time_scale, ByteTap tap) {
  return Guarded([&] {
    const HRESULT hr = impl_->CheckNothingOpen();
    if (FAILED(hr)) return hr;
    const detail::TimeScale scale = detail::ReadTimeScale(time_scale);
    return impl_->StartReplay(detail::OpenStreamReplaySource(stream, scale.scale, std::move(tap)),
                              "stream", scale);
  });
}

HRESULT SourceManager::Close() {
  std::shared_ptr<ReaderSession> ended;
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->open != nullptr && impl_->session != nullptr) impl_->session->stop.Set();
    ended = impl_->TakeEndedLocked();
  }
  Impl::Join(std::move(ended));
  return S_OK;
}

HRESULT SourceManager::get_BaudRate(Variant* pVal) {
  if (pVal == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (impl_->open != nullptr) {
    std::int32_t baud = 0;
    if (!impl_->open->source->GetLineSpeed(&baud)) return ReportError(kGetCommStateFailed);
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
  if (impl_->open != nullptr) {
    const HRESULT set = impl_->open->source->SetLineSpeed(baud);
    if (FAILED(set)) return ReportError(set);
  }
  impl_->baud = baud;
  return S_OK;
}

HRESULT SourceManager::get_PortName(Variant* pVal) {
  if (pVal == nullptr) return E_POINTER;
  try {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->open == nullptr) return ReportError(kPortClosed);
    *pVal = Variant::Bstr(AnsiToUtf16(impl_->port_name));
    return S_OK;
  } catch (...) {
    return ReportError(E_UNEXPECTED);
  }
}

HRESULT SourceManager::get_PortHandle(Variant* pVal) {
  if (pVal == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (impl_->open == nullptr) return ReportError(kPortClosed);
  *pVal = Variant::I4(static_cast<std::int32_t>(impl_->open->source->handle()));
  return S_OK;
}

}  // namespace orvane
