// The text forms of a decoded position, independent of the process locale.
#pragma once

#include <cstdint>
#include <string>

#include "engine/geo_position.h"

namespace orvane {

// The latitude and longitude texts of `p` under format `code` (0, 1, 2; any
// other code gives empty texts), with the position's own labels.
void FormatLatLon(const GeoPosition& p, std::int16_t code, std::string* latitude_text,
                  std::string* longitude_text);

}  // namespace orvane
