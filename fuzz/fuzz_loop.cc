// The whole sentence loop: arbitrary bytes, torn into chunks whose sizes come
// from the input, through every handler, with a connected sink so that every
// event's arguments are built and copied.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "control/event_source.h"
#include "engine/receiver.h"
#include "presentation/settings_access.h"

// The automation names (HRESULT, S_OK, VT_*) live in namespace orvane.
using namespace orvane;

namespace {

class Reader : public orvane::ChunkReader {
 public:
  Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  int ReadChunk(std::string& pending) override {
    if (pos_ >= size_) return 0;
    // Each chunk's length is taken from the byte it starts at.
    const std::size_t n = std::min<std::size_t>(size_ - pos_, 1 + data_[pos_] % 97);
    pending.append(reinterpret_cast<const char*>(data_) + pos_, n);
    pos_ += n;
    return 0;
  }
  bool done() const { return pos_ >= size_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

class Sink : public orvane::EventSink {
 public:
  HRESULT Invoke(DISPID, std::span<orvane::Variant> args) override {
    for (const auto& a : args) total += a.vt();
    return S_OK;
  }
  std::size_t total = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  orvane::Settings settings;
  if (size > 0) {
    // The first byte picks the presentation, so formatting paths are reached.
    settings.lat_lon_format = static_cast<std::int16_t>(data[0] % 4);
    settings.speed_units = static_cast<std::int16_t>(data[0] / 4 % 3);
    settings.dist_units = static_cast<std::int16_t>(data[0] / 12 % 4);
    settings.altitude_units = static_cast<std::int16_t>(data[0] / 48 % 2);
    // And the talkers: GP alone (the seeds that start with '$'), every
    // talker, or a list, so the satellite merge of several systems is reached.
    static const char* const kTalkers[] = {"GP", "*", "GP,GN,GL,GA,GB"};
    orvane::PutTalkers(settings, orvane::Variant::Text(kTalkers[data[0] / 96 % 3]));
  }
  orvane::EventSource events;
  auto sink = std::make_shared<Sink>();
  std::uint32_t cookie;
  events.Advise(sink, &cookie, orvane::SinkThreading::kFreeThreaded);
  orvane::Receiver receiver(settings, events);
  orvane::StopEvent stop;
  Reader reader(data, size);
  while (!reader.done()) receiver.ProcessAvailableSentences(reader, stop);
  receiver.ProcessAvailableSentences(reader, stop);
  return 0;
}
