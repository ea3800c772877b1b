// A byte stream served from memory in chunks, the way a source tears it.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/receiver.h"

namespace orvane::testing {

class MemoryReader : public ChunkReader {
 public:
  // Picks the next chunk's length from the bytes still to come (never empty).
  using Sizer = std::function<std::size_t(std::string_view rest)>;

  // Owns `data`; chunk lengths in order, the last repeating (none: all at once).
  MemoryReader(std::string data, std::vector<std::size_t> sizes);
  // Serves `data` in place, which must outlive the reader (a large log is
  // not copied per pass).
  static MemoryReader InPlace(std::string_view data, Sizer sizer);
  MemoryReader(const MemoryReader&) = delete;
  MemoryReader& operator=(const MemoryReader&) = delete;

  int ReadChunk(std::string& pending) override;
  // More bytes at the end of an owned stream.
  void Append(std::string_view more);
  bool drained() const { return pos_ == data_.size(); }

  // Return codes handed out, one per read, before any data; 0 reads on.
  std::deque<int> failures;
  int calls = 0;

 private:
  struct InPlaceTag {};
  MemoryReader(InPlaceTag, std::string_view data, Sizer sizer);

  std::string owned_;
  std::string_view data_;
  Sizer sizer_;
  std::size_t pos_ = 0;
};

}  // namespace orvane::testing
