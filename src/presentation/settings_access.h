// The property get/put behind LatLonFormat, SpeedUnits, DistUnits and
// AltitudeUnits. A put coerces to VT_I2; a coercion failure returns its
// HRESULT with no error record and no change.
#pragma once

#include "automation/variant.h"
#include "presentation/settings.h"

namespace orvane {

Variant GetLatLonFormat(const Settings& settings);
// Any 16-bit code is kept; codes other than 0..2 format as empty text.
HRESULT PutLatLonFormat(Settings& settings, const Variant& value);

Variant GetSpeedUnits(const Settings& settings);
HRESULT PutSpeedUnits(Settings& settings, const Variant& value);  // 0..2

Variant GetDistUnits(const Settings& settings);
HRESULT PutDistUnits(Settings& settings, const Variant& value);  // 0..3

Variant GetAltitudeUnits(const Settings& settings);
HRESULT PutAltitudeUnits(Settings& settings, const Variant& value);  // 0..1

// "*" or a comma-separated list of two upper-case letters; anything else is
// refused with E_INVALIDARG and changes nothing.
Variant GetTalkers(const Settings& settings);
HRESULT PutTalkers(Settings& settings, const Variant& value);
Variant GetExtendedSentences(const Settings& settings);
HRESULT PutExtendedSentences(Settings& settings, const Variant& value);

}  // namespace orvane
