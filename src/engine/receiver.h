// The sentence loop: line assembly, checksum, fields, dispatch to the nine
// handlers, and the events after each line. Runs on the reader thread only.
#pragma once

#include <array>
#include <atomic>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/events.h"
#include "engine/fix_state.h"
#include "engine/navigation_state.h"
#include "engine/satellite_state.h"
#include "engine/sentence.h"
#include "engine/stop_event.h"
#include "engine/talkers.h"
#include "engine/value_format.h"

namespace orvane {

// The device step behind NextLine: appends the bytes newly available (maybe
// none) to `pending` and returns 0, or returns a nonzero failure value.
class ChunkReader {
 public:
  virtual ~ChunkReader() = default;
  virtual int ReadChunk(std::string& pending) = 0;
};

// Which event a sentence's parse step is followed by.
enum class SentenceEvent : std::uint8_t { kFix, kSatellite, kNav, kNone };

// One row per sentence, the one place a sentence is described: its type (the
// three letters after the talker), field count with element 0, parse step,
// event, where its time is and whether ExtendedSentences must be on for it.
// Counters and the summary are sized from the rows. `parse` is Receiver::Call of the state object's
// own handler, made from the table: a row is one line.
class Receiver;
struct SentenceRow {
  std::string_view identifier;
  std::size_t field_count;
  void (Receiver::*parse)(const SentenceFields&);
  SentenceEvent event;
  std::size_t fix_time_field = 0;  // a fix's time of day, or 0
  std::size_t time_field = 0;      // any sentence's time of day, or 0
  bool extended = false;           // read only with ExtendedSentences on
};

// Told on the reader thread when an epoch ends: every sentence with the
// same time of day, an untimed one joining the epoch in progress. It ends
// when the next epoch's first sentence arrives (before that sentence is
// handled, so the state is the epoch's own) or when the source ends.
class EpochListener {
 public:
  // Bit i of `rows`: a sentence of Sentences()[i] was part of it.
  virtual void EpochCompleted(std::uint64_t rows) = 0;

 protected:
  ~EpochListener() = default;
};

namespace testing {
struct ReceiverPeer;
}  // namespace testing

class Receiver {
 public:
  // A line longer than this (without its line feed) is dropped whole: real
  // receivers send at most a few hundred bytes, proprietary ones included.
  static constexpr std::size_t kMaxLineBytes = 64 * 1024;
  // While this many lines wait, NextLine stops reading: the rest stays in the
  // device until the loop catches up.
  static constexpr std::size_t kMaxQueuedLines = 4096;

  Receiver(const ReceiverSettings& settings, EventRaiser& events);

  FixState& fix() { return fix_; }
  const FixState& fix() const { return fix_; }
  SatelliteState& satellites() { return satellites_; }
  const SatelliteState& satellites() const { return satellites_; }
  NavigationState& navigation() { return navigation_; }
  const NavigationState& navigation() const { return navigation_; }
  EventRaiser& events() { return events_; }

  // Empties the line queue and the pending text; each reader does this first.
  void ResetLineAssembly();
  // Handles every complete line available; returns when none is left or
  // `stop` is set (checked after each line).
  void ProcessAvailableSentences(ChunkReader& reader, const StopEvent& stop);
  // Checksum, dispatch, handler event and RawDataReceived for one line
  // without its line feed.
  void HandleLine(std::string_view line);
  // The source has no more bytes: with ExtendedSentences on, a last line
  // ended by a CR alone is complete (it waited for a byte that will not come).
  void EndOfSource();

  std::size_t queued_lines() const { return line_ends_.size() - line_head_; }
  std::size_t pending_bytes() const { return buf_.size() - pending_start_; }

  // Counters for people reading a replay's summary.
  struct Stats {
    std::uint64_t lines = 0;             // handed out, empty ones included
    std::uint64_t checksum_dropped = 0;  // dropped by VerifyChecksum
    std::uint64_t overlong_dropped = 0;  // longer than kMaxLineBytes
    std::vector<std::uint64_t> by_row;   // handled, per row of Sentences()
    std::uint64_t unrecognised = 0;      // accepted lines with no handler
    // The first 32 identifiers counted under unrecognised, with their
    // counts ("$GNRMC", "$PUBX"); an empty line has none.
    static constexpr std::size_t kMaxOtherTypes = 32;
    std::vector<std::pair<std::string, std::uint64_t>> other_types;
    // The first fix sentence ("$GNRMC") whose talker Talkers refused.
    std::string ignored_fix;
  };
  const Stats& stats() const { return stats_; }

  static std::span<const SentenceRow> Sentences();

  // Epochs are followed while a listener wants them or ExtendedSentences is
  // on; the listener must outlive the receiver's use of it.
  void SetEpochListener(EpochListener* listener) { epoch_listener_ = listener; }
  void WantEpochs(bool want) {
    epochs_wanted_.store(want, std::memory_order_relaxed);
    fix_.KeepGgaHdop(want);  // an epoch's HDOP when no GSA gives one
  }
  // What arrives, accepted or not, since the source opened: talkers ("GN,GP")
  // and sentence types ("GGA,RMC,ZDA"), comma-separated in letter order.
  Variant TalkersReceived() const;
  Variant SentenceTypesReceived() const;
  void ForgetReceived();

  // The source ended: the epoch in progress is complete.
  void EndEpoch();
  // Milliseconds past the second of the last completed epoch's time field
  // (hhmmss.ss), 0 when it had none.
  int EpochMilliseconds() const;
  // The DATE FixDateTime held when the last epoch completed, or empty.
  Variant LastEpochTime() const {
    const double t = last_epoch_time_.load(std::memory_order_relaxed);
    return t == t ? Variant::Date(t) : Variant();
  }

  // The row for a sentence identifier ("$GPRMC"), or null when no handler
  // takes it: the talker is matched apart from the sentence type.
  const SentenceRow* FindSentence(std::string_view identifier);

 private:
  friend struct testing::ReceiverPeer;  // reads lines one at a time, and the buffer's size
  struct SentenceTable {
    std::span<const SentenceRow> rows;
    const std::int8_t* slots;  // row index by TypeSlot and probing, or -1
  };
  static SentenceTable Table();
  // Runs a state object's handler: the object is the one of the handler's
  // class, and a handler that takes a SentenceContext gets the line's.
  template <auto Parse>
  void Call(const SentenceFields& f);
  template <class State>
  State& StateObject();
  bool TalkerAccepted(std::string_view talker);
  void Raise(SentenceEvent event);
  void CutLines();
  // Queues the lines that end in the text read; with kMayHoldOverlong, drops
  // those longer than kMaxLineBytes; with kCrEnds, a CR not followed by LF
  // ends a line too.
  template <bool kMayHoldOverlong, bool kCrEnds>
  void CutAtLineFeeds();
  const void* FindLineEnd() const;
  // Reads a chunk, queues the complete lines and hands out the oldest; the
  // view lives until the next read. Returns the lines still queued, or the
  // reader's failure value.
  int NextLine(ChunkReader& reader, std::string_view* line);

  const ReceiverSettings& settings_;
  EventRaiser& events_;
  FixState fix_;
  SatelliteState satellites_;
  NavigationState navigation_;

  // Bytes received and not yet handed out: the queued lines, then the pending
  // text from pending_start_. line_ends_[line_head_..] are the offsets of the
  // queued lines' line feeds.
  std::string buf_;
  std::size_t head_ = 0;
  std::size_t pending_start_ = 0;
  std::size_t scan_pos_ = 0;
  std::vector<std::size_t> line_ends_;
  std::size_t line_head_ = 0;
  bool discarding_ = false;

  SentenceFields fields_;
  // Of the line being handled.
  SentenceContext context_;
  // A timed sentence's time: a new one ends the epoch in progress.
  void FollowEpochTime(std::string_view text);
  // Notes a "$ttsss" identifier's talker and type; the bits are the reader's,
  // the texts are read under the lock.
  void NoteReceived(std::string_view identifier) {
    // The five address bytes: a few dozen identifiers repeat, so a small
    // cache of those already noted answers almost every line.
    std::uint32_t word;
    std::memcpy(&word, identifier.data() + 1, 4);
    const std::uint64_t key = word | std::uint64_t{static_cast<unsigned char>(identifier[5])} << 32;
    std::uint64_t& slot = noted_[(key * 0x9E3779B97F4A7C15ull) >> 58];
    if (slot == key) return;
    slot = key;
    NoteNew(identifier);
  }
  void NoteNew(std::string_view identifier);
  std::uint64_t noted_[64] = {};
  static unsigned Letter(char c) {
    return static_cast<unsigned>(static_cast<unsigned char>(c) - 'A');
  }
  void NoteNewReceived(unsigned talker, unsigned type);
  static constexpr unsigned kLetterPairs = 26 * 26, kLetterTriples = 26 * 26 * 26;
  std::bitset<kLetterPairs> seen_talkers_;
  std::bitset<kLetterTriples> seen_types_;
  mutable std::mutex received_mutex_;
  std::bitset<kLetterPairs> received_talkers_;  // under received_mutex_
  std::bitset<kLetterTriples> received_types_;  // under received_mutex_
  void NoteIgnored(std::string_view identifier);
  static std::string_view FromSentenceStart(std::string_view line);
  // Whether the '$' at `at` opens an address: four to six letters or digits,
  // then a comma, an asterisk or the line's end.
  static bool OpensAddress(std::string_view line, std::size_t at);
  bool WholeSentenceAfterTornOne(std::string_view& line);
  void CountOther(std::string_view identifier);
  EpochListener* epoch_listener_ = nullptr;
  std::atomic<bool> epochs_wanted_{false};
  bool epoch_open_ = false;
  bool epoch_timed_ = false;
  double epoch_time_ = 0.0;
  // The text epoch_time_ was read from: most sentences of an epoch repeat it.
  std::array<char, 16> epoch_time_text_{};
  std::uint8_t epoch_time_text_size_ = 0;
  double ended_epoch_time_ = std::numeric_limits<double>::quiet_NaN();  // NaN: untimed
  std::uint64_t epoch_rows_ = 0;
  std::atomic<double> last_epoch_time_{std::numeric_limits<double>::quiet_NaN()};
  // The reader's copy of the Talkers setting.
  TalkerSet talkers_;
  std::uint32_t talkers_version_ = 0;
  Stats stats_;
};

}  // namespace orvane
