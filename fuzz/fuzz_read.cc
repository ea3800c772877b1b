// orvane.read's decoder on arbitrary bytes. The first byte picks the
// settings and a chunk length: the log fed in chunks must decode exactly as
// fed whole (a line may end anywhere in a chunk), and every column of a
// table must have one value per row.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "log_decoder.h"

namespace {

template <typename Columns>
std::size_t Rows(const Columns& c);

template <>
std::size_t Rows(const orvane::EpochColumns& c) {
  const std::size_t n = c.time.size();
  for (std::size_t size :
       {c.lat.size(), c.lon.size(), c.alt.size(), c.alt_hae.size(), c.speed.size(), c.course.size(),
        c.heading.size(), c.pdop.size(), c.hdop.size(), c.vdop.size(), c.lat_error.size(),
        c.mode.size(), c.quality.size(), c.satellites_used.size(), c.satellites_in_view.size(),
        c.good.size()}) {
    if (size != n) std::abort();
  }
  return n;
}

template <>
std::size_t Rows(const orvane::SatelliteColumns& c) {
  const std::size_t n = c.time.size();
  for (std::size_t size : {c.prn.size(), c.elevation.size(), c.azimuth.size(), c.snr.size(),
                           c.system.size(), c.used.size()}) {
    if (size != n) std::abort();
  }
  return n;
}

bool SameDoubles(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t mode = data[0];
  const char* log = reinterpret_cast<const char*>(data + 1);
  const std::size_t length = size - 1;
  static const char* const kTalkers[] = {"*", "GP", "GP,GN,GL"};
  const std::string talkers = kTalkers[(mode >> 1) % 3];
  const bool extended = (mode & 1) != 0;
  const std::size_t chunk = 1 + (mode >> 3);

  orvane::LogDecoder whole(talkers, extended);
  whole.Feed(log, length);
  whole.Finish();
  orvane::LogDecoder pieces(talkers, extended);
  for (std::size_t at = 0; at < length; at += chunk)
    pieces.Feed(log + at, std::min(chunk, length - at));
  pieces.Finish();

  const std::size_t epochs = Rows(whole.epochs());
  Rows(whole.satellites());
  if (Rows(pieces.epochs()) != epochs || pieces.epochs().time != whole.epochs().time ||
      !SameDoubles(pieces.epochs().lat, whole.epochs().lat) ||
      !SameDoubles(pieces.epochs().lon, whole.epochs().lon) ||
      pieces.satellites().prn != whole.satellites().prn ||
      pieces.stats().lines != whole.stats().lines ||
      pieces.stats().checksum_dropped != whole.stats().checksum_dropped ||
      pieces.stats().by_row != whole.stats().by_row) {
    std::fprintf(stderr, "fuzz_read: chunks of %zu decode otherwise than the whole log\n", chunk);
    std::abort();
  }
  return 0;
}
