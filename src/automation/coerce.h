// VariantChangeType for the types the control uses, with the platform's rules:
// text with blanks around a number converts, overflow gives DISP_E_OVERFLOW,
// non-numbers and VT_NULL give DISP_E_TYPEMISMATCH, doubles round half to
// even into integers, VT_BOOL true is -1, VT_EMPTY is 0 or "".
#pragma once

#include <optional>

#include "automation/variant.h"

namespace orvane {

// Converts `in` to `to` (VT_I2, VT_I4, VT_R8, VT_DATE, VT_BSTR, VT_BOOL).
// On failure returns the platform's HRESULT and leaves *out untouched.
HRESULT ChangeType(const Variant& in, VARTYPE to, Variant* out);

// The value of a numeric scalar: VT_I2, VT_I4, VT_R8, VT_DATE, and VT_BOOL as
// -1 or 0. Nothing for any other type, VT_EMPTY and text included.
std::optional<double> ScalarNumber(const Variant& v);

}  // namespace orvane
