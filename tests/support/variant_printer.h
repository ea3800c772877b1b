// Lets GoogleTest print a Variant as "VT_I2 4" instead of its bytes.
#pragma once

#include <ostream>

#include "automation/variant.h"

namespace orvane {

inline void PrintTo(const Variant& v, std::ostream* os) { *os << DebugString(v); }

}  // namespace orvane
