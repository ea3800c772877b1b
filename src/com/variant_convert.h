// The one pair of converters between the platform's VARIANT and the core's
// Variant. Everything that crosses the COM boundary goes through them.
#pragma once

#include "automation/platform.h"
#include "automation/variant.h"

namespace orvane::com {

// Reads `in` (through VT_BYREF) into `out`. Types the core has no slot for
// (VT_UI1, VT_R4, VT_CY, VT_DECIMAL, VT_I8, ...) are first changed by the
// platform to VT_I4 or VT_R8; what cannot be changed fails with that HRESULT.
HRESULT FromVariant(const VARIANT& in, Variant* out);

// Writes `in` into `*out` without clearing what `*out` held: the caller owns
// the result. Arrays become SAFEARRAYs of VARIANT with lower bound 0; text may
// hold NUL. E_OUTOFMEMORY leaves `*out` VT_EMPTY.
HRESULT ToVariant(const Variant& in, VARIANT* out);

}  // namespace orvane::com
