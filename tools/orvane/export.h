// --gpx and --csv: a track for a map, a table for a spreadsheet, written as
// each epoch ends.
#pragma once

#include <atomic>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "epoch_output.h"
#include "write_check.h"

namespace orvane::cli {

// The decimals of the minutes the receiver sends its position with, counted
// in the fix sentences' latitude and longitude fields as the bytes arrive.
// The most seen so far is kept: a coordinate never gets fewer digits than
// it came with.
class ReceivedDecimals {
 public:
  void Feed(std::string_view bytes);
  // -1 until a fix sentence gave one.
  int latitude() const { return latitude_; }
  int longitude() const { return longitude_; }

 private:
  void TakeLine(std::string_view line);
  std::string line_;
  int latitude_ = -1, longitude_ = -1;
};

// Decimals of the minutes read back from a coordinate's value (0 to 8), for
// when the sentences were not seen: 48.1173 came as 48 07.038, three. A
// received 31.000 reads back as 31, none: counting is better.
int MinuteDecimals(double degrees);
// Signed decimal degrees with two decimals more than the minutes had: the
// fewest that give the received minutes back exactly. `minute_decimals`
// below 0: read back from the value.
std::string CoordinateText(double degrees, int minute_decimals = -1);
// Text for XML character data and attribute values: markup escaped, and
// what XML 1.0 cannot carry (control characters, bytes that are not UTF-8)
// as U+FFFD.
std::string XmlEscape(std::string_view text);
// One CSV field: quoted, its quotes doubled, when it holds , " CR or LF.
std::string CsvField(std::string_view text);
// Whether the epoch's position is a fix. A receiver that lost its fix
// often repeats its last position; that is not a point of the track.
bool HasFix(const Epoch& epoch);
// "2026-12-10T02:12:17Z"; empty when the date is not known (GGA alone
// carries only the time of day).
std::string IsoTime(const Epoch& epoch);

// Writes to a stream it may own (-o FILE), and remembers the first failure.
class ExportWriter : public EpochOutput {
 public:
  // `name` names `out` in messages. `flush_each`: every epoch reaches the
  // file as it completes (live). `shared`: the check of a stream others
  // write too (standard output), else its own.
  ExportWriter(std::FILE* out, bool owned, std::string name, bool flush_each, std::FILE* err,
               WriteCheck* shared = nullptr)
      : out_(out),
        owned_(owned),
        flush_each_(flush_each),
        own_(out, std::move(name), err),
        check_(shared != nullptr ? *shared : own_) {}
  ~ExportWriter() override;
  bool Failed() const override { return check_.failed(); }
  bool Finish() override;

 protected:
  void Put(std::string_view text);
  // The end of the document, written by Finish.
  virtual std::string Trailer() { return {}; }
  // After each epoch's text.
  void EndEpoch();

 private:
  std::FILE* out_;
  bool owned_;
  bool flush_each_;
  WriteCheck own_;
  WriteCheck& check_;
};

// A GPX 1.1 track: a point per epoch with a fix, a new segment after a
// lost fix, a gap of more than `gap_seconds`, or time running back.
class GpxWriter final : public ExportWriter {
 public:
  GpxWriter(std::FILE* out, bool owned, std::string out_name, bool flush_each, std::FILE* err,
            std::string_view track_name, double gap_seconds,
            const ReceivedDecimals* decimals = nullptr, WriteCheck* shared = nullptr);
  void Write(const Epoch& epoch) override;

 private:
  std::string Trailer() override;
  double gap_;
  const ReceivedDecimals* decimals_;
  bool in_segment_ = false;
  std::optional<UtcTime> last_time_;
  std::string text_;
};

// A row per epoch under a header of the epoch's field names; unknown values
// are empty cells. Lines end in CRLF, as RFC 4180 has them.
class CsvWriter final : public ExportWriter {
 public:
  CsvWriter(std::FILE* out, bool owned, std::string out_name, bool flush_each, std::FILE* err,
            const ReceivedDecimals* decimals = nullptr, WriteCheck* shared = nullptr);
  void Write(const Epoch& epoch) override;

 private:
  const ReceivedDecimals* decimals_;
  std::string row_;
};

}  // namespace orvane::cli
