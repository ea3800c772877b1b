#include "watch_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "engine/gnss.h"

namespace orvane::cli {
namespace {

constexpr double kPi = 3.14159265358979323846;
// The fix panel's width; the sky plot takes the rest of the top.
constexpr int kPanelCols = 44;
// The receiver's messages shown at most.
constexpr std::size_t kShownTexts = 2;

std::string Format(const char* format, double value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, value);
  return buf;
}

template <typename T>
std::string OrDash(const std::optional<T>& value, const char* format) {
  return value ? Format(format, static_cast<double>(*value)) : "-";
}

std::string UtcText(const std::optional<UtcTime>& time) {
  if (!time) return "-";
  const std::time_t t = static_cast<std::time_t>(time->time_since_epoch().count());
  std::tm tm{};
  if (gmtime_r(&t, &tm) == nullptr) return "-";
  char buf[40];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S UTC", &tm);
  return buf;
}

std::string_view QualityName(int quality) {
  static constexpr std::string_view kNames[] = {
      "invalid", "GPS", "DGPS", "PPS", "RTK", "float RTK", "estimated", "manual", "simulated"};
  return quality >= 0 && quality < 9 ? kNames[quality] : "unknown";
}

std::string FixMode(const Frame& f) {
  std::string mode;
  if (f.satellites.mode) {
    mode = *f.satellites.mode == 3 ? "3D fix" : *f.satellites.mode == 2 ? "2D fix" : "no fix";
  } else {
    mode = f.fix.good ? "fix" : "no fix";
  }
  if (f.fix.quality) mode += ", " + std::string(QualityName(*f.fix.quality));
  if (f.fix.mode) mode += std::string(", mode ") + *f.fix.mode;
  return mode;
}

void Label(Canvas& c, int row, const char* label, const std::string& value) {
  c.Put(row, 1, label, Style::kDim);
  c.Put(row, 12, value.empty() ? "-" : value, Style::kBold);
}

int FixPanel(const Frame& f, Canvas& c, int row) {
  Label(c, row++, "Time", UtcText(f.fix.time));
  Label(c, row++, "Latitude", f.latitude);
  Label(c, row++, "Longitude", f.longitude);
  Label(c, row++, "Altitude", f.altitude);
  Label(c, row++, "Speed", f.speed);
  Label(c, row++, "Course", f.course);
  if (f.fix.heading || f.fix.magnetic_heading) {
    std::string heading = f.fix.heading ? Format("%.1f deg true", *f.fix.heading) : "";
    if (f.fix.magnetic_heading) {
      heading +=
          (heading.empty() ? "" : ", ") + Format("%.1f deg magnetic", *f.fix.magnetic_heading);
    }
    Label(c, row++, "Heading", heading);
  }
  if (f.fix.latitude_error || f.fix.longitude_error || f.fix.altitude_error) {
    Label(c, row++, "Error (1s)",
          "lat " + OrDash(f.fix.latitude_error, "%.1f") + "  lon " +
              OrDash(f.fix.longitude_error, "%.1f") + "  alt " +
              OrDash(f.fix.altitude_error, "%.1f") + " m");
  }
  Label(c, row++, "Status", std::string(f.fix.good ? "valid" : "not valid") + ", " + FixMode(f));
  const std::size_t used = f.satellites.used.size();
  Label(
      c, row++, "Satellites",
      (f.fix.satellites_in_fix ? std::to_string(*f.fix.satellites_in_fix) : std::to_string(used)) +
          " used, " +
          (f.satellites.in_view ? std::to_string(*f.satellites.in_view) : std::string("-")) +
          " in view");
  Label(c, row++, "DOP",
        "P " + OrDash(f.satellites.pdop, "%.1f") + "  H " + OrDash(f.satellites.hdop, "%.1f") +
            "  V " + OrDash(f.satellites.vdop, "%.1f"));
  Label(c, row++, "Fix age", f.fix_age_seconds < 0 ? "-" : Format("%.1f s", f.fix_age_seconds));
  return row;
}

int SystemOrder(int number) { return static_cast<int>(SystemOfNumber(number)); }

std::vector<const Satellite*> SortedSatellites(const Satellites& s) {
  std::vector<const Satellite*> sats;
  for (const Satellite& sat : s.in_sight) sats.push_back(&sat);
  std::stable_sort(sats.begin(), sats.end(), [](const Satellite* a, const Satellite* b) {
    const int sa = SystemOrder(a->number), sb = SystemOrder(b->number);
    return sa != sb ? sa < sb : a->number < b->number;
  });
  return sats;
}

void SatelliteTable(const Frame& f, Canvas& c, int row, int last_row) {
  c.Put(row++, 1, "Sys  No.  Elev  Azim  SNR             Used", Style::kDim);
  const std::vector<const Satellite*> sats = SortedSatellites(f.satellites);
  const int room = last_row - row + 1;
  if (room <= 0) return;
  const int shown =
      static_cast<int>(sats.size()) <= room ? static_cast<int>(sats.size()) : room - 1;
  for (int i = 0; i < shown; ++i) {
    const Satellite& s = *sats[static_cast<std::size_t>(i)];
    char line[96];
    std::snprintf(line, sizeof line, "%-4.4s %3d  %4s  %4s  %3s ",
                  std::string(SystemName(s.number)).c_str(), s.number,
                  s.elevation ? std::to_string(*s.elevation).c_str() : "-",
                  s.azimuth ? std::to_string(*s.azimuth).c_str() : "-",
                  s.snr ? std::to_string(*s.snr).c_str() : "-");
    c.Put(row, 1, line, s.used_in_fix ? Style::kBold : Style::kPlain);
    // A bar of one cell per 5 dB-Hz, up to 50.
    const int cells = s.snr ? std::clamp(*s.snr / 5, 0, 10) : 0;
    c.Put(row, 27, std::string(static_cast<std::size_t>(cells), '#'), Style::kReverse);
    c.Put(row, 40, s.used_in_fix ? "yes" : "no", s.used_in_fix ? Style::kBold : Style::kDim);
    ++row;
  }
  if (shown < static_cast<int>(sats.size())) {
    c.Put(row, 1,
          "... and " + std::to_string(sats.size() - static_cast<std::size_t>(shown)) + " more",
          Style::kDim);
  }
}

// North up, east right; the radius is the zenith distance, so the rings
// stand at elevations 0, 30 and 60 degrees. A cell is about twice as tall
// as it is wide: the plot is twice as wide as it is tall.
void SkyPlot(const Frame& f, Canvas& c, int top, int left, int height, int width) {
  const int ry = std::min((height - 3) / 2, (width - 5) / 4);
  if (ry < 3) return;
  const int rx = 2 * ry;
  const int cy = top + 1 + ry, cx = left + 2 + rx;
  const auto at = [&](double elevation, double azimuth, int* row, int* col) {
    const double r = (90.0 - std::clamp(elevation, 0.0, 90.0)) / 90.0;
    const double a = azimuth * kPi / 180.0;
    *row = cy - static_cast<int>(std::lround(r * ry * std::cos(a)));
    *col = cx + static_cast<int>(std::lround(r * rx * std::sin(a)));
  };
  for (const double ring : {0.0, 30.0, 60.0}) {
    const int steps = 8 * rx;
    for (int i = 0; i < steps; ++i) {
      int row, col;
      at(ring, 360.0 * i / steps, &row, &col);
      c.Put(row, col, ".", Style::kDim);
    }
  }
  c.Put(cy, cx, "+", Style::kDim);
  c.Put(cy - ry - 1, cx, "N", Style::kBold);
  c.Put(cy + ry + 1, cx, "S", Style::kBold);
  c.Put(cy, cx - rx - 2, "W", Style::kBold);
  c.Put(cy, cx + rx + 2, "E", Style::kBold);
  // Unused first, so a used satellite's mark wins where two meet.
  for (const bool used : {false, true}) {
    for (const Satellite& s : f.satellites.in_sight) {
      if (s.used_in_fix != used || !s.elevation || !s.azimuth) continue;
      int row, col;
      at(*s.elevation, *s.azimuth, &row, &col);
      const std::string mark = std::to_string(s.number) + (used ? "*" : "");
      c.Put(row, col - static_cast<int>(mark.size() - (used ? 1 : 0)) / 2, mark,
            used ? Style::kReverse : Style::kPlain);
    }
  }
  c.Put(cy + ry + 1, left + 1, "* used", Style::kDim);
}

std::string StatusLine(const Frame& f) {
  std::string s = f.source + " | " + Format("%.0f lines/s", f.lines_per_second) + " | " +
                  std::to_string(f.lines) + " lines, " + std::to_string(f.checksum_dropped) +
                  " bad checksum";
  if (!f.state.empty()) s += " | " + f.state;
  // The hint first: it is why a screen stays empty.
  if (!f.ignored_fix.empty()) s += " | " + f.ignored_fix + " ignored: add --all";
  if (!f.talkers.empty()) s += " | talkers " + f.talkers;
  if (!f.sentence_types.empty()) s += " | " + f.sentence_types;
  return s;
}

// The receiver's last messages, above the notice; the rows they take.
int Texts(const Frame& f, Canvas& c, int bottom) {
  const int n = static_cast<int>(std::min<std::size_t>(f.texts.size(), kShownTexts));
  for (int i = 0; i < n; ++i) {
    const std::string& text = f.texts[f.texts.size() - static_cast<std::size_t>(n - i)];
    const int row = bottom - n + 1 + i;
    c.Put(row, 1, i == 0 ? "Receiver" : "", Style::kDim);
    // Printable ASCII only: the terminal is not the receiver's to drive.
    std::string shown;
    for (char ch : text) shown += ch >= 0x20 && ch < 0x7F ? ch : '?';
    c.Put(row, 12, shown.substr(0, static_cast<std::size_t>(std::max(kPanelCols - 13, 0))));
  }
  return n;
}

}  // namespace

TextCanvas::TextCanvas(int rows, int cols)
    : cols_(std::max(cols, 0)),
      lines_(static_cast<std::size_t>(std::max(rows, 0)), std::string(cols_, ' ')) {}

void TextCanvas::Put(int row, int col, std::string_view text, Style) {
  if (row < 0 || row >= rows()) return;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const long long x = static_cast<long long>(col) + static_cast<long long>(i);
    if (x >= 0 && x < cols_)
      lines_[static_cast<std::size_t>(row)][static_cast<std::size_t>(x)] = text[i];
  }
}

std::string TextCanvas::Text() const {
  std::string all;
  for (const std::string& line : lines_) all += line + "\n";
  return all;
}

std::string_view SystemName(int number) {
  switch (SystemOfNumber(number)) {
    case GnssSystem::kGps: return "GPS";
    case GnssSystem::kSbas: return "SBAS";
    case GnssSystem::kGlonass: return "GLO";
    case GnssSystem::kGalileo: return "GAL";
    case GnssSystem::kBeidou: return "BDS";
    case GnssSystem::kQzss: return "QZSS";
    case GnssSystem::kNavic: return "IRNS";
    case GnssSystem::kUnknown: break;
  }
  return "?";
}

void DrawFrame(const Frame& f, Canvas& c) {
  if (c.rows() < kMinRows || c.cols() < kMinCols) {
    const std::string need = "terminal too small: " + std::to_string(c.cols()) + "x" +
                             std::to_string(c.rows()) + ", needs " + std::to_string(kMinCols) +
                             "x" + std::to_string(kMinRows);
    if (c.rows() > 0) c.Put(0, 0, need, Style::kBold);
    if (c.rows() > 1) c.Put(1, 0, "q quits", Style::kPlain);
    return;
  }
  const std::string title = " orvane watch  " + f.source;
  c.Put(0, 0, std::string(static_cast<std::size_t>(c.cols()), ' '), Style::kReverse);
  c.Put(0, 0, title, Style::kReverse);
  const std::string keys = "q quit  f format  u units  space pause ";
  c.Put(0, c.cols() - static_cast<int>(keys.size()), keys, Style::kReverse);
  const int after_fix = FixPanel(f, c, 2);
  const int last_row = c.rows() - 2;
  if (!f.notice.empty()) c.Put(last_row, 1, f.notice, Style::kBold);
  const int above_notice = f.notice.empty() ? last_row : last_row - 1;
  const int texts = Texts(f, c, above_notice);
  SatelliteTable(f, c, after_fix + 1, above_notice - texts);
  SkyPlot(f, c, 1, kPanelCols, c.rows() - 2, c.cols() - kPanelCols);
  c.Put(c.rows() - 1, 0, std::string(static_cast<std::size_t>(c.cols()), ' '), Style::kReverse);
  c.Put(c.rows() - 1, 0, StatusLine(f), Style::kReverse);
}

KeyAction ActionForKey(int key) {
  switch (key) {
    case 'q':
    case 'Q': return KeyAction::kQuit;
    case 'f':
    case 'F': return KeyAction::kCycleFormat;
    case 'u':
    case 'U': return KeyAction::kCycleUnits;
    case ' ': return KeyAction::kPause;
    case 12:  // Ctrl-L, as in every full-screen tool
      return KeyAction::kRedraw;
    default: return KeyAction::kNone;
  }
}

UnitSet NextUnits(int speed_units) {
  static constexpr UnitSet kSets[] = {
      {2, 3, 0, "nautical"},  // the control's defaults
      {1, 0, 0, "metric"},
      {0, 2, 1, "imperial"},
  };
  for (std::size_t i = 0; i < 3; ++i) {
    if (kSets[i].speed == speed_units) return kSets[(i + 1) % 3];
  }
  return kSets[0];
}

}  // namespace orvane::cli
