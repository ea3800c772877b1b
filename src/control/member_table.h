// The contract: the 59 members of IOrvane in vtable order and the five events.
// Late binding, the command-line host and the Windows type library checks all
// read this one table.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "automation/variant.h"

namespace orvane {

class OrvaneControl;

enum class MemberKind : std::uint8_t { kGet, kPut, kMethod };
enum class MemberInterface : std::uint8_t { kIOrvane, kIOrvane2 };

struct ParamInfo {
  std::string_view name;
  bool out = false;       // [out]: written back through the argument
  bool optional = false;  // [optional]: may be omitted (VT_ERROR DISP_E_PARAMNOTFOUND)
};

struct MemberInfo {
  DISPID dispid;
  MemberKind kind;
  std::string_view name;
  std::array<ParamInfo, 4> params;  // a get's pVal is its result, not listed here
  std::uint8_t param_count;
  std::string_view help;
  // Calls the member; `args` in declaration order, [out] ones written in place.
  HRESULT (*call)(OrvaneControl& control, std::span<Variant> args, Variant* result);
  MemberInterface owner = MemberInterface::kIOrvane;
};

struct EventInfo {
  DISPID dispid;
  std::string_view name;
  std::array<std::string_view, 11> params;
  std::uint8_t param_count;
};

std::span<const MemberInfo> Members();  // 59 rows, vtable order
// IOrvane's rows, then IOrvane2's own: what late binding answers.
std::span<const MemberInfo> AllMembers();
std::span<const EventInfo> Events();  // 5 rows

// Names compare case-insensitively (ASCII), like the platform's GetIDsOfNames.
bool SameMemberName(std::string_view a, std::string_view b);
// The first row of that name (of AllMembers), whatever its kind: a get, put or method of one
// name share their DISPID.
const MemberInfo* FindMember(std::string_view name);
const MemberInfo* FindMember(DISPID dispid, MemberKind kind);

std::string_view KindName(MemberKind kind);

}  // namespace orvane
