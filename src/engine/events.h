// What the engine needs of the event connection point: the five raising
// operations, each taking its event's parameters in type-library order.
#pragma once

#include <array>
#include <cstdint>
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
};

}  // namespace orvane
