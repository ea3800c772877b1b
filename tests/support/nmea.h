// Sentences as a talker writes them, for tests that build their input.
#pragma once

#include <string>
#include <string_view>

namespace orvane::testing {

// `body` (starting with '$') with its "*hh" suffix.
std::string WithChecksum(std::string_view body);
// The same followed by CR LF: one whole line of a log or a port.
std::string Sentence(std::string_view body);

}  // namespace orvane::testing
