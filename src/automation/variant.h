// The core's view of the public Variant, with the platform's names.
#pragma once

#include "automation/platform.h"
#include "orvane/variant.h"

namespace orvane {

inline constexpr VARTYPE kVtArrayOfVariant = vt::kArrayOfVariant;  // 0x200C

}  // namespace orvane
