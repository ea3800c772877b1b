#include "support/nmea.h"

#include "engine/sentence.h"

namespace orvane::testing {

std::string WithChecksum(std::string_view body) {
  std::string line(body);
  AppendChecksum(line);
  return line;
}

std::string Sentence(std::string_view body) { return WithChecksum(body) + "\r\n"; }

}  // namespace orvane::testing
