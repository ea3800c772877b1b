#include "control/member_table.h"

#include "control/orvane_control.h"
#include "control/orvane_members.h"
#include "orvane/events.h"

namespace orvane {
namespace {

// The methods' rows; the list gives their DISPIDs and places.
constexpr MemberInfo OpenMethod(DISPID id) {
  return {id,
          MemberKind::kMethod,
          "Open",
          {ParamInfo{"PortName"}},
          1,
          "method Open",
          [](OrvaneControl& c, std::span<Variant> a, Variant*) { return c.Open(a[0]); }};
}
constexpr MemberInfo OpenFileMethod(DISPID id) {
  return {id,
          MemberKind::kMethod,
          "OpenFile",
          {ParamInfo{"FileName"}, ParamInfo{"TimeScale", false, true}},
          2,
          "method OpenFile",
          [](OrvaneControl& c, std::span<Variant> a, Variant*) { return c.OpenFile(a[0], a[1]); }};
}
constexpr MemberInfo CloseMethod(DISPID id) {
  return {id,
          MemberKind::kMethod,
          "Close",
          {},
          0,
          "method Close",
          [](OrvaneControl& c, std::span<Variant>, Variant*) { return c.Close(); }};
}
constexpr MemberInfo GetWptLocationMethod(DISPID id) {
  return {id,
          MemberKind::kMethod,
          "GetWptLocation",
          {ParamInfo{"WptName"}, ParamInfo{"pWptLat", true}, ParamInfo{"pWptLon", true}},
          3,
          "method GetWptLocation",
          [](OrvaneControl& c, std::span<Variant> a, Variant*) {
            return c.GetWptLocation(a[0], &a[1], &a[2]);
          }};
}
constexpr MemberInfo GetSatelliteInfoMethod(DISPID id) {
  return {id,
          MemberKind::kMethod,
          "GetSatelliteInfo",
          {ParamInfo{"SatellitePRN"}, ParamInfo{"pAzimuth", true}, ParamInfo{"pElevation", true},
           ParamInfo{"pSignalToNoiseRatio", true}},
          4,
          "method GetSatelliteInfo",
          [](OrvaneControl& c, std::span<Variant> a, Variant*) {
            return c.GetSatelliteInfo(a[0], &a[1], &a[2], &a[3]);
          }};
}

// The type library's help string spells this one name with a small 'e'.
constexpr std::string_view PropertyHelp(std::string_view name, std::string_view help) {
  return name == "GeoidHeightAboveWGS84Ellipsoid" ? "property GeoidHeightAboveWGS84ellipsoid"
                                                  : help;
}

#define ORVANE_GET(id, name)                         \
  MemberInfo{id,                                     \
             MemberKind::kGet,                       \
             #name,                                  \
             {},                                     \
             0,                                      \
             PropertyHelp(#name, "property " #name), \
             [](OrvaneControl& c, std::span<Variant>, Variant* r) { return c.get_##name(r); }},
#define ORVANE_PROPERTY(id, name)   \
  ORVANE_GET(id, name)              \
  MemberInfo{id,                    \
             MemberKind::kPut,      \
             #name,                 \
             {ParamInfo{"newVal"}}, \
             1,                     \
             "property " #name,     \
             [](OrvaneControl& c, std::span<Variant> a, Variant*) { return c.put_##name(a[0]); }},
#define ORVANE_METHOD(id, name) name##Method(id),

constexpr MemberInfo OfIOrvane2(MemberInfo m) {
  m.owner = MemberInterface::kIOrvane2;
  return m;
}
#define ORVANE2_GET(id, name) \
  OfIOrvane2(MemberInfo{      \
      id,                     \
      MemberKind::kGet,       \
      #name,                  \
      {},                     \
      0,                      \
      "property " #name,      \
      [](OrvaneControl& c, std::span<Variant>, Variant* r) { return c.get_##name(r); }}),
#define ORVANE2_PROPERTY(id, name) \
  ORVANE2_GET(id, name)            \
  OfIOrvane2(MemberInfo{           \
      id,                          \
      MemberKind::kPut,            \
      #name,                       \
      {ParamInfo{"newVal"}},       \
      1,                           \
      "property " #name,           \
      [](OrvaneControl& c, std::span<Variant> a, Variant*) { return c.put_##name(a[0]); }}),

constexpr MemberInfo kMembers[] = {
    ORVANE_MEMBERS(ORVANE_GET, ORVANE_PROPERTY, ORVANE_METHOD)
        ORVANE2_MEMBERS(ORVANE2_GET, ORVANE2_PROPERTY, ORVANE_METHOD)};
constexpr std::size_t kIOrvaneMembers = 59;
static_assert(kMembers[kIOrvaneMembers - 1].owner == MemberInterface::kIOrvane &&
              kMembers[kIOrvaneMembers].owner == MemberInterface::kIOrvane2);

#undef ORVANE_GET
#undef ORVANE_PROPERTY
#undef ORVANE_METHOD
#undef ORVANE2_GET
#undef ORVANE2_PROPERTY

const std::array<EventInfo, 5> kEvents = {{
    {kDispIdRawDataReceived, "RawDataReceived", {"RawData", "NumBytesRead"}, 2},
    {kDispIdFixUpdate,
     "FixUpdate",
     {"FixGood", "FixDateTime", "Latitude", "Longitude", "Altitude", "Speed", "TrueCourse"},
     7},
    {kDispIdNavUpdate,
     "NavUpdate",
     {"OriginWptID", "DestWptID", "DestWptLatitude", "DestWptLongitude", "TrueBearingToDest",
      "RangeToDest", "CrossTrackError", "DestClosingVelocity", "DestArrivalAlarm", "RouteName",
      "WptsInRoute"},
     11},
    {kDispIdSatelliteUpdate,
     "SatelliteUpdate",
     {"AutomaticOperation", "OperationMode", "NumSatellitesInView", "HDOP", "PDOP", "VDOP",
      "FixSatellitePRNs", "SatelliteInViewPRNs"},
     8},
    {kDispIdFileComplete, "FileComplete", {}, 0},
}};

}  // namespace

std::span<const MemberInfo> Members() {
  return std::span<const MemberInfo>(kMembers).first(kIOrvaneMembers);
}
std::span<const MemberInfo> AllMembers() { return kMembers; }
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
