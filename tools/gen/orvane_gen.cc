// orvane-gen: writes a realistic NMEA 0183 log of a sail or a drive around a
// circular route, one fix a second, deterministic from a seed.
//
//   orvane-gen [--seconds N | --lines N] [--seed S] [--mode sail|drive]
//              [--start YYYY-MM-DDTHH:MM:SS] [--gsv-every N] [--gnss | --extended | --survey]
//              [-o FILE]
//
// Every second: RMC, GGA, GLL, GSA, RMB, BOD, and the three-message GSV group
// every --gsv-every seconds (at 4800 baud a receiver cannot send the whole
// set every second). At the top of each minute: the route in two RTE
// messages, then one WPL per waypoint. Lines end in CR LF.
//
// --gnss writes what a multi-constellation NMEA 4.10 receiver sends: GN fix
// sentences, one GSA per system with its system id, and GSV groups per
// system and signal (GPS on L1 and L5, GLONASS, Galileo, BeiDou), and what
// such receivers add: VTG after RMC, GST, ZDA and HDT after GLL, and a TXT
// antenna status at the top of each minute.
//
// --extended writes what a GPS-only receiver with those additions sends:
// the nine sentences under GP, with VTG, GST, ZDA, HDT and TXT among them.
//
// --survey writes what survey and timing units send: GGA, ZDA and VTG only
// (no RMC: the date and speed are in ZDA and VTG).
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "engine/sentence.h"
#include "gen/gen_text.h"

namespace {

using namespace orvane::gen;

struct Site {
  const char* name;
  double lat;
  double lon;
  double variation;  // degrees, east positive
  double altitude;   // metres above the geoid
  double geoid;      // geoid separation, metres
};

constexpr Site kSailSites[] = {
    {"SOLENT", 50.7650, -1.2980, -1.2, 2.0, 47.3},
    {"GOLDEN", 37.8080, -122.4180, 13.0, 1.5, -32.1},
    {"SYDNEY", -33.8500, 151.2500, 12.7, 2.5, 22.4},
    {"KIEL", 54.3800, 10.1900, 4.0, 1.0, 39.6},
    {"HAURAKI", -36.8300, 174.8000, 20.0, 2.0, 34.8},
};
constexpr Site kDriveSites[] = {
    {"MUNICH", 48.1400, 11.5800, 3.9, 519.0, 47.8},
    {"DENVER", 39.7400, -104.9900, 7.8, 1609.0, -17.0},
    {"SAOPAULO", -23.5500, -46.6300, -21.6, 760.0, -5.5},
    {"TOKYO", 35.6800, 139.7600, -7.8, 40.0, 36.7},
};
constexpr const char* kSailNames[] = {"HARBOR", "NBUOY", "CAPE", "ISLET", "REEF", "POINT", "BAY"};
constexpr const char* kDriveNames[] = {"DEPOT", "CROSS", "BRIDGE", "EXIT12",
                                       "TOWN",  "FUEL",  "PARK"};
constexpr int kWaypoints = 7;

struct Waypoint {
  std::string name;
  double lat;
  double lon;
};

struct Satellite {
  int prn;
  double elevation;  // degrees
  double azimuth;    // degrees
  double drift;      // degrees of azimuth a second
  double rise;       // degrees of elevation a second
};

struct Options {
  long long seconds = 600;
  long long lines = -1;  // when set, stops after exactly this many lines
  std::uint64_t seed = 1;
  bool drive = false;
  int gsv_every = 5;
  bool gnss = false;
  bool survey = false;
  bool extended = false;      // GPS only, with VTG, GST, ZDA, HDT and TXT
  long long start_epoch = 0;  // seconds since 1970-01-01 UTC
  const char* output = nullptr;
};

// The other systems' satellites, as their receivers number them.
struct System {
  const char* talker;
  int id;           // NMEA 4.10 system id
  int first, last;  // numbers written
  int count;
  const char* signals;  // GSV signal ids, one group each
  std::vector<Satellite> sats;
};

// Adds satellites of distinct numbers in [first, last] until there are `count`.
void AddSatellites(std::vector<Satellite>& sats, int count, int first, int last, Random& rng) {
  while (static_cast<int>(sats.size()) < count) {
    const int prn = rng.Int(first, last);
    bool taken = false;
    for (const Satellite& s : sats) taken = taken || s.prn == prn;
    if (taken) continue;
    sats.push_back({prn, rng.Uniform(8, 80), rng.Uniform(0, 360), rng.Uniform(-0.004, 0.004),
                    rng.Uniform(-0.002, 0.002)});
  }
}

// What stays from one second to the next: the place, the route, the sky and
// where the vessel is on its way.
struct Voyage {
  const Site* site;
  std::vector<Waypoint> route;
  std::string route_id;
  std::vector<Satellite> sats;  // GPS
  std::vector<System> systems;  // every system, with --gnss
  double cruise;                // knots
  double arrival;               // nautical miles
  double speed;
  double lat, lon;
  int origin = 0;
  int dest = 1;
  double altitude;
  double hdop = 0.9;
};

// The site, a circuit of waypoints around it (the first is the start
// itself), and the satellites in view.
Voyage PlanVoyage(const Options& opt, Random& rng) {
  Voyage v;
  const Site* sites = opt.drive ? kDriveSites : kSailSites;
  const int site_count = opt.drive ? 4 : 5;
  v.site = &sites[rng.Int(0, site_count - 1)];
  const char* const* names = opt.drive ? kDriveNames : kSailNames;
  double lat = v.site->lat;
  double lon = v.site->lon;
  double heading = rng.Uniform(0, 360);
  for (int i = 0; i < kWaypoints; ++i) {
    v.route.push_back({names[i], lat, lon});
    heading = Wrap360(heading + 360.0 / kWaypoints + rng.Uniform(-15, 15));
    const double leg = opt.drive ? rng.Uniform(1.0, 3.0) : rng.Uniform(0.3, 0.9);
    lat += leg * std::cos(heading * kDeg) / 60.0;
    lon += leg * std::sin(heading * kDeg) / (60.0 * std::cos(lat * kDeg));
  }
  v.route_id = Format("%s%d", opt.drive ? "TRIP" : "SAIL", rng.Int(1, 99));

  AddSatellites(v.sats, 12, 1, 32, rng);
  if (opt.gnss) {
    v.systems = {{"GP", 1, 1, 32, 0, "18", {}},
                 {"GL", 2, 65, 96, 7, "1", {}},
                 {"GA", 3, 1, 36, 6, "7", {}},
                 {"GB", 4, 1, 63, 6, "1", {}}};
    v.systems[0].sats = v.sats;
    for (System& sys : v.systems) AddSatellites(sys.sats, sys.count, sys.first, sys.last, rng);
  }
  v.cruise = opt.drive ? 27.0 : 6.0;
  v.arrival = opt.drive ? 0.03 : 0.05;
  v.speed = v.cruise;
  v.lat = v.route[0].lat;
  v.lon = v.route[0].lon;
  v.altitude = v.site->altitude;
  return v;
}

// The UTC time and date fields of one second.
struct Stamp {
  std::string time;  // hhmmss.ss
  std::string date;  // ddmmyy
  long long second_of_day;
};

Stamp StampAt(long long epoch) {
  long long days = epoch / 86400;
  long long sod = epoch % 86400;
  if (sod < 0) {
    sod += 86400;
    --days;
  }
  int y, mo, d;
  CivilFromDays(days, &y, &mo, &d);
  return {Format("%02lld%02lld%02lld.00", sod / 3600, sod / 60 % 60, sod % 60),
          Format("%02d%02d%02d", d, mo, y % 100), sod};
}

// This second's steering toward the destination, and the fix's quality.
struct Leg {
  double to_dest, range;  // from here, degrees true and nautical miles
  double from_origin;     // the leg's bearing
  double course;
  double xte;  // off the origin-destination line
  double vmg;
  bool arrived;
  double pdop, vdop;
};

// Steers for the destination with some wander; the fix's altitude and
// dilution drift.
Leg Steer(Voyage& v, const Options& opt, Random& rng) {
  Leg leg;
  const Waypoint& origin = v.route[v.origin];
  const Waypoint& dest = v.route[v.dest];
  BearingRange(v.lat, v.lon, dest.lat, dest.lon, &leg.to_dest, &leg.range);
  double leg_length;
  BearingRange(origin.lat, origin.lon, dest.lat, dest.lon, &leg.from_origin, &leg_length);
  leg.course = Wrap360(leg.to_dest + rng.Uniform(-4, 4));
  v.speed += (v.cruise - v.speed) * 0.1 + rng.Uniform(-0.3, 0.3);
  if (v.speed < 0.5) v.speed = 0.5;
  leg.arrived = leg.range < v.arrival;
  double bearing_from_origin, dist_from_origin;
  BearingRange(origin.lat, origin.lon, v.lat, v.lon, &bearing_from_origin, &dist_from_origin);
  leg.xte = dist_from_origin * std::sin((bearing_from_origin - leg.from_origin) * kDeg);
  leg.vmg = v.speed * std::cos((leg.course - leg.to_dest) * kDeg);
  v.altitude += opt.drive ? rng.Uniform(-0.8, 0.8) : rng.Uniform(-0.2, 0.2);
  v.hdop = std::fmin(2.5, std::fmax(0.6, v.hdop + rng.Uniform(-0.05, 0.05)));
  leg.vdop = v.hdop * 1.4;
  leg.pdop = std::hypot(v.hdop, leg.vdop);
  return leg;
}

// Moves the GPS satellites a second on. Those above 10 degrees with a good
// signal are used in the fix; returns their numbers and fills every SNR.
std::vector<int> MoveSky(Voyage& v, Random& rng, std::vector<int>& snr) {
  std::vector<int> used;
  for (Satellite& s : v.sats) {
    s.azimuth = Wrap360(s.azimuth + s.drift);
    s.elevation = std::fmin(88, std::fmax(2, s.elevation + s.rise));
    const int level = static_cast<int>(20 + s.elevation / 3 + rng.Uniform(0, 6));
    snr.push_back(level);
    if (s.elevation > 10 && level > 28 && used.size() < 12) used.push_back(s.prn);
  }
  return used;
}

// The GP-only GSA and, when `with_gsv`, the three-message GSV group.
void EmitGpsSatellites(Writer& w, const Voyage& v, const Leg& leg, const std::vector<int>& used,
                       const std::vector<int>& snr, bool with_gsv) {
  std::string gsa = "$GPGSA,A,3";
  for (std::size_t i = 0; i < 12; ++i) {
    gsa += i < used.size() ? Format(",%02d", used[i]) : std::string(",");
  }
  w.Emit(gsa + Format(",%.1f,%.1f,%.1f", leg.pdop, v.hdop, leg.vdop));
  if (!with_gsv) return;
  const std::vector<Satellite>& sats = v.sats;
  for (int m = 0; m < 3; ++m) {
    std::string gsv = Format("$GPGSV,3,%d,%02zu", m + 1, sats.size());
    for (int k = m * 4; k < m * 4 + 4 && k < static_cast<int>(sats.size()); ++k) {
      gsv += Format(",%02d,%02d,%03d,%02d", sats[k].prn, static_cast<int>(sats[k].elevation),
                    static_cast<int>(sats[k].azimuth), snr[k]);
    }
    w.Emit(gsv);
  }
}

// RMB and BOD for the leg being sailed.
void EmitNavigation(Writer& w, const Voyage& v, const Leg& leg) {
  const Waypoint& origin = v.route[v.origin];
  const Waypoint& dest = v.route[v.dest];
  // RMB: status, XTE, steer, origin, destination, its position, range,
  // bearing, closing velocity, arrival, mode.
  w.Emit(Format("$GPRMB,A,%.2f,%c,%s,%s,%s,%s,%.1f,%.1f,%.1f,%c,A",
                std::fmin(9.99, std::fabs(leg.xte)), leg.xte > 0 ? 'L' : 'R', origin.name.c_str(),
                dest.name.c_str(), Lat(dest.lat).c_str(), Lon(dest.lon).c_str(),
                std::fmin(999.9, leg.range), leg.to_dest, leg.vmg, leg.arrived ? 'A' : 'V'));
  w.Emit(Format("$GPBOD,%.1f,T,%.1f,M,%s,%s", leg.from_origin,
                Wrap360(leg.from_origin - v.site->variation), dest.name.c_str(),
                origin.name.c_str()));
}

// The route in two RTE messages, then one WPL per waypoint.
void EmitRoute(Writer& w, const Voyage& v) {
  for (int m = 0; m < 2; ++m) {
    std::string rte = Format("$GPRTE,2,%d,c,%s", m + 1, v.route_id.c_str());
    for (int k = m * 4; k < m * 4 + 4 && k < kWaypoints; ++k) rte += "," + v.route[k].name;
    w.Emit(rte);
  }
  for (const Waypoint& p : v.route) {
    w.Emit(Format("$GPWPL,%s,%s,%s", Lat(p.lat).c_str(), Lon(p.lon).c_str(), p.name.c_str()));
  }
}

// One GSA per system with its id, then the GSV groups per system and signal
// when `with_gsv`.
void EmitSystems(Writer& w, std::vector<System>& systems, Random& rng, double pdop, double hdop,
                 double vdop, bool with_gsv) {
  for (auto& sys : systems) {
    std::string gsa = "$GNGSA,A,3";
    int used = 0;
    std::vector<int> snr;
    for (Satellite& s : sys.sats) {
      if (sys.id != 1) {
        s.azimuth = Wrap360(s.azimuth + s.drift);
        s.elevation = std::fmin(88, std::fmax(2, s.elevation + s.rise));
      }
      snr.push_back(static_cast<int>(20 + s.elevation / 3 + rng.Uniform(0, 6)));
      if (s.elevation > 10 && snr.back() > 28 && used < 12) {
        gsa += Format(",%02d", s.prn);
        ++used;
      }
    }
    for (int i = used; i < 12; ++i) gsa += ",";
    w.Emit(gsa + Format(",%.1f,%.1f,%.1f,%d", pdop, hdop, vdop, sys.id));
    if (!with_gsv) continue;
    const int n = static_cast<int>(sys.sats.size());
    const int messages = (n + 3) / 4;
    for (const char* signal = sys.signals; *signal; ++signal) {
      for (int m = 0; m < messages; ++m) {
        std::string gsv = Format("$%sGSV,%d,%d,%02d", sys.talker, messages, m + 1, n);
        for (int k = m * 4; k < m * 4 + 4 && k < n; ++k) {
          // The second signal is weaker.
          const int level = signal == sys.signals ? snr[k] : snr[k] - 4;
          gsv += Format(",%02d,%02d,%03d,%02d", sys.sats[k].prn,
                        static_cast<int>(sys.sats[k].elevation),
                        static_cast<int>(sys.sats[k].azimuth), level);
        }
        w.Emit(gsv + "," + *signal);
      }
    }
  }
}

void EmitFullSecond(Writer& w, Voyage& v, const Options& opt, long long t, Random& rng,
                    const Stamp& stamp, const Leg& leg, const std::string& lat,
                    const std::string& lon, const std::string& zda, const std::string& vtg);

// Every sentence of one second, in the order a receiver sends them.
void EmitSecond(Writer& w, Voyage& v, const Options& opt, long long t, Random& rng) {
  const Stamp stamp = StampAt(opt.start_epoch + t);
  const Leg leg = Steer(v, opt, rng);
  const char* const talker = opt.gnss ? "GN" : "GP";
  const Site& site = *v.site;
  const std::string lat = Lat(v.lat);
  const std::string lon = Lon(v.lon);
  // ZDA: time, day, month, four-digit year, local zone (none at sea).
  const std::string zda = Format("$%sZDA,%s,%s,%s,20%s,00,00", talker, stamp.time.c_str(),
                                 stamp.date.substr(0, 2).c_str(), stamp.date.substr(2, 2).c_str(),
                                 stamp.date.substr(4, 2).c_str());
  // VTG: course true and magnetic, knots, km/h, mode.
  const std::string vtg = Format("$%sVTG,%.1f,T,%.1f,M,%.1f,N,%.1f,K,A", talker, leg.course,
                                 Wrap360(leg.course - site.variation), v.speed, v.speed * 1.852);
  if (opt.survey) {
    std::vector<int> snr;
    const std::vector<int> used = MoveSky(v, rng, snr);
    w.Emit(Format("$GPGGA,%s,%s,%s,1,%02zu,%.1f,%.1f,M,%.1f,M,,", stamp.time.c_str(), lat.c_str(),
                  lon.c_str(), used.size(), v.hdop, v.altitude, site.geoid));
    w.Emit(zda);
    w.Emit(vtg);
  } else {
    EmitFullSecond(w, v, opt, t, rng, stamp, leg, lat, lon, zda, vtg);
  }
  if (leg.arrived) {
    v.origin = v.dest;
    v.dest = (v.dest + 1) % kWaypoints;
  }
  const double step = v.speed / 3600.0;  // nautical miles in one second
  v.lat += step * std::cos(leg.course * kDeg) / 60.0;
  v.lon += step * std::sin(leg.course * kDeg) / (60.0 * std::cos(v.lat * kDeg));
}

void EmitFullSecond(Writer& w, Voyage& v, const Options& opt, long long t, Random& rng,
                    const Stamp& stamp, const Leg& leg, const std::string& lat,
                    const std::string& lon, const std::string& zda, const std::string& vtg) {
  const char* const talker = opt.gnss ? "GN" : "GP";
  const Site& site = *v.site;
  // RMC: time, status, lat, lon, speed kn, course, date, variation, mode.
  w.Emit(Format("$%sRMC,%s,A,%s,%s,%.1f,%.1f,%s,%.1f,%c,A", talker, stamp.time.c_str(), lat.c_str(),
                lon.c_str(), v.speed, leg.course, stamp.date.c_str(), std::fabs(site.variation),
                site.variation < 0 ? 'W' : 'E'));
  std::vector<int> snr;
  const std::vector<int> used = MoveSky(v, rng, snr);
  // GGA: time, lat, lon, quality, sats, HDOP, altitude, geoid, DGPS age, station.
  w.Emit(Format("$%sGGA,%s,%s,%s,1,%02zu,%.1f,%.1f,M,%.1f,M,,", talker, stamp.time.c_str(),
                lat.c_str(), lon.c_str(), used.size(), v.hdop, v.altitude, site.geoid));
  const bool extras = opt.gnss || opt.extended;
  if (extras) w.Emit(vtg);
  w.Emit(Format("$%sGLL,%s,%s,%s,A,A", talker, lat.c_str(), lon.c_str(), stamp.time.c_str()));
  if (extras) {
    // GST: RMS, error ellipse, then the deviations of latitude, longitude and
    // altitude, from the HDOP as a receiver's filter would give them.
    w.Emit(Format("$%sGST,%s,%.1f,%.1f,%.1f,%.1f,%.1f,%.1f,%.1f", talker, stamp.time.c_str(),
                  v.hdop * 2.0, v.hdop * 2.5, v.hdop * 1.5, Wrap360(leg.course), v.hdop * 2.0,
                  v.hdop * 1.8, leg.vdop * 3.0));
    w.Emit(zda);
    w.Emit(Format("$GPHDT,%.1f,T", Wrap360(leg.course + 2.0)));
    if (stamp.second_of_day % 60 == 0) w.Emit("$GPTXT,01,01,02,ANTSTATUS=OK");
  }
  const bool with_gsv = opt.gsv_every > 0 && t % opt.gsv_every == 0;
  if (opt.gnss) {
    v.systems[0].sats = v.sats;  // GPS moved above
    EmitSystems(w, v.systems, rng, leg.pdop, v.hdop, leg.vdop, with_gsv);
  } else {
    EmitGpsSatellites(w, v, leg, used, snr, with_gsv);
  }
  EmitNavigation(w, v, leg);
  if (stamp.second_of_day % 60 == 0) EmitRoute(w, v);
}

int Usage() {
  std::fprintf(stderr,
               "usage: orvane-gen [--seconds N | --lines N] [--seed S] [--mode sail|drive]\n"
               "                  [--start YYYY-MM-DDTHH:MM:SS] [--gsv-every N]\n"
               "                  [--gnss | --extended | --survey] [-o FILE]\n");
  return 2;
}

int Generate(const Options& opt, std::FILE* out) {
  Random rng(opt.seed);
  Voyage voyage = PlanVoyage(opt, rng);
  Writer w(out, opt.lines);
  const long long seconds = opt.lines >= 0 ? (1ll << 62) : opt.seconds;
  for (long long t = 0; t < seconds && !w.full(); ++t) EmitSecond(w, voyage, opt, t, rng);
  return std::ferror(out) ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  ParseStart("2024-06-05T12:00:00", &opt.start_epoch);
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    auto number = [&](long long lo) {
      char* end = nullptr;
      const long long n = value ? std::strtoll(value, &end, 10) : -1;
      return (value && *end == '\0' && n >= lo) ? n : -1;
    };
    if (arg == "--gnss" || arg == "--survey" || arg == "--extended") {
      (arg == "--gnss" ? opt.gnss : arg == "--survey" ? opt.survey : opt.extended) = true;
      continue;
    }
    if (arg == "--seconds" && number(1) > 0) {
      opt.seconds = number(1);
    } else if (arg == "--lines" && number(1) > 0) {
      opt.lines = number(1);
    } else if (arg == "--seed" && number(0) >= 0) {
      opt.seed = static_cast<std::uint64_t>(number(0));
    } else if (arg == "--gsv-every" && number(0) >= 0) {
      opt.gsv_every = static_cast<int>(number(0));
    } else if (arg == "--mode" && value &&
               (std::strcmp(value, "sail") == 0 || std::strcmp(value, "drive") == 0)) {
      opt.drive = std::strcmp(value, "drive") == 0;
    } else if (arg == "--start" && value && ParseStart(value, &opt.start_epoch)) {
    } else if (arg == "-o" && value) {
      opt.output = value;
    } else {
      return Usage();
    }
    ++i;
  }
  if (opt.gnss + opt.extended + opt.survey > 1) return Usage();  // one receiver a log
  std::FILE* out = opt.output ? std::fopen(opt.output, "wb") : stdout;
  if (out == nullptr) {
    std::perror(opt.output);
    return 1;
  }
  // Every byte must have reached the file: a full disk says so, once, and
  // fails, rather than leave a cut log behind a success.
  const auto error = [] { return errno != 0 ? errno : EIO; };
  errno = 0;
  const bool bad = Generate(opt, out) != 0;
  int failed = std::fflush(out) != 0 || bad ? error() : 0;
  if (opt.output && std::fclose(out) != 0 && failed == 0) failed = error();
  if (failed != 0) {
    std::fprintf(stderr, "orvane-gen: %s: cannot write: %s\n",
                 opt.output ? opt.output : "standard output", std::strerror(failed));
    return 1;
  }
  return 0;
}
