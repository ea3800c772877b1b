// Loading the persisted stream: any bytes are refused or read whole, and what
// loads saves back to the same extent.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "control/orvane_control.h"

// The automation names (HRESULT, S_OK, VT_*) live in namespace orvane.
using namespace orvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto control = orvane::CreateOrvaneControl();
  ControlHosting& hosting = control->hosting();
  hosting.SetExtent(7, 9);
  const HRESULT hr = hosting.Load(std::span<const std::uint8_t>(data, size));
  if (FAILED(hr)) {
    if (hosting.extent_cx() != 7 || hosting.extent_cy() != 9)
      std::abort();  // refused means untouched
    return 0;
  }
  const auto saved = hosting.Save();
  auto again = orvane::CreateOrvaneControl();
  if (FAILED(again->hosting().Load(saved)) || again->hosting().extent_cx() != hosting.extent_cx() ||
      again->hosting().extent_cy() != hosting.extent_cy()) {
    std::abort();
  }
  return 0;
}
