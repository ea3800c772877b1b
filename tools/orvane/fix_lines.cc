#include "fix_lines.h"

#include <cmath>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "control/dispatch.h"
#include "control/member_table.h"
#include "control/orvane_control.h"
#include "control_text.h"
#include "json.h"

namespace orvane::cli {
namespace {

const EventInfo* FindEvent(DISPID id) {
  for (const EventInfo& e : Events()) {
    if (e.dispid == id) return &e;
  }
  return nullptr;
}

// An event argument by the event table's name for it. The sink receives the
// arguments last first, as IDispatch passes them.
const Variant& EventArg(const EventInfo& event, std::span<Variant> args, std::string_view name) {
  static const Variant kAbsent;
  for (std::size_t k = 0; k < event.param_count; ++k) {
    if (event.params[k] == name) return k < args.size() ? args[args.size() - 1 - k] : kAbsent;
  }
  return kAbsent;
}

const char* const kUnit[] = {"mph", "km/h", "kn"};

int SpeedUnit(const Variant& units) {
  return units.vt() == VT_I2 && units.i2() >= 0 && units.i2() <= 2 ? units.i2() : 2;
}

std::string SpeedText(const Variant& speed) {
  return speed.vt() == VT_R8 ? ShortestDouble(std::round(speed.r8() * 100) / 100) : "-";
}

// The heading and GST's horizontal error, when the receiver sent them.
std::string Extras(const Epoch& e) {
  std::string extra;
  char buf[64];
  if (e.heading) {
    std::snprintf(buf, sizeof buf, "  hdg %.1f", *e.heading);
    extra += buf;
  } else if (e.magnetic_heading) {
    std::snprintf(buf, sizeof buf, "  hdg %.1f M", *e.magnetic_heading);
    extra += buf;
  }
  if (e.latitude_error && e.longitude_error) {
    std::snprintf(buf, sizeof buf, "  err %.1f m",
                  std::hypot(*e.latitude_error, *e.longitude_error));
    extra += buf;
  }
  return extra;
}

// ,"key":{"Name":value,...} (no comma before the first entry).
void AppendKeyed(std::string& s, bool* first, const std::string& key, bool typed,
                 std::initializer_list<std::pair<const char*, const Variant*>> fields) {
  if (!*first) s += ',';
  *first = false;
  AppendJsonString(s, key);
  s += ":{";
  bool inner_first = true;
  for (const auto& [name, value] : fields) {
    if (!inner_first) s += ',';
    inner_first = false;
    AppendJsonString(s, name);
    s += ':';
    AppendJson(s, *value, typed);
  }
  s += '}';
}

void AppendProperties(OrvaneControl& control, std::string& s, bool typed) {
  bool first = true;
  for (const auto& m : Members()) {
    if (m.kind != MemberKind::kGet) continue;
    if (!first) s += ',';
    first = false;
    AppendJsonString(s, m.name);
    s += ':';
    Variant v;
    ExcepInfo info;
    const HRESULT hr = GetProperty(control, m.name, &v, &info);
    if (FAILED(hr)) {
      const HRESULT code = Reported(hr, info);
      s += "{\"error\":";
      AppendJsonString(s, Hex(code));
      s += ",\"description\":";
      AppendJsonString(s, CodeText(code, &info));
      s += '}';
    } else {
      AppendJson(s, v, typed);
    }
  }
}

void AppendSatellites(OrvaneControl& control, std::string& s, bool typed) {
  Variant prns;
  GetProperty(control, "SatelliteInViewPRNs", &prns);
  bool first = true;
  std::map<int, bool> seen;
  for (const auto& prn : prns.array()) {
    if (prn.vt() != VT_I2 || seen[prn.i2()]) continue;
    seen[prn.i2()] = true;
    std::vector<Variant> args = {prn, Variant(), Variant(), Variant()};
    InvokeByName(control, "GetSatelliteInfo", DISPATCH_METHOD, args, nullptr);
    AppendKeyed(s, &first, std::to_string(prn.i2()), typed,
                {{"Azimuth", &args[1]}, {"Elevation", &args[2]}, {"SignalToNoiseRatio", &args[3]}});
  }
}

void AppendWaypoints(OrvaneControl& control, std::string& s, bool typed) {
  Variant names;
  GetProperty(control, "WptsInRoute", &names);
  bool first = true;
  std::map<std::u16string, bool> named;
  for (const auto& name : names.array()) {
    if (name.vt() != VT_BSTR || named[name.bstr()]) continue;
    named[name.bstr()] = true;
    std::vector<Variant> args = {name, Variant(), Variant()};
    InvokeByName(control, "GetWptLocation", DISPATCH_METHOD, args, nullptr);
    AppendKeyed(s, &first, name.ToUtf8(), typed, {{"Latitude", &args[1]}, {"Longitude", &args[2]}});
  }
}

}  // namespace

void FixLines::PrintFixEvent(std::span<Variant> args) {
  const EventInfo& fix = *FindEvent(kDispIdFixUpdate);
  const Variant& good = EventArg(fix, args, "FixGood");
  const Variant& when = EventArg(fix, args, "FixDateTime");
  const Variant& lat = EventArg(fix, args, "Latitude");
  const Variant& lon = EventArg(fix, args, "Longitude");
  const Variant& speed = EventArg(fix, args, "Speed");
  std::string time = when.vt() == VT_DATE ? IsoDate(when.date()) : std::string();
  Variant units, sats;
  GetProperty(control_, "SpeedUnits", &units);
  GetProperty(control_, "NumSatellitesInFix", &sats);
  std::string sats_text = sats.vt() == VT_I2 ? std::to_string(sats.i2()) : "-";
  std::fprintf(out_, "%-19s  %s  %-16s %-17s %8s %-4s sats %s\n", time.empty() ? "-" : time.c_str(),
               good.vt() == VT_BOOL && good.boolean() ? "fix  " : "nofix", lat.ToUtf8().c_str(),
               lon.ToUtf8().c_str(), SpeedText(speed).c_str(), kUnit[SpeedUnit(units)],
               sats_text.c_str());
}

void FixLines::Write(const Epoch& e) {
  Variant good, when, lat, lon, speed, units, sats;
  GetProperty(control_, "FixGood", &good);
  GetProperty(control_, "FixDateTime", &when);
  GetProperty(control_, "Latitude", &lat);
  GetProperty(control_, "Longitude", &lon);
  GetProperty(control_, "Speed", &speed);
  GetProperty(control_, "SpeedUnits", &units);
  GetProperty(control_, "NumSatellitesInFix", &sats);
  const std::string time = when.vt() == VT_DATE && when.date() != 0.0 ? IsoDate(when.date()) : "-";
  std::string sats_text = sats.vt() == VT_I2 ? std::to_string(sats.i2()) : "-";
  if (!e.satellites_used && sats.vt() != VT_I2) sats_text = "-";
  std::fprintf(
      out_, "%-19s  %s  %-16s %-17s %8s %-4s sats %s%s\n", time.c_str(),
      (good.vt() == VT_BOOL && good.boolean()) || e.mode.value_or(0) >= 2 ? "fix  " : "nofix",
      lat.ToUtf8().c_str(), lon.ToUtf8().c_str(), SpeedText(speed).c_str(), kUnit[SpeedUnit(units)],
      sats_text.c_str(), Extras(e).c_str());
}

void PrintSummary(OrvaneControl& control, std::FILE* out, double seconds, bool other_types) {
  const Receiver::Stats& st = control.stats();
  std::fprintf(out, "summary: %llu lines in %.3f s (%.0f lines/s)\n",
               static_cast<unsigned long long>(st.lines), seconds,
               seconds > 0 ? static_cast<double>(st.lines) / seconds : 0.0);
  // Counted whatever the talker: "$--" says so once more than GP is taken.
  Variant talkers;
  GetProperty(control, "Talkers", &talkers);
  const std::string talker = talkers.vt() == VT_BSTR && talkers.bstr() == u"GP" ? "$GP" : "$--";
  Variant extended;
  GetProperty(control, "ExtendedSentences", &extended);
  const bool with_extended = extended.vt() == VT_BOOL && extended.boolean();
  const auto& rows = Receiver::Sentences();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].extended && !with_extended) continue;
    const std::string identifier = talker + std::string(rows[i].identifier);
    std::fprintf(out, "  %-8s %llu\n", identifier.c_str(),
                 static_cast<unsigned long long>(st.by_row[i]));
  }
  std::fprintf(out, "  %-8s %llu\n", "other", static_cast<unsigned long long>(st.unrecognised));
  for (const auto& [name, count] : other_types ? st.other_types : decltype(st.other_types){}) {
    std::fprintf(out, "    %-8s %llu\n", name.c_str(), static_cast<unsigned long long>(count));
  }
  std::fprintf(out, "  dropped by checksum: %llu\n",
               static_cast<unsigned long long>(st.checksum_dropped));
  if (st.overlong_dropped != 0) {
    std::fprintf(out, "  dropped as overlong: %llu\n",
                 static_cast<unsigned long long>(st.overlong_dropped));
  }
}

void PrintProperties(OrvaneControl& control, std::FILE* out, bool typed) {
  std::string s = "{\"properties\":{";
  AppendProperties(control, s, typed);
  s += "},\"satellites\":{";
  AppendSatellites(control, s, typed);
  s += "},\"waypoints\":{";
  AppendWaypoints(control, s, typed);
  s += "}}\n";
  std::fwrite(s.data(), 1, s.size(), out);
}

}  // namespace orvane::cli
