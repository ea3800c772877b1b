#include "control/hosting.h"

#include <cstddef>

#include "control/picture.h"

namespace orvane {

std::array<std::uint8_t, 12> ControlHosting::Save() const {
  std::array<std::uint8_t, 12> out{};
  const std::uint32_t words[3] = {kStreamVersion, extent_cx_, extent_cy_};
  for (int w = 0; w < 3; ++w)
    for (int b = 0; b < 4; ++b) out[w * 4 + b] = static_cast<std::uint8_t>(words[w] >> (8 * b));
  return out;
}

HRESULT ControlHosting::Load(std::span<const std::uint8_t> stream) {
  auto word = [&](std::size_t at) {
    std::uint32_t v = 0;
    for (int b = 0; b < 4; ++b) v |= std::uint32_t{stream[at + b]} << (8 * b);
    return v;
  };
  // A short stream is refused whole rather than half read.
  if (stream.size() < 4) return E_FAIL;
  if (word(0) > kStreamVersion) return E_FAIL;
  if (stream.size() < 12) return E_FAIL;
  extent_cx_ = word(4);
  extent_cy_ = word(8);
  return S_OK;
}

HRESULT ControlHosting::Draw(std::uint8_t* rgb, int width, int height, int stride,
                             Rect bounds) const {
  if (rgb == nullptr || width < 0 || height < 0 || stride < width * 3) return E_INVALIDARG;
  const Picture& picture = ControlPicture();
  if (picture.width == 0) return E_FAIL;
  auto put = [&](int x, int y, const std::uint8_t* px) {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    std::uint8_t* d = rgb + static_cast<std::ptrdiff_t>(y) * stride + x * 3;
    d[0] = px[0], d[1] = px[1], d[2] = px[2];
  };
  // The rectangle, with a black pen and a white brush, as a device context
  // has them by default.
  static const std::uint8_t kBlack[3] = {0, 0, 0}, kWhite[3] = {255, 255, 255};
  for (int y = bounds.top; y < bounds.bottom; ++y) {
    for (int x = bounds.left; x < bounds.right; ++x) {
      const bool edge =
          x == bounds.left || y == bounds.top || x == bounds.right - 1 || y == bounds.bottom - 1;
      put(x, y, edge ? kBlack : kWhite);
    }
  }
  // The picture, stretched onto the bounds in each direction independently;
  // each target pixel takes the source pixel it falls on.
  const int w = bounds.right - bounds.left, h = bounds.bottom - bounds.top;
  if (w <= 0 || h <= 0) return S_OK;
  for (int y = 0; y < h; ++y) {
    const int sy = static_cast<int>(static_cast<long long>(y) * picture.height / h);
    for (int x = 0; x < w; ++x) {
      const int sx = static_cast<int>(static_cast<long long>(x) * picture.width / w);
      put(bounds.left + x, bounds.top + y, picture.Pixel(sx, sy));
    }
  }
  return S_OK;
}

}  // namespace orvane
