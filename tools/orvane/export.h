// --gpx and --csv: a track for a map, a table for a spreadsheet, written as
// each epoch ends.
#pragma once

#include <atomic>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "epoch_output.h"

namespace orvane::cli {

// Decimals of the minutes a coordinate was received with, read back from
// its value (0 to 8): 48.1173 came as 48 07.038, three.
int MinuteDecimals(double degrees);
// Signed decimal degrees with two decimals more than the minutes had: the
// fewest that give the received minutes back exactly.
std::string CoordinateText(double degrees);
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
  // file as it completes (live).
  ExportWriter(std::FILE* out, bool owned, std::string name, bool flush_each, std::FILE* err)
      : out_(out), owned_(owned), name_(std::move(name)), flush_each_(flush_each), err_(err) {}
  ~ExportWriter() override;
  bool Failed() const override { return failed_; }
  bool Finish() override;

 protected:
  void Put(std::string_view text);
  // The end of the document, written by Finish.
  virtual std::string Trailer() { return {}; }
  // After each epoch's text.
  void EndEpoch();

 private:
  void Fail(int error);

  std::FILE* out_;
  bool owned_;
  std::string name_;
  bool flush_each_;
  std::FILE* err_;
  std::atomic<bool> failed_{false};
  bool said_ = false;
};

// A GPX 1.1 track: a point per epoch with a fix, a new segment after a
// lost fix, a gap of more than `gap_seconds`, or time running back.
class GpxWriter final : public ExportWriter {
 public:
  GpxWriter(std::FILE* out, bool owned, std::string out_name, bool flush_each, std::FILE* err,
            std::string_view track_name, double gap_seconds);
  void Write(const Epoch& epoch) override;

 private:
  std::string Trailer() override;
  double gap_;
  bool in_segment_ = false;
  std::optional<UtcTime> last_time_;
  std::string text_;
};

// A row per epoch under a header of the epoch's field names; unknown values
// are empty cells. Lines end in CRLF, as RFC 4180 has them.
class CsvWriter final : public ExportWriter {
 public:
  CsvWriter(std::FILE* out, bool owned, std::string out_name, bool flush_each, std::FILE* err);
  void Write(const Epoch& epoch) override;

 private:
  std::string row_;
};

}  // namespace orvane::cli
