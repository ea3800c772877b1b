// How stored values leave the engine. The engine keeps every quantity in one
// unit (knots, nautical miles, metres, signed degrees); the host's formats
// and units are applied by the implementation, which lives above the engine.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "automation/variant.h"
#include "engine/geo_position.h"
#include "engine/talkers.h"

namespace orvane {

class ValueFormat {
 public:
  virtual ~ValueFormat() = default;
  // Both coordinates of `p` as text (empty for an unknown coordinate).
  virtual void LatLonText(const GeoPosition& p, std::string* latitude,
                          std::string* longitude) const = 0;
  virtual Variant Speed(const Variant& knots) const = 0;
  virtual Variant Distance(const Variant& nautical_miles) const = 0;
  virtual Variant Altitude(const Variant& metres) const = 0;
  virtual Variant GeoidHeight(const Variant& metres) const = 0;
  // Everything LatLonText depends on beside the position, as one number,
  // or -1 when that cannot be told (its text is then never reused).
  virtual std::int32_t LatLonFormatKey() const { return -1; }
};

// Talkers, as put and parsed; the reader takes a copy when the version
// moves, so the sentence loop pays one atomic load per line.
struct TalkerSettings {
  mutable std::mutex talkers_mutex;
  std::u16string talkers_text = u"GP";
  TalkerSet talkers;
  std::atomic<std::uint32_t> talkers_version{0};
  // VTG, ZDA, GNS, GST, HDT, HDG, THS, GBS and TXT are read; off, they are
  // lines like any unknown one.
  std::atomic<bool> extended_sentences{false};
};

// What a receiver reads of the host's settings.
struct ReceiverSettings : TalkerSettings, ValueFormat {};

}  // namespace orvane
