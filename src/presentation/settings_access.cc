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

Variant GetTalkers(const Settings& settings) {
  std::lock_guard<std::mutex> lock(settings.talkers_mutex);
  return Variant::Bstr(settings.talkers_text);
}

HRESULT PutTalkers(Settings& settings, const Variant& value) {
  Variant text;
  const HRESULT hr = ChangeType(value, VT_BSTR, &text);
  if (FAILED(hr)) return hr;
  std::string ascii;
  for (char16_t c : text.bstr()) {
    if (c > 0x7F) return ReportError(E_INVALIDARG);
    ascii += static_cast<char>(c);
  }
  TalkerSet talkers;
  if (!TalkerSet::Parse(ascii, &talkers)) return ReportError(E_INVALIDARG);
  std::lock_guard<std::mutex> lock(settings.talkers_mutex);
  settings.talkers_text = text.bstr();
  settings.talkers = talkers;
  settings.talkers_version.fetch_add(1, std::memory_order_release);
  return S_OK;
}

Variant GetExtendedSentences(const Settings& settings) {
  return Variant::Bool(settings.extended_sentences.load(std::memory_order_relaxed));
}

HRESULT PutExtendedSentences(Settings& settings, const Variant& value) {
  Variant flag;
  const HRESULT hr = ChangeType(value, VT_BOOL, &flag);
  if (FAILED(hr)) return hr;
  settings.extended_sentences.store(flag.boolean(), std::memory_order_relaxed);
  return S_OK;
}

}  // namespace orvane
