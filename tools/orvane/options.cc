// The command line: options, their checks, and the usage text.
#include <cstdlib>
#include <string_view>

#include "control_text.h"
#include "host.h"

namespace orvane::cli {

namespace {

bool StartsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

// The option taking a value that `arg` begins with, or null.
const char* ValuedFlag(std::string_view arg) {
  // Whole, or with its value after "=": --recordx is no --record.
  for (const char* flag :
       {"--time-scale", "--baud", "--duration", "--set", "--record", "--gap", "--output", "-o"}) {
    const std::string_view f(flag);
    if (arg == f || (StartsWith(arg, f) && arg.size() > f.size() && arg[f.size()] == '='))
      return flag;
  }
  return nullptr;
}

}  // namespace

// The text --help prints; %.*s twice: the baud rates' two lines.
constexpr const char kUsage[] =
    "usage:\n"
    "  orvane replay [--time-scale X] [--set NAME=VALUE]... [--all] [--json [--typed]] [--gpsd] "
    "[--props]\n"
    "              [--summary] [--gpx [--gap SECONDS] | --csv] [-o FILE] FILE|-\n"
    "  orvane live SOURCE [--baud RATE] [--set NAME=VALUE]... [--all] [--json [--typed]] "
    "[--gpsd] "
    "[--props]\n"
    "              [--summary] [--gpx [--gap SECONDS] | --csv] [-o FILE] [--record FILE] "
    "[--duration SECONDS]\n"
    "  orvane watch SOURCE|FILE [--time-scale X] [--baud RATE] [--set NAME=VALUE]... [--record "
    "FILE]\n"
    "              [--duration SECONDS]\n"
    "  orvane members\n"
    "  orvane --help | --version\n"
    "\n"
    "replay   replays an NMEA log, as fast as it reads or paced; - reads standard input, a pipe\n"
    "         or socket as it arrives until its writer closes it (a file named - is ./-)\n"
    "live     reads a receiver until interrupted; SOURCE is a serial device (/dev/ttyUSB0),\n"
    "         tcp://HOST:PORT, udp://[ADDRESS]:PORT or gpsd://HOST[:PORT] (port 2947 if left "
    "out);\n"
    "         a receiver that is unplugged or whose server goes away is retried every second\n"
    "watch    a full-screen view of a receiver or a log (paced, real time unless --time-scale):\n"
    "         the fix, the satellites with a sky plot, the source's rates; keys: q quits,\n"
    "         f cycles the coordinate format, u the units, space pauses a log\n"
    "members  lists the automation members: DISPID, kind, name, parameters\n"
    "\n"
    "--time-scale X    replay, watch of a log: X times real time (0.00001 up to, not including, "
    "1001)\n"
    "--baud RATE       live, watch: the line speed, set after the port opens (Open always starts "
    "at\n"
    "                  4800, so --set BaudRate=... before it cannot do this); one of %.*s\n"
    "                  %.*s\n"
    "--set NAME=VALUE  puts a property before the source opens (e.g. --set SpeedUnits=1)\n"
    "--json            one JSON object per event; --typed adds each value's VARTYPE\n"
    "--props           after the end, every property, satellite and waypoint as JSON\n"
    "--summary         only the closing summary: counts, dropped lines, time, rate\n"
    "--all             every talker and the extended sentences (Talkers=* "
    "ExtendedSentences=True)\n"
    "--gpsd            gpsd's TPV and SKY objects, one line each per epoch\n"
    "--gpx             a GPX 1.1 track: a point per epoch with a fix, a new segment after a "
    "lost\n"
    "                  fix or a gap; the log's name (the source's, live) names the track\n"
    "--gap SECONDS     --gpx: a longer gap between points starts a new segment (default 10)\n"
    "--csv             a row per epoch under a header of the epoch's field names, empty cells\n"
    "                  for unknown values (RFC 4180, CRLF); --gpx and --csv imply --all\n"
    "                  (a --set Talkers=... narrows it again)\n"
    "-o, --output FILE --gpx, --csv: write the export to FILE instead of standard output, which\n"
    "                  then keeps the other output\n"
    "--record FILE     live, watch: appends every byte received to FILE as it arrives, for a\n"
    "                  later replay (a file that cannot be opened is an error before the "
    "source)\n"
    "--duration S      live, watch: close after S seconds\n"
    "--help, -h        this text; --version: the version\n"
    "\n"
    "A replay longer than a second shows its progress on standard error when that is a "
    "terminal:\n"
    "percent of the file (not for standard input that is a pipe), lines, fix time reached, "
    "lines/s.\n"
    "\n"
    "exit status:\n"
    "  0  success\n"
    "  1  the source failed: it could not be opened, or a log held no NMEA sentences; or the\n"
    "     --record or -o file could not be opened, or standard output or the export could not\n"
    "     be written\n"
    "  2  a usage or value error: unknown option, refused --set, --baud or --time-scale value\n"
    "\n"
    "examples:\n"
    "  orvane live /dev/ttyUSB0 --baud 38400 --json\n"
    "  gunzip -c trip.nmea.gz | orvane replay - --time-scale 10\n"
    "  orvane replay drive.nmea --gpx -o drive.gpx\n"
    "  orvane watch /dev/ttyACM0 --record drive.nmea\n";

void PrintUsage(std::FILE* out) {
  constexpr std::size_t wrap = kBaudRateList.find(" 1200");  // the rates' first line ends at 600
  std::fprintf(out, kUsage, static_cast<int>(wrap), kBaudRateList.data(),
               static_cast<int>(kBaudRateList.size() - wrap - 1), kBaudRateList.data() + wrap + 1);
}

namespace {

// One option that takes a value (given as FLAG=VALUE or as the next word),
// checked and stored. Returns false with `error` set when it is refused.
bool TakeValuedOption(const std::string& flag, const std::string& v, Options& o,
                      std::string* error) {
  if (flag == "--time-scale") {
    // Numbers go to OpenFile, which judges their range; text is refused here.
    char* end = nullptr;
    std::strtod(v.c_str(), &end);
    if (v.empty() || end == v.c_str() || *end != '\0') {
      *error = "--time-scale: expected a number from 0.00001 to 1000, got \"" + v + "\"";
      return false;
    }
    o.time_scale = v;
  } else if (flag == "--baud") {
    o.baud = v;
  } else if (flag == "--record") {
    o.record = v;
  } else if (flag == "-o" || flag == "--output") {
    if (v.empty()) {
      *error = flag + " needs a file name";
      return false;
    }
    o.output = v;
  } else if (flag == "--gap") {
    char* end = nullptr;
    const double gap = std::strtod(v.c_str(), &end);
    if (v.empty() || end == v.c_str() || *end != '\0' || !(gap >= 0) || gap > 1e9) {
      *error = "--gap: expected a number of seconds, 0 or more, got \"" + v + "\"";
      return false;
    }
    o.gap = gap;
  } else if (flag == "--duration") {
    char* end = nullptr;
    o.duration = std::strtod(v.c_str(), &end);
    if (end == v.c_str() || *end != '\0' || o.duration < 0) {
      *error = "--duration needs a number of seconds";
      return false;
    }
  } else {  // --set
    const auto eq = v.find('=');
    if (eq == std::string::npos || eq == 0) {
      *error = "--set needs NAME=VALUE";
      return false;
    }
    o.sets.emplace_back(v.substr(0, eq), v.substr(eq + 1));
  }
  return true;
}

// The command word and its source.
bool TakeCommand(const std::vector<std::string>& positional, Options& o, std::string* error) {
  if (positional.empty()) {
    *error = "missing command";
    return false;
  }
  if (positional[0] == "members" && positional.size() == 1) {
    o.mode = Options::Mode::kMembers;
    return true;
  }
  const bool known =
      positional[0] == "replay" || positional[0] == "live" || positional[0] == "watch";
  if (!known || positional.size() != 2) {
    *error =
        known ? positional[0] + " needs exactly one source" : "unknown command " + positional[0];
    return false;
  }
  o.mode = positional[0] == "live"    ? Options::Mode::kLive
           : positional[0] == "watch" ? Options::Mode::kWatch
                                      : Options::Mode::kReplay;
  o.source = positional[1];
  return true;
}

// The export owns standard output unless -o gives it a file. A conversion
// takes what the log holds, as GPSBabel does: every talker and sentence, as
// with --all (a --set Talkers=GP after it narrows it again).
bool SettleExport(Options& o, std::string* error) {
  using Export = Options::Export;
  const char* name = o.export_format == Export::kGpx ? "--gpx" : "--csv";
  if (o.export_format == Export::kNone) {
    if (o.output) *error = "-o names the file of --gpx or --csv";
    if (o.gap) *error = "--gap is for --gpx";
    return !o.output && !o.gap;
  }
  if (o.mode == Options::Mode::kWatch) {
    *error = std::string("watch draws the screen: ") + name + " is for replay and live";
    return false;
  }
  if (o.gap && o.export_format != Export::kGpx) {
    *error = "--gap is for --gpx: a CSV has no segments";
    return false;
  }
  const char* other = o.json      ? "--json"
                      : o.gpsd    ? "--gpsd"
                      : o.props   ? "--props"
                      : o.summary ? "--summary"
                                  : nullptr;
  o.all = true;
  if (!o.output && other != nullptr) {
    *error = std::string(name) + " and " + other +
             " would both write to standard output: put the export in a file with -o FILE";
    return false;
  }
  return true;
}

// --typed implies --json; options of the other command are refused.
bool SettleOptions(Options& o, std::string* error) {
  if (o.typed && !o.json) o.json = true;
  if (o.time_scale && o.mode == Options::Mode::kLive) {
    *error = "--time-scale is for replay and watch";
    return false;
  }
  if (o.baud && o.mode == Options::Mode::kReplay) {
    *error = "--baud is for live and watch";
    return false;
  }
  if (o.record && o.mode == Options::Mode::kReplay) {
    *error = "--record is for live and watch";
    return false;
  }
  if (o.mode == Options::Mode::kWatch && (o.json || o.props || o.summary)) {
    *error = "watch draws the screen: --json, --props and --summary are for replay and live";
    return false;
  }
  return SettleExport(o, error);
}

}  // namespace

std::optional<Options> ParseArgs(int argc, char** argv, std::string* error, bool* help,
                                 bool* version) {
  *help = *version = false;
  Options o;
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      *help = true;
      return o;
    } else if (a == "--version") {
      *version = true;
      return o;
    } else if (a == "--json") {
      o.json = true;
    } else if (a == "--typed") {
      o.typed = true;
    } else if (a == "--props") {
      o.props = true;
    } else if (a == "--summary") {
      o.summary = true;
    } else if (a == "--all") {
      o.all = true;
    } else if (a == "--gpsd") {
      o.gpsd = true;
    } else if (a == "--gpx" || a == "--csv") {
      const auto format = a == "--gpx" ? Options::Export::kGpx : Options::Export::kCsv;
      if (o.export_format != Options::Export::kNone && o.export_format != format) {
        *error = "--gpx and --csv: one export per run (-o names one file)";
        return std::nullopt;
      }
      o.export_format = format;
    } else if (const char* flag = ValuedFlag(a)) {
      const std::string f = flag;
      std::string v;
      if (StartsWith(a, f + "=")) {
        v = a.substr(f.size() + 1);
      } else if (i + 1 < argc) {
        v = argv[++i];
      } else {
        *error = f + " needs a value";
        return std::nullopt;
      }
      if (!TakeValuedOption(f, v, o, error)) return std::nullopt;
    } else if (StartsWith(a, "--")) {
      *error = "unknown option " + a;
      return std::nullopt;
    } else {
      positional.push_back(a);
    }
  }
  if (!TakeCommand(positional, o, error)) return std::nullopt;
  if (o.mode == Options::Mode::kMembers) return o;
  if (!SettleOptions(o, error)) return std::nullopt;
  return o;
}

}  // namespace orvane::cli
