#include "docs.h"

#include <deque>

#include "control/member_table.h"

namespace orvane {
namespace {

constexpr PyDoc kMemberDocs[] = {
    {"BaudRate", "int",
     "Line speed of the serial port in bits per second: one of 110, 300, 600, 1200, 2400, 4800, "
     "9600, 14400, "
     "19200, 28800, 38400, 56000, 57600, 115200, 128000, 256000. 4800 for a new control; Open "
     "starts every port "
     "at 4800, and setting it while a port is open switches the port at once.\n"
     "Raises orvane.Error 0x80070057 for a rate outside the list, 0x80040201 (\"GetCommState() "
     "call failed.\") or "
     "0x80040202 (\"SetCommState() call failed.\") when the open port cannot be read or set, "
     "always so while a log "
     "file is open."},
    {"PortName", "str",
     "The port given to the last successful Open, exactly as passed (\"\" if none).\n"
     "Raises orvane.Error 0x80040200 (\"Port is closed.\") when no port or file is open."},
    {"PortHandle", "int",
     "The descriptor of the open port or log file.\n"
     "Raises orvane.Error 0x80040200 (\"Port is closed.\") when no port or file is open."},
    {"Open", "(self, PortName: str, /) -> None",
     "Opens a receiver and starts reading it: a serial device (\"/dev/ttyUSB0\"), "
     "\"tcp://HOST:PORT\", "
     "\"udp://[ADDRESS]:PORT\" or \"gpsd://HOST[:PORT]\". A serial port starts at 4800 baud, 8N1. "
     "Events follow "
     "while the calling thread pumps (pump, run_for, run_until).\n"
     "Raises orvane.Error 0x80040204 (\"Port or file is already open.\"), 0x80040205 (\"Could not "
     "open port.  "
     "...\") when the port does not exist or is in use, 0x80040201, 0x80040202 or 0x80040214 when "
     "it cannot be "
     "configured (the port then stays open until Close)."},
    {"OpenFile", "(self, FileName: str, TimeScale: float = ..., /) -> None",
     "Replays a recorded NMEA log from its start: as fast as it can be read when TimeScale is left "
     "out or 0, "
     "else paced at TimeScale times real time (1 is real time; 0.00001 up to, not including, "
     "1001). "
     "FileComplete is raised at its end.\n"
     "Raises orvane.Error 0x80040215 (\"Unable to open file.\"), 0x80040204 (\"Port or file is "
     "already open.\"), "
     "0x80070057 for a TimeScale out of range (the file is closed again)."},
    {"Close", "(self) -> None",
     "Stops reading the open port or file and returns at once; the reader ends after the current "
     "sentence (a "
     "replay with FileComplete). Closing with nothing open does nothing.\nRaises orvane.Error only "
     "once the "
     "control is released."},
    {"FixDateTime", "datetime.datetime | None",
     "UTC date and time of the last fix, an aware datetime to the second: RMC sets date and time, "
     "GGA and GLL "
     "the time on the stored date. None until received."},
    {"Latitude", "str",
     "Latitude of the fix as text in the current LatLonFormat, with DegLabel, MinLabel and "
     "SecLabel and N or S "
     "last (\"50.780075° N\"). \"\" while unknown or when LatLonFormat is not 0, 1 or 2."},
    {"Longitude", "str",
     "Longitude of the fix as text in the current LatLonFormat, with the labels and E or W last "
     "(\"001.299497° W\"). \"\" while unknown or when LatLonFormat is not 0, 1 or 2."},
    {"Speed", "float | None",
     "Speed over ground from RMC in the current SpeedUnits (0 mph, 1 km/h, 2 knots). None until "
     "received in "
     "knots; 0.0 until received in mph or km/h."},
    {"TrueCourse", "float | None",
     "Course over ground from RMC, degrees true. None until received."},
    {"MagVariation", "str | None",
     "Magnetic variation from RMC as the receiver wrote it, degrees then E or W (\"3.1 W\"). None "
     "until "
     "received."},
    {"FixQuality", "int | None",
     "GGA fix quality: 0 invalid, 1 GPS, 2 DGPS, 4 RTK fixed, 5 RTK float, 6 estimated, ... (not "
     "checked). None "
     "until received."},
    {"NumSatellitesInFix", "int | None",
     "Satellites used in the fix, from GGA. None until received."},
    {"Altitude", "float | None",
     "Altitude of the fix above mean sea level, from GGA, in the current AltitudeUnits (0 metres, "
     "1 feet). None "
     "until received."},
    {"GeoidHeightAboveWGS84Ellipsoid", "float | None",
     "Height of the geoid above the WGS84 ellipsoid, from GGA, in the current AltitudeUnits (0 "
     "metres, 1 feet). "
     "None until received."},
    {"TimeSinceLastDGPSUpdate", "int | None",
     "Age of the differential corrections from GGA, whole seconds. None when the receiver gives "
     "none."},
    {"DGPSRefStationID", "int | None",
     "Differential reference station number from GGA. None when the receiver gives none."},
    {"HDOP", "float | None",
     "Horizontal dilution of precision from GSA (never GGA's). None until received."},
    {"PDOP", "float | None", "Position dilution of precision from GSA. None until received."},
    {"VDOP", "float | None", "Vertical dilution of precision from GSA. None until received."},
    {"CrossTrackError", "str | None",
     "Cross-track error from RMB as the receiver wrote it, nautical miles then the direction to "
     "steer, L or R "
     "(\"0.12 L\"); not converted by DistUnits. None until received."},
    {"OriginWptID", "str | None",
     "Identifier of the origin waypoint of the active leg, from RMB or BOD. None until received."},
    {"DestWptID", "str | None",
     "Identifier of the destination waypoint of the active leg, from RMB or BOD. None until "
     "received."},
    {"DestWptLatitude", "str",
     "Latitude of the destination waypoint from RMB, as text in the current LatLonFormat (default "
     "labels). \"\" "
     "while unknown."},
    {"DestWptLongitude", "str",
     "Longitude of the destination waypoint from RMB, as text in the current LatLonFormat (default "
     "labels). \"\" "
     "while unknown."},
    {"RangeToDest", "float | None",
     "Range to the destination from RMB in the current DistUnits (0 metres, 1 feet, 2 statute "
     "miles, 3 nautical "
     "miles). None until received in nautical miles; 0.0 until received in the others."},
    {"TrueBearingToDest", "float | None",
     "Bearing to the destination from RMB, degrees true. None until received."},
    {"DestClosingVelocity", "float | None",
     "Closing velocity towards the destination from RMB in the current SpeedUnits (0 mph, 1 km/h, "
     "2 knots). None "
     "until received in knots; 0.0 until received in the others."},
    {"OrigToDestTrueBearing", "str | None",
     "Bearing from the origin to the destination waypoint from BOD, degrees true, as the receiver "
     "wrote it "
     "(\"23.8\"). None until received."},
    {"OrigToDestMagBearing", "str | None",
     "Bearing from the origin to the destination waypoint from BOD, degrees magnetic, as the "
     "receiver wrote it "
     "(\"25.0\"). None until received."},
    {"WptsInRoute", "list[str]",
     "Waypoint identifiers of the last complete RTE route, in route order; [] before any."},
    {"GetWptLocation", "(self, WptName: str, /) -> tuple[str, str]",
     "(latitude, longitude) of a waypoint learned from WPL, as text in the current LatLonFormat "
     "(default "
     "labels); (\"\", \"\") for a name never received. Names compare exactly, case included.\n"
     "Raises orvane.Error with the conversion's code when WptName does not convert to text."},
    {"AutomaticOperation", "bool | None",
     "GSA selection mode: True automatic 2D/3D, False manual. None until received."},
    {"OperationMode", "int | None", "GSA fix mode: 1 no fix, 2 2D, 3 3D. None until received."},
    {"FixSatellitePRNs", "list[int]",
     "Numbers of the satellites used in the fix, from GSA, in its order."},
    {"NumSatellitesInView", "int | None", "Satellites in view, from GSV. None until received."},
    {"GetSatelliteInfo",
     "(self, SatellitePRN: int, /) -> tuple[int | None, int | None, int | None]",
     "(elevation, azimuth, snr) of a satellite of the last complete GSV group: elevation in "
     "degrees 0-90, "
     "azimuth in degrees true 0-359, SNR in dB-Hz 0-99 (None while not tracked); a number not in "
     "view gives "
     "Nones. A text or float that converts (\"12\", 12.0) is taken as the number.\n"
     "Raises orvane.Error 0x80020005 when SatellitePRN does not convert to a 16-bit integer."},
    {"FixGood", "bool",
     "True when the last RMC or GLL reported a valid fix (status A); False before any."},
    {"LatLonFormat", "int",
     "How Latitude, Longitude and the waypoint positions are written: 0 decimal degrees (default), "
     "1 degrees "
     "and decimal minutes, 2 degrees, minutes and seconds. Any other code is stored and makes "
     "those texts "
     "empty."},
    {"SpeedUnits", "int",
     "Unit of Speed and DestClosingVelocity: 0 statute miles per hour, 1 kilometres per hour, 2 "
     "knots "
     "(default).\nRaises orvane.Error 0x80070057 (\"An invalid argument was supplied.\") for "
     "another code."},
    {"DegLabel", "str",
     "Text written after the degrees of Latitude and Longitude; \"° \" by default, \"\" removes "
     "it. A number "
     "is stored as its text."},
    {"MinLabel", "str",
     "Text written after the minutes (LatLonFormat 1 and 2); \"' \" by default."},
    {"SecLabel", "str", "Text written after the seconds (LatLonFormat 2); '\"' by default."},
    {"ModeIndicator", "str | None",
     "RMC mode indicator, one character: A autonomous, D differential, E estimated, N not valid, "
     "... None until "
     "received."},
    {"DistUnits", "int",
     "Unit of RangeToDest: 0 metres, 1 feet, 2 statute miles, 3 nautical miles (default).\n"
     "Raises orvane.Error 0x80070057 (\"An invalid argument was supplied.\") for another code."},
    {"AltitudeUnits", "int",
     "Unit of Altitude and GeoidHeightAboveWGS84Ellipsoid: 0 metres (default), 1 feet.\n"
     "Raises orvane.Error 0x80070057 (\"An invalid argument was supplied.\") for another code."},
    {"SatelliteInViewPRNs", "list[int]",
     "Numbers of the satellites of the last complete GSV group, in its order."},
    {"ArrivedAtDest", "bool | None",
     "True when the last RMB reported arrival at the destination (arrival circle entered); False "
     "before any."},
    {"RouteName", "str | None", "Name of the last complete RTE route. None until received."},
    {"RouteContainsAllWpts", "bool | None",
     "True when the last complete route is a complete list of its waypoints (RTE mode c), False "
     "for a working "
     "route. None until received."},
    {"Talkers", "str",
     "Talkers decoded: \"GP\" (default), \"*\" for every talker (never $P... proprietary "
     "sentences) or a list "
     "such as \"GP,GN,GL\". Beyond GP, satellites are numbered uniquely across systems as gpsd "
     "numbers them.\n"
     "Raises orvane.Error 0x80070057 (\"An invalid argument was supplied.\") for anything else."},
};

constexpr PyDoc kOwnDocs[] = {
    {"module", "",
     "NMEA 0183 GPS receivers through the Orvane automation control.\n\n"
     "Control() reads a receiver (Open) or replays a log (OpenFile) and offers every value by the "
     "automation "
     "member's own name (gps.Latitude, gps.SpeedUnits = 1), as a script host sees it, plus typed "
     "snapshots in "
     "the receiver's units (gps.fix, gps.satellites, gps.navigation). Events reach callbacks "
     "registered with "
     "gps.on(event, fn) on the thread that pumps (pump, run_for, run_until, or an event loop "
     "watching "
     "fileno()). Failures raise orvane.Error with the control's code and text."},
    {"Error", "",
     "A member of the control failed. hresult is its code (0x80040215 for \"Unable to open "
     "file.\"), "
     "description the control's text (None for a conversion failure) and source the control's "
     "ProgID or "
     "None."},
    {"members", "() -> list[tuple[str, str]]",
     "The automation members as (name, kind) in vtable order, kind \"get\", \"put\" or "
     "\"method\"."},
    {"Control", "",
     "The Orvane control: one receiver or log at a time.\n\n"
     "Every automation member is an attribute of the same name (names are case-insensitive, as for "
     "a script "
     "host); values come back as None (empty), int, float, bool, str, datetime.datetime (UTC) or "
     "list, and are "
     "converted from what is set as a script's value would be (gps.SpeedUnits = \"2\"). A value "
     "that does not "
     "convert raises orvane.Error with the conversion's code (0x80020005) and changes nothing; a "
     "Python object "
     "a script could not pass raises TypeError. Use it as a context manager, or call release(), to "
     "stop the "
     "reader before the control goes."},
    {"Control.__init__", "(self) -> None", "A new control: nothing open, default settings."},
    {"Control.on", "(self, event: str, callback: Callable[..., object]) -> int",
     "Calls callback with the event's parameters in their declared order after every such event: "
     "\"RawDataReceived\" (RawData, NumBytesRead), \"FixUpdate\" (FixGood, FixDateTime, Latitude, "
     "Longitude, "
     "Altitude, Speed, TrueCourse), \"NavUpdate\" (11 values), \"SatelliteUpdate\" (8 values), "
     "\"FileComplete\" "
     "(). It runs on this thread while it pumps; an exception it raises is re-raised by the "
     "pumping call. "
     "Returns a cookie for off().\nRaises ValueError for an unknown event name, orvane.Error once "
     "released."},
    {"Control.off", "(self, cookie: int) -> None",
     "Stops the callback that on() registered under cookie.\nRaises orvane.Error for an unknown "
     "cookie."},
    {"Control.pump", "(self) -> int",
     "Runs the callbacks waiting for this thread without blocking; returns how many ran."},
    {"Control.run_for", "(self, seconds: float) -> int",
     "Pumps for seconds (the GIL released while waiting); returns how many callbacks ran.\n"
     "Raises ValueError for a negative time, and what a callback raised."},
    {"Control.run_until", "(self, predicate: Callable[[], object], timeout: float) -> bool",
     "Pumps until predicate() is true or timeout seconds pass; returns whether it became true.\n"
     "Raises ValueError for a negative timeout, and what a callback or the predicate raised."},
    {"Control.fileno", "(self) -> int",
     "A descriptor readable while callbacks wait for this thread: watch it from an event loop "
     "(loop.add_reader(gps.fileno(), gps.pump))."},
    {"Control.release", "(self) -> None",
     "Stops the reader and frees the control; later calls raise orvane.Error. May be called from a "
     "callback; "
     "calling it twice does nothing."},
    {"Control.is_open", "bool", "True while a port or log file is open."},
    {"Control.fix", "Fix",
     "The fix as the last sentence left it, in the receiver's units (see Fix)."},
    {"Control.satellites", "Satellites",
     "The satellites as the last sentence left them (see Satellites)."},
    {"Control.navigation", "Navigation",
     "The navigation, route and waypoint state as the last sentence left it (see Navigation)."},
    {"Control.__enter__", "(self) -> Control", "Returns the control itself."},
    {"Control.__exit__", "(self, *args: object) -> bool",
     "Releases the control (see release); returns False."},
    {"read",
     "(source: str | os.PathLike[str] | bytes | bytearray | memoryview | BinaryIO | Iterable[str | "
     "bytes], *, "
     "talkers: str = ..., extended: bool = ...) -> Log",
     "Decodes a whole recorded log into columns (a Log), as fast as the engine reads: in C++, with "
     "the GIL "
     "released, into NumPy arrays. source is a path (a gzip-compressed log is inflated as it is "
     "read, .gz or "
     "not), bytes, a binary file object, or an iterable of lines (str or bytes, with or without "
     "their line "
     "ends). talkers: which talkers are read, as Control.Talkers takes them (\"*\" all, \"GP,GN\", "
     "...); "
     "extended: VTG, ZDA, GNS, GST, HDT, HDG, THS, GBS and TXT are read too (as "
     "ExtendedSentences). The log is "
     "streamed: memory grows with the epochs, not with the log.\n"
     "Malformed lines never raise: they are counted as the control counts them (Log.counts). A "
     "last line "
     "without its line end is read.\n"
     "Raises OSError (with the path and the reason) when a path cannot be opened or read, "
     "ValueError for "
     "talkers it cannot parse, TypeError for a source of another kind or a file object opened in "
     "text mode."},
    {"Log", "",
     "What orvane.read gives: dicts of NumPy columns, the columns of each of equal length, and "
     "counts.\n"
     "epochs, one row per epoch (every sentence with one time of day, merged): time datetime64[ns] "
     "UTC with the receiver's fraction of a second (NaT before a time is known or outside the "
     "years 1678-2261; a time before any date is "
     "on 1899-12-30, as the control keeps it), lat and lon signed decimal degrees, alt metres "
     "above "
     "mean sea level, alt_hae metres above the WGS84 ellipsoid, geoid_height metres, speed knots, "
     "course, "
     "magnetic_course, magnetic_variation and heading degrees, good bool (RMC/GLL valid), mode "
     "int16 (1 no "
     "fix, 2 2D, 3 3D), quality int16 (GGA), satellites_used and satellites_in_view int16, pdop, "
     "hdop, vdop, "
     "and lat_error, lon_error, alt_error metres (GST, one sigma). Unknown: NaN for floats, -1 for "
     "ints.\n"
     "satellites, one row per satellite of each sky a GSV group completed, with its epoch's time: "
     "time, prn "
     "int16 (unique across systems), system int8 (0 unknown, 1 GPS, 2 SBAS, 3 GLONASS, 4 Galileo, "
     "5 BeiDou, "
     "6 QZSS, 7 NavIC), elevation and azimuth degrees, snr dB-Hz (-1: not tracked), used bool.\n"
     "waypoints, those the receiver published (WPL), by name: name, lat, lon signed decimal "
     "degrees.\n"
     "routes, the last complete route (RTE): route (its name), seq, waypoint (identifiers, route "
     "order).\n"
     "counts, a dict of ints: lines, checksum_dropped, overlong_dropped, unrecognised, and one per "
     "sentence "
     "type read (\"RMC\", \"GGA\", ...)."},
    {"Fix", "",
     "A snapshot of the fix in the receiver's units, whatever the format and unit settings: "
     "latitude and "
     "longitude signed decimal degrees (south and west negative), altitude and geoid_height "
     "metres, speed "
     "knots, course and magnetic_variation degrees (variation east positive), dgps_age seconds, "
     "time a UTC "
     "datetime; None until a sentence supplied it."},
    {"Satellite", "",
     "One satellite of the sky: number (its PRN, unique across systems when Talkers accepts more "
     "than GP), "
     "elevation degrees 0-90, azimuth degrees true 0-359, snr dB-Hz (None while not tracked), "
     "used_in_fix."},
    {"Satellites", "",
     "A snapshot of the satellites: automatic selection, mode (1 no fix, 2 2D, 3 3D), the DOPs, "
     "in_view, the "
     "numbers used in the fix (GSA order) and in_sight, the Satellite list of the last complete "
     "sky."},
    {"Navigation", "",
     "A snapshot of the navigation: origin and destination identifiers, destination position in "
     "signed "
     "decimal degrees, range and cross_track_error nautical miles, bearings degrees, steer 'L' or "
     "'R', "
     "closing_velocity knots, arrived, and the last complete route (route_name, route, "
     "route_complete)."},
};

std::string_view Owner(const MemberInfo& member) {
  return member.owner == MemberInterface::kIOrvane2 ? "IOrvane2" : "IOrvane";
}

// "(self, a: int) -> None" as "name(a: int) -> None".
std::string Signature(std::string_view name, std::string_view type) {
  std::string params(type);
  if (params.rfind("(self, ", 0) == 0) {
    params.erase(1, 6);
  } else if (params.rfind("(self)", 0) == 0) {
    params.erase(1, 4);
  }
  return std::string(name) + params;
}

// Lines of at most 76 characters, broken at blanks, as help() shows them.
std::string Wrap(std::string_view text) {
  std::string out;
  std::size_t column = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == '\n') {
      out += '\n';
      column = 0;
      ++i;
      continue;
    }
    std::size_t end = text.find_first_of(" \n", i);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view word = text.substr(i, end - i);
    if (column > 0 && column + 1 + word.size() > 76) {
      out += '\n';
      column = 0;
    } else if (column > 0) {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
    i = end < text.size() && text[end] == ' ' ? end + 1 : end;
  }
  return out;
}

const char* Keep(std::string text) {
  static std::deque<std::string> kept;  // pybind11 holds on to docstrings
  return kept.emplace_back(std::move(text)).c_str();
}

}  // namespace

std::span<const PyDoc> MemberDocs() { return kMemberDocs; }
std::span<const PyDoc> OwnDocs() { return kOwnDocs; }

const PyDoc* FindDoc(std::span<const PyDoc> rows, std::string_view name) {
  for (const PyDoc& row : rows)
    if (row.name == name) return &row;
  return nullptr;
}

std::string MemberStubType(const MemberInfo& member) {
  const PyDoc* row = FindDoc(kMemberDocs, member.name);
  if (row) return std::string(row->type);
  return member.kind == MemberKind::kMethod ? "(self, *args: Any) -> Any" : "Any";
}

std::string MemberDocstring(const MemberInfo& member, bool settable) {
  const PyDoc* row = FindDoc(kMemberDocs, member.name);
  std::string text;
  if (member.kind == MemberKind::kMethod)
    text = Signature(member.name, MemberStubType(member)) + "\n\n";
  std::string body = row ? std::string(row->doc) : std::string(member.help) + ".";
  body += "\n\n";
  const std::string where = std::string(Owner(member)) + " " +
                            (member.kind == MemberKind::kMethod ? "method" : "property") +
                            ", DISPID " + std::to_string(member.dispid) + ".";
  if (member.kind == MemberKind::kMethod) {
    body += "Automation " + where;
    if (member.param_count > 0) {
      body +=
          " An argument that does not convert raises orvane.Error with the conversion's code and "
          "changes "
          "nothing; an object a script could not pass raises TypeError.";
    }
  } else if (settable) {
    body += "Read/write; automation " + where +
            " A value that does not convert raises orvane.Error with the conversion's code "
            "(0x80020005) and "
            "keeps the old one; an object a script could not pass raises TypeError.";
  } else {
    body += "Read-only; automation " + where + " Setting it raises orvane.Error.";
  }
  return text + Wrap(body);
}

const char* OwnDoc(std::string_view name) {
  const PyDoc* row = FindDoc(kOwnDocs, name);
  if (!row) return "";
  std::string text;
  if (!row->type.empty() && row->type.front() == '(') {  // the signature first, as help() shows one
    const std::size_t dot = name.rfind('.');
    // A long signature goes on over indented lines, as help() shows it.
    const std::string wrapped =
        Wrap(Signature(dot == std::string_view::npos ? name : name.substr(dot + 1), row->type));
    for (char c : wrapped) text += c == '\n' ? std::string("\n    ") : std::string(1, c);
    text += "\n\n";
  }
  return Keep(text + Wrap(row->doc));
}

const char* KeepDoc(std::string text) { return Keep(std::move(text)); }

}  // namespace orvane
