// The whole sentence loop: arbitrary bytes, torn into chunks whose sizes come
// from the input, through every handler, with a connected sink so that every
// event's arguments are built and copied; then the fast paths against the
// plain ones on the same lines. Where the command is built, every epoch is
// written as gpsd's JSON too, which must stay JSON whatever the receiver sent.
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "control/event_source.h"
#include "engine/numbers.h"
#include "engine/receiver.h"
#include "engine/sentence.h"
#include "presentation/settings_access.h"
#include "support/memory_reader.h"
#if ORVANE_FUZZ_GPSD
#include "control/snapshots.h"
#include "gpsd_json.h"
#endif

// The automation names (HRESULT, S_OK, VT_*) live in namespace orvane.
using namespace orvane;

namespace {

// The text as the states store it ("003.1 W" when `letter` is given), read
// back the way the typed numbers beside it must agree with.
std::optional<double> StoredTextNumber(std::string_view field, const char* letter) {
  std::string bytes(field);
  if (letter != nullptr) bytes.append(1, ' ').append(1, *letter);
  const std::string text = orvane::Variant::Ansi(bytes).ToUtf8();
  if (letter != nullptr && text.size() < 3) return std::nullopt;
  // With a letter, the number must end where " L" starts.
  const char* end = text.data() + text.size() - (letter != nullptr ? 2 : 0);
  double value = 0.0;
  const auto [stop, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || stop == text.data() || (letter != nullptr && stop != end)) {
    return std::nullopt;
  }
  return value;
}

bool SameNumber(std::optional<double> a, std::optional<double> b) {
  return a.has_value() == b.has_value() && (!a || std::memcmp(&*a, &*b, sizeof(double)) == 0);
}

class Sink : public orvane::EventSink {
 public:
  HRESULT Invoke(DISPID, std::span<orvane::Variant> args) override {
    for (const auto& a : args) total += a.vt();
    return S_OK;
  }
  std::size_t total = 0;
};

// The faster ways against the plain ones, on every line of the input: the
// splitter this build takes against the reference, and the coordinate read
// against its two decimal reads.
void CheckFastPaths(std::string_view input) {
  orvane::SentenceFields fast, reference;
  while (!input.empty()) {
    const std::size_t lf = input.find('\n');
    std::string_view a = input.substr(0, lf), b = a;
    input = lf == std::string_view::npos ? std::string_view() : input.substr(lf + 1);
    const bool ok = orvane::SplitVerifiedFields(a, fast);
    if (ok != orvane::SplitVerifiedFieldsReference(b, reference) || a != b ||
        (ok && !(fast == reference))) {
      std::abort();
    }
    if (!ok) continue;
    for (std::size_t i = 0; i + 1 < fast.size(); ++i) {
      // A field and the next one's first byte as a number and its letter.
      const std::string_view field = fast[i];
      if (!SameNumber(orvane::ReadLeadingNumber(field), StoredTextNumber(field, nullptr))) {
        std::abort();
      }
      if (fast[i + 1].size() != 1 || field.empty()) continue;
      const char letter = fast[i + 1][0];
      if (!SameNumber(orvane::ReadNumberBeforeLetter(field, letter),
                      StoredTextNumber(field, &letter))) {
        std::abort();
      }
    }
    for (std::string_view field : fast) {
      double degrees = 0, minutes = 0;
      const std::size_t point = field.find('.');
      if (orvane::ReadDegreesMinutes(field, &degrees, &minutes) !=
          (point != std::string_view::npos && point >= 2)) {
        std::abort();
      }
      if (point == std::string_view::npos || point < 2) continue;
      const double want_degrees = orvane::ReadDouble(field.substr(0, point - 2));
      const double want_minutes = orvane::ReadDouble(field.substr(point - 2));
      if (std::memcmp(&degrees, &want_degrees, sizeof degrees) != 0 ||
          std::memcmp(&minutes, &want_minutes, sizeof minutes) != 0) {
        std::abort();
      }
    }
  }
}

#if ORVANE_FUZZ_GPSD
// Every line a whole object; outside the two strings (class and time) only
// numbers, true and false: no nan or inf slips in.
void CheckGpsdLines(std::string_view text) {
  while (!text.empty()) {
    const std::size_t lf = text.find('\n');
    if (lf == std::string_view::npos || text[0] != '{' || text[lf - 1] != '}') std::abort();
    int depth = 0;
    bool in_string = false;
    for (std::size_t i = 0; i < lf; ++i) {
      const char c = text[i];
      if (in_string) {
        if (static_cast<unsigned char>(c) < 0x20 || c == '\\') std::abort();
        in_string = c != '"';
      } else if (c == '"') {
        in_string = true;
      } else if (c == '{' || c == '[') {
        ++depth;
      } else if (c == '}' || c == ']') {
        if (--depth < 0) std::abort();
      } else if (text.substr(i, 4) == "true") {
        i += 3;
      } else if (text.substr(i, 5) == "false") {
        i += 4;
      } else if (c == '\0' || std::strchr("0123456789-.e+,:", c) == nullptr) {
        std::abort();
      }
    }
    if (depth != 0 || in_string) std::abort();
    text.remove_prefix(lf + 1);
  }
}

struct GpsdWriter final : orvane::EpochListener {
  void EpochCompleted(std::uint64_t rows) override {
    orvane::cli::TextBuffer out;
    orvane::cli::AppendGpsd(out, orvane::SnapshotReader::ReadEpoch(*receiver, rows));
    CheckGpsdLines(out.view());
  }
  const orvane::Receiver* receiver = nullptr;
};
#endif

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
    // The sentences beyond the nine, unless the input starts with a line.
    settings.extended_sentences = data[0] != '$';
  }
  orvane::EventSource events;
  auto sink = std::make_shared<Sink>();
  std::uint32_t cookie;
  events.Advise(sink, &cookie, orvane::SinkThreading::kFreeThreaded);
  orvane::Receiver receiver(settings, events);
  orvane::StopEvent stop;
#if ORVANE_FUZZ_GPSD
  GpsdWriter gpsd;
  gpsd.receiver = &receiver;
  receiver.SetEpochListener(&gpsd);
  receiver.WantEpochs(true);
#endif
  // Each chunk's length is taken from the byte it starts at.
  auto reader = orvane::testing::MemoryReader::InPlace(
      std::string_view(reinterpret_cast<const char*>(data), size),
      [](std::string_view rest) { return 1 + static_cast<unsigned char>(rest[0]) % 97u; });
  while (!reader.drained()) receiver.ProcessAvailableSentences(reader, stop);
  receiver.ProcessAvailableSentences(reader, stop);
  // The input ends as a file does: a last line ended by CR alone, the last epoch.
  receiver.EndOfSource();
  receiver.EndEpoch();
  CheckFastPaths(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
