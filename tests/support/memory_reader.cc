#include "support/memory_reader.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace orvane::testing {

MemoryReader::MemoryReader(std::string data, std::vector<std::size_t> sizes)
    : owned_(std::move(data)) {
  data_ = owned_;
  if (sizes.empty()) {
    sizer_ = [](std::string_view rest) { return rest.size(); };
  } else {
    auto index = std::make_shared<std::size_t>(0);
    sizer_ = [sizes = std::move(sizes), index](std::string_view) {
      return sizes[std::min((*index)++, sizes.size() - 1)];
    };
  }
}

MemoryReader::MemoryReader(InPlaceTag, std::string_view data, Sizer sizer)
    : data_(data), sizer_(std::move(sizer)) {}

MemoryReader MemoryReader::InPlace(std::string_view data, Sizer sizer) {
  return MemoryReader(InPlaceTag{}, data, std::move(sizer));
}

int MemoryReader::ReadChunk(std::string& pending) {
  ++calls;
  if (!failures.empty()) {
    const int rc = failures.front();
    failures.pop_front();
    if (rc != 0) return rc;
  }
  const std::string_view rest = data_.substr(pos_);
  if (rest.empty()) return 0;
  const std::size_t n = std::min(sizer_(rest), rest.size());
  pending.append(rest.data(), n);
  pos_ += n;
  return 0;
}

void MemoryReader::Append(std::string_view more) {
  owned_.append(more);
  data_ = owned_;
}

}  // namespace orvane::testing
