// The public Control over the automation object.
#include <mutex>

#include "control/apartment.h"
#include "control/dispatch.h"
#include "control/orvane_control.h"
#include "control/snapshots.h"
#include "orvane/control.h"

namespace orvane {

// Pending typed callbacks, cancelled at the final release so a reader never
// waits for a host thread that is tearing the control down.
struct detail::CallbackCalls {
  std::mutex mutex;
  bool shut_down = false;
  std::vector<std::weak_ptr<PendingCall>> in_flight;

  void Track(const std::shared_ptr<PendingCall>& call) {
    std::lock_guard<std::mutex> lock(mutex);
    if (shut_down) {
      call->Cancel();
      return;
    }
    std::erase_if(in_flight, [](const auto& w) { return w.expired(); });
    in_flight.push_back(call);
  }
  void Shutdown() {
    std::vector<std::weak_ptr<PendingCall>> calls;
    {
      std::lock_guard<std::mutex> lock(mutex);
      shut_down = true;
      calls.swap(in_flight);
    }
    for (auto& weak : calls) {
      if (auto call = weak.lock()) call->Cancel();
    }
  }
};

namespace {

// Called free-threaded, so the snapshot is taken on the reader thread right
// after the sentence; then the callback runs in the registering apartment
// while the reader waits, as an apartment sink would.
template <typename Snapshot>
class SnapshotSink final : public EventSink {
 public:
  SnapshotSink(Dispid dispid, std::function<Snapshot()> take,
               std::function<void(const Snapshot&)> callback, std::shared_ptr<detail::CallbackCalls> calls)
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
    apartment->Call([this, &snapshot] { callback_(snapshot); },
                    [calls = calls_.get()](const std::shared_ptr<PendingCall>& call) {
                      calls->Track(call);
                    });
    return S_OK;
  }

 private:
  const Dispid dispid_;
  const std::function<Snapshot()> take_;
  const std::function<void(const Snapshot&)> callback_;
  const std::shared_ptr<detail::CallbackCalls> calls_;
  const std::weak_ptr<Apartment> apartment_;
};

}  // namespace

Control::Control() : calls_(std::make_shared<detail::CallbackCalls>()), control_(CreateOrvaneControl()) {}

Control::~Control() {
  calls_->Shutdown();
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

Hresult Control::Advise(std::shared_ptr<EventSink> sink, std::uint32_t* cookie,
                        SinkThreading threading) {
  return control_->events().Advise(std::move(sink), cookie, threading);
}

Hresult Control::Unadvise(std::uint32_t cookie) { return control_->events().Unadvise(cookie); }

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
  auto sink = std::make_shared<SnapshotSink<Snapshot>>(dispid, std::move(take),
                                                       std::move(callback), calls_);
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
