// orvane.read and its result type Log.
#pragma once

#include <pybind11/pybind11.h>

namespace orvane {

void DefineRead(pybind11::module_& m, const char* read_doc, const char* log_doc);

}  // namespace orvane
