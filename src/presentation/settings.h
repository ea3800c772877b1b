// The presentation settings: set on the host's thread, read on the reader
// thread when it packs event arguments. Each is one 16-bit code.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/value_format.h"

namespace orvane {

struct Settings final : ReceiverSettings {
  std::atomic<std::int16_t> dist_units{3};      // 0 m, 1 ft, 2 statute mi, 3 nmi
  std::atomic<std::int16_t> lat_lon_format{0};  // 0 deg, 1 deg+min, 2 deg+min+sec
  std::atomic<std::int16_t> speed_units{2};     // 0 mph, 1 km/h, 2 knots
  std::atomic<std::int16_t> altitude_units{0};  // 0 m, 1 ft

  std::int16_t DistUnits() const { return dist_units.load(std::memory_order_relaxed); }
  std::int16_t LatLonFormat() const { return lat_lon_format.load(std::memory_order_relaxed); }
  std::int16_t SpeedUnits() const { return speed_units.load(std::memory_order_relaxed); }
  std::int16_t AltitudeUnits() const { return altitude_units.load(std::memory_order_relaxed); }

  void LatLonText(const GeoPosition& p, std::string* latitude,
                  std::string* longitude) const override;
  std::int32_t LatLonFormatKey() const override { return LatLonFormat(); }
  Variant Speed(const Variant& knots) const override;
  Variant Distance(const Variant& nautical_miles) const override;
  Variant Altitude(const Variant& metres) const override;
  Variant GeoidHeight(const Variant& metres) const override;
};

}  // namespace orvane
