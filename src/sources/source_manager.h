// The control's sources: a live source named by Open (a serial port, or a
// network stream) or a log file, at most one open at a time, each read by a
// reader thread that runs the sentence loop. Members are called on the
// host's thread and mirror the automation members.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "automation/variant.h"
#include "engine/events.h"
#include "engine/receiver.h"
#include "sources/source_types.h"

namespace orvane {

class SourceManager {
 public:
  SourceManager(Receiver& receiver, EventRaiser& events);
  // Stops a running reader without FileComplete (final release).
  ~SourceManager();
  SourceManager(const SourceManager&) = delete;
  SourceManager& operator=(const SourceManager&) = delete;

  HRESULT Open(const Variant& port_name);
  HRESULT OpenFile(const Variant& file_name, const Variant& time_scale);
  // Replays a log from a pipe or socket (a POSIX descriptor, which stays the
  // caller's) as OpenFile replays a file: paced by `time_scale`, ended by
  // the writer closing it, with FileComplete; PortName stays as it was.
  // Fails with the same codes as OpenFile. `tap`, when given, is shown the
  // bytes as they are read, on the reader thread (a host's own checks).
  using ByteTap = orvane::ByteTap;
  HRESULT OpenStream(std::intptr_t stream, const Variant& time_scale, ByteTap tap = {});
  HRESULT Close();
  HRESULT get_BaudRate(Variant* pVal);
  HRESULT put_BaudRate(const Variant& value);
  HRESULT get_PortName(Variant* pVal);
  HRESULT get_PortHandle(Variant* pVal);

  // Final release: ends a running reader without firing FileComplete and
  // without waiting on anything that needs the host's thread. Idempotent.
  // With kLeave (the caller runs inside a call the reader waits for), or on
  // the reader thread itself, the reader is left to finish on its own: it
  // holds what it uses (see KeepAliveWhileReading).
  enum class ReaderJoin { kWait, kLeave };
  void Release(ReaderJoin join = ReaderJoin::kWait);
  // The owner of the receiver and the event raiser: each reader holds it
  // until it ends, so a reader left running by Release never reads freed
  // state. Without one, the owner must outlive the reader.
  void KeepAliveWhileReading(std::weak_ptr<void> owner);
  // The running reader's thread, or a default id.
  std::thread::id ReaderThread() const;
  // True while a source handle is set (the reader has not closed it yet).
  bool IsOpen() const;
  // The open source's progress (zeros for a live one), or once it has closed
  // its final count; any thread.
  ReplayProgress Progress() const;
  // Why the last refused Open, OpenFile or OpenStream opened nothing, in
  // words ("" when unknown), for a host's messages; the error record stays
  // as it was.
  std::string LastOpenFailure() const;
  // Told on the reader thread when a live source loses its device (false)
  // and when it is back (true). Applies to sources opened afterwards.
  using LinkObserver = std::function<void(bool back)>;
  void SetLinkObserver(LinkObserver observer);
  // Shown every byte each read appends, as it was read and before any line
  // is cut, on the reader thread (a host's recording). Applies to sources
  // opened afterwards.
  void SetByteTap(ByteTap tap);
  // The open replay was held for `ms` (its host kept the reader waiting):
  // pacing resumes from where it stood rather than catching up.
  void ExtendPacing(std::uint32_t ms);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace orvane
