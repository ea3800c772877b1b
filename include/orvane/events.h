// The events as a host receives them: a sink called with each event's
// parameters, the last one first (as IDispatch::Invoke passes them).
#pragma once

#include <span>

#include "orvane/types.h"
#include "orvane/variant.h"

namespace orvane {

inline constexpr Dispid kDispIdRawDataReceived = 1;
inline constexpr Dispid kDispIdFixUpdate = 3;
inline constexpr Dispid kDispIdNavUpdate = 4;
inline constexpr Dispid kDispIdSatelliteUpdate = 5;
inline constexpr Dispid kDispIdFileComplete = 7;

class ORVANE_API EventSink {
 public:
  virtual ~EventSink() = default;
  virtual Hresult Invoke(Dispid dispid, std::span<Variant> args) = 0;
};

enum class SinkThreading {
  kApartment,     // called on the thread that advised it
  kFreeThreaded,  // called directly on the raising thread
};

}  // namespace orvane
