// Typed snapshots for C++ hosts: numbers in the receiver's own units whatever
// the automation format and unit settings say, each std::nullopt until a
// sentence has supplied it. A snapshot reflects whole sentences only: one
// sentence is wholly applied or not at all.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

// UTC, whole seconds (the control keeps NMEA times to the second).
using UtcTime = std::chrono::sys_seconds;

struct Fix {
  bool good = false;  // the last RMC or GLL reported a valid fix
  std::optional<UtcTime> time;
  std::optional<double> latitude;            // signed decimal degrees, south negative
  std::optional<double> longitude;           // signed decimal degrees, west negative
  std::optional<double> altitude;            // metres above mean sea level
  std::optional<double> speed;               // knots over ground
  std::optional<double> course;              // degrees true
  std::optional<double> magnetic_variation;  // degrees, east positive
  std::optional<int> quality;                // GGA fix quality, 0 none
  std::optional<int> satellites_in_fix;
  std::optional<double> hdop;          // from GSA
  std::optional<double> geoid_height;  // metres, geoid above the WGS84 ellipsoid
  std::optional<int> dgps_age;         // seconds since the last DGPS update
  std::optional<int> dgps_station;
  std::optional<char> mode;  // RMC mode indicator: 'A', 'D', 'E', 'N', ...
  // With ExtendedSentences on:
  std::optional<double> magnetic_course;     // degrees magnetic, VTG
  std::optional<int> local_zone_offset;      // minutes, ZDA
  std::optional<std::string> gnss_mode;      // GNS, one letter per system
  std::optional<double> heading;             // degrees true, HDT or THS
  std::optional<double> magnetic_heading;    // degrees, HDG
  std::optional<double> latitude_error;      // metres (one sigma), GST
  std::optional<double> longitude_error;     // metres, GST
  std::optional<double> altitude_error;      // metres, GST
  std::optional<std::string> receiver_text;  // the last whole TXT message
};

struct Satellite {
  int number = 0;                // the number the receiver gives it (the GSV PRN field)
  std::optional<int> elevation;  // degrees, 0..90
  std::optional<int> azimuth;    // degrees true, 0..360
  std::optional<int> snr;        // dB-Hz, 0..99; none while not tracked
  bool used_in_fix = false;
};

struct Satellites {
  std::optional<bool> automatic;  // GSA selection: automatic 2D/3D
  std::optional<int> mode;        // 1 no fix, 2 2D, 3 3D
  std::optional<double> pdop, hdop, vdop;
  std::optional<int> in_view;
  std::vector<int> used;            // numbers used in the fix, GSA order
  std::vector<Satellite> in_sight;  // the last complete GSV group, its order
};

// A satellite as one signal reported it, for receivers that name the signal
// of each GSV group (NMEA 4.10: $GPGSV,...,1 for L1 C/A, ...,6 for L2 CL).
struct SignalSatellite {
  Satellite satellite;  // number unique across systems; used_in_fix from GSA
  char signal = '\0';   // the NMEA signal id as received, one hex digit; '\0' none
};

// One epoch: every sentence with the same time, merged, as it stood when the
// epoch ended (the next epoch began or the source ended). Receiver units.
struct Epoch {
  std::optional<UtcTime> time;     // with the date of RMC or ZDA
  int milliseconds = 0;            // past time's second (a 0.5 s epoch: 500)
  bool good = false;               // as Fix::good
  std::optional<double> latitude;  // signed decimal degrees
  std::optional<double> longitude;
  std::optional<double> altitude;      // metres above mean sea level
  std::optional<double> altitude_hae;  // metres above the WGS84 ellipsoid
  std::optional<double> geoid_height;  // metres, geoid above the ellipsoid
  std::optional<double> speed;         // knots
  std::optional<double> course;        // degrees true
  std::optional<double> magnetic_course;
  std::optional<double> magnetic_variation;  // degrees, east positive
  std::optional<double> heading;             // degrees true
  std::optional<double> magnetic_heading;    // degrees, HDG
  std::optional<int> mode;                   // 1 no fix, 2 2D, 3 3D
  std::optional<int> quality;                // GGA's, or GNS's first system's
  std::optional<int> satellites_used;
  std::optional<int> satellites_in_view;
  std::optional<double> pdop, hdop, vdop;
  std::optional<double> latitude_error;  // metres (one sigma), GST only
  std::optional<double> longitude_error;
  std::optional<double> altitude_error;
  std::vector<std::string> sentences;  // the types that made it: "RMC", "GGA", ...
  Satellites sky;                      // the satellites as the epoch ended
  // When several systems are accepted and the receiver names its signals:
  // each satellite once per signal, by number then signal (sky.in_sight
  // lists it once). Empty otherwise.
  std::vector<SignalSatellite> signals;
};

struct Navigation {
  std::optional<std::string> origin;  // waypoint identifiers
  std::optional<std::string> destination;
  std::optional<double> destination_latitude;            // signed decimal degrees
  std::optional<double> destination_longitude;           // signed decimal degrees
  std::optional<double> range;                           // nautical miles
  std::optional<double> bearing_to_destination;          // degrees true
  std::optional<double> cross_track_error;               // nautical miles
  std::optional<char> steer;                             // 'L' or 'R' to get back on track
  std::optional<double> closing_velocity;                // knots
  std::optional<double> origin_to_destination_true;      // degrees, from BOD
  std::optional<double> origin_to_destination_magnetic;  // degrees, from BOD
  std::optional<bool> arrived;
  std::optional<std::string> route_name;
  std::vector<std::string> route;      // waypoint identifiers, route order
  std::optional<bool> route_complete;  // the route holds all its waypoints
};

}  // namespace orvane
