#include "presentation/settings_access.h"

#include "automation/coerce.h"
#include "automation/error_info.h"

namespace orvane {
namespace {

// Codes outside [0, max_code] are refused with E_INVALIDARG and an error
// record; max_code < 0 means no range check.
HRESULT PutCode(std::atomic<std::int16_t>& setting, const Variant& value, int max_code) {
  Variant code;
  const HRESULT hr = ChangeType(value, VT_I2, &code);
  if (FAILED(hr)) return hr;
  if (max_code >= 0 && (code.i2() < 0 || code.i2() > max_code)) return ReportError(E_INVALIDARG);
  setting.store(code.i2(), std::memory_order_relaxed);
  return S_OK;
}

}  // namespace

Variant GetLatLonFormat(const Settings& settings) { return Variant::I2(settings.LatLonFormat()); }
HRESULT PutLatLonFormat(Settings& settings, const Variant& value) {
  return PutCode(settings.lat_lon_format, value, -1);
}

Variant GetSpeedUnits(const Settings& settings) { return Variant::I2(settings.SpeedUnits()); }
HRESULT PutSpeedUnits(Settings& settings, const Variant& value) {
  return PutCode(settings.speed_units, value, 2);
}

Variant GetDistUnits(const Settings& settings) { return Variant::I2(settings.DistUnits()); }
HRESULT PutDistUnits(Settings& settings, const Variant& value) {
  return PutCode(settings.dist_units, value, 3);
}

Variant GetAltitudeUnits(const Settings& settings) { return Variant::I2(settings.AltitudeUnits()); }
HRESULT PutAltitudeUnits(Settings& settings, const Variant& value) {
  return PutCode(settings.altitude_units, value, 1);
}

}  // namespace orvane
