#pragma once
// The fuzzer's bytes read as the values a harness builds from them; past the
// end every read is zero, so a short input still builds something.

#include <cstddef>
#include <cstdint>
#include <string>

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool empty() const { return at_ >= size_; }
  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  int Int(int lo, int hi) { return lo + static_cast<int>(Byte() | (Byte() << 8)) % (hi - lo + 1); }
  std::string Text(std::size_t most) {
    std::string s;
    const std::size_t n = Byte() % (most + 1);
    for (std::size_t i = 0; i < n && !empty(); ++i) s += static_cast<char>(Byte());
    return s;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};
