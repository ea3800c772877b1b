// One epoch as gpsd's clients read it: a TPV object, and a SKY object when
// the epoch carried satellites. Only what the receiver sent is written: no
// error modelled from DOPs, nothing gpsd computes from its own models.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "orvane/snapshots.h"

namespace orvane::cli {

// Text gathered for one write: grows as needed, never fills what it reserves.
class TextBuffer {
 public:
  // At least `room` writable bytes at the returned pointer, the end of the text.
  char* Reserve(std::size_t room);
  // The text now ends at `end`, within the last reservation.
  void Commit(const char* end) { size_ = static_cast<std::size_t>(end - data_.get()); }
  std::string_view view() const { return {data_.get(), size_}; }
  std::size_t size() const { return size_; }
  void clear() { size_ = 0; }

 private:
  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// {"class":"TPV",...} and a line feed, appended to `out`.
void AppendGpsdTpv(TextBuffer& out, const Epoch& epoch);
// {"class":"SKY",...} and a line feed, appended to `out`.
void AppendGpsdSky(TextBuffer& out, const Epoch& epoch);
// Whether the epoch carried satellites (GSA or GSV).
bool SkyInEpoch(const Epoch& epoch);
// The epoch's TPV, then its SKY when it carried satellites.
void AppendGpsd(TextBuffer& out, const Epoch& epoch);

std::string GpsdTpv(const Epoch& epoch);
std::string GpsdSky(const Epoch& epoch);

}  // namespace orvane::cli
