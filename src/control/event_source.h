// The connection point of the control's events. Sinks live in slots; events
// reach each sink in the apartment it was advised from, in slot order, with
// arguments of its own (copied for each sink but the last, which may be
// given the originals). No lock is held during a sink call, so
// a sink may advise or unadvise from its handler.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <unordered_map>
#include <vector>

#include "automation/variant.h"
#include "control/apartment.h"
#include "control/event_args.h"
#include "engine/events.h"
#include "orvane/events.h"

namespace orvane {

namespace testing {
struct EventSourcePeer;
}  // namespace testing

struct ConnectData {
  std::shared_ptr<EventSink> sink;
  std::uint32_t cookie = 0;
};

class EventSource final : public EventRaiser {
 public:
  EventSource();
  ~EventSource() override;
  EventSource(const EventSource&) = delete;
  EventSource& operator=(const EventSource&) = delete;

  HRESULT Advise(std::shared_ptr<EventSink> sink, std::uint32_t* cookie,
                 SinkThreading threading = SinkThreading::kApartment);
  HRESULT Unadvise(std::uint32_t cookie);
  HRESULT EnumConnections(std::vector<ConnectData>* connections) const;

  // Final release: no sink is called any more, and calls waiting for an
  // apartment are cancelled so a reader never waits on a busy host thread.
  void StopRaising();

  bool HasSinks() const override { return connected_.load(std::memory_order_acquire) > 0; }
  void FireRawDataReceived(std::u16string_view raw_data, std::int32_t num_bytes) override;
  void FireFixUpdate(const FixState& fix) override;
  void FireNavUpdate(const NavigationState& navigation) override;
  void FireSatelliteUpdate(const SatelliteState& satellites) override;
  void FireFileComplete() override;
  void FireRawDataReceived(std::u16string&& raw_data, std::int32_t num_bytes) override;

  // The events with parameters already built; arguments the caller gives up
  // may be handed to the last sink instead of copied.
  void FireFixUpdate(const FixUpdateArgs& args);
  void FireNavUpdate(const NavUpdateArgs& args);
  void FireSatelliteUpdate(const SatelliteUpdateArgs& args);
  void FireFixUpdate(FixUpdateArgs&& args);
  void FireNavUpdate(NavUpdateArgs&& args);
  void FireSatelliteUpdate(SatelliteUpdateArgs&& args);

 private:
  friend struct testing::EventSourcePeer;  // reads the slot capacity
  struct Registration {
    std::shared_ptr<EventSink> sink;
    std::weak_ptr<Apartment> apartment;
    bool free_threaded = false;
  };
  // Calls every sink in slot order; `fill(args, last)` writes one sink's
  // argument copy, and may move its source into the last sink's.
  template <typename Fill>
  void Raise(DISPID dispid, std::size_t argc, const Fill& fill);
  // Moves into the last sink's copy when `in` is not const.
  template <typename Array>
  void RaiseArgs(DISPID dispid, Array& in);
  void RaiseRawData(std::u16string& text, std::int32_t num_bytes);
  void CallSink(const Registration& reg, DISPID dispid, std::span<Variant> args);

  mutable std::mutex mutex_;
  std::vector<std::uint32_t> slots_;
  std::unordered_map<std::uint32_t, Registration> table_;
  std::atomic<int> connected_{0};
  PendingCalls calls_;
};

}  // namespace orvane
