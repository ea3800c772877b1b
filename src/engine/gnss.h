// Satellite systems and the one satellite number unique across them, as
// gpsd's JSON PRN field numbers them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace orvane {

enum class GnssSystem : std::uint8_t {
  kUnknown,
  kGps,
  kSbas,
  kGlonass,
  kGalileo,
  kBeidou,
  kQzss,
  kNavic
};

// The NMEA 4.10/4.11 system id (GSA field 18): 1 GPS, 2 GLONASS, 3 Galileo,
// 4 BeiDou, 5 QZSS, 6 NavIC; anything else is unknown.
GnssSystem SystemFromId(std::string_view id);
// GP GPS, GL GLONASS, GA Galileo, GB/BD BeiDou, GQ/QZ QZSS, GI NavIC; GN and
// every other talker are unknown (the number then tells).
GnssSystem SystemFromTalker(std::string_view talker);
// The system a unique number belongs to.
GnssSystem SystemOfNumber(int number);

// Every unique number is below this.
inline constexpr std::size_t kMaxUniqueNumber = 1024;

// The unique number of satellite `prn` as a receiver of `system` wrote it
// (kUnknown: from the number range alone), or 0 when it fits no system.
int UniqueSatelliteNumberOf(GnssSystem system, int prn);
inline int UniqueSatelliteNumber(GnssSystem system, int prn) {
  // GPS as GPS receivers write it, by far the most numbers seen, without a call.
  if (system == GnssSystem::kGps && prn >= 1 && prn <= 32) return prn;
  return UniqueSatelliteNumberOf(system, prn);
}

}  // namespace orvane
