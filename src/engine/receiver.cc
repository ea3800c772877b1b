#include "engine/receiver.h"

#include <cstring>

#include "automation/codepage.h"

namespace orvane {

const std::vector<SentenceRow>& Receiver::Sentences() {
  static const std::vector<SentenceRow> kRows = {
      {"$GPRMC", 13, &Receiver::HandleRmc}, {"$GPGGA", 15, &Receiver::HandleGga},
      {"$GPGLL", 7, &Receiver::HandleGll},  {"$GPGSA", 18, &Receiver::HandleGsa},
      {"$GPGSV", 20, &Receiver::HandleGsv}, {"$GPRMB", 14, &Receiver::HandleRmb},
      {"$GPBOD", 7, &Receiver::HandleBod},  {"$GPRTE", 14, &Receiver::HandleRte},
      {"$GPWPL", 6, &Receiver::HandleWpl},
  };
  return kRows;
}

Receiver::Receiver(const Settings& settings, EventRaiser& events)
    : events_(events), fix_(settings), navigation_(settings) {}

void Receiver::ResetLineAssembly() {
  buf_.clear();
  head_ = pending_start_ = scan_pos_ = 0;
  line_ends_.clear();
  line_head_ = 0;
  discarding_ = false;
}

void Receiver::CutLines() {
  while (scan_pos_ < buf_.size()) {
    const void* hit = std::memchr(buf_.data() + scan_pos_, '\n', buf_.size() - scan_pos_);
    if (hit == nullptr) {
      scan_pos_ = buf_.size();
      break;
    }
    std::size_t lf = static_cast<std::size_t>(static_cast<const char*>(hit) - buf_.data());
    if (discarding_) {
      // The rest of an overlong line: drop it with its line feed.
      buf_.erase(pending_start_, lf + 1 - pending_start_);
      scan_pos_ = pending_start_;
      discarding_ = false;
      continue;
    }
    line_ends_.push_back(lf);
    pending_start_ = scan_pos_ = lf + 1;
  }
  if (discarding_) {
    buf_.resize(pending_start_);
    scan_pos_ = pending_start_;
  } else if (buf_.size() - pending_start_ > kMaxLineBytes) {
    buf_.resize(pending_start_);
    scan_pos_ = pending_start_;
    discarding_ = true;
    ++stats_.overlong_dropped;
  }
}

int Receiver::ReadLine(ChunkReader& reader, std::string& line) {
  std::string_view view;
  const int rc = NextLine(reader, &view);
  if (view.data() != nullptr) line.assign(view);
  return rc;
}

int Receiver::NextLine(ChunkReader& reader, std::string_view* line) {
  *line = std::string_view();
  // The line handed out last is behind head_: the buffer may move now. With
  // lines still queued, move only once the handed-out part dominates, so a
  // reader that stays ahead of the loop costs no more than one copy per byte.
  if (head_ != 0 && (line_head_ == line_ends_.size() || (head_ >= 4096 && head_ * 2 >= buf_.size()))) {
    buf_.erase(0, head_);
    line_ends_.erase(line_ends_.begin(), line_ends_.begin() + static_cast<std::ptrdiff_t>(line_head_));
    for (std::size_t& end : line_ends_) end -= head_;
    line_head_ = 0;
    pending_start_ -= head_;
    scan_pos_ -= head_;
    head_ = 0;
  }
  if (queued_lines() < kMaxQueuedLines) {
    const int rc = reader.ReadChunk(buf_);
    if (rc != 0) {
      // The reader may have appended before failing; keep what it gave.
      CutLines();
      return rc;
    }
    CutLines();
  }
  if (line_head_ == line_ends_.size()) return 0;
  const std::size_t end = line_ends_[line_head_++];
  *line = std::string_view(buf_.data() + head_, end - head_);
  head_ = end + 1;
  return static_cast<int>(line_ends_.size() - line_head_);
}

void Receiver::ProcessAvailableSentences(ChunkReader& reader, const StopEvent& stop) {
  while (true) {
    std::string_view line;
    const int remaining = NextLine(reader, &line);
    if (!line.empty()) HandleLine(line);
    if (remaining == 0) return;
    if (stop.IsSet()) return;
  }
}

void Receiver::HandleLine(std::string_view line) {
  ++stats_.lines;
  if (!VerifyChecksum(line)) {
    ++stats_.checksum_dropped;
    return;
  }
  SplitFields(line, fields_);
  const auto& rows = Sentences();
  bool handled = false;
  if (!fields_.empty()) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (fields_[0] != rows[i].identifier) continue;
      NormalizeFieldCount(fields_, rows[i].field_count);
      (this->*rows[i].handle)(fields_);
      ++stats_.by_row[i];
      handled = true;
      break;
    }
  }
  if (!handled) ++stats_.unrecognised;
  if (events_.HasSinks()) {
    events_.FireRawDataReceived(AnsiToUtf16(line), static_cast<std::int32_t>(line.size()));
  }
}

void Receiver::RaiseFixUpdate() {
  if (events_.HasSinks()) events_.FireFixUpdate(fix_.UpdateArgs());
}
void Receiver::RaiseSatelliteUpdate() {
  if (events_.HasSinks()) events_.FireSatelliteUpdate(satellites_.UpdateArgs());
}
void Receiver::RaiseNavUpdate() {
  if (events_.HasSinks()) events_.FireNavUpdate(navigation_.UpdateArgs());
}

// Each handler step stores its results, then raises its row's event once.
void Receiver::HandleRmc(const SentenceFields& f) {
  fix_.ParseRmc(f);
  RaiseFixUpdate();
}
void Receiver::HandleGga(const SentenceFields& f) {
  fix_.ParseGga(f);
  RaiseFixUpdate();
}
void Receiver::HandleGll(const SentenceFields& f) {
  fix_.ParseGll(f);
  RaiseFixUpdate();
}
void Receiver::HandleGsa(const SentenceFields& f) {
  satellites_.ParseGsa(f);
  RaiseSatelliteUpdate();
}
void Receiver::HandleGsv(const SentenceFields& f) {
  satellites_.ParseGsv(f);
  RaiseSatelliteUpdate();
}
void Receiver::HandleRmb(const SentenceFields& f) {
  navigation_.ParseRmb(f);
  RaiseNavUpdate();
}
void Receiver::HandleBod(const SentenceFields& f) {
  navigation_.ParseBod(f);
  RaiseNavUpdate();
}
void Receiver::HandleRte(const SentenceFields& f) {
  navigation_.ParseRte(f);
  RaiseNavUpdate();
}
void Receiver::HandleWpl(const SentenceFields& f) { navigation_.ParseWpl(f); }

}  // namespace orvane
