// Whether bytes hold NMEA at all, to say why a log was read as empty.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orvane::cli {

// Looks for a well-formed sentence in bytes given in runs of any length. A
// log is scanned only when nothing was handled, so a log of types the
// control does not decode is not called empty.
class NmeaScan {
 public:
  void Feed(std::string_view bytes);
  bool found() const { return found_; }
  // Sentences found only when CR alone ends a line.
  std::uint64_t cr_only() const { return found_ ? 0 : cr_only_; }

 private:
  std::string cr_line_;
  std::uint64_t cr_only_ = 0;
  static constexpr std::size_t kLongestSentence = 4096;  // far beyond any receiver's
  std::string line_;
  bool found_ = false;
};

// The scan of a whole file (nothing found when it cannot be read).
NmeaScan ScanForNmea(const std::string& path);

}  // namespace orvane::cli
