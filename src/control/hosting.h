// What a form needs of a control beside its automation members: the size it
// keeps in the saved form, and its picture drawn into a pixel buffer.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "automation/variant.h"

namespace orvane {

class ControlHosting {
 public:
  // The persisted extent, HIMETRIC: 12 bytes, version word 0x0300 then cx, cy,
  // little-endian.
  static constexpr std::uint32_t kStreamVersion = 0x0300;
  std::uint32_t extent_cx() const { return extent_cx_; }
  std::uint32_t extent_cy() const { return extent_cy_; }
  // Each side of a new control's extent, in HIMETRIC (2 inches).
  static constexpr std::uint32_t kDefaultExtent = 5080;
  void SetExtent(std::uint32_t cx, std::uint32_t cy) { extent_cx_ = cx, extent_cy_ = cy; }
  std::array<std::uint8_t, 12> Save() const;
  // E_FAIL for a newer version or a short stream; the extent is then unchanged.
  HRESULT Load(std::span<const std::uint8_t> stream);

  // Draws a rectangle over `bounds`, then the control's picture
  // stretched onto it, into a 24-bit RGB image of `width` x `height` pixels.
  struct Rect {
    int left, top, right, bottom;
  };
  HRESULT Draw(std::uint8_t* rgb, int width, int height, int stride, Rect bounds) const;

 private:
  std::uint32_t extent_cx_ = kDefaultExtent;
  std::uint32_t extent_cy_ = kDefaultExtent;
};

}  // namespace orvane
