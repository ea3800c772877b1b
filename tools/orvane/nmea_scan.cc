#include "nmea_scan.h"

#include <cctype>
#include <cstdio>

#include "engine/sentence.h"

namespace orvane::cli {
namespace {

// A well-formed NMEA sentence of any type: "$", a five-character address,
// fields, and a two-digit checksum that matches.
bool IsWellFormedSentence(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.size() < 9 || line[0] != '$' || line.find('*') != line.size() - 3) return false;
  for (std::size_t i = 1; i <= 5; ++i) {
    if (!std::isalnum(static_cast<unsigned char>(line[i]))) return false;
  }
  for (std::size_t i = line.size() - 2; i < line.size(); ++i) {
    if (!std::isxdigit(static_cast<unsigned char>(line[i]))) return false;
  }
  return VerifyChecksum(line);
}

}  // namespace

void NmeaScan::Feed(std::string_view bytes) {
  for (char c : bytes) {
    if (found_) return;
    // The same bytes cut at CR alone, to say why a log was read as empty.
    if (c == '\r' || c == '\n') {
      if (!cr_line_.empty() && cr_line_.size() <= kLongestSentence &&
          IsWellFormedSentence(cr_line_))
        ++cr_only_;
      cr_line_.clear();
    } else if (cr_line_.size() <= kLongestSentence) {
      cr_line_.push_back(c);
    }
    if (c != '\n') {
      if (line_.size() <= kLongestSentence) line_.push_back(c);
      continue;
    }
    found_ = line_.size() <= kLongestSentence && IsWellFormedSentence(line_);
    line_.clear();
  }
}

NmeaScan ScanForNmea(const std::string& path) {
  NmeaScan scan;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return scan;
  char buf[65536];
  for (std::size_t n; !scan.found() && (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
    scan.Feed({buf, n});
  std::fclose(f);
  return scan;
}

}  // namespace orvane::cli
