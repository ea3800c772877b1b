#include "support/nmea.h"

#include "engine/sentence.h"

// Hosts of the library, the tests among them, get its headers and never its
// build settings.
#ifdef ORVANE_VERSION
#error "ORVANE_VERSION leaked from the library's build"
#endif

namespace orvane::testing {

std::string WithChecksum(std::string_view body) {
  std::string line(body);
  AppendChecksum(line);
  return line;
}

std::string Sentence(std::string_view body) { return WithChecksum(body) + "\r\n"; }

}  // namespace orvane::testing
