// The control object: the IOrvane members in vtable order over the engine,
// the sources and the event connection point. A POSIX host creates it with
// CreateOrvaneControl and calls it on one thread (its apartment).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "automation/variant.h"
#include "control/event_source.h"
#include "engine/receiver.h"
#include "presentation/settings.h"
#include "sources/source_manager.h"

namespace orvane {

class OrvaneControl {
 public:
  OrvaneControl();
  // Final release: stops a running reader first (no FileComplete, no wait on
  // a sink call that needs this thread), then tears down.
  ~OrvaneControl();
  OrvaneControl(const OrvaneControl&) = delete;
  OrvaneControl& operator=(const OrvaneControl&) = delete;

#define ORVANE_PROPERTY_GET(name) HRESULT get_##name(Variant* pVal);
#define ORVANE_PROPERTY(name)  \
  HRESULT get_##name(Variant* pVal); \
  HRESULT put_##name(const Variant& newVal);
  ORVANE_PROPERTY(BaudRate)
  ORVANE_PROPERTY_GET(PortName)
  ORVANE_PROPERTY_GET(PortHandle)
  HRESULT Open(const Variant& PortName);
  HRESULT OpenFile(const Variant& FileName, const Variant& TimeScale);
  HRESULT Close();
  ORVANE_PROPERTY_GET(FixDateTime)
  ORVANE_PROPERTY_GET(Latitude)
  ORVANE_PROPERTY_GET(Longitude)
  ORVANE_PROPERTY_GET(Speed)
  ORVANE_PROPERTY_GET(TrueCourse)
  ORVANE_PROPERTY_GET(MagVariation)
  ORVANE_PROPERTY_GET(FixQuality)
  ORVANE_PROPERTY_GET(NumSatellitesInFix)
  ORVANE_PROPERTY_GET(Altitude)
  ORVANE_PROPERTY_GET(GeoidHeightAboveWGS84Ellipsoid)
  ORVANE_PROPERTY_GET(TimeSinceLastDGPSUpdate)
  ORVANE_PROPERTY_GET(DGPSRefStationID)
  ORVANE_PROPERTY_GET(HDOP)
  ORVANE_PROPERTY_GET(PDOP)
  ORVANE_PROPERTY_GET(VDOP)
  ORVANE_PROPERTY_GET(CrossTrackError)
  ORVANE_PROPERTY_GET(OriginWptID)
  ORVANE_PROPERTY_GET(DestWptID)
  ORVANE_PROPERTY_GET(DestWptLatitude)
  ORVANE_PROPERTY_GET(DestWptLongitude)
  ORVANE_PROPERTY_GET(RangeToDest)
  ORVANE_PROPERTY_GET(TrueBearingToDest)
  ORVANE_PROPERTY_GET(DestClosingVelocity)
  ORVANE_PROPERTY_GET(OrigToDestTrueBearing)
  ORVANE_PROPERTY_GET(OrigToDestMagBearing)
  ORVANE_PROPERTY_GET(WptsInRoute)
  HRESULT GetWptLocation(const Variant& WptName, Variant* pWptLat, Variant* pWptLon);
  ORVANE_PROPERTY_GET(AutomaticOperation)
  ORVANE_PROPERTY_GET(OperationMode)
  ORVANE_PROPERTY_GET(FixSatellitePRNs)
  ORVANE_PROPERTY_GET(NumSatellitesInView)
  HRESULT GetSatelliteInfo(const Variant& SatellitePRN, Variant* pAzimuth, Variant* pElevation,
                           Variant* pSignalToNoiseRatio);
  ORVANE_PROPERTY_GET(FixGood)
  ORVANE_PROPERTY(LatLonFormat)
  ORVANE_PROPERTY(SpeedUnits)
  ORVANE_PROPERTY(DegLabel)
  ORVANE_PROPERTY(MinLabel)
  ORVANE_PROPERTY(SecLabel)
  ORVANE_PROPERTY_GET(ModeIndicator)
  ORVANE_PROPERTY(DistUnits)
  ORVANE_PROPERTY(AltitudeUnits)
  ORVANE_PROPERTY_GET(SatelliteInViewPRNs)
  ORVANE_PROPERTY_GET(ArrivedAtDest)
  ORVANE_PROPERTY_GET(RouteName)
  ORVANE_PROPERTY_GET(RouteContainsAllWpts)
#undef ORVANE_PROPERTY_GET
#undef ORVANE_PROPERTY

  // The connection point of the events.
  EventSource& events() { return events_; }
  // For hosts that report progress (the command's summary).
  const Receiver::Stats& stats() const { return receiver_.stats(); }
  bool IsSourceOpen() const { return sources_.IsOpen(); }

  // The persisted extent, HIMETRIC: 12 bytes, version word 0x0300 then cx, cy,
  // little-endian.
  static constexpr std::uint32_t kStreamVersion = 0x0300;
  std::uint32_t extent_cx() const { return extent_cx_; }
  std::uint32_t extent_cy() const { return extent_cy_; }
  void SetExtent(std::uint32_t cx, std::uint32_t cy) { extent_cx_ = cx, extent_cy_ = cy; }
  std::array<std::uint8_t, 12> Save() const;
  // E_FAIL for a newer version or a short stream; the extent is then unchanged.
  HRESULT Load(std::span<const std::uint8_t> stream);

  // Draws a rectangle over `bounds`, then the control's 200 x 160 picture
  // stretched onto it, into a 24-bit RGB image of `width` x `height` pixels.
  struct Rect {
    int left, top, right, bottom;
  };
  HRESULT Draw(std::uint8_t* rgb, int width, int height, int stride, Rect bounds) const;

 private:
  Variant Take(Variant v, Variant* out);

  // Destroyed in reverse: the sources (reader stopped) first, then the state
  // objects and the line queue, the connection point last.
  std::uint32_t extent_cx_ = 5080;
  std::uint32_t extent_cy_ = 5080;
  EventSource events_;
  Settings settings_;
  Receiver receiver_;
  SourceManager sources_;
};

// The POSIX counterpart of the class factory and DllCanUnloadNow: a count of
// live objects and server locks, changed atomically.
std::unique_ptr<OrvaneControl> CreateOrvaneControl();
void LockServer(bool lock);
HRESULT CanUnloadNow();

}  // namespace orvane
