#include "log_decoder.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "control/snapshots.h"
#include "engine/gnss.h"
#include "presentation/settings_access.h"

namespace orvane {
namespace {

// What the engine is handed at a time: no more than its longest line, so a
// line beyond that is dropped as overlong, as a replay drops it.
constexpr std::size_t kFeedBytes = Receiver::kMaxLineBytes;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double Or(const std::optional<double>& v) { return v ? *v : kNaN; }
std::int16_t Or(const std::optional<int>& v) {
  return v ? static_cast<std::int16_t>(*v) : std::int16_t{-1};
}
// datetime64[ns] reaches the years 1678 to 2261; a ZDA may give any year.
std::int64_t Nanoseconds(const std::optional<UtcTime>& t) {
  constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max() / 1'000'000'000;
  if (!t) return kNaT;
  const auto seconds = static_cast<std::int64_t>(t->time_since_epoch().count());
  return seconds > -kLimit && seconds < kLimit ? seconds * 1'000'000'000 : kNaT;
}

}  // namespace

LogDecoder::LogDecoder(const std::string& talkers, bool extended) : receiver_(settings_, events_) {
  if (PutTalkers(settings_, Variant::Text(talkers)) != S_OK) throw std::invalid_argument(talkers);
  settings_.extended_sentences.store(extended);
  receiver_.SetEpochListener(this);
  receiver_.WantEpochs(true);
  const auto rows = Receiver::Sentences();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].identifier == "GSV") gsv_row_ = std::uint64_t{1} << i;
  }
}

void LogDecoder::Feed(const char* data, std::size_t size) {
  while (size > 0) {
    const std::size_t n = std::min(size, kFeedBytes);
    chunk_ = data;
    chunk_size_ = n;
    do {
      receiver_.ProcessAvailableSentences(*this, stop_);
    } while (chunk_size_ > 0 || receiver_.queued_lines() > 0);
    data += n;
    size -= n;
  }
}

void LogDecoder::Finish() {
  if (receiver_.pending_bytes() > 0) Feed("\n", 1);
  receiver_.EndEpoch();
  route_ = SnapshotReader::ReadNavigation(receiver_);
  waypoints_ = SnapshotReader::ReadWaypoints(receiver_);
}

int LogDecoder::ReadChunk(std::string& pending) {
  if (chunk_size_ > 0) pending.append(chunk_, chunk_size_);
  chunk_size_ = 0;
  return 0;
}

void LogDecoder::EpochCompleted(std::uint64_t rows) {
  const Epoch e = SnapshotReader::ReadEpoch(receiver_, rows);
  // The receiver's fraction of a second: a 2 Hz receiver's two epochs in one
  // second are two times.
  std::int64_t t = Nanoseconds(e.time);
  if (t != kNaT) t += std::int64_t{e.milliseconds} * 1'000'000;
  e_.time.push_back(t);
  e_.good.push_back(e.good);
  e_.lat.push_back(Or(e.latitude));
  e_.lon.push_back(Or(e.longitude));
  e_.alt.push_back(Or(e.altitude));
  e_.alt_hae.push_back(Or(e.altitude_hae));
  e_.geoid_height.push_back(Or(e.geoid_height));
  e_.speed.push_back(Or(e.speed));
  e_.course.push_back(Or(e.course));
  e_.magnetic_course.push_back(Or(e.magnetic_course));
  e_.magnetic_variation.push_back(Or(e.magnetic_variation));
  e_.heading.push_back(Or(e.heading));
  e_.mode.push_back(Or(e.mode));
  e_.quality.push_back(Or(e.quality));
  e_.satellites_used.push_back(Or(e.satellites_used));
  e_.satellites_in_view.push_back(Or(e.satellites_in_view));
  e_.pdop.push_back(Or(e.pdop));
  e_.hdop.push_back(Or(e.hdop));
  e_.vdop.push_back(Or(e.vdop));
  e_.lat_error.push_back(Or(e.latitude_error));
  e_.lon_error.push_back(Or(e.longitude_error));
  e_.alt_error.push_back(Or(e.altitude_error));
  // A sky is written once, with the epoch whose GSV completed it.
  if ((rows & gsv_row_) == 0) return;
  for (const Satellite& sat : e.sky.in_sight) {
    s_.time.push_back(t);
    s_.prn.push_back(static_cast<std::int16_t>(sat.number));
    s_.system.push_back(static_cast<std::int8_t>(SystemOfNumber(sat.number)));
    s_.elevation.push_back(Or(sat.elevation));
    s_.azimuth.push_back(Or(sat.azimuth));
    s_.snr.push_back(Or(sat.snr));
    s_.used.push_back(sat.used_in_fix);
  }
}

}  // namespace orvane
