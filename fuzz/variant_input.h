// A Variant of any type from fuzz bytes: the first byte picks the type, the
// rest becomes its value; arrays nest their elements, cut at 0xFF bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "automation/variant.h"

namespace orvane::fuzz {

template <typename T>
T Take(const std::uint8_t* data, std::size_t size) {
  T value{};
  std::memcpy(&value, data, size < sizeof value ? size : sizeof value);
  return value;
}

inline Variant Build(const std::uint8_t* data, std::size_t size, int depth = 0) {
  if (size == 0) return Variant();
  const std::uint8_t kind = data[0];
  ++data;
  --size;
  switch (kind % 11) {
    case 0: return Variant();
    case 1: return Variant::Null();
    case 2: return Variant::I2(Take<std::int16_t>(data, size));
    case 3: return Variant::I4(Take<std::int32_t>(data, size));
    case 4: return Variant::R8(Take<double>(data, size));
    case 5: return Variant::Date(Take<double>(data, size));
    case 6: return Variant::Text(std::string_view(reinterpret_cast<const char*>(data), size));
    case 7: {
      // Raw UTF-16, lone surrogates and NULs included.
      std::u16string text(size / 2, u'\0');
      std::memcpy(text.data(), data, text.size() * 2);
      return Variant::Bstr(std::move(text));
    }
    case 8: return Variant::Error(Take<std::int32_t>(data, size));
    case 9: return Variant::Bool(size > 0 && data[0] != 0);
    default: {
      std::vector<Variant> elements;
      if (depth < 3) {
        std::size_t start = 0;
        for (std::size_t i = 0; i <= size; ++i) {
          if (i == size || data[i] == 0xFF) {
            elements.push_back(Build(data + start, i - start, depth + 1));
            start = i + 1;
          }
        }
      }
      return Variant::Array(std::move(elements));
    }
  }
}

}  // namespace orvane::fuzz
