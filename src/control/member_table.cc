#include "control/member_table.h"

#include "control/orvane_control.h"

namespace orvane {
namespace {

#define ORVANE_GET(id, name)                                                          \
  MemberInfo {                                                                        \
    id, MemberKind::kGet, #name, {}, 0, "property " #name,                            \
        [](OrvaneControl& c, std::span<Variant>, Variant* r) { return c.get_##name(r); } \
  }
#define ORVANE_PUT(id, name)                                                                  \
  MemberInfo {                                                                                \
    id, MemberKind::kPut, #name, {ParamInfo{"newVal"}}, 1, "property " #name,                   \
        [](OrvaneControl& c, std::span<Variant> a, Variant*) { return c.put_##name(a[0]); } \
  }

const std::array<MemberInfo, 59> kMembers = {{
    ORVANE_GET(1, BaudRate),
    ORVANE_PUT(1, BaudRate),
    ORVANE_GET(2, PortName),
    ORVANE_GET(3, PortHandle),
    {4, MemberKind::kMethod, "Open", {ParamInfo{"PortName"}}, 1, "method Open",
     [](OrvaneControl& c, std::span<Variant> a, Variant*) { return c.Open(a[0]); }},
    {5, MemberKind::kMethod, "OpenFile", {ParamInfo{"FileName"}, ParamInfo{"TimeScale", false, true}}, 2,
     "method OpenFile",
     [](OrvaneControl& c, std::span<Variant> a, Variant*) { return c.OpenFile(a[0], a[1]); }},
    {6, MemberKind::kMethod, "Close", {}, 0, "method Close",
     [](OrvaneControl& c, std::span<Variant>, Variant*) { return c.Close(); }},
    ORVANE_GET(7, FixDateTime),
    ORVANE_GET(8, Latitude),
    ORVANE_GET(9, Longitude),
    ORVANE_GET(10, Speed),
    ORVANE_GET(11, TrueCourse),
    ORVANE_GET(12, MagVariation),
    ORVANE_GET(13, FixQuality),
    ORVANE_GET(14, NumSatellitesInFix),
    ORVANE_GET(18, Altitude),
    {19, MemberKind::kGet, "GeoidHeightAboveWGS84Ellipsoid", {}, 0,
     "property GeoidHeightAboveWGS84ellipsoid",
     [](OrvaneControl& c, std::span<Variant>, Variant* r) {
       return c.get_GeoidHeightAboveWGS84Ellipsoid(r);
     }},
    ORVANE_GET(20, TimeSinceLastDGPSUpdate),
    ORVANE_GET(21, DGPSRefStationID),
    ORVANE_GET(15, HDOP),
    ORVANE_GET(16, PDOP),
    ORVANE_GET(17, VDOP),
    ORVANE_GET(22, CrossTrackError),
    ORVANE_GET(23, OriginWptID),
    ORVANE_GET(24, DestWptID),
    ORVANE_GET(25, DestWptLatitude),
    ORVANE_GET(26, DestWptLongitude),
    ORVANE_GET(27, RangeToDest),
    ORVANE_GET(28, TrueBearingToDest),
    ORVANE_GET(29, DestClosingVelocity),
    ORVANE_GET(30, OrigToDestTrueBearing),
    ORVANE_GET(31, OrigToDestMagBearing),
    ORVANE_GET(33, WptsInRoute),
    {34, MemberKind::kMethod, "GetWptLocation",
     {ParamInfo{"WptName"}, ParamInfo{"pWptLat", true}, ParamInfo{"pWptLon", true}}, 3,
     "method GetWptLocation",
     [](OrvaneControl& c, std::span<Variant> a, Variant*) {
       return c.GetWptLocation(a[0], &a[1], &a[2]);
     }},
    ORVANE_GET(35, AutomaticOperation),
    ORVANE_GET(36, OperationMode),
    ORVANE_GET(37, FixSatellitePRNs),
    ORVANE_GET(38, NumSatellitesInView),
    {39, MemberKind::kMethod, "GetSatelliteInfo",
     {ParamInfo{"SatellitePRN"}, ParamInfo{"pAzimuth", true}, ParamInfo{"pElevation", true},
      ParamInfo{"pSignalToNoiseRatio", true}},
     4, "method GetSatelliteInfo",
     [](OrvaneControl& c, std::span<Variant> a, Variant*) {
       return c.GetSatelliteInfo(a[0], &a[1], &a[2], &a[3]);
     }},
    ORVANE_GET(40, FixGood),
    ORVANE_GET(41, LatLonFormat),
    ORVANE_PUT(41, LatLonFormat),
    ORVANE_GET(42, SpeedUnits),
    ORVANE_PUT(42, SpeedUnits),
    ORVANE_GET(43, DegLabel),
    ORVANE_PUT(43, DegLabel),
    ORVANE_GET(44, MinLabel),
    ORVANE_PUT(44, MinLabel),
    ORVANE_GET(45, SecLabel),
    ORVANE_PUT(45, SecLabel),
    ORVANE_GET(46, ModeIndicator),
    ORVANE_GET(47, DistUnits),
    ORVANE_PUT(47, DistUnits),
    ORVANE_GET(48, AltitudeUnits),
    ORVANE_PUT(48, AltitudeUnits),
    ORVANE_GET(49, SatelliteInViewPRNs),
    ORVANE_GET(51, ArrivedAtDest),
    ORVANE_GET(52, RouteName),
    ORVANE_GET(53, RouteContainsAllWpts),
}};

#undef ORVANE_GET
#undef ORVANE_PUT

const std::array<EventInfo, 5> kEvents = {{
    {1, "RawDataReceived", {"RawData", "NumBytesRead"}, 2},
    {3, "FixUpdate", {"FixGood", "FixDateTime", "Latitude", "Longitude", "Altitude", "Speed", "TrueCourse"}, 7},
    {4, "NavUpdate",
     {"OriginWptID", "DestWptID", "DestWptLatitude", "DestWptLongitude", "TrueBearingToDest", "RangeToDest",
      "CrossTrackError", "DestClosingVelocity", "DestArrivalAlarm", "RouteName", "WptsInRoute"},
     11},
    {5, "SatelliteUpdate",
     {"AutomaticOperation", "OperationMode", "NumSatellitesInView", "HDOP", "PDOP", "VDOP",
      "FixSatellitePRNs", "SatelliteInViewPRNs"},
     8},
    {7, "FileComplete", {}, 0},
}};

}  // namespace

std::span<const MemberInfo> Members() { return kMembers; }
std::span<const EventInfo> Events() { return kEvents; }

bool SameMemberName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

const MemberInfo* FindMember(std::string_view name) {
  for (const auto& m : kMembers)
    if (SameMemberName(m.name, name)) return &m;
  return nullptr;
}

const MemberInfo* FindMember(DISPID dispid, MemberKind kind) {
  for (const auto& m : kMembers)
    if (m.kind == kind && m.dispid == dispid) return &m;
  return nullptr;
}

std::string_view KindName(MemberKind kind) {
  switch (kind) {
    case MemberKind::kGet: return "get";
    case MemberKind::kPut: return "put";
    case MemberKind::kMethod: return "method";
  }
  return "";
}

}  // namespace orvane
