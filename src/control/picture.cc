#include "control/picture.h"

#include "control/picture_data.h"

namespace orvane {
namespace {

std::uint32_t ReadLittleEndian(const std::uint8_t* p, int n) {
  std::uint32_t v = 0;
  for (int i = 0; i < n; ++i) v |= std::uint32_t{p[i]} << (8 * i);
  return v;
}

}  // namespace

Picture DecodeBmp24(const std::uint8_t* data, std::size_t size) {
  Picture pic;
  if (size < 54 || data[0] != 'B' || data[1] != 'M') return pic;
  const std::uint32_t offset = ReadLittleEndian(data + 10, 4);
  const auto width = static_cast<std::int32_t>(ReadLittleEndian(data + 18, 4));
  const auto raw_height = static_cast<std::int32_t>(ReadLittleEndian(data + 22, 4));
  if (ReadLittleEndian(data + 28, 2) != 24 || ReadLittleEndian(data + 30, 4) != 0 || width <= 0 ||
      raw_height == 0)
    return pic;
  const bool bottom_up = raw_height > 0;
  const int height = bottom_up ? raw_height : -raw_height;
  const std::size_t row = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
  if (offset + row * height > size) return pic;
  pic.width = width;
  pic.height = height;
  pic.rgb.resize(static_cast<std::size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* src = data + offset + row * (bottom_up ? height - 1 - y : y);
    for (int x = 0; x < width; ++x) {
      std::uint8_t* d = &pic.rgb[(static_cast<std::size_t>(y) * width + x) * 3];
      d[0] = src[x * 3 + 2];  // BMP stores blue, green, red
      d[1] = src[x * 3 + 1];
      d[2] = src[x * 3 + 0];
    }
  }
  return pic;
}

const Picture& ControlPicture() {
  static const Picture picture = DecodeBmp24(kPictureBmp, kPictureBmpSize);
  return picture;
}

}  // namespace orvane
