// What Python shows of the module: each name's type as a stub writes it and
// its docstring. The member table decides which automation members exist; a
// member without a row here still becomes a property or method, typed Any,
// with a docstring made from its row in the member table.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace orvane {

struct MemberInfo;

struct PyDoc {
  std::string_view name;
  // A property's value ("float | None"); a method's parameters and result
  // ("(self, PortName: str, /) -> None": automation arguments go by position).
  std::string_view type;
  std::string_view doc;
};

// Rows for the automation members, and for the module's own names: "on",
// "Control.on", "Fix" (a snapshot class), "Error", ...
std::span<const PyDoc> MemberDocs();
std::span<const PyDoc> OwnDocs();
const PyDoc* FindDoc(std::span<const PyDoc> rows, std::string_view name);

// The docstring of an automation member: its row's text, then what kind of
// member it is and how a wrong value fails.
std::string MemberDocstring(const MemberInfo& member, bool settable);
// Text that lives as long as the module, for pybind11 to point at.
const char* KeepDoc(std::string text);
// The stub's type of an automation member ("Any" without a row).
std::string MemberStubType(const MemberInfo& member);
// The docstring of one of the module's own names, its signature first.
const char* OwnDoc(std::string_view name);

}  // namespace orvane
