// The control for C++ hosts on POSIX: the automation surface by name and by
// DISPID, events through sinks, and typed snapshots and callbacks.
//
// Threads: create the control and call it on one thread, its apartment.
// Fix(), Satellites() and Navigation() may be called on any thread. Sinks
// advised with SinkThreading::kApartment and the On* callbacks run on the
// thread that registered them, while it pumps (Pump, RunFor, RunUntil, or an
// event loop watching ApartmentDescriptor()); the reader waits for them.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "orvane/dispatch.h"
#include "orvane/events.h"
#include "orvane/members.h"
#include "orvane/snapshots.h"
#include "orvane/types.h"
#include "orvane/variant.h"

namespace orvane {

class OrvaneControl;
class PendingCalls;

class ORVANE_API Control {
 public:
  Control();
  // Stops a running reader first; may be called from the control's own
  // callback or sink.
  ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  // names[0] is a member, the rest its parameter names.
  static Hresult GetIDsOfNames(std::span<const std::string_view> names, std::span<Dispid> ids);
  // `params.args` in reverse order, as IDispatch passes them.
  Hresult Invoke(Dispid dispid, std::uint16_t flags, DispParams params, Variant* result,
                 ExcepInfo* excep_info = nullptr, std::uint32_t* arg_err = nullptr);
  // By name, arguments in natural order; [out] arguments are written back.
  Hresult Invoke(std::string_view name, std::uint16_t flags, std::vector<Variant>& args,
                 Variant* result, ExcepInfo* excep_info = nullptr);
  Hresult Get(std::string_view property, Variant* value, ExcepInfo* excep_info = nullptr);
  Hresult Put(std::string_view property, const Variant& value, ExcepInfo* excep_info = nullptr);

  // Early binding: each IOrvane and IOrvane2 member as the interface declares
  // it, e.g. get_Latitude(&v), put_SpeedUnits(Variant::I2(1)). A failure the
  // control describes fills `excep_info` (its scode is the returned code).
#define ORVANE_CONTROL_GET(id, name) \
  Hresult get_##name(Variant* value, ExcepInfo* excep_info = nullptr);
#define ORVANE_CONTROL_PROPERTY(id, name) \
  ORVANE_CONTROL_GET(id, name)            \
  Hresult put_##name(const Variant& value, ExcepInfo* excep_info = nullptr);
  ORVANE_MEMBERS(ORVANE_CONTROL_GET, ORVANE_CONTROL_PROPERTY, ORVANE_NO_METHOD)
  ORVANE2_MEMBERS(ORVANE_CONTROL_GET, ORVANE_CONTROL_PROPERTY, ORVANE_NO_METHOD)
#undef ORVANE_CONTROL_GET
#undef ORVANE_CONTROL_PROPERTY
  Hresult Open(const Variant& port_name, ExcepInfo* excep_info = nullptr);
  // `time_scale` omitted: real time.
  Hresult OpenFile(const Variant& file_name,
                   const Variant& time_scale = Variant::Error(hr::kParamNotFound),
                   ExcepInfo* excep_info = nullptr);
  // Replays a log from a pipe or socket descriptor, which stays the caller's,
  // as OpenFile replays a file: paced by `time_scale`, ended (FileComplete)
  // when the writer closes it. Not an automation member.
  Hresult OpenStream(int descriptor, const Variant& time_scale = Variant::Error(hr::kParamNotFound),
                     ExcepInfo* excep_info = nullptr);
  Hresult Close(ExcepInfo* excep_info = nullptr);
  Hresult GetWptLocation(const Variant& name, Variant* latitude, Variant* longitude,
                         ExcepInfo* excep_info = nullptr);
  Hresult GetSatelliteInfo(const Variant& prn, Variant* azimuth, Variant* elevation, Variant* snr,
                           ExcepInfo* excep_info = nullptr);

  Hresult Advise(std::shared_ptr<EventSink> sink, std::uint32_t* cookie,
                 SinkThreading threading = SinkThreading::kApartment);
  Hresult Unadvise(std::uint32_t cookie);

  bool IsOpen() const;

  // Snapshots in the receiver's units, on any thread.
  orvane::Fix Fix() const;
  orvane::Satellites Satellites() const;
  orvane::Navigation Navigation() const;

  // Called after each sentence that updates the fix, the satellites or the
  // navigation, with the snapshot as that sentence left it. Return a cookie
  // for Unadvise.
  std::uint32_t OnFix(std::function<void(const orvane::Fix&)> callback);
  std::uint32_t OnSatellites(std::function<void(const orvane::Satellites&)> callback);
  std::uint32_t OnNavigation(std::function<void(const orvane::Navigation&)> callback);
  // Called once per epoch (every sentence with one fix time, merged), when
  // the next begins or the source ends. Unadvise takes its cookie too.
  std::uint32_t OnEpoch(std::function<void(const orvane::Epoch&)> callback);

  // The automation object itself, for code built with the project's sources.
  OrvaneControl& automation() { return *control_; }

 private:
  template <typename Snapshot>
  std::uint32_t OnSnapshot(Dispid dispid, std::function<Snapshot()> take,
                           std::function<void(const Snapshot&)> callback);

  std::shared_ptr<PendingCalls> calls_;
  std::unique_ptr<OrvaneControl> control_;
};

ORVANE_API std::unique_ptr<Control> CreateControl();

// The calling thread's apartment: runs the calls other threads queued for it.
ORVANE_API std::size_t Pump();
ORVANE_API std::size_t RunFor(std::chrono::milliseconds duration);
// Pumps until `done()` or the timeout; returns done().
ORVANE_API bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
// Readable while calls wait: for poll, select or an event loop, then Pump().
ORVANE_API int ApartmentDescriptor();

}  // namespace orvane
