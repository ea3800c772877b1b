#include "engine/satellite_state.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <new>
#include <string_view>
#include <utility>

#include "automation/coerce.h"
#include "engine/numbers.h"

namespace orvane {
namespace {

// A GSA PRN is read as a decimal number and truncated toward zero into 16
// bits. Values beyond the 32-bit range (or not finite) have no integer value
// and read as 0 instead of invoking undefined conversion.
std::int16_t DecimalToInt16(double value) {
  if (!std::isfinite(value) || value >= 2147483648.0 || value <= -2147483649.0) return 0;
  auto whole = static_cast<std::int32_t>(value);
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uint32_t>(whole)));
}

// A GSA number read as a decimal and truncated; plain digits give the same
// without floating point.
[[gnu::always_inline]] inline std::int16_t GsaPrn(std::string_view field) {
  std::int32_t plain = 0;
  if (ReadPlainDigits(field, &plain))
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(plain));
  return DecimalToInt16(ReadDouble(field));
}

// The field's integer when within [0, high], else -1 (empty).
std::int16_t BoundedValue(std::string_view field, std::int32_t high) {
  if (field.empty()) return -1;
  const std::int32_t value = ReadInt(field);
  return value < 0 || value > high ? std::int16_t{-1} : static_cast<std::int16_t>(value);
}

Variant OptionalI2(std::int16_t value) { return value < 0 ? Variant() : Variant::I2(value); }

// A GSV block's values after its number.
SatelliteEntry ReadBlock(const SentenceFields& f, std::size_t block, std::int16_t prn) {
  return {prn, BoundedValue(Field(f, block + 1), 90), BoundedValue(Field(f, block + 2), 360),
          BoundedValue(Field(f, block + 3), 99)};
}

Variant OptionalR8(std::string_view field) {
  return field.empty() ? Variant() : Variant::R8(ReadDouble(field));
}

// GSA field 1: A automatic, M manual, either case.
Variant GsaSelection(std::string_view mode) {
  if (mode == "A" || mode == "a") return Variant::Bool(true);
  if (mode == "M" || mode == "m") return Variant::Bool(false);
  return Variant();
}

// GSA field 2: 1 no fix, 2 2D, 3 3D.
Variant GsaFixMode(std::string_view field) {
  std::int32_t fix = ReadInt(field);
  return fix >= 1 && fix <= 3 ? Variant::I2(static_cast<std::int16_t>(fix)) : Variant();
}

}  // namespace

Variant SatelliteState::PrnArray(const std::vector<std::int16_t>& prns) {
  std::vector<Variant> elements;
  elements.reserve(prns.size());
  for (std::int16_t prn : prns) elements.push_back(Variant::I2(prn));
  return Variant::Array(std::move(elements));
}

Variant SatelliteState::PrnArray(const SatelliteList& satellites) {
  std::vector<Variant> elements;
  elements.reserve(satellites.size());
  for (const SatelliteEntry& sat : satellites) elements.push_back(Variant::I2(sat.prn));
  return Variant::Array(std::move(elements));
}

SatelliteRecord SatelliteEntry::Record() const {
  return {OptionalI2(elevation), OptionalI2(azimuth), OptionalI2(snr)};
}

const SatelliteEntry* SatelliteState::FindInViewLocked(std::int16_t prn) const {
  for (auto it = satellite_in_view_.rbegin(); it != satellite_in_view_.rend(); ++it) {
    if (it->prn == prn) return &*it;
  }
  return nullptr;
}

std::size_t GsvBlocksEnd(std::size_t received_field_count) {
  if (received_field_count >= 5 && received_field_count % 4 == 1) return received_field_count - 1;
  return static_cast<std::size_t>(-1);
}

struct SatelliteState::GsaSummary {
  // $GPGSA fields 1, 2 and 15-17.
  explicit GsaSummary(const SentenceFields& f)
      : automatic(GsaSelection(Field(f, 1))),
        fix_mode(GsaFixMode(Field(f, 2))),
        pdop(OptionalR8(Field(f, 15))),
        hdop(OptionalR8(Field(f, 16))),
        vdop(OptionalR8(Field(f, 17))) {}
  Variant automatic;
  Variant fix_mode;
  Variant pdop;
  Variant hdop;
  Variant vdop;
};

void SatelliteState::StoreLocked(GsaSummary&& summary) {
  automatic_operation_ = std::move(summary.automatic);
  operation_mode_ = std::move(summary.fix_mode);
  pdop_ = std::move(summary.pdop);
  hdop_ = std::move(summary.hdop);
  vdop_ = std::move(summary.vdop);
}

SatelliteState::SatelliteState() = default;
SatelliteState::~SatelliteState() = default;

namespace {

// PRNs of a GSA as unique numbers; a number that fits no system is left out
// rather than shown as a satellite that does not exist.
int GsaNumber(GnssSystem system, std::string_view field) {
  return UniqueSatelliteNumber(system, GsaPrn(field));
}

void KeepStrongest(SatelliteEntry& kept, const SatelliteEntry& other) {
  if (kept.elevation < 0) kept.elevation = other.elevation;
  if (kept.azimuth < 0) kept.azimuth = other.azimuth;
  if (other.snr > kept.snr) kept.snr = other.snr;  // an empty -1 never wins
}

// A GSV's satellite blocks into the pending list of their group. One group
// keeps the numbers as sent and a repeated one twice; several keep unique
// numbers, each once, its latest block winning.
// `listed` marks the unique numbers in the group (several groups only), so
// the list is searched only for a number listed before.
void FillGroup(SatelliteList& group, const SentenceFields& f, const SatelliteState::Origin& origin,
               GnssSystem system, std::bitset<kMaxUniqueNumber>* listed = nullptr) {
  for (std::size_t block = 4; block <= 16 && block < origin.blocks_end; block += 4) {
    std::string_view prn_field = Field(f, block);
    if (prn_field.empty()) continue;
    if (group.size() >= SatelliteState::kMaxPendingSatellites) break;
    const std::int16_t prn = ReadInt16(prn_field);
    try {
      if (origin.one_group) {
        group.push_back(ReadBlock(f, block, prn));
        continue;
      }
      const int unique = UniqueSatelliteNumber(system, prn);
      if (unique == 0) continue;
      const SatelliteEntry entry = ReadBlock(f, block, static_cast<std::int16_t>(unique));
      const auto at = static_cast<std::size_t>(unique);  // below kMaxUniqueNumber
      if ((*listed)[at]) {
        *std::find_if(group.begin(), group.end(),
                      [&](const SatelliteEntry& e) { return e.prn == entry.prn; }) = entry;
      } else {
        group.push_back(entry);
        (*listed)[at] = true;
      }
    } catch (const std::bad_alloc&) {
      // This block is lost; the others still count.
    }
  }
}

}  // namespace

// $GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1
//   1 selection mode A/M, 2 fix mode 1..3, 3-14 PRNs used, 15 PDOP, 16 HDOP,
//   17 VDOP (NMEA 4.10: 18 system id, beyond the field count)
void SatelliteState::ParseGsa(const SentenceFields& f, const Origin& origin) {
  GsaSummary summary(f);
  const bool one = origin.one_group;
  GnssSystem system = GnssSystem::kGps;
  if (!one) {
    system = SystemFromId(origin.id);
    if (system == GnssSystem::kUnknown) system = SystemFromTalker(origin.talker);
  }

  std::lock_guard<std::mutex> lock(mutex_);
  StoreLocked(std::move(summary));
  // One group: every GSA is the whole list. Several: the GSAs since the last
  // fix sentence make one list.
  if (one || new_fix_union_) {
    fix_satellite_prns_.clear();
    if (!one) in_fix_union_.reset();
  }
  if (!one) new_fix_union_ = false;
  try {
    for (std::size_t i = 3; i <= 14; ++i) {
      std::string_view field = Field(f, i);
      if (field.empty()) continue;
      if (one) {
        fix_satellite_prns_.push_back(GsaPrn(field));
        continue;
      }
      const int number = GsaNumber(system, field);
      if (number == 0) continue;
      const auto prn = static_cast<std::int16_t>(number);
      const bool fits = number > 0 && static_cast<std::size_t>(number) < in_fix_union_.size();
      if (fits ? in_fix_union_[static_cast<std::size_t>(number)]
               : std::find(fix_satellite_prns_.begin(), fix_satellite_prns_.end(), prn) !=
                     fix_satellite_prns_.end())
        continue;
      fix_satellite_prns_.push_back(prn);
      if (fits) in_fix_union_[static_cast<std::size_t>(number)] = true;
    }
  } catch (const std::bad_alloc&) {
    // The list keeps the PRNs collected so far.
  }
}

void SatelliteState::ParseGsa(const SentenceFields& f, const SentenceContext& context) {
  // NMEA 4.10: the system id follows the VDOP, beyond the field count.
  const bool has_id = context.several_systems && context.received_field_count == 19;
  ParseGsa(f, Origin{!context.several_systems, context.talker,
                     has_id ? context.received_last_field : std::string_view()});
}

void SatelliteState::ParseGsv(const SentenceFields& f, const SentenceContext& context) {
  const std::size_t blocks_end = GsvBlocksEnd(context.received_field_count);
  const bool has_signal = context.several_systems && blocks_end != static_cast<std::size_t>(-1);
  ParseGsv(f, Origin{!context.several_systems, context.talker,
                     has_signal ? context.received_last_field : std::string_view(), blocks_end});
}

// $GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00
//   1 messages in group, 2 this message, 3 satellites in view, then four
//   blocks of PRN, elevation, azimuth, SNR in 4-7, 8-11, 12-15, 16-19
//   (NMEA 4.10: a signal id after the last block)
void SatelliteState::ParseGsv(const SentenceFields& f, const Origin& origin) {
  std::string_view number = Field(f, 2);
  const std::int32_t this_message = ReadInt(number);
  const bool starts = number.empty() || this_message == 1;
  const bool completes = ReadInt(Field(f, 1)) == this_message;

  if (origin.one_group) {
    // The group as received is the sky; its count in view is the receiver's.
    std::string_view in_view = Field(f, 3);
    Variant num_in_view = in_view.empty() ? Variant() : Variant::I2(ReadInt16(in_view));
    std::lock_guard<std::mutex> lock(mutex_);
    if (starts) pending_in_view_.clear();
    FillGroup(pending_in_view_, f, origin, GnssSystem::kGps);
    num_satellites_in_view_ = std::move(num_in_view);
    if (completes && groups_shown_) {
      // Talkers became GP alone: the groups' signals are no longer the sky.
      groups_shown_ = false;
      signals_changed_ = true;
    }
    if (completes) {
      try {
        satellite_in_view_ = pending_in_view_;
      } catch (const std::bad_alloc&) {
        // The previous group stays published (a failed copy leaves it as it was).
      }
    }
    return;
  }
  try {
    SystemGroup* group = FindGroup(origin);
    if (group == nullptr) return;
    if (starts) {
      group->pending.clear();
      group->pending_numbers.reset();
    }
    FillGroup(group->pending, f, origin, SystemFromTalker(origin.talker), &group->pending_numbers);
    if (completes) {
      group->published = group->pending;
      group->is_published = true;
      group->fix_time = fix_times_;
      PublishUnion();
      groups_shown_ = true;
      signals_changed_ = true;
    }
  } catch (const std::bad_alloc&) {
    // The groups published before stay in view.
  }
}

// The groups, the fix times and the union flag are the reader's own: the
// lock is taken only to publish.
void SatelliteState::MarkNewFixTime(std::string_view time) {
  try {
    last_fix_time_.assign(time);
  } catch (const std::bad_alloc&) {
    return;
  }
  ++fix_times_;
  bool dropped = false;
  for (SystemGroup& group : groups_) {
    if (group.is_published && fix_times_ - group.fix_time > kStaleFixTimes) {
      group.is_published = false;
      dropped = true;
    }
  }
  try {
    if (dropped) PublishUnion();
  } catch (const std::bad_alloc&) {
    // The sky shown stays as it was until the next group is published.
  }
  if (dropped) signals_changed_ = true;
}

// May throw std::bad_alloc.
SatelliteState::SystemGroup* SatelliteState::FindGroup(const Origin& origin) {
  // A signal id is one hex digit; anything longer is garbage, and garbage
  // must not grow the groups without bound. Keys order as the talker's
  // letters, then no id before any id byte.
  const std::string_view talker = origin.talker, id = origin.id;
  const auto byte = [](std::string_view s, std::size_t i) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(s[i]));
  };
  const std::uint32_t key =
      byte(talker, 0) << 17 | byte(talker, 1) << 9 | (id.size() == 1 ? 0x100 | byte(id, 0) : 0);
  auto at = std::lower_bound(groups_.begin(), groups_.end(), key,
                             [](const SystemGroup& g, std::uint32_t k) { return g.key < k; });
  if (at == groups_.end() || at->key != key) {
    if (groups_.size() >= kMaxGroups) return nullptr;
    at = groups_.insert(at, SystemGroup{key, {}, {}, {}, false, 0});
  }
  return &*at;
}

// Takes the lock to publish; may throw std::bad_alloc before it changes
// anything published.
void SatelliteState::PublishUnion() {
  // Each number's slot takes the entry of the first group (in the groups'
  // order) that lists it and merges the later ones; the slots in ascending
  // number are the union. Unique numbers are small, so no sort is needed.
  std::size_t kept = 0;
  for (const SystemGroup& group : groups_) {
    if (!group.is_published) continue;
    for (const SatelliteEntry& entry : group.published) {
      const auto n = static_cast<std::size_t>(entry.prn);
      if (n >= kMaxUniqueNumber) continue;  // every unique number is below it
      std::uint64_t& word = union_taken_[n / 64];
      const std::uint64_t bit = std::uint64_t{1} << (n % 64);
      if ((word & bit) != 0) {
        KeepStrongest(union_slots_[n], entry);
      } else {
        word |= bit;
        union_slots_[n] = entry;
        ++kept;
      }
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  try {
    satellite_in_view_.reserve(kept);  // the one step that may throw
  } catch (const std::bad_alloc&) {
    union_taken_.fill(0);
    throw;
  }
  satellite_in_view_.clear();
  for (std::size_t w = 0; w < union_taken_.size(); ++w) {
    for (std::uint64_t bits = union_taken_[w]; bits != 0; bits &= bits - 1)
      satellite_in_view_.push_back(
          union_slots_[w * 64 + static_cast<std::size_t>(std::countr_zero(bits))]);
    union_taken_[w] = 0;
  }
  num_satellites_in_view_ = Variant::I2(static_cast<std::int16_t>(kept));
}

namespace {

// A group's signal id when it is one hex digit (FindGroup keys a one-byte
// id), else 0: a garbage id names no signal.
char SignalOfKey(std::uint32_t key) {
  if ((key & 0x100) == 0) return 0;
  const char id = static_cast<char>(key & 0xff);
  const bool hex = (id >= '0' && id <= '9') || (id >= 'A' && id <= 'F') || (id >= 'a' && id <= 'f');
  return hex ? id : 0;
}

}  // namespace

void SatelliteState::BuildSignals() const {
  signals_changed_ = false;
  // Receivers that name no signal keep the union alone: nothing is copied.
  bool named = false;
  for (const SystemGroup& group : groups_)
    named = named || (groups_shown_ && group.is_published && SignalOfKey(group.key) != 0);
  try {
    signal_scratch_.clear();
    if (named) {
      for (const SystemGroup& group : groups_) {
        if (!group.is_published) continue;
        const char signal = SignalOfKey(group.key);
        for (const SatelliteEntry& entry : group.published)
          signal_scratch_.push_back({entry, signal});
      }
    }
    // Two talkers may list one satellite on one signal (GN beside GP): the
    // first group's entry stays, merged as the union merges.
    std::stable_sort(signal_scratch_.begin(), signal_scratch_.end(),
                     [](const SignalEntry& a, const SignalEntry& b) {
                       return a.satellite.prn != b.satellite.prn ? a.satellite.prn < b.satellite.prn
                                                                 : a.signal < b.signal;
                     });
    std::size_t kept = 0;
    for (std::size_t i = 0; i < signal_scratch_.size(); ++i) {
      SignalEntry& last = signal_scratch_[kept == 0 ? 0 : kept - 1];
      const SignalEntry& next = signal_scratch_[i];
      if (kept != 0 && last.satellite.prn == next.satellite.prn && last.signal == next.signal) {
        KeepStrongest(last.satellite, next.satellite);
      } else {
        signal_scratch_[kept++] = next;
      }
    }
    signal_scratch_.resize(kept);
    std::lock_guard<std::mutex> lock(mutex_);
    signal_in_view_.reserve(kept);  // the one step under the lock that may throw
    signal_in_view_.assign(signal_scratch_.begin(), signal_scratch_.end());
  } catch (const std::bad_alloc&) {
    // The list stays as it was; the next group's change builds it again.
  }
}

Variant SatelliteState::AutomaticOperation() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return automatic_operation_;
}

Variant SatelliteState::OperationMode() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return operation_mode_;
}

Variant SatelliteState::HDOP() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return hdop_;
}

Variant SatelliteState::PDOP() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return pdop_;
}

Variant SatelliteState::VDOP() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return vdop_;
}

Variant SatelliteState::NumSatellitesInView() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return num_satellites_in_view_;
}

Variant SatelliteState::FixSatellitePRNs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return PrnArray(fix_satellite_prns_);
}

Variant SatelliteState::SatelliteInViewPRNs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return PrnArray(satellite_in_view_);
}

HRESULT SatelliteState::GetSatelliteInfo(const Variant& prn, Variant* azimuth, Variant* elevation,
                                         Variant* snr) const {
  if (azimuth == nullptr || elevation == nullptr || snr == nullptr) return E_POINTER;
  std::int16_t key = 0;
  if (prn.vt() == VT_I2) {
    key = prn.i2();
  } else {
    Variant coerced;
    HRESULT hr = ChangeType(prn, VT_I2, &coerced);
    if (FAILED(hr)) return hr;
    key = coerced.i2();
  }
  SatelliteRecord found;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (const SatelliteEntry* sat = FindInViewLocked(key))
      found = sat->Record();  // numbers only: cannot throw
  }
  *azimuth = std::move(found.azimuth);
  *elevation = std::move(found.elevation);
  *snr = std::move(found.snr);
  return S_OK;
}

}  // namespace orvane
