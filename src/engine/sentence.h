// One NMEA line's checksum and fields.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// Element 0 is the identifier; element i the i-th comma-separated field, with
// blanks (0x20 only) trimmed at both ends. Views point into the line, which
// outlives the handler call.
using SentenceFields = std::vector<std::string_view>;

// Checks and strips the "*hh" suffix in place (the CR goes with it). A line
// without '*' is accepted unchanged.
bool VerifyChecksum(std::string& line);
// The same on a view, which is shortened to drop the suffix.
bool VerifyChecksum(std::string_view& line);
// Splits at every comma into `fields` (cleared first; capacity reused).
void SplitFields(std::string_view line, SentenceFields& fields);
// VerifyChecksum (the view is shortened the same way) and SplitFields in one
// pass over the line. On a checksum mismatch returns false and leaves
// `fields` unspecified.
bool SplitVerifiedFields(std::string_view& line, SentenceFields& fields);
// Pads with empty fields or cuts to exactly `count` elements.
void NormalizeFieldCount(SentenceFields& fields, std::size_t count);
// Appends the "*hh" suffix (upper-case hex) over every byte after the
// leading '$', as a talker writes it.
void AppendChecksum(std::string& sentence);

}  // namespace orvane
