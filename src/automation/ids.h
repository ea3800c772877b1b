// The identifiers of the library, the class and the two interfaces.
#pragma once

#include <string_view>

namespace orvane {

inline constexpr std::string_view kLibId = "{1A0F73CA-24CC-4AA7-AB16-3D6C03FDABA7}";
inline constexpr std::string_view kClsidOrvane = "{5C4581C2-84C7-4FCD-AEAC-39F6463C3E25}";
inline constexpr std::string_view kIidIOrvane = "{DC0993A9-8101-4920-A801-598FBBC9698F}";
inline constexpr std::string_view kIidIOrvaneEvents = "{4EC77C82-9D8B-4ADE-9F17-AED59EC1F135}";
inline constexpr std::string_view kProgId = "OrvaneMod.Orvane";
inline constexpr std::string_view kProgIdVersioned = "OrvaneMod.Orvane.1";

}  // namespace orvane
