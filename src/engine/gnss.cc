#include "engine/gnss.h"

#include <array>
#include <cstddef>

namespace orvane {
namespace {

// One row per way a receiver writes a satellite number: the numbers it
// writes, under which system, and what to add to get the unique number
// (GPS 1-32, SBAS 33-64, GLONASS 65-96, QZSS 193-202, Galileo 301-336,
// BeiDou 401-463, NavIC 501 up). kUnknown rows are for GN and other talkers
// without a system id: the NMEA 4.0 ranges, then receivers' own habits.
struct NumberRange {
  GnssSystem written_as;
  int first, last;
  int offset;
  GnssSystem system;
};

constexpr NumberRange kRanges[] = {
    {GnssSystem::kGps, 1, 32, 0, GnssSystem::kGps},
    // GP carries SBAS too: NMEA numbers, or the PRN 120-151 u-blox and
    // SiRF write.
    {GnssSystem::kGps, 33, 64, 0, GnssSystem::kSbas},
    {GnssSystem::kGps, 120, 151, -87, GnssSystem::kSbas},
    // u-blox in NMEA 4.0 mode lists QZSS under GP.
    {GnssSystem::kGps, 193, 202, 0, GnssSystem::kQzss},
    // GLONASS: NMEA 65-96, or the slot number 1-32 (NMEA 4.11 receivers).
    {GnssSystem::kGlonass, 65, 96, 0, GnssSystem::kGlonass},
    {GnssSystem::kGlonass, 1, 32, 64, GnssSystem::kGlonass},
    // Galileo: the PRN 1-36 (4.10), or 301-336 already unique.
    {GnssSystem::kGalileo, 1, 36, 300, GnssSystem::kGalileo},
    {GnssSystem::kGalileo, 301, 336, 0, GnssSystem::kGalileo},
    // Quectel LC79D writes the Galileo PRN plus 100.
    {GnssSystem::kGalileo, 101, 136, 200, GnssSystem::kGalileo},
    // BeiDou: the PRN 1-63, 201-263 (older Quectel/MediaTek) or 401-463.
    {GnssSystem::kBeidou, 1, 63, 400, GnssSystem::kBeidou},
    {GnssSystem::kBeidou, 201, 263, 200, GnssSystem::kBeidou},
    {GnssSystem::kBeidou, 401, 463, 0, GnssSystem::kBeidou},
    // QZSS: the PRN 1-10 (4.11), or 193-202.
    {GnssSystem::kQzss, 1, 10, 192, GnssSystem::kQzss},
    {GnssSystem::kQzss, 193, 202, 0, GnssSystem::kQzss},
    {GnssSystem::kNavic, 1, 14, 500, GnssSystem::kNavic},
    {GnssSystem::kNavic, 501, 514, 0, GnssSystem::kNavic},
    {GnssSystem::kUnknown, 1, 32, 0, GnssSystem::kGps},
    {GnssSystem::kUnknown, 33, 64, 0, GnssSystem::kSbas},
    {GnssSystem::kUnknown, 65, 96, 0, GnssSystem::kGlonass},
    {GnssSystem::kUnknown, 120, 151, -87, GnssSystem::kSbas},
    // QZSS flies 193-199; from 201 on, a number without system id is BeiDou
    // as older receivers wrote it (201-237). Galileo written as 211-246
    // overlaps that and cannot be told apart without a system id.
    {GnssSystem::kUnknown, 193, 200, 0, GnssSystem::kQzss},
    {GnssSystem::kUnknown, 201, 263, 200, GnssSystem::kBeidou},
    {GnssSystem::kUnknown, 301, 336, 0, GnssSystem::kGalileo},
    {GnssSystem::kUnknown, 401, 463, 0, GnssSystem::kBeidou},
    {GnssSystem::kUnknown, 501, 514, 0, GnssSystem::kNavic},
};

// How sentences name each system: the NMEA 4.10 system id, the talker and
// the other talker some receivers use.
struct SystemCodes {
  GnssSystem system;
  char id;
  std::string_view talker, other_talker;
};

constexpr SystemCodes kSystemCodes[] = {
    {GnssSystem::kGps, '1', "GP", ""},     {GnssSystem::kGlonass, '2', "GL", ""},
    {GnssSystem::kGalileo, '3', "GA", ""}, {GnssSystem::kBeidou, '4', "GB", "BD"},
    {GnssSystem::kQzss, '5', "GQ", "QZ"},  {GnssSystem::kNavic, '6', "GI", ""},
};

}  // namespace

GnssSystem SystemFromId(std::string_view id) {
  if (id.size() != 1) return GnssSystem::kUnknown;
  for (const SystemCodes& row : kSystemCodes)
    if (row.id == id[0]) return row.system;
  return GnssSystem::kUnknown;
}

static_assert([] {
  for (const SystemCodes& row : kSystemCodes)
    if (row.talker.size() != 2 || (!row.other_talker.empty() && row.other_talker.size() != 2))
      return false;
  return true;
}());

GnssSystem SystemFromTalker(std::string_view talker) {
  // Every talker in the table has two letters: compared in place, not
  // through a library call per row.
  if (talker.size() != 2) return GnssSystem::kUnknown;
  const auto is = [&](std::string_view code) {
    return code.size() == 2 && code[0] == talker[0] && code[1] == talker[1];
  };
  for (const SystemCodes& row : kSystemCodes)
    if (is(row.talker) || is(row.other_talker)) return row.system;
  return GnssSystem::kUnknown;
}

GnssSystem SystemOfNumber(int number) {
  for (const NumberRange& r : kRanges) {
    if (r.written_as == GnssSystem::kUnknown && r.offset == 0 && number >= r.first &&
        number <= r.last) {
      return r.system;
    }
  }
  return GnssSystem::kUnknown;
}

namespace {

constexpr std::size_t kSystems = static_cast<std::size_t>(GnssSystem::kNavic) + 1;

// Every (system, number) answer worked out when the program is compiled: the
// table's rows are scanned once here, not for every satellite of every GSA.
constexpr auto kUniqueNumbers = [] {
  std::array<std::array<std::int16_t, kMaxUniqueNumber>, kSystems> table{};
  // The inline GPS path in gnss.h gives the first row's answer.
  if (kRanges[0].written_as != GnssSystem::kGps || kRanges[0].first != 1 || kRanges[0].last != 32 ||
      kRanges[0].offset != 0)
    throw "the inline GPS path no longer matches the first row";
  for (const NumberRange& r : kRanges) {
    for (int prn = r.first; prn <= r.last; ++prn) {
      if (prn + r.offset <= 0 || prn + r.offset >= static_cast<int>(kMaxUniqueNumber))
        throw "a unique number out of range";
      std::int16_t& slot =
          table[static_cast<std::size_t>(r.written_as)][static_cast<std::size_t>(prn)];
      if (slot == 0) slot = static_cast<std::int16_t>(prn + r.offset);  // the first row wins
    }
  }
  return table;
}();

}  // namespace

int UniqueSatelliteNumberOf(GnssSystem system, int prn) {
  const auto row = static_cast<std::size_t>(system);
  if (row >= kSystems || prn < 0 || prn >= static_cast<int>(kMaxUniqueNumber)) return 0;
  return kUniqueNumbers[row][static_cast<std::size_t>(prn)];
}

}  // namespace orvane
