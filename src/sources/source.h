// One kind of source behind the single reader loop. Each kind lives in its
// own file; live kinds are chosen by the name given to Open (see
// OpenLiveSource), the log file by OpenFile, a replayed stream by
// OpenStream.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "automation/platform.h"
#include "engine/receiver.h"
#include "engine/stop_event.h"
#include "sources/device.h"
#include "sources/source_types.h"

namespace orvane::detail {

// What a reader learns from one wait.
enum class Wake {
  kStop,  // the stop event is set: the reader ends
  kPass,  // bytes may be waiting: run one pass of the sentence loop
  kIdle,  // nothing to read this time
  // A lost device is back: the line it tore is dropped, then a pass runs.
  kResumed,
};

// A live source's device went away or came back, reported from the reader
// thread. Hosts use it for messages only.
enum class LinkChange { kLost, kBack };
using LinkListener = std::function<void(LinkChange)>;

class Source : public ChunkReader {
 public:
  // Sleeps until bytes may be waiting or `stop` is set; a live source wakes
  // at least every 100 ms.
  virtual Wake Wait(const StopEvent& stop) = 0;
  // True once everything the source will ever give was read (end of file).
  virtual bool Exhausted() const { return false; }
  // A replay ends with FileComplete.
  virtual bool IsReplay() const { return false; }
  // A paced replay was held for `ms` by its host; any thread.
  virtual void ExtendPacing(std::uint32_t /*ms*/) {}
  // Any thread.
  virtual ReplayProgress Progress() const { return {}; }
  // The value PortHandle reports; may change while a lost device comes back.
  virtual NativeHandle handle() const = 0;
  // Line speed of a serial device; other kinds have none.
  virtual bool GetLineSpeed(std::int32_t* /*baud*/) { return false; }
  virtual HRESULT SetLineSpeed(std::int32_t /*baud*/) { return kGetCommStateFailed; }
  // Around the reader loop, on the reader thread.
  virtual void BeginReading(Receiver& /*receiver*/, const StopEvent& /*stop*/) {}
  virtual void EndReading(Receiver& /*receiver*/) {}
  // Set before the reader starts.
  void SetLinkListener(LinkListener listener) { link_listener_ = std::move(listener); }
  // Releases the device; called once, by the reader as it ends.
  virtual void Close() = 0;

 protected:
  void ReportLink(LinkChange change) const {
    if (link_listener_) link_listener_(change);
  }

 private:
  LinkListener link_listener_;
};

// The outcome of opening a source by name.
struct OpenAttempt {
  std::unique_ptr<Source> source;  // null when nothing was opened
  HRESULT configured = S_OK;       // a failure that still leaves the source open
  std::string cause;               // why nothing was opened, for messages
};

// Open's names: a registered scheme ("tcp://...") or else a serial device.
OpenAttempt OpenLiveSource(const std::string& name);
OpenAttempt OpenSerialSource(const std::string& name);
// A time scale of 0 replays without pacing.
OpenAttempt OpenLogFileSource(const std::string& path, double time_scale);
// A log read from a pipe or socket to its end; `stream` stays the caller's.
OpenAttempt OpenStreamReplaySource(NativeHandle stream, double time_scale, ByteTap tap);
OpenAttempt OpenTcpSource(const std::string& name);
OpenAttempt OpenUdpSource(const std::string& name);
OpenAttempt OpenGpsdSource(const std::string& name);

}  // namespace orvane::detail
