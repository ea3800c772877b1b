// Field numbers read in the manner of atoi/atof, whatever the process locale:
// leading white space, an optional sign, digits up to the first other byte;
// no digits reads as 0.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace orvane {

// atoi on the 32-bit platform the control was made for: out-of-range values
// clamp to the 32-bit limits.
std::int32_t ReadIntInFull(std::string_view text);
inline std::int32_t ReadInt(std::string_view text) {
  // Two digits, a time's or a date's part, the most common of all: no call.
  if (text.size() == 2) {
    const auto high = static_cast<unsigned>(text[0] - '0'),
               low = static_cast<unsigned>(text[1] - '0');
    if (high <= 9) return static_cast<std::int32_t>(low <= 9 ? high * 10 + low : high);
  }
  return ReadIntInFull(text);
}
// The low 16 bits of ReadInt, as a VT_I2 member stores it.
inline std::int16_t ReadInt16(std::string_view text) {
  return static_cast<std::int16_t>(
      static_cast<std::uint16_t>(static_cast<std::uint32_t>(ReadInt(text))));
}
// atof: decimal point '.', optional exponent; overflow gives +-HUGE_VAL,
// underflow 0.
double ReadDouble(std::string_view text);
// A coordinate's "dddmm.mmmm" split at the minutes' two digits before the
// first '.': *degrees = ReadDouble of the text before them, *minutes =
// ReadDouble from them on. False (nothing stored) without a '.' at index 2 or
// later.
bool ReadDegreesMinutes(std::string_view text, double* degrees, double* minutes);
// The text's value when it is 1 to 9 decimal digits and nothing else.
bool ReadPlainDigits(std::string_view text, std::int32_t* value);

// Unlike the reads above, these read as std::from_chars does (no leading
// space or '+'): what a typed value of a stored text is. The number at the
// start of the text, or none.
std::optional<double> ReadLeadingNumber(std::string_view text);
// "003.1" "W": the number when it is the whole text and the letter is ASCII.
std::optional<double> ReadNumberBeforeLetter(std::string_view number, char letter);

}  // namespace orvane
