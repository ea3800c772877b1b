// What `orvane watch` draws, apart from the terminal: a frame of text laid
// out on a grid of character cells, and the keys it answers. The terminal
// side (watch.cc) fills a Frame and hands it a Canvas.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "orvane/snapshots.h"

namespace orvane::cli {

enum class Style : std::uint8_t { kPlain, kBold, kDim, kReverse };

// A grid of cells; writes outside it are the canvas's to clip.
class Canvas {
 public:
  virtual ~Canvas() = default;
  virtual int rows() const = 0;
  virtual int cols() const = 0;
  virtual void Put(int row, int col, std::string_view text, Style style = Style::kPlain) = 0;
};

// A canvas in memory, for tests and fuzzing: rows of text, clipped.
class TextCanvas final : public Canvas {
 public:
  TextCanvas(int rows, int cols);
  int rows() const override { return static_cast<int>(lines_.size()); }
  int cols() const override { return cols_; }
  void Put(int row, int col, std::string_view text, Style style = Style::kPlain) override;
  const std::vector<std::string>& lines() const { return lines_; }
  std::string Text() const;

 private:
  int cols_;
  std::vector<std::string> lines_;
};

// One screen's worth: the typed state, and the texts the control formats in
// the current settings.
struct Frame {
  std::string source;
  Fix fix;
  Satellites satellites;
  std::string latitude, longitude;      // in the current LatLonFormat, with its labels
  std::string altitude, speed, course;  // with their units, or empty when unknown
  double fix_age_seconds = -1;          // since the last fix event; negative before one
  double lines_per_second = 0;
  std::uint64_t lines = 0;
  std::uint64_t checksum_dropped = 0;
  // The heading and GST's errors are in `fix` when received.
  std::vector<std::string> texts;  // the receiver's last TXT messages, oldest first
  std::string talkers;             // seen, "GN,GP"
  std::string sentence_types;      // seen, "GGA,GSA,RMC"
  std::string ignored_fix;         // "$GNRMC" when Talkers refuses the receiver's fixes
  std::string state;               // "paused", "end of log", "receiver lost, retrying", ...
  std::string notice;              // the latest message, e.g. a recording that stopped
};

// The smallest terminal the frame fits.
inline constexpr int kMinRows = 24;
inline constexpr int kMinCols = 80;

void DrawFrame(const Frame& frame, Canvas& canvas);

// What a key asks for.
enum class KeyAction { kNone, kQuit, kCycleFormat, kCycleUnits, kPause, kRedraw };
KeyAction ActionForKey(int key);

// The units `u` steps through, as SpeedUnits, DistUnits, AltitudeUnits.
struct UnitSet {
  int speed, dist, altitude;
  const char* name;
};
// The set after the one whose speed unit is `speed_units`.
UnitSet NextUnits(int speed_units);

// The satellite's system, as a short name ("GPS", "GLO", ...).
std::string_view SystemName(int number);

}  // namespace orvane::cli
