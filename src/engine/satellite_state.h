// Receiver mode, dilution of precision and satellites, from GSA and GSV.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "automation/variant.h"
#include "engine/gnss.h"
#include "engine/sentence.h"

namespace orvane {

// One GSV satellite block: each value VT_I2 within its range, or empty.
struct SatelliteRecord {
  Variant elevation;  // degrees, 0..90
  Variant azimuth;    // degrees, 0..360
  Variant snr;        // dB-Hz, 0..99
};

// The same block as the loop stores it, flat: -1 for an empty value (every
// range starts at 0). Lists of these are copied and cleared without touching
// the heap once their capacity has grown.
struct SatelliteEntry {
  std::int16_t prn = 0;
  std::int16_t elevation = -1;
  std::int16_t azimuth = -1;
  std::int16_t snr = -1;
  SatelliteRecord Record() const;
};
using SatelliteList = std::vector<SatelliteEntry>;

// A satellite as one signal's GSV group listed it: receivers that name their
// signals (NMEA 4.10) list a satellite once per signal it is tracked on.
struct SignalEntry {
  SatelliteEntry satellite;
  char signal = 0;  // the signal id as received, one hex digit; 0 when none
};
using SignalList = std::vector<SignalEntry>;

// Where a GSV's satellite blocks end, from the element count as received:
// NMEA 4.10 appends a signal id after the last block (5, 9, 13, 17 or 21
// elements), which is not a satellite.
std::size_t GsvBlocksEnd(std::size_t received_field_count);

class SatelliteState final {
 public:
  // A real GSV group lists a few dozen satellites at most. A longer pending
  // list means group starts are being lost (or the stream is garbage); blocks
  // that arrive while this many PRNs are pending are dropped whole, and the
  // next group start recovers.
  static constexpr std::size_t kMaxPendingSatellites = 255;

  SatelliteState();
  ~SatelliteState();

  // Where a GSA or GSV came from, and the rules its satellites follow.
  //
  // One group (GP alone accepted): the receiver's own numbers as sent, a PRN
  // listed twice stays twice, each GSA replaces the satellites used and a
  // completed GSV group is the sky as received, with its own count in view.
  //
  // Several systems (any talker but GP alone accepted). Satellites carry
  // their unique numbers (gnss.h). A GSV group is assembled per talker and
  // signal id; the satellites in view are the union of the latest group of
  // each, one entry per satellite (elevation and azimuth from its first
  // signal, the highest SNR of its signals), in ascending number. A group
  // not published again within kStaleFixTimes fix times is dropped, so a
  // system that stops sending leaves the sky. FixSatellitePRNs is the union
  // of the GSAs since the last fix sentence; DOPs and modes are the latest
  // GSA's. `id` is the trailing NMEA 4.10 id (GSA system, GSV signal) or
  // empty.
  struct Origin {
    bool one_group = true;
    std::string_view talker = "GP";
    std::string_view id;
    std::size_t blocks_end = 20;  // GSV blocks from this element on are not read
  };
  static constexpr int kStaleFixTimes = 10;
  // Talker and signal pairs kept; real receivers send a dozen at most.
  static constexpr std::size_t kMaxGroups = 64;

  // Fields are the normalized SentenceFields: element 0 the identifier.
  void ParseGsa(const SentenceFields& f, const Origin& origin);
  void ParseGsv(const SentenceFields& f, const Origin& origin);
  // As the loop calls them: the origin from what the loop saw.
  void ParseGsa(const SentenceFields& f, const SentenceContext& context);
  void ParseGsv(const SentenceFields& f, const SentenceContext& context);
  void ParseGsa(const SentenceFields& f) { ParseGsa(f, Origin{}); }
  void ParseGsv(const SentenceFields& f, std::size_t blocks_end = 20) {
    ParseGsv(f, Origin{true, "GP", {}, blocks_end});
  }
  void ParseGsaSystem(const SentenceFields& f, std::string_view talker, std::string_view id) {
    ParseGsa(f, Origin{false, talker, id});
  }
  void ParseGsvSystem(const SentenceFields& f, std::string_view talker, std::string_view id,
                      std::size_t blocks_end) {
    ParseGsv(f, Origin{false, talker, id, blocks_end});
  }
  // A fix sentence and its time of day field: the next GSA starts a new
  // union, and a new time ages the GSV groups.
  void MarkFix(std::string_view time) {
    // Inline: every fix sentence of a cycle after the first repeats its time.
    new_fix_union_ = true;
    if (!time.empty() && time != last_fix_time_) MarkNewFixTime(time);
  }

  // Property reads: fresh values the caller owns.
  Variant AutomaticOperation() const;
  Variant OperationMode() const;
  Variant HDOP() const;
  Variant PDOP() const;
  Variant VDOP() const;
  Variant NumSatellitesInView() const;
  // VT_ARRAY | VT_VARIANT of VT_I2, zero elements when the list is empty.
  Variant FixSatellitePRNs() const;
  Variant SatelliteInViewPRNs() const;

  // Looks `prn` up in the last published GSV group. A PRN that does not
  // coerce to VT_I2 returns the coercion's HRESULT and writes nothing; an
  // unknown PRN gives three empty values and S_OK.
  HRESULT GetSatelliteInfo(const Variant& prn, Variant* azimuth, Variant* elevation,
                           Variant* snr) const;

  // The stored values as they stand, for typed snapshots and event
  // parameters: valid only during Read's call.
  struct View {
    const Variant& automatic_operation;
    const Variant& operation_mode;
    const Variant& pdop;
    const Variant& hdop;
    const Variant& vdop;
    const Variant& num_satellites_in_view;
    const std::vector<std::int16_t>& fix_satellite_prns;
    const SatelliteList& satellite_in_view;  // in arrival order
    const SatelliteState& state;
    // The satellite in view listed last with this number, or null.
    const SatelliteEntry* FindInView(std::int16_t prn) const { return state.FindInViewLocked(prn); }
  };
  // `read(view)` under the state's lock: every value from whole sentences.
  template <typename Fn>
  auto Read(const Fn& read) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return read(View{automatic_operation_, operation_mode_, pdop_, hdop_, vdop_,
                     num_satellites_in_view_, fix_satellite_prns_, satellite_in_view_, *this});
  }
  // Several systems and a GSV group with a signal id: every published
  // group's satellites, one entry per number and signal, by number then
  // signal; empty otherwise (the union is the whole sky). `read(signals,
  // fix_satellite_prns)` under the state's lock. On the reader's thread
  // only (where epochs end): the list is built here, when a group changed,
  // from the groups that thread alone touches, not at every group.
  template <typename Fn>
  auto ReadSignals(const Fn& read) const {
    if (signals_changed_) BuildSignals();
    std::lock_guard<std::mutex> lock(mutex_);
    return read(static_cast<const SignalList&>(signal_in_view_),
                static_cast<const std::vector<std::int16_t>&>(fix_satellite_prns_));
  }
  // As FixSatellitePRNs and SatelliteInViewPRNs give them.
  static Variant PrnArray(const std::vector<std::int16_t>& prns);
  static Variant PrnArray(const SatelliteList& satellites);

 private:
  void MarkNewFixTime(std::string_view time);
  // The satellite in view listed last with this number, or null. A GP group
  // may list a number twice: its last block is the one that counts.
  const SatelliteEntry* FindInViewLocked(std::int16_t prn) const;
  // The fields every GSA form stores alike: selection, fix mode and the DOPs.
  struct GsaSummary;
  void StoreLocked(GsaSummary&& summary);
  mutable std::mutex mutex_;
  Variant num_satellites_in_view_;
  Variant automatic_operation_;
  Variant operation_mode_;
  Variant pdop_;
  Variant hdop_;
  Variant vdop_;
  std::vector<std::int16_t> fix_satellite_prns_;
  // In arrival order; a group is published by copying into capacity already
  // there.
  SatelliteList satellite_in_view_;
  SatelliteList pending_in_view_;

  // Several systems: per talker and signal id (ordered by key), each number
  // once. These and the fix times are the reader thread's alone.
  // pending_in_view_ is the one group's pending list.
  struct SystemGroup {
    std::uint32_t key;
    SatelliteList pending;
    std::bitset<kMaxUniqueNumber> pending_numbers;  // the numbers in `pending`
    SatelliteList published;
    bool is_published;
    std::int64_t fix_time;  // fix_times_ when published
  };
  void PublishUnion();
  // signal_in_view_ from the published groups, beside the union; catches
  // its own allocation failures (the list stays as it was).
  void BuildSignals() const;
  // The pending list of the group `origin` belongs to, or null when no more
  // groups are kept.
  SystemGroup* FindGroup(const Origin& origin);
  // PublishUnion's working set: an entry per unique number, and which are
  // taken.
  std::array<SatelliteEntry, kMaxUniqueNumber> union_slots_{};
  std::array<std::uint64_t, kMaxUniqueNumber / 64> union_taken_{};
  // Built by ReadSignals on the reader's thread when a group was published
  // or dropped since: a cache of the groups, hence mutable.
  mutable bool signals_changed_ = false;
  bool groups_shown_ = false;          // the union of the groups is the sky shown
  mutable SignalList signal_scratch_;  // BuildSignals' working list
  mutable SignalList signal_in_view_;  // under mutex_
  std::vector<SystemGroup> groups_;
  std::int64_t fix_times_ = 0;
  std::string last_fix_time_;
  bool new_fix_union_ = true;
  std::bitset<kMaxUniqueNumber> in_fix_union_;  // the unique numbers in fix_satellite_prns_
};

}  // namespace orvane
