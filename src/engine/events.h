// What the engine needs of the event connection point: one call per event,
// given the state the event reports. The connection point builds the event's
// parameters from it (the engine knows nothing of their order).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orvane {

class FixState;
class NavigationState;
class SatelliteState;

class EventRaiser {
 public:
  virtual ~EventRaiser() = default;
  // False when no sink is connected: the engine then skips building arguments,
  // which nobody could observe.
  virtual bool HasSinks() const = 0;
  virtual void FireRawDataReceived(std::u16string_view raw_data, std::int32_t num_bytes) = 0;
  virtual void FireFixUpdate(const FixState& fix) = 0;
  virtual void FireNavUpdate(const NavigationState& navigation) = 0;
  virtual void FireSatelliteUpdate(const SatelliteState& satellites) = 0;
  virtual void FireFileComplete() = 0;

  // The same with a text the caller gives up (the engine builds it anew for
  // each event): a connection point may hand it to its last sink instead of
  // copying. By default it is raised as above.
  virtual void FireRawDataReceived(std::u16string&& raw_data, std::int32_t num_bytes) {
    FireRawDataReceived(std::u16string_view(raw_data), num_bytes);
  }
};

}  // namespace orvane
