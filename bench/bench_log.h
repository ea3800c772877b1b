// What the benchmarks share: the log in memory, a reader that serves it in
// chunks, the floor and the sentence loop.
#pragma once

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "control/event_source.h"
#include "engine/receiver.h"
#include "support/memory_reader.h"

namespace orvane::bench {

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline std::size_t CountLines(const std::string& log) {
  std::size_t c = 0;
  for (char ch : log) c += ch == '\n';
  return c;
}

// The floor: what any NMEA reader must do to every byte. Returns the lines
// whose checksum holds.
inline unsigned SplitAndChecksum(const std::string& log) {
  unsigned accepted = 0;
  const char* p = log.data();
  const char* end = p + log.size();
  while (p < end) {
    const char* lf = static_cast<const char*>(std::memchr(p, '\n', end - p));
    if (lf == nullptr) break;
    const char* star = static_cast<const char*>(std::memchr(p, '*', lf - p));
    unsigned x = 0;
    for (const char* q = p + 1; q < (star ? star : lf); ++q) x ^= static_cast<unsigned char>(*q);
    accepted += star ? (std::strtoul(star + 1, nullptr, 16) == x) : 1;
    p = lf + 1;
  }
  return accepted;
}

// One pass of the sentence loop over the whole log.
inline void RunLoopOnce(Receiver& receiver, const std::string& log, std::size_t chunk) {
  StopEvent stop;
  receiver.ResetLineAssembly();
  auto reader = testing::MemoryReader::InPlace(log, [chunk](std::string_view) { return chunk; });
  while (!reader.drained()) receiver.ProcessAvailableSentences(reader, stop);
  receiver.ProcessAvailableSentences(reader, stop);
}

class CountingSink : public EventSink {
 public:
  HRESULT Invoke(DISPID, std::span<Variant> args) override {
    count += args.size() + 1;
    return S_OK;
  }
  std::size_t count = 0;
};

}  // namespace orvane::bench
