#include "engine/receiver.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <new>
#include <type_traits>

#include "automation/codepage.h"
#include "engine/numbers.h"

namespace orvane {

namespace {

// $ttsss: a two-letter talker, then the sentence type.
constexpr std::size_t kTalkerLength = 2;
constexpr std::size_t kIdentifierLength = 1 + kTalkerLength + 3;

}  // namespace

// Dispatch goes by the type's three letters: an open-addressed table built
// when the program is compiled, so a new row needs no tuning.
constexpr std::size_t kTypeSlots = 64;
constexpr std::size_t TypeSlot(std::string_view type) {
  const std::uint32_t key = static_cast<unsigned char>(type[0]) |
                            static_cast<unsigned char>(type[1]) << 8 |
                            static_cast<unsigned char>(type[2]) << 16;
  return (key * 0x9E3779B1u) >> (32 - 6);
}
static_assert(kTypeSlots == std::size_t{1} << 6);

template <class State>
State& Receiver::StateObject() {
  if constexpr (std::is_same_v<State, FixState>) {
    return fix_;
  } else if constexpr (std::is_same_v<State, SatelliteState>) {
    return satellites_;
  } else {
    static_assert(std::is_same_v<State, NavigationState>);
    return navigation_;
  }
}

namespace {
template <class C, class... A>
C ClassOf(void (C::*)(A...));
}  // namespace

template <auto Parse>
void Receiver::Call(const SentenceFields& f) {
  auto& state = StateObject<decltype(ClassOf(Parse))>();
  if constexpr (std::is_invocable_v<decltype(Parse), decltype(state), const SentenceFields&,
                                    const SentenceContext&>) {
    (state.*Parse)(f, context_);
  } else {
    (state.*Parse)(f);
  }
}

// The handler of a row: one overload of the state object's, picked by its
// signature.
#define ORVANE_HANDLER(State, Name, ...) \
  &Receiver::Call<static_cast<void (State::*)(__VA_ARGS__)>(&State::Name)>

Receiver::SentenceTable Receiver::Table() {
  static constexpr SentenceRow kRows[] = {
      {"RMC", 13, &Receiver::Call<&FixState::ParseRmc>, SentenceEvent::kFix, 1, 1},
      {"GGA", 15, &Receiver::Call<&FixState::ParseGga>, SentenceEvent::kFix, 1, 1},
      {"GLL", 7, &Receiver::Call<&FixState::ParseGll>, SentenceEvent::kFix, 5, 5},
      {"GSA", 18,
       ORVANE_HANDLER(SatelliteState, ParseGsa, const SentenceFields&, const SentenceContext&),
       SentenceEvent::kSatellite},
      {"GSV", 20,
       ORVANE_HANDLER(SatelliteState, ParseGsv, const SentenceFields&, const SentenceContext&),
       SentenceEvent::kSatellite},
      {"RMB", 14, &Receiver::Call<&NavigationState::ParseRmb>, SentenceEvent::kNav},
      {"BOD", 7, &Receiver::Call<&NavigationState::ParseBod>, SentenceEvent::kNav},
      {"RTE", 14, &Receiver::Call<&NavigationState::ParseRte>, SentenceEvent::kNav},
      {"WPL", 6, &Receiver::Call<&NavigationState::ParseWpl>, SentenceEvent::kNone},
      {"VTG", 10, &Receiver::Call<&FixState::ParseVtg>, SentenceEvent::kFix, 0, 0, true},
      {"ZDA", 7, &Receiver::Call<&FixState::ParseZda>, SentenceEvent::kFix, 0, 1, true},
      {"GNS", 14, &Receiver::Call<&FixState::ParseGns>, SentenceEvent::kFix, 1, 1, true},
      {"GST", 9, &Receiver::Call<&FixState::ParseGst>, SentenceEvent::kNone, 0, 1, true},
      {"HDT", 3, &Receiver::Call<&FixState::ParseHdt>, SentenceEvent::kNone, 0, 0, true},
      {"HDG", 6, &Receiver::Call<&FixState::ParseHdg>, SentenceEvent::kNone, 0, 0, true},
      {"THS", 3, &Receiver::Call<&FixState::ParseThs>, SentenceEvent::kNone, 0, 0, true},
      {"GBS", 11, &Receiver::Call<&FixState::ParseGbs>, SentenceEvent::kNone, 0, 1, true},
      {"TXT", 5, &Receiver::Call<&FixState::ParseTxt>, SentenceEvent::kNone, 0, 0, true},
  };
  static_assert(std::size(kRows) <= 64, "epochs mark their rows in 64 bits");
  static constexpr auto kSlots = [] {
    static_assert(std::size(kRows) * 2 <= kTypeSlots,
                  "keep the table at most half full: double kTypeSlots");
    std::array<std::int8_t, kTypeSlots> slots{};
    slots.fill(-1);
    for (std::size_t i = 0; i < std::size(kRows); ++i) {
      if (kRows[i].identifier.size() != 3) throw "a sentence type has three letters";
      std::size_t at = TypeSlot(kRows[i].identifier);
      while (slots[at] >= 0) {
        if (kRows[static_cast<std::size_t>(slots[at])].identifier == kRows[i].identifier)
          throw "a type listed twice";
        at = (at + 1) % kTypeSlots;
      }
      slots[at] = static_cast<std::int8_t>(i);
    }
    return slots;
  }();
  return {kRows, kSlots.data()};
}

#undef ORVANE_HANDLER

std::span<const SentenceRow> Receiver::Sentences() { return Table().rows; }

Receiver::Receiver(const ReceiverSettings& settings, EventRaiser& events)
    : settings_(settings), events_(events), fix_(settings), navigation_(settings) {
  stats_.by_row.assign(Sentences().size(), 0);
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
    context_.several_systems = !talkers_.GpOnly();
  }
  return talkers_.Accepts(talker);
}

const SentenceRow* Receiver::FindSentence(std::string_view identifier) {
  if (identifier.size() != kIdentifierLength || identifier[0] != '$') return nullptr;
  NoteReceived(identifier);
  context_.talker = identifier.substr(1, kTalkerLength);
  if (!TalkerAccepted(context_.talker)) {
    if (stats_.ignored_fix.empty()) NoteIgnored(identifier);
    return nullptr;
  }
  const std::string_view type = identifier.substr(1 + kTalkerLength);
  const SentenceTable table = Table();
  for (std::size_t at = TypeSlot(type);; at = (at + 1) % kTypeSlots) {
    const int slot = table.slots[at];
    if (slot < 0) return nullptr;
    const SentenceRow& row = table.rows[static_cast<std::size_t>(slot)];
    if (row.identifier != type) continue;
    if (row.extended && !settings_.extended_sentences.load(std::memory_order_relaxed))
      return nullptr;
    return &row;
  }
}

namespace {

// Whether a field equals the stored text, sized 1-16: two word compares where
// they fit, as most times of day are 9 or 10 characters.
bool SameTimeText(std::string_view text, const std::array<char, 16>& stored, std::size_t size) {
  if (text.size() != size) return false;
  if (size < 8) return std::memcmp(text.data(), stored.data(), size) == 0;
  std::uint64_t a, b, c, d;
  std::memcpy(&a, text.data(), 8);
  std::memcpy(&b, stored.data(), 8);
  std::memcpy(&c, text.data() + size - 8, 8);
  std::memcpy(&d, stored.data() + size - 8, 8);
  return a == b && c == d;
}

}  // namespace

void Receiver::HandleLine(std::string_view line) {
  ++stats_.lines;
  // With ExtendedSentences on, a line is read from its first '$' that opens
  // an address ("$$GNRMC", as the ST Teseo writes; binary messages before
  // a sentence on one line, as some Quectels send).
  if (!line.empty() && (line[0] != '$' || (line.size() > 1 && line[1] == '$')) &&
      settings_.extended_sentences.load(std::memory_order_relaxed)) {
    line = FromSentenceStart(line);
  }
  const std::string_view whole = line;
  if (!SplitVerifiedFields(line, fields_)) {
    line = whole;  // the failed split may have cut the checksum off
    if (!WholeSentenceAfterTornOne(line)) {
      ++stats_.checksum_dropped;
      return;
    }
  }
  const SentenceRow* row = fields_.empty() ? nullptr : FindSentence(fields_[0]);
  if (row != nullptr) {
    context_.received_field_count = fields_.size();
    context_.received_last_field = fields_.back();
    NormalizeFieldCount(fields_, row->field_count);
    if (context_.several_systems && row->fix_time_field != 0)
      satellites_.MarkFix(fields_[row->fix_time_field]);
    const auto index = static_cast<std::size_t>(row - Sentences().data());
    if (epochs_wanted_.load(std::memory_order_relaxed) || row->extended ||
        settings_.extended_sentences.load(std::memory_order_relaxed)) {
      // Most rows carry no time: only a timed one leaves this line.
      if (row->time_field != 0 && !fields_[row->time_field].empty()) {
        const std::string_view text = fields_[row->time_field];
        // The epoch's time again, as most of its sentences give it (a NaN
        // time is never the same time, so it takes the long way).
        if (epoch_time_ == epoch_time_ &&
            SameTimeText(text, epoch_time_text_, epoch_time_text_size_)) {
          epoch_timed_ = true;
        } else {
          FollowEpochTime(text);
        }
      }
      epoch_open_ = true;
      epoch_rows_ |= std::uint64_t{1} << index;
    }
    (this->*row->parse)(fields_);
    Raise(row->event);
    ++stats_.by_row[index];
  } else {
    ++stats_.unrecognised;
    if (!fields_.empty()) CountOther(fields_[0]);
  }
  if (events_.HasSinks()) {
    events_.FireRawDataReceived(AnsiToUtf16(line), static_cast<std::int32_t>(line.size()));
  }
}

// A sentence cut short, then a whole one on the same line (a receiver's
// buffer overrun: "$GPGSV,2,1,07,19,25,189,51,09,,,00,22$GPGGA,...*61"):
// with ExtendedSentences on, the whole one is read.
bool Receiver::WholeSentenceAfterTornOne(std::string_view& line) {
  if (!settings_.extended_sentences.load(std::memory_order_relaxed)) return false;
  for (std::size_t at = line.find('$', 1); at != std::string_view::npos;
       at = line.find('$', at + 1)) {
    if (!OpensAddress(line, at)) continue;
    std::string_view rest = line.substr(at);
    if (SplitVerifiedFields(rest, fields_)) {
      line = rest;
      return true;
    }
  }
  return false;
}

bool Receiver::OpensAddress(std::string_view line, std::size_t at) {
  const auto address = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); };
  std::size_t end = at + 1;
  while (end < line.size() && end - at <= 6 && address(line[end])) ++end;
  const std::size_t letters = end - at - 1;
  return letters >= 4 && letters <= 6 &&
         (end == line.size() || line[end] == ',' || line[end] == '*');
}

std::string_view Receiver::FromSentenceStart(std::string_view line) {
  for (std::size_t at = line.find('$'); at != std::string_view::npos; at = line.find('$', at + 1)) {
    if (OpensAddress(line, at)) return line.substr(at);
  }
  return line;
}

void Receiver::NoteNew(std::string_view identifier) {
  const unsigned a = Letter(identifier[1]), b = Letter(identifier[2]);
  const unsigned c = Letter(identifier[3]), d = Letter(identifier[4]), e = Letter(identifier[5]);
  const unsigned t = a < 26 && b < 26 ? a * 26 + b : kLetterPairs;
  const unsigned s = c < 26 && d < 26 && e < 26 ? (c * 26 + d) * 26 + e : kLetterTriples;
  const bool new_talker = t < kLetterPairs && !seen_talkers_.test(t);
  const bool new_type = s < kLetterTriples && !seen_types_.test(s);
  if (new_talker || new_type) NoteNewReceived(t, s);
}

void Receiver::NoteNewReceived(unsigned talker, unsigned type) {
  std::lock_guard<std::mutex> lock(received_mutex_);
  if (talker < kLetterPairs) seen_talkers_.set(talker), received_talkers_.set(talker);
  if (type < kLetterTriples) seen_types_.set(type), received_types_.set(type);
}

void Receiver::ForgetReceived() {
  std::lock_guard<std::mutex> lock(received_mutex_);
  std::fill(std::begin(noted_), std::end(noted_), 0);
  seen_talkers_.reset();
  seen_types_.reset();
  received_talkers_.reset();
  received_types_.reset();
}

namespace {
// The set bits as letters, comma-separated: two or three per entry.
template <std::size_t N>
Variant LetterList(const std::bitset<N>& bits, int letters) {
  std::string text;
  for (std::size_t i = 0; i < N; ++i) {
    if (!bits.test(i)) continue;
    if (!text.empty()) text += ',';
    char out[3];
    std::size_t rest = i;
    for (int k = letters - 1; k >= 0; --k) {
      out[k] = static_cast<char>('A' + rest % 26);
      rest /= 26;
    }
    text.append(out, static_cast<std::size_t>(letters));
  }
  return Variant::Ansi(text);
}
}  // namespace

Variant Receiver::TalkersReceived() const {
  std::lock_guard<std::mutex> lock(received_mutex_);
  return LetterList(received_talkers_, 2);
}

Variant Receiver::SentenceTypesReceived() const {
  std::lock_guard<std::mutex> lock(received_mutex_);
  return LetterList(received_types_, 3);
}

void Receiver::NoteIgnored(std::string_view identifier) {
  const std::string_view type = identifier.substr(1 + kTalkerLength);
  for (const SentenceRow& row : Sentences()) {
    if (row.identifier == type && row.fix_time_field != 0) {
      try {
        stats_.ignored_fix.assign(identifier);
      } catch (const std::bad_alloc&) {
      }
      return;
    }
  }
}

void Receiver::CountOther(std::string_view identifier) {
  auto& other = stats_.other_types;
  for (auto& [name, count] : other) {
    if (name == identifier) {
      ++count;
      return;
    }
  }
  // Garbage must not fill the list: identifiers are short and printable.
  if (other.size() >= Stats::kMaxOtherTypes || identifier.empty() || identifier.size() > 8) return;
  for (char c : identifier) {
    if (c <= ' ' || c > '~') return;
  }
  try {
    other.emplace_back(std::string(identifier), 1);
  } catch (const std::bad_alloc&) {
  }
}

// Reached only when the text differs from the epoch's, or the epoch's time
// is NaN (which its text reads as again).
void Receiver::FollowEpochTime(std::string_view text) {
  const double time = ReadDouble(text);
  epoch_time_text_size_ =
      static_cast<std::uint8_t>(text.size() <= epoch_time_text_.size() ? text.size() : 0);
  std::memcpy(epoch_time_text_.data(), text.data(), epoch_time_text_size_);
  if (epoch_open_ && epoch_timed_ && time != epoch_time_) EndEpoch();
  epoch_time_ = time;
  epoch_timed_ = true;
}

// The time field's fraction of a second, which FixDateTime does not keep:
// worked out only when asked.
int Receiver::EpochMilliseconds() const {
  const double t = ended_epoch_time_;
  if (!(t >= 0.0 && t < 1e9)) return 0;
  const double ms = std::round((t - std::floor(t)) * 1000.0);
  return ms >= 999.0 ? 999 : static_cast<int>(ms);
}

void Receiver::EndEpoch() {
  if (!epoch_open_) return;
  const std::uint64_t rows = epoch_rows_;
  ended_epoch_time_ = epoch_timed_ ? epoch_time_ : std::numeric_limits<double>::quiet_NaN();
  epoch_open_ = epoch_timed_ = false;
  epoch_rows_ = 0;
  last_epoch_time_.store(fix_.FixDateOnReader(), std::memory_order_relaxed);
  if (epoch_listener_ != nullptr) epoch_listener_->EpochCompleted(rows);
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
