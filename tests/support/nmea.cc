#include "support/nmea.h"

#include <stdexcept>

#include "engine/receiver.h"
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

std::string RmcOfLength(std::size_t length) {
  std::string body = "$GPRMC,120000,A,4916.45,N,12311.12,W,000.5,054.7,191194,020.3,E,";
  body.append(length - body.size() - 4, 'x');  // then "*hh\r"
  return Sentence(body);
}

SentenceFields HandlerFields(std::string_view line) {
  SentenceFields fields;
  SplitFields(line, fields);
  const std::string_view type = fields[0].size() == 6 ? fields[0].substr(3) : std::string_view();
  for (const SentenceRow& row : Receiver::Sentences()) {
    if (row.identifier == type) {
      NormalizeFieldCount(fields, row.field_count);
      return fields;
    }
  }
  throw std::invalid_argument("no handler takes " + std::string(fields[0]));
}

}  // namespace orvane::testing
