// What the engine needs of the event connection point: the five raising
// operations, each taking its event's parameters in type-library order.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "automation/variant.h"

namespace orvane {

using FixUpdateArgs = std::array<Variant, 7>;
using NavUpdateArgs = std::array<Variant, 11>;
using SatelliteUpdateArgs = std::array<Variant, 8>;

class EventRaiser {
 public:
  virtual ~EventRaiser() = default;
  // False when no sink is connected: the engine then skips building arguments,
  // which nobody could observe.
  virtual bool HasSinks() const = 0;
  virtual void FireRawDataReceived(std::u16string_view raw_data, std::int32_t num_bytes) = 0;
  virtual void FireFixUpdate(const FixUpdateArgs& args) = 0;
  virtual void FireNavUpdate(const NavUpdateArgs& args) = 0;
  virtual void FireSatelliteUpdate(const SatelliteUpdateArgs& args) = 0;
  virtual void FireFileComplete() = 0;

  // The same with arguments the caller gives up (the engine builds them anew
  // for each event): a connection point may hand them to its last sink
  // instead of copying. By default they are raised as above.
  virtual void FireRawDataReceived(std::u16string&& raw_data, std::int32_t num_bytes) {
    FireRawDataReceived(std::u16string_view(raw_data), num_bytes);
  }
  virtual void FireFixUpdate(FixUpdateArgs&& args) { FireFixUpdate(static_cast<const FixUpdateArgs&>(args)); }
  virtual void FireNavUpdate(NavUpdateArgs&& args) { FireNavUpdate(static_cast<const NavUpdateArgs&>(args)); }
  virtual void FireSatelliteUpdate(SatelliteUpdateArgs&& args) {
    FireSatelliteUpdate(static_cast<const SatelliteUpdateArgs&>(args));
  }
};

}  // namespace orvane
