// JSON text for the command's output: one value per VARIANT, plain or typed.
#pragma once

#include <string>
#include <string_view>

#include "automation/variant.h"

namespace orvane::cli {

// Plain: null, numbers, true/false, strings, "YYYY-MM-DDTHH:MM:SS", arrays.
// Typed: {"vt":N,"value":...} with a DATE's value as its double.
void AppendJson(std::string& out, const Variant& v, bool typed);
void AppendJsonString(std::string& out, std::string_view utf8);
// Shortest text that reads back as the same double.
std::string ShortestDouble(double d);
void AppendDouble(std::string& out, double d);
// The same at `p`, which has room for kDoubleChars; returns the end.
inline constexpr int kDoubleChars = 32;
char* WriteDouble(char* p, double d);
// `d` to `decimals` places (0-17), exactly as std::to_chars's fixed format
// writes it, at `p` with room for kDoubleChars; |d| below 1e15. Returns the end.
char* WriteFixed(char* p, double d, int decimals);
// "YYYY-MM-DDTHH:MM:SS" to the nearest second, or empty when out of range.
std::string IsoDate(double date);

}  // namespace orvane::cli
