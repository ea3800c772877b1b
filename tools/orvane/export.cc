#include "export.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>

#include "json.h"

namespace orvane::cli {
namespace {

// A received coordinate is degrees and minutes with a few decimals; the
// double read from it is off by far less than this in the last place kept.
constexpr double kDigitSlack = 1e-4;
constexpr int kMostMinuteDecimals = 8;

bool Finite(const std::optional<double>& v) { return v && std::isfinite(*v); }

std::string Number(const std::optional<double>& v) {
  return Finite(v) ? ShortestDouble(*v) : std::string();
}

// A sum of two received values, with the decimals they had between them
// rather than the binary sum's noise (1.9 + 47.3 is 49.2, not 49.199...96).
std::string SumText(const std::optional<double>& sum, const std::optional<double>& a,
                    const std::optional<double>& b) {
  if (!Finite(sum) || !Finite(a) || !Finite(b)) return Number(sum);
  const auto decimals = [](double v) {
    const std::string s = ShortestDouble(v);
    const std::size_t point = s.find('.');
    return point == std::string::npos || s.find_first_of("eE") != std::string::npos
               ? 0
               : static_cast<int>(s.size() - point - 1);
  };
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", std::min(std::max(decimals(*a), decimals(*b)), 17), *sum);
  return buf;
}

std::string Integer(const std::optional<int>& v) { return v ? std::to_string(*v) : std::string(); }

// The length of the UTF-8 sequence starting `s`, or 0 when it is not one.
std::size_t Utf8Length(std::string_view s) {
  const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char c = b(0);
  std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
  if (n == 0 || n > s.size()) return 0;
  for (std::size_t i = 1; i < n; ++i) {
    if ((b(i) & 0xC0) != 0x80) return 0;
  }
  // Overlong forms, surrogates and beyond U+10FFFF are not UTF-8.
  if (n == 2 && c < 0xC2) return 0;
  if (n == 3 && ((c == 0xE0 && b(1) < 0xA0) || (c == 0xED && b(1) >= 0xA0))) return 0;
  if (n == 4 && ((c == 0xF0 && b(1) < 0x90) || c > 0xF4 || (c == 0xF4 && b(1) >= 0x90))) return 0;
  // U+FFFE and U+FFFF are not XML characters either.
  if (n == 3 && c == 0xEF && b(1) == 0xBF && b(2) >= 0xBE) return 0;
  return n;
}

const char* GpxFix(const Epoch& e) {
  if (e.quality == 2) return "dgps";
  if (e.quality == 3) return "pps";
  if (e.mode == 3) return "3d";
  if (e.mode == 2) return "2d";
  return nullptr;  // a fix of a kind the receiver did not say
}

void Element(std::string& s, const char* name, const std::string& value) {
  if (value.empty()) return;
  s += "    <";
  s += name;
  s += '>';
  s += value;
  s += "</";
  s += name;
  s += ">\n";
}

// The epoch's field names, as C++ and Python hosts know them.
constexpr const char* kCsvHeader =
    "time,good,latitude,longitude,altitude,altitude_hae,geoid_height,speed,course,magnetic_course,"
    "magnetic_variation,heading,magnetic_heading,mode,quality,satellites_used,satellites_in_view,"
    "pdop,hdop,vdop,"
    "latitude_error,longitude_error,altitude_error,sentences\r\n";

bool Dated(UtcTime t) {
  return std::chrono::year_month_day(std::chrono::floor<std::chrono::days>(t)).year() >=
         std::chrono::year(1980);
}

// More than `gap` seconds from one point to the next, or time running back.
// A time of day alone (GGA before the first RMC) is compared as one.
bool GapOver(UtcTime from, UtcTime to, double gap) {
  double seconds = std::chrono::duration<double>(to - from).count();
  if (Dated(from) != Dated(to)) {
    const auto of_day = [](UtcTime t) {
      return (t - std::chrono::floor<std::chrono::days>(t)).count();
    };
    seconds = static_cast<double>((of_day(to) - of_day(from) + 86400) % 86400);
  }
  return seconds < 0 || seconds > gap;
}

int LatitudeDecimals(const ReceivedDecimals* d) { return d != nullptr ? d->latitude() : -1; }
int LongitudeDecimals(const ReceivedDecimals* d) { return d != nullptr ? d->longitude() : -1; }

// Decimals after the point of a field of digits such as "4807.0380"; -1
// when the field is not one.
int FieldDecimals(std::string_view field) {
  const std::size_t point = field.find('.');
  if (point == std::string_view::npos || point == 0) return -1;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (i != point && (field[i] < '0' || field[i] > '9')) return -1;
  }
  return static_cast<int>(field.size() - point - 1);
}

// Commas in, the field `n` of a sentence (0 is its address).
std::string_view Field(std::string_view line, int n) {
  for (; n > 0; --n) {
    const std::size_t comma = line.find(',');
    if (comma == std::string_view::npos) return {};
    line.remove_prefix(comma + 1);
  }
  return line.substr(0, line.find_first_of(",*"));
}

}  // namespace

void ReceivedDecimals::Feed(std::string_view bytes) {
  // Far beyond a sentence's 82 characters: a longer line is no fix sentence.
  constexpr std::size_t kLongest = 256;
  for (char c : bytes) {
    if (c == '\r' || c == '\n') {
      if (line_.size() <= kLongest) TakeLine(line_);
      line_.clear();
    } else if (line_.size() <= kLongest) {
      line_ += c;
    }
  }
}

void ReceivedDecimals::TakeLine(std::string_view line) {
  if (line.size() < 7 || line[0] != '$') return;
  // The latitude's field in each fix sentence; the longitude's is two on.
  const std::string_view type = line.substr(3, 3);
  const int at = type == "GGA" || type == "GNS" ? 2 : type == "RMC" ? 3 : type == "GLL" ? 1 : 0;
  if (at == 0 || line[6] != ',') return;
  latitude_ = std::max(latitude_, FieldDecimals(Field(line, at)));
  longitude_ = std::max(longitude_, FieldDecimals(Field(line, at + 2)));
}

int MinuteDecimals(double degrees) {
  if (!std::isfinite(degrees)) return kMostMinuteDecimals;
  const double a = std::fabs(degrees);
  const double minutes = (a - std::floor(a)) * 60;
  double scale = 1;
  for (int d = 0; d < kMostMinuteDecimals; ++d, scale *= 10) {
    const double scaled = minutes * scale;
    if (std::fabs(scaled - std::round(scaled)) < kDigitSlack) return d;
  }
  return kMostMinuteDecimals;
}

std::string CoordinateText(double degrees, int minute_decimals) {
  if (minute_decimals < 0) minute_decimals = MinuteDecimals(degrees);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.*f", std::min(minute_decimals, kMostMinuteDecimals) + 2,
                degrees);
  // -0.00000 is 0: a sign that says nothing.
  if (buf[0] == '-' && std::strspn(buf + 1, "0.") == std::strlen(buf + 1)) return buf + 1;
  return buf;
}

std::string XmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const std::size_t n = Utf8Length(text);
    const char c = text[0];
    if (n == 0 ||
        (n == 1 && static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') ||
        c == 0x7F) {
      out += "\xEF\xBF\xBD";
      text.remove_prefix(n == 0 ? 1 : n);
      continue;
    }
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      // Kept as characters, not normalised to spaces as a raw one would be.
      case '\t': out += "&#9;"; break;
      case '\n': out += "&#10;"; break;
      case '\r': out += "&#13;"; break;
      default: out.append(text.substr(0, n));
    }
    text.remove_prefix(n);
  }
  return out;
}

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

bool HasFix(const Epoch& e) {
  // Off the globe is no position (and GPX's schema allows none).
  if (!Finite(e.latitude) || !Finite(e.longitude) || std::fabs(*e.latitude) > 90 ||
      std::fabs(*e.longitude) > 180) {
    return false;
  }
  if (e.quality == 0 || (e.mode && *e.mode <= 1)) return false;
  return e.good || e.quality.value_or(0) > 0 || e.mode.value_or(0) >= 2;
}

std::string IsoTime(const Epoch& e) {
  if (!e.time) return {};
  using namespace std::chrono;
  const sys_days day = floor<days>(*e.time);
  const year_month_day ymd(day);
  if (!Dated(*e.time)) return {};  // a time of day that came without its date
  const hh_mm_ss<seconds> t(*e.time - day);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                static_cast<int>(t.hours().count()), static_cast<int>(t.minutes().count()),
                static_cast<int>(t.seconds().count()));
  return buf;
}

ExportWriter::~ExportWriter() {
  if (owned_ && out_ != nullptr) std::fclose(out_);
}

void ExportWriter::Put(std::string_view text) {
  if (check_.failed()) return;
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), out_) != text.size()) check_.Fail(errno);
}

void ExportWriter::EndEpoch() {
  if (flush_each_) check_.Flush();
}

bool ExportWriter::Finish() {
  Put(Trailer());
  check_.Flush();
  if (owned_) {
    errno = 0;
    if (std::fclose(out_) != 0) check_.Fail(errno);
    out_ = nullptr;
    own_.Forget();
  }
  return !check_.failed();
}

GpxWriter::GpxWriter(std::FILE* out, bool owned, std::string out_name, bool flush_each,
                     std::FILE* err, std::string_view track_name, double gap_seconds,
                     const ReceivedDecimals* decimals, WriteCheck* shared)
    : ExportWriter(out, owned, std::move(out_name), flush_each, err, shared),
      gap_(gap_seconds),
      decimals_(decimals) {
  Put("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<gpx version=\"1.1\" creator=\"orvane\" xmlns=\"http://www.topografix.com/GPX/1/1\" "
      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
      "xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
      "http://www.topografix.com/GPX/1/1/gpx.xsd\">\n"
      "<trk>\n  <name>" +
      XmlEscape(track_name) + "</name>\n");
  EndEpoch();
}

void GpxWriter::Write(const Epoch& e) {
  if (!HasFix(e)) {
    // The points on either side of a lost fix are not joined.
    if (in_segment_) Put("  </trkseg>\n");
    in_segment_ = false;
    EndEpoch();
    return;
  }
  text_.clear();
  const bool gap = e.time && last_time_ && GapOver(*last_time_, *e.time, gap_);
  if (in_segment_ && gap) text_ += "  </trkseg>\n";
  if (!in_segment_ || gap) text_ += "  <trkseg>\n";
  in_segment_ = true;
  if (e.time) last_time_ = e.time;
  text_ += "   <trkpt lat=\"" + CoordinateText(*e.latitude, LatitudeDecimals(decimals_)) +
           "\" lon=\"" + CoordinateText(*e.longitude, LongitudeDecimals(decimals_)) + "\">\n";
  // GPX 1.1's order: ele, time, ..., fix, sat, hdop, vdop, pdop.
  Element(text_, "ele", Number(e.altitude));
  Element(text_, "time", IsoTime(e));
  const char* fix = GpxFix(e);
  Element(text_, "fix", fix != nullptr ? fix : "");
  Element(text_, "sat", Integer(e.satellites_used));
  Element(text_, "hdop", Number(e.hdop));
  Element(text_, "vdop", Number(e.vdop));
  Element(text_, "pdop", Number(e.pdop));
  text_ += "   </trkpt>\n";
  Put(text_);
  EndEpoch();
}

std::string GpxWriter::Trailer() {
  return std::string(in_segment_ ? "  </trkseg>\n" : "") + "</trk>\n</gpx>\n";
}

CsvWriter::CsvWriter(std::FILE* out, bool owned, std::string out_name, bool flush_each,
                     std::FILE* err, const ReceivedDecimals* decimals, WriteCheck* shared)
    : ExportWriter(out, owned, std::move(out_name), flush_each, err, shared), decimals_(decimals) {
  Put(kCsvHeader);
  EndEpoch();
}

void CsvWriter::Write(const Epoch& e) {
  const auto coordinate = [](const std::optional<double>& v, int decimals) {
    return Finite(v) ? CoordinateText(*v, decimals) : std::string();
  };
  std::string sentences;
  for (const std::string& type : e.sentences) sentences += (sentences.empty() ? "" : ",") + type;
  const std::string cells[] = {IsoTime(e),
                               e.good ? "true" : "false",
                               coordinate(e.latitude, LatitudeDecimals(decimals_)),
                               coordinate(e.longitude, LongitudeDecimals(decimals_)),
                               Number(e.altitude),
                               SumText(e.altitude_hae, e.altitude, e.geoid_height),
                               Number(e.geoid_height),
                               Number(e.speed),
                               Number(e.course),
                               Number(e.magnetic_course),
                               Number(e.magnetic_variation),
                               Number(e.heading),
                               Number(e.magnetic_heading),
                               Integer(e.mode),
                               Integer(e.quality),
                               Integer(e.satellites_used),
                               Integer(e.satellites_in_view),
                               Number(e.pdop),
                               Number(e.hdop),
                               Number(e.vdop),
                               Number(e.latitude_error),
                               Number(e.longitude_error),
                               Number(e.altitude_error),
                               sentences};
  row_.clear();
  for (const std::string& cell : cells) {
    if (&cell != &cells[0]) row_ += ',';
    row_ += CsvField(cell);
  }
  row_ += "\r\n";
  Put(row_);
  EndEpoch();
}

}  // namespace orvane::cli
