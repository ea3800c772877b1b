#include "engine/receiver.h"

#include <array>
#include <cstring>

#include "automation/codepage.h"

namespace orvane {

namespace {

// $ttsss: a two-letter talker, then the sentence type.
constexpr std::size_t kTalkerLength = 2;
constexpr std::size_t kIdentifierLength = 1 + kTalkerLength + 3;

}  // namespace

// Dispatch goes by the type's letters: a slot per hash value, checked to be
// free of collisions when the table is compiled.
constexpr std::size_t kTypeSlots = 32;
constexpr std::size_t TypeSlot(std::string_view type) {
  return (static_cast<unsigned char>(type[0]) ^ (static_cast<unsigned char>(type[1]) << 1) ^
          static_cast<unsigned char>(type[2])) %
         kTypeSlots;
}

Receiver::SentenceTable Receiver::Table() {
  static constexpr SentenceRow kRows[] = {
      {"RMC", 13, &Receiver::ParseRmc, SentenceEvent::kFix, 1},
      {"GGA", 15, &Receiver::ParseGga, SentenceEvent::kFix, 1},
      {"GLL", 7, &Receiver::ParseGll, SentenceEvent::kFix, 5},
      {"GSA", 18, &Receiver::ParseGsa, SentenceEvent::kSatellite},
      {"GSV", 20, &Receiver::ParseGsv, SentenceEvent::kSatellite},
      {"RMB", 14, &Receiver::ParseRmb, SentenceEvent::kNav},
      {"BOD", 7, &Receiver::ParseBod, SentenceEvent::kNav},
      {"RTE", 14, &Receiver::ParseRte, SentenceEvent::kNav},
      {"WPL", 6, &Receiver::ParseWpl, SentenceEvent::kNone},
  };
  static constexpr auto kSlots = [] {
    std::array<std::int8_t, kTypeSlots> slots{};
    slots.fill(-1);
    for (std::size_t i = 0; i < std::size(kRows); ++i) {
      if (kRows[i].identifier.size() != 3) throw "a sentence type has three letters";
      std::int8_t& slot = slots[TypeSlot(kRows[i].identifier)];
      if (slot >= 0) throw "two sentence types share a slot: change TypeSlot";
      slot = static_cast<std::int8_t>(i);
    }
    return slots;
  }();
  return {kRows, kSlots.data()};
}

std::span<const SentenceRow> Receiver::Sentences() { return Table().rows; }

Receiver::Receiver(const ReceiverSettings& settings, EventRaiser& events)
    : settings_(settings), events_(events), fix_(settings), navigation_(settings) {
  stats_.by_row.assign(Sentences().size(), 0);
}

void Receiver::ResetLineAssembly() {
  buf_.clear();
  head_ = pending_start_ = scan_pos_ = 0;
  line_ends_.clear();
  line_head_ = 0;
  discarding_ = false;
}

template <bool kMayHoldOverlong>
[[gnu::always_inline]] inline void Receiver::CutAtLineFeeds() {
  while (scan_pos_ < buf_.size()) {
    const void* hit = std::memchr(buf_.data() + scan_pos_, '\n', buf_.size() - scan_pos_);
    if (hit == nullptr) {
      scan_pos_ = buf_.size();
      break;
    }
    std::size_t lf = static_cast<std::size_t>(static_cast<const char*>(hit) - buf_.data());
    if constexpr (kMayHoldOverlong) {
      if (discarding_ || lf - pending_start_ > kMaxLineBytes) {
        // The rest of an overlong line, or all of it: drop it with its line feed.
        if (!discarding_) ++stats_.overlong_dropped;
        discarding_ = false;
        buf_.erase(pending_start_, lf + 1 - pending_start_);
        scan_pos_ = pending_start_;
        continue;
      }
    }
    line_ends_.push_back(lf);
    pending_start_ = scan_pos_ = lf + 1;
  }
}

// A line longer than the bound is dropped whole, however its bytes were cut
// into chunks: one that ends in this read is dropped at its line feed, one
// still open once it passes the bound, and the rest of it at its line feed.
void Receiver::CutLines() {
  // Only text past the bound, or the rest of a line being dropped, can hold
  // an overlong line: normal reads cut without testing any length.
  if (!discarding_ && buf_.size() - pending_start_ <= kMaxLineBytes) return CutAtLineFeeds<false>();
  CutAtLineFeeds<true>();
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

bool Receiver::TalkerAccepted(std::string_view talker) {
  const std::uint32_t version = settings_.talkers_version.load(std::memory_order_acquire);
  if (version != talkers_version_) {
    std::lock_guard<std::mutex> lock(settings_.talkers_mutex);
    talkers_ = settings_.talkers;
    talkers_version_ = settings_.talkers_version.load(std::memory_order_relaxed);
    several_systems_ = !talkers_.GpOnly();
  }
  return talkers_.Accepts(talker);
}

const SentenceRow* Receiver::FindSentence(std::string_view identifier) {
  if (identifier.size() != kIdentifierLength || identifier[0] != '$') return nullptr;
  talker_ = identifier.substr(1, kTalkerLength);
  if (!TalkerAccepted(talker_)) return nullptr;
  const std::string_view type = identifier.substr(1 + kTalkerLength);
  const SentenceTable table = Table();
  const int slot = table.slots[TypeSlot(type)];
  if (slot < 0 || table.rows[static_cast<std::size_t>(slot)].identifier != type) return nullptr;
  return &table.rows[static_cast<std::size_t>(slot)];
}

void Receiver::HandleLine(std::string_view line) {
  ++stats_.lines;
  if (!SplitVerifiedFields(line, fields_)) {
    ++stats_.checksum_dropped;
    return;
  }
  const SentenceRow* row = fields_.empty() ? nullptr : FindSentence(fields_[0]);
  if (row != nullptr) {
    received_field_count_ = fields_.size();
    received_last_field_ = fields_.back();
    NormalizeFieldCount(fields_, row->field_count);
    if (several_systems_ && row->fix_time_field != 0) satellites_.MarkFix(fields_[row->fix_time_field]);
    (this->*row->parse)(fields_);
    Raise(row->event);
    ++stats_.by_row[static_cast<std::size_t>(row - Sentences().data())];
  } else {
    ++stats_.unrecognised;
  }
  if (events_.HasSinks()) {
    events_.FireRawDataReceived(AnsiToUtf16(line), static_cast<std::int32_t>(line.size()));
  }
}

void Receiver::ParseGsa(const SentenceFields& f) {
  if (!several_systems_) return satellites_.ParseGsa(f);
  // NMEA 4.10: the system id follows the VDOP, beyond the field count.
  satellites_.ParseGsaSystem(f, talker_, received_field_count_ == 19 ? received_last_field_ : std::string_view());
}

void Receiver::ParseGsv(const SentenceFields& f) {
  const std::size_t blocks_end = GsvBlocksEnd(received_field_count_);
  if (!several_systems_) return satellites_.ParseGsv(f, blocks_end);
  const bool has_signal = blocks_end != static_cast<std::size_t>(-1);
  satellites_.ParseGsvSystem(f, talker_, has_signal ? received_last_field_ : std::string_view(), blocks_end);
}

// Each parse step stores its results, then its row's event is raised once.
void Receiver::Raise(SentenceEvent event) {
  if (!events_.HasSinks()) return;
  switch (event) {
    case SentenceEvent::kFix: events_.FireFixUpdate(fix_); break;
    case SentenceEvent::kSatellite: events_.FireSatelliteUpdate(satellites_); break;
    case SentenceEvent::kNav: events_.FireNavUpdate(navigation_); break;
    case SentenceEvent::kNone: break;
  }
}

}  // namespace orvane
