#include "json.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "automation/date.h"

namespace orvane::cli {

std::string ShortestDouble(double d) {
  char buf[32];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, d);
  return ec == std::errc() ? std::string(buf, end) : std::string("0");
}

std::string IsoDate(double date) {
  auto parts = SplitDate(date);
  if (!parts) return {};
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", parts->year, parts->month, parts->day,
                parts->hour, parts->minute, parts->second);
  return buf;
}

void AppendJsonString(std::string& out, std::string_view s) {
  out += '"';
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
}

namespace {

void AppendNumber(std::string& out, double d) {
  if (std::isfinite(d)) {
    out += ShortestDouble(d);
  } else {
    out += "null";  // JSON has no infinities
  }
}

void AppendPlain(std::string& out, const Variant& v, bool typed) {
  switch (v.vt()) {
    case VT_EMPTY:
    case VT_NULL: out += "null"; break;
    case VT_I2: out += std::to_string(v.i2()); break;
    case VT_I4:
    case VT_ERROR: out += std::to_string(v.i4()); break;
    case VT_R8: AppendNumber(out, v.r8()); break;
    case VT_BOOL: out += v.boolean() ? "true" : "false"; break;
    case VT_BSTR: AppendJsonString(out, v.ToUtf8()); break;
    case VT_DATE:
      if (typed) {
        AppendNumber(out, v.date());
      } else {
        std::string iso = IsoDate(v.date());
        if (iso.empty()) {
          out += "null";
        } else {
          AppendJsonString(out, iso);
        }
      }
      break;
    case kVtArrayOfVariant:
      out += '[';
      for (std::size_t i = 0; i < v.array().size(); ++i) {
        if (i) out += ',';
        AppendJson(out, v.array()[i], typed);
      }
      out += ']';
      break;
    default: out += "null";
  }
}

}  // namespace

void AppendJson(std::string& out, const Variant& v, bool typed) {
  if (!typed) {
    AppendPlain(out, v, false);
    return;
  }
  out += "{\"vt\":" + std::to_string(v.vt()) + ",\"value\":";
  AppendPlain(out, v, true);
  out += '}';
}

}  // namespace orvane::cli
