// Automation values to and from Python values, as a script host maps them:
// VT_EMPTY and VT_NULL None, integers int, VT_R8 float, VT_BOOL bool, text
// str, DATE a UTC datetime, arrays list. Call with the GIL held.
#pragma once

#include <pybind11/pybind11.h>

#include "automation/date.h"
#include "orvane/variant.h"

namespace orvane {

pybind11::object UtcDatetime(const DateParts& parts);
// Raises ValueError for a date outside the years 100 to 9999.
pybind11::object ToPython(const Variant& v);
// Raises TypeError for what a script could not pass, ValueError for a date
// out of range; any error of Python's own passes through.
Variant FromPython(const pybind11::handle& o);

}  // namespace orvane
