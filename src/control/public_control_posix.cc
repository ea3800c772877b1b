// The public Control over the automation object.
#include <mutex>

#include "control/apartment.h"
#include "control/dispatch.h"
#include "control/orvane_control.h"
#include "control/snapshots.h"
#include "orvane/control.h"

namespace orvane {

namespace {

// Called free-threaded, so the snapshot is taken on the reader thread right
// after the sentence; then the callback runs in the registering apartment
// while the reader waits, as an apartment sink would.
template <typename Snapshot>
class SnapshotSink final : public EventSink {
 public:
  SnapshotSink(Dispid dispid, std::function<Snapshot()> take,
               std::function<void(const Snapshot&)> callback, std::shared_ptr<PendingCalls> calls)
      : dispid_(dispid),
        take_(std::move(take)),
        callback_(std::move(callback)),
        calls_(std::move(calls)),
        apartment_(Apartment::Current()) {}

  Hresult Invoke(Dispid dispid, std::span<Variant>) override {
    if (dispid != dispid_) return S_OK;
    std::shared_ptr<Apartment> apartment = apartment_.lock();
    if (!apartment) return S_OK;
    const Snapshot snapshot = take_();
    apartment->Call(
        [this, &snapshot] { callback_(snapshot); },
        [calls = calls_.get()](const std::shared_ptr<PendingCall>& call) { calls->Track(call); });
    return S_OK;
  }

 private:
  const Dispid dispid_;
  const std::function<Snapshot()> take_;
  const std::function<void(const Snapshot&)> callback_;
  const std::shared_ptr<PendingCalls> calls_;
  const std::weak_ptr<Apartment> apartment_;
};

// Calls one member as early binding does: the code is the member's own; a
// description it recorded fills `excep_info`.
template <typename Call>
Hresult Early(OrvaneControl& control, ExcepInfo* excep_info, const Call& call) {
  std::optional<ErrorRecord> record;
  const Hresult hr = CallRecording([&] { return call(control); }, &record);
  if (Failed(hr) && record) FillExcepInfo(*record, hr, excep_info);
  return hr;
}

}  // namespace

Control::Control() : calls_(std::make_shared<PendingCalls>()), control_(CreateOrvaneControl()) {}

Control::~Control() {
  calls_->CancelWaits();
  control_.reset();
}

Hresult Control::GetIDsOfNames(std::span<const std::string_view> names, std::span<Dispid> ids) {
  return orvane::GetIDsOfNames(names, ids);
}

Hresult Control::Invoke(Dispid dispid, std::uint16_t flags, DispParams params, Variant* result,
                        ExcepInfo* excep_info, std::uint32_t* arg_err) {
  return orvane::Invoke(*control_, dispid, flags, params, result, excep_info, arg_err);
}

Hresult Control::Invoke(std::string_view name, std::uint16_t flags, std::vector<Variant>& args,
                        Variant* result, ExcepInfo* excep_info) {
  return InvokeByName(*control_, name, flags, args, result, excep_info);
}

Hresult Control::Get(std::string_view property, Variant* value, ExcepInfo* excep_info) {
  std::vector<Variant> none;
  return InvokeByName(*control_, property, DISPATCH_PROPERTYGET, none, value, excep_info);
}

Hresult Control::Put(std::string_view property, const Variant& value, ExcepInfo* excep_info) {
  std::vector<Variant> args{value};
  return InvokeByName(*control_, property, DISPATCH_PROPERTYPUT, args, nullptr, excep_info);
}

#define ORVANE_CONTROL_GET(id, name)                                                            \
  Hresult Control::get_##name(Variant* value, ExcepInfo* excep_info) {                          \
    return Early(*control_, excep_info, [&](OrvaneControl& c) { return c.get_##name(value); }); \
  }
#define ORVANE_CONTROL_PROPERTY(id, name)                                                       \
  ORVANE_CONTROL_GET(id, name)                                                                  \
  Hresult Control::put_##name(const Variant& value, ExcepInfo* excep_info) {                    \
    return Early(*control_, excep_info, [&](OrvaneControl& c) { return c.put_##name(value); }); \
  }
ORVANE_MEMBERS(ORVANE_CONTROL_GET, ORVANE_CONTROL_PROPERTY, ORVANE_NO_METHOD)
ORVANE2_MEMBERS(ORVANE_CONTROL_GET, ORVANE_CONTROL_PROPERTY, ORVANE_NO_METHOD)
#undef ORVANE_CONTROL_GET
#undef ORVANE_CONTROL_PROPERTY

Hresult Control::Open(const Variant& port_name, ExcepInfo* excep_info) {
  return Early(*control_, excep_info, [&](OrvaneControl& c) { return c.Open(port_name); });
}

Hresult Control::OpenFile(const Variant& file_name, const Variant& time_scale,
                          ExcepInfo* excep_info) {
  return Early(*control_, excep_info,
               [&](OrvaneControl& c) { return c.OpenFile(file_name, time_scale); });
}

Hresult Control::OpenStream(int descriptor, const Variant& time_scale, ExcepInfo* excep_info) {
  return Early(*control_, excep_info,
               [&](OrvaneControl& c) { return c.OpenStream(descriptor, time_scale); });
}

Hresult Control::Close(ExcepInfo* excep_info) {
  return Early(*control_, excep_info, [](OrvaneControl& c) { return c.Close(); });
}

Hresult Control::GetWptLocation(const Variant& name, Variant* latitude, Variant* longitude,
                                ExcepInfo* excep_info) {
  return Early(*control_, excep_info,
               [&](OrvaneControl& c) { return c.GetWptLocation(name, latitude, longitude); });
}

Hresult Control::GetSatelliteInfo(const Variant& prn, Variant* azimuth, Variant* elevation,
                                  Variant* snr, ExcepInfo* excep_info) {
  return Early(*control_, excep_info,
               [&](OrvaneControl& c) { return c.GetSatelliteInfo(prn, azimuth, elevation, snr); });
}

Hresult Control::Advise(std::shared_ptr<EventSink> sink, std::uint32_t* cookie,
                        SinkThreading threading) {
  return control_->events().Advise(std::move(sink), cookie, threading);
}

Hresult Control::Unadvise(std::uint32_t cookie) {
  if ((cookie & OrvaneControl::kEpochCookieBit) != 0) {
    return control_->RemoveEpochObserver(cookie) ? S_OK : CONNECT_E_NOCONNECTION;
  }
  return control_->events().Unadvise(cookie);
}

bool Control::IsOpen() const { return control_->IsSourceOpen(); }

Fix Control::Fix() const { return SnapshotReader::ReadFix(SnapshotReader::ReceiverOf(*control_)); }

Satellites Control::Satellites() const {
  return SnapshotReader::ReadSatellites(SnapshotReader::ReceiverOf(*control_));
}

Navigation Control::Navigation() const {
  return SnapshotReader::ReadNavigation(SnapshotReader::ReceiverOf(*control_));
}

template <typename Snapshot>
std::uint32_t Control::OnSnapshot(Dispid dispid, std::function<Snapshot()> take,
                                  std::function<void(const Snapshot&)> callback) {
  std::uint32_t cookie = 0;
  auto sink = std::make_shared<SnapshotSink<Snapshot>>(dispid, std::move(take), std::move(callback),
                                                       calls_);
  if (Failed(Advise(std::move(sink), &cookie, SinkThreading::kFreeThreaded))) return 0;
  return cookie;
}

// The reader keeps the receiver alive while it raises events, even past a
// final release made from a callback.
std::uint32_t Control::OnFix(std::function<void(const orvane::Fix&)> callback) {
  const Receiver* receiver = &SnapshotReader::ReceiverOf(*control_);
  return OnSnapshot<orvane::Fix>(
      kDispIdFixUpdate, [receiver] { return SnapshotReader::ReadFix(*receiver); },
      std::move(callback));
}

std::uint32_t Control::OnSatellites(std::function<void(const orvane::Satellites&)> callback) {
  const Receiver* receiver = &SnapshotReader::ReceiverOf(*control_);
  return OnSnapshot<orvane::Satellites>(
      kDispIdSatelliteUpdate, [receiver] { return SnapshotReader::ReadSatellites(*receiver); },
      std::move(callback));
}

std::uint32_t Control::OnNavigation(std::function<void(const orvane::Navigation&)> callback) {
  const Receiver* receiver = &SnapshotReader::ReceiverOf(*control_);
  return OnSnapshot<orvane::Navigation>(
      kDispIdNavUpdate, [receiver] { return SnapshotReader::ReadNavigation(*receiver); },
      std::move(callback));
}

// As the snapshot sinks: the record is made on the reader thread, the
// callback runs in the registering apartment while the reader waits.
std::uint32_t Control::OnEpoch(std::function<void(const orvane::Epoch&)> callback) {
  std::weak_ptr<Apartment> apartment = Apartment::Current();
  return control_->AddEpochObserver(
      [apartment, calls = calls_, callback = std::move(callback)](const orvane::Epoch& epoch) {
        std::shared_ptr<Apartment> target = apartment.lock();
        if (!target) return;
        target->Call([&] { callback(epoch); },
                     [&calls](const std::shared_ptr<PendingCall>& call) { calls->Track(call); });
      });
}

std::unique_ptr<Control> CreateControl() { return std::make_unique<Control>(); }

std::size_t Pump() { return Apartment::Current()->Pump(); }

std::size_t RunFor(std::chrono::milliseconds duration) {
  return Apartment::Current()->RunFor(duration);
}

bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  return Apartment::Current()->RunUntil(done, timeout);
}

int ApartmentDescriptor() { return Apartment::Current()->fd(); }

}  // namespace orvane
