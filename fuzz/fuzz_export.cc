// --gpx and --csv over any epochs, track name and sentence bytes: the GPX
// must stay well-formed XML of valid characters, every CSV row must hold
// the header's cells, and a coordinate must come back within half a unit of
// the last digit it was given.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "export.h"
#include "fuzz_input.h"

using namespace orvane;
using namespace orvane::cli;

namespace {

class Input : public FuzzInput {
 public:
  using FuzzInput::FuzzInput;
  // A double: mostly plausible numbers, now and then anything at all.
  std::optional<double> Number() {
    const std::uint8_t kind = Byte();
    if (kind % 4 == 0) return std::nullopt;
    if (kind % 16 == 1) {
      double d;
      std::uint64_t bits = 0;
      for (int i = 0; i < 8; ++i) bits = bits << 8 | Byte();
      std::memcpy(&d, &bits, sizeof d);
      return d;
    }
    const int whole = static_cast<int>(Byte() | Byte() << 8) % 400 - 200;
    const int fraction = static_cast<int>(Byte() | Byte() << 8 | Byte() << 16);
    return whole + fraction / 1e7;
  }
  std::optional<int> Small() {
    const std::uint8_t b = Byte();
    return b % 3 == 0 ? std::nullopt : std::optional<int>(static_cast<int>(b) - 40);
  }
};

[[noreturn]] void Fail(const char* what, const std::string& text) {
  std::fprintf(stderr, "fuzz_export: %s\n%s\n", what, text.c_str());
  std::abort();
}

// Tags nest and close, text holds no raw markup, entities are the five or
// numeric, every character is UTF-8 allowed by XML 1.0.
void CheckXml(const std::string& xml) {
  std::vector<std::string> open;
  std::size_t i = xml.find("?>") + 2;
  while (i < xml.size()) {
    const char c = xml[i];
    if (c == '<') {
      const std::size_t end = xml.find('>', i);
      if (end == std::string::npos) Fail("a tag without its end", xml);
      const std::string tag = xml.substr(i + 1, end - i - 1);
      if (tag.find('<') != std::string::npos) Fail("< inside a tag", xml);
      if (tag[0] == '/') {
        if (open.empty() || open.back() != tag.substr(1))
          Fail("a closing tag that does not match", xml);
        open.pop_back();
      } else if (tag.back() != '/') {
        open.push_back(tag.substr(0, tag.find(' ')));
      }
      i = end + 1;
      continue;
    }
    if (c == '>') Fail("a raw > in text", xml);
    if (c == '&') {
      const std::size_t semi = xml.find(';', i);
      const std::string ref = xml.substr(i + 1, semi - i - 1);
      if (ref != "amp" && ref != "lt" && ref != "gt" && ref != "quot" && ref != "apos" &&
          ref != "#9" && ref != "#10" && ref != "#13") {
        Fail("an unknown entity", xml);
      }
    }
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 && c != '\n') Fail("a control character", xml);
    ++i;
  }
  if (!open.empty()) Fail("an element left open", xml);
}

// Rows end in CRLF outside quotes; a CR or LF inside a cell is quoted.
void CheckCsv(const std::string& csv) {
  std::size_t cells = 0, n = 1;
  bool quoted = false;
  for (std::size_t i = 0; i < csv.size(); ++i) {
    const char c = csv[i];
    if (c == '"') {
      quoted = !quoted;
    } else if (quoted) {
      continue;
    } else if (c == ',') {
      ++n;
    } else if (c == '\r' && i + 1 < csv.size() && csv[i + 1] == '\n') {
      if (cells == 0) cells = n;
      if (n != cells) Fail("a row of another width", csv);
      n = 1;
      ++i;
    } else if (c == '\r' || c == '\n') {
      Fail("a line break outside quotes", csv);
    }
  }
  if (quoted || n != 1) Fail("an unclosed quote or an unended row", csv);
}

std::string Written(std::FILE* f) {
  std::rewind(f);
  std::string s;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) s.append(buf, n);
  std::fclose(f);
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  ReceivedDecimals decimals;
  const std::string sentences = in.Text(200);
  for (std::size_t at = 0, step = 1 + in.Byte() % 7; at < sentences.size(); at += step) {
    decimals.Feed(std::string_view(sentences).substr(at, step));
  }
  const std::string name = in.Text(40);
  std::FILE* gpx_file = std::tmpfile();
  std::FILE* csv_file = std::tmpfile();
  if (gpx_file == nullptr || csv_file == nullptr) return 0;
  {
    GpxWriter gpx(gpx_file, false, "gpx", false, stderr, name, in.Byte() % 20, &decimals);
    CsvWriter csv(csv_file, false, "csv", false, stderr, &decimals);
    std::int64_t seconds = 700000000;
    while (!in.empty()) {
      Epoch e;
      seconds += static_cast<std::int8_t>(in.Byte());
      if (in.Byte() % 5 != 0) e.time = UtcTime(std::chrono::seconds(seconds));
      e.good = in.Byte() % 2 == 0;
      e.latitude = in.Number();
      e.longitude = in.Number();
      e.altitude = in.Number();
      e.geoid_height = in.Number();
      if (e.altitude && e.geoid_height) e.altitude_hae = *e.altitude + *e.geoid_height;
      e.quality = in.Small();
      e.mode = in.Small();
      e.satellites_used = in.Small();
      e.hdop = in.Number();
      e.sentences.push_back(in.Text(5));
      gpx.Write(e);
      csv.Write(e);
      // Any coordinate on the globe (beyond it, a double's own spacing is
      // coarser than ten decimals).
      if (e.latitude && std::isfinite(*e.latitude) && std::fabs(*e.latitude) <= 180) {
        const int d = decimals.latitude() >= 0 ? std::min(decimals.latitude(), 8)
                                               : MinuteDecimals(*e.latitude);
        const std::string text = CoordinateText(*e.latitude, decimals.latitude());
        if (std::fabs(std::strtod(text.c_str(), nullptr) - *e.latitude) >
            0.51 * std::pow(10, -(d + 2))) {
          Fail("a coordinate further off than its last digit", text);
        }
      }
    }
    if (!gpx.Finish() || !csv.Finish()) Fail("a write to a temporary file failed", "");
  }
  CheckXml(Written(gpx_file));
  CheckCsv(Written(csv_file));
  return 0;
}
