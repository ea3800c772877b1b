// The picture the control draws (24-bit), compiled in from the project's own
// BMP; the Windows build draws the same BMP from its resources.
#pragma once

#include <cstdint>
#include <vector>

namespace orvane {

// The BMP's size in pixels.
inline constexpr int kPictureWidth = 200;
inline constexpr int kPictureHeight = 160;

struct Picture {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;  // top-down rows, 3 bytes a pixel
  const std::uint8_t* Pixel(int x, int y) const {
    return &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
  }
};

// Decodes an uncompressed 24-bit BMP; an empty picture when it is not one.
Picture DecodeBmp24(const std::uint8_t* data, std::size_t size);
const Picture& ControlPicture();

}  // namespace orvane
