// The control object: the IOrvane members in vtable order over the engine,
// the sources and the event connection point. A POSIX host creates it with
// CreateOrvaneControl and calls it on one thread (its apartment).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "automation/variant.h"
#include "control/event_source.h"
#include "control/hosting.h"
#include "control/orvane_members.h"
#include "engine/receiver.h"
#include "orvane/snapshots.h"
#include "presentation/settings.h"
#include "sources/source_manager.h"

namespace orvane {

class OrvaneControl {
 public:
  OrvaneControl();
  // Final release, for every host: stops a running reader first (no
  // FileComplete, no wait on a sink call that needs this thread), then tears
  // down. Released from a handler the reader waits for, or on the reader
  // thread, it does not wait for the reader: the reader stops after the
  // current sentence and frees what it shares, and the module stays in use
  // until it has.
  ~OrvaneControl();
  OrvaneControl(const OrvaneControl&) = delete;
  OrvaneControl& operator=(const OrvaneControl&) = delete;

#define ORVANE_GET(id, name) HRESULT get_##name(Variant* pVal);
#define ORVANE_PROPERTY(id, name) \
  ORVANE_GET(id, name)            \
  HRESULT put_##name(const Variant& newVal);
  ORVANE_MEMBERS(ORVANE_GET, ORVANE_PROPERTY, ORVANE_NO_METHOD)
  ORVANE2_MEMBERS(ORVANE_GET, ORVANE_PROPERTY, ORVANE_NO_METHOD)
#undef ORVANE_GET
#undef ORVANE_PROPERTY
  HRESULT Open(const Variant& PortName);
  HRESULT OpenFile(const Variant& FileName, const Variant& TimeScale);
  HRESULT Close();
  // A log replayed from a pipe or socket; see SourceManager::OpenStream. Not
  // an automation member: OpenFile takes every name as a file's.
  HRESULT OpenStream(std::intptr_t stream, const Variant& TimeScale,
                     SourceManager::ByteTap tap = {}) {
    return sources_.OpenStream(stream, TimeScale, std::move(tap));
  }
  HRESULT GetWptLocation(const Variant& WptName, Variant* pWptLat, Variant* pWptLon);
  HRESULT GetSatelliteInfo(const Variant& SatellitePRN, Variant* pAzimuth, Variant* pElevation,
                           Variant* pSignalToNoiseRatio);

  // Stops the reader without waiting for it (no FileComplete); it ends after
  // the current sentence and frees the state it shares. For a final release
  // that must not wait and cannot tell that itself.
  void AbandonReader();

  // The connection point of the events.
  EventSource& events() { return events_; }
  // For hosts that report progress (the command's summary).
  const Receiver::Stats& stats() const { return receiver_.stats(); }
  // The engine itself, for this project's own hosts and tests (lines fed
  // straight in must not race a reader: no source may be open).
  Receiver& receiver() { return receiver_; }

  // Told of every completed epoch on the reader thread, with the merged
  // record. The cookies have the top bit set, apart from the event sinks'.
  static constexpr std::uint32_t kEpochCookieBit = 0x80000000u;
  std::uint32_t AddEpochObserver(std::function<void(const Epoch&)> observer);
  bool RemoveEpochObserver(std::uint32_t cookie);
  bool IsSourceOpen() const { return sources_.IsOpen(); }
  ReplayProgress Progress() const { return sources_.Progress(); }
  // Why the last refused Open, OpenFile or OpenStream opened nothing.
  std::string LastOpenFailure() const { return sources_.LastOpenFailure(); }
  // Told on the reader thread when a live receiver is lost and back.
  void SetLinkObserver(SourceManager::LinkObserver observer) {
    sources_.SetLinkObserver(std::move(observer));
  }
  // Shown the bytes of sources opened afterwards as they are read, on the
  // reader thread.
  void SetByteTap(SourceManager::ByteTap tap) { sources_.SetByteTap(std::move(tap)); }
  // A host that held the reader of a paced replay for `ms` (a pause).
  void ExtendPacing(std::uint32_t ms) { sources_.ExtendPacing(ms); }

  // The form's side of the control: its saved size and its picture.
  ControlHosting& hosting() { return hosting_; }
  const ControlHosting& hosting() const { return hosting_; }

 private:
  friend class SnapshotReader;  // typed snapshots read the engine state
  // Final release's first step: no more events, and the reader stopped,
  // joined only with kWait.
  void StopReader(SourceManager::ReaderJoin join);

  ControlHosting hosting_;
  // What the reader thread uses, shared with it: a final release that must
  // not wait for the reader leaves it to the reader to free.
  struct Core;
  std::shared_ptr<Core> core_;
  EventSource& events_;
  Settings& settings_;
  Receiver& receiver_;
  SourceManager& sources_;
};

// The class factory's part and DllCanUnloadNow, over the module's one count
// (control/module_lifetime.h): live objects and server locks.
std::unique_ptr<OrvaneControl> CreateOrvaneControl();
void LockServer(bool lock);
HRESULT CanUnloadNow();

}  // namespace orvane
