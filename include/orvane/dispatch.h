// Late binding's argument and error records, as IDispatch uses them.
#pragma once

#include <span>
#include <string>

#include "orvane/types.h"
#include "orvane/variant.h"

namespace orvane {

struct ExcepInfo {
  std::u16string source;
  std::u16string description;
  std::string interface_id;
  Hresult scode = hr::kOk;
};

// `args` in reverse order, as IDispatch passes them; [out] parameters are
// written back into their elements. `named` lists the DISPIDs of named
// arguments (only dispatch::kDispidPropertyPut is known).
struct DispParams {
  std::span<Variant> args;
  std::span<const Dispid> named;
};

}  // namespace orvane
