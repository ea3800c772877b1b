// Sentences as a talker writes them, for tests that build their input.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "engine/sentence.h"

namespace orvane::testing {

// `body` (starting with '$') with its "*hh" suffix.
std::string WithChecksum(std::string_view body);
// The same followed by CR LF: one whole line of a log or a port.
std::string Sentence(std::string_view body);

// An RMC sentence padded in its last field so that its line, CR included
// and line feed not, is `length` bytes (at least 80); then CR LF.
std::string RmcOfLength(std::size_t length);

// The fields of `line` ("$GPRMC,...", a checksum not needed) as the sentence
// loop hands them to the handler of its type: split, then padded or cut to
// that type's field count in Receiver::Sentences(). They point into `line`.
// Throws std::invalid_argument for a type no handler takes.
SentenceFields HandlerFields(std::string_view line);

}  // namespace orvane::testing
