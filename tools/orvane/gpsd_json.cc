#include "gpsd_json.h"

#include <chrono>
#include <cstdio>
#include <optional>

#include "json.h"

namespace orvane::cli {
namespace {

constexpr double kMetresPerSecondPerKnot = 1852.0 / 3600.0;

void Number(std::string& s, const char* key, const std::optional<double>& value, double factor = 1.0) {
  if (!value) return;
  s += ",\"";
  s += key;
  s += "\":";
  s += ShortestDouble(*value * factor);
}

void Integer(std::string& s, const char* key, const std::optional<int>& value) {
  if (!value) return;
  s += ",\"";
  s += key;
  s += "\":";
  s += std::to_string(*value);
}

void Time(std::string& s, const std::optional<UtcTime>& time) {
  if (!time) return;
  const auto day = std::chrono::floor<std::chrono::days>(*time);
  const std::chrono::year_month_day ymd(day);
  const std::chrono::hh_mm_ss hms(*time - day);
  char buf[40];
  std::snprintf(buf, sizeof buf, ",\"time\":\"%04d-%02u-%02uT%02d:%02d:%02d.000Z\"", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                static_cast<int>(hms.hours().count()), static_cast<int>(hms.minutes().count()),
                static_cast<int>(hms.seconds().count()));
  s += buf;
}

}  // namespace

std::string GpsdTpv(const Epoch& e) {
  std::string s = "{\"class\":\"TPV\",\"mode\":";
  s += std::to_string(e.mode.value_or(0));
  Time(s, e.time);
  Number(s, "lat", e.latitude);
  Number(s, "lon", e.longitude);
  Number(s, "altHAE", e.altitude_hae);
  Number(s, "altMSL", e.altitude);
  Number(s, "geoidSep", e.geoid_height);
  Number(s, "epx", e.longitude_error);
  Number(s, "epy", e.latitude_error);
  Number(s, "epv", e.altitude_error);
  Number(s, "track", e.course);
  Number(s, "magtrack", e.magnetic_course);
  Number(s, "magvar", e.magnetic_variation);
  Number(s, "speed", e.speed, kMetresPerSecondPerKnot);
  Number(s, "heading", e.heading);
  s += "}\n";
  return s;
}

std::string GpsdSky(const Epoch& e) {
  std::string s = "{\"class\":\"SKY\"";
  Time(s, e.time);
  Number(s, "hdop", e.hdop);
  Number(s, "pdop", e.pdop);
  Number(s, "vdop", e.vdop);
  Integer(s, "nSat", static_cast<int>(e.sky.in_sight.size()));
  Integer(s, "uSat", static_cast<int>(e.sky.used.size()));
  s += ",\"satellites\":[";
  bool first = true;
  for (const Satellite& sat : e.sky.in_sight) {
    if (!first) s += ',';
    first = false;
    s += "{\"PRN\":" + std::to_string(sat.number);
    Integer(s, "el", sat.elevation);
    Integer(s, "az", sat.azimuth);
    if (sat.snr) {
      s += ",\"ss\":" + std::to_string(*sat.snr);
    }
    s += sat.used_in_fix ? ",\"used\":true}" : ",\"used\":false}";
  }
  s += "]}\n";
  return s;
}

}  // namespace orvane::cli
