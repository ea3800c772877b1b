// --gpx and --csv: the writers' pieces, a hand-made log written out in full,
// what xmllint and gpsbabel make of the track, a live export ended by
// SIGINT, and the refusals.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "export.h"
#include "support/command_support.h"
#include "support/nmea.h"
#include "support/source_test_support.h"

namespace {

using orvane::testing::Orvane;
using orvane::testing::ReadAll;

using namespace orvane::cli;
using orvane::Epoch;
using orvane::testing::Pty;
using orvane::testing::TempDir;

struct Result {
  std::string out, err;
  int status = -1;
};

// The command through sh, its standard error to a file.
Result Sh(const TempDir& dir, const std::string& command) {
  const std::string err_path = (dir.path() / "stderr").string();
  Result r;
  std::FILE* p = ::popen((command + " 2>" + err_path).c_str(), "r");
  if (p == nullptr) return r;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
  const int raw = ::pclose(p);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.err = ReadAll(err_path);
  return r;
}

// The real logs: beside the clone, or where ORVANE_CORPUS says.
std::filesystem::path Corpus() {
  const char* env = std::getenv("ORVANE_CORPUS");
  return env != nullptr ? env : ORVANE_CORPUS;
}

bool Have(const char* tool) {
  return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Log(const std::vector<std::string>& bodies) {
  std::string log;
  for (const std::string& b : bodies) log += orvane::testing::WithChecksum(b) + "\r\n";
  return log;
}

// Two fixes, a lost fix, a fix, and one after 17 s. The latitude comes with
// four decimals of minutes, one a trailing zero; the longitude with three,
// the first of them whole minutes.
const std::vector<std::string> kDrive = {
    "$GPRMC,120000,A,4807.0380,N,01131.000,E,5.5,45.0,230394,,,A",
    "$GPGGA,120000,4807.0380,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,",
    "$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1",
    "$GPRMC,120001,A,4807.0390,N,01131.002,E,5.5,45.0,230394,,,A",
    "$GPGGA,120001,4807.0390,N,01131.002,E,2,07,1.0,545.6,M,46.9,M,3,0120",
    "$GPRMC,120002,V,,,,,,,230394,,,N",
    "$GPGGA,120002,,,,,0,00,,,M,,M,,",
    "$GPGSA,A,1,,,,,,,,,,,,,,,",
    "$GPRMC,120003,A,4807.0400,N,01131.004,E,5.5,45.0,230394,,,A",
    "$GPGGA,120003,4807.0400,N,01131.004,E,1,06,1.1,546.0,M,46.9,M,,",
    "$GPGSA,A,2,04,05,09,12,,,,,,,,,3.0,1.1,2.8",
    "$GPRMC,120020,A,4807.0410,N,01131.006,E,5.5,45.0,230394,,,A",
    "$GPGGA,120020,4807.0410,N,01131.006,E,1,06,1.1,,M,,M,,",
};

const char kGpxHead[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<gpx version=\"1.1\" creator=\"orvane\" xmlns=\"http://www.topografix.com/GPX/1/1\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
    "http://www.topografix.com/GPX/1/1/gpx.xsd\">\n"
    "<trk>\n";

std::string Point(const char* lat, const char* lon, const char* ele, const char* time,
                  const char* fix, const char* sat, const char* hdop, const char* vdop,
                  const char* pdop) {
  std::string s = std::string("   <trkpt lat=\"") + lat + "\" lon=\"" + lon + "\">\n";
  if (*ele) s += std::string("    <ele>") + ele + "</ele>\n";
  s += std::string("    <time>1994-03-23T") + time + "Z</time>\n    <fix>" + fix +
       "</fix>\n    <sat>" + sat + "</sat>\n    <hdop>" + hdop + "</hdop>\n    <vdop>" + vdop +
       "</vdop>\n    <pdop>" + pdop + "</pdop>\n   </trkpt>\n";
  return s;
}

const std::string kP1 =
    Point("48.117300", "11.51667", "545.4", "12:00:00", "3d", "8", "1.3", "2.1", "2.5");
const std::string kP2 =
    Point("48.117317", "11.51670", "545.6", "12:00:01", "dgps", "7", "1.3", "2.1", "2.5");
const std::string kP3 =
    Point("48.117333", "11.51673", "546", "12:00:03", "2d", "6", "1.1", "2.8", "3");
const std::string kP4 =
    Point("48.117350", "11.51677", "", "12:00:20", "2d", "6", "1.1", "2.8", "3");

TEST(ExportTest, GpxOfAHandMadeLogSegmentsOnALostFixAndOnAGap) {
  TempDir dir;
  const std::string log = dir.Write("drive a&b<c>'.nmea", Log(kDrive));
  const std::string name = "  <name>drive a&amp;b&lt;c&gt;&apos;.nmea</name>\n";
  const std::string seg = "  <trkseg>\n", end = "  </trkseg>\n", tail = "</trk>\n</gpx>\n";
  struct Case {
    std::string options, want;
  } cases[] = {
      {"", kGpxHead + name + seg + kP1 + kP2 + end + seg + kP3 + end + seg + kP4 + end + tail},
      // 17 s is no gap at 30.
      {"--gap 30", kGpxHead + name + seg + kP1 + kP2 + end + seg + kP3 + kP4 + end + tail},
  };
  for (const Case& c : cases) {
    const Result r = Sh(dir, Orvane() + " replay --gpx " + c.options + " \"" + log + "\"");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, c.want) << c.options;
  }
}

// GGA before the first RMC: a time of day without its date. The point has
// no <time>, and the next second is no gap. (GGA's altitude makes it 3D, and
// without a GSA its HDOP is GGA's.)
TEST(ExportTest, ATimeOfDayAloneIsNoGap) {
  TempDir dir;
  std::vector<std::string> log = {
      "$GPGGA,115959,4807.0370,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"};
  log.insert(log.end(), kDrive.begin(), kDrive.begin() + 3);
  const Result r = Sh(dir, Orvane() + " replay --gpx " + dir.Write("d.nmea", Log(log)));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, kGpxHead + std::string("  <name>d.nmea</name>\n  <trkseg>\n") +
                       "   <trkpt lat=\"48.117283\" lon=\"11.51667\">\n    <ele>545.4</ele>\n    "
                       "<fix>3d</fix>\n    <sat>8</sat>\n    <hdop>0.9</hdop>\n"
                       "   </trkpt>\n" +
                       kP1 + "  </trkseg>\n</trk>\n</gpx>\n");
}

// An export reads every talker, as with --all; --set narrows it again, and
// the hint says why the track is empty then.
TEST(ExportTest, AMultiSystemReceiversTrackNeedsNoAll) {
  TempDir dir;
  const std::string log =
      dir.Write("gn.nmea", Log({"$GNRMC,120000,A,4807.038,N,01131.000,E,5.5,45.0,230394,,,A",
                                "$GNRMC,120001,A,4807.039,N,01131.000,E,5.5,45.0,230394,,,A"}));
  const Result all = Sh(dir, Orvane() + " replay --gpx " + log);
  std::size_t points = 0;
  for (std::size_t at = 0; (at = all.out.find("<trkpt ", at)) != std::string::npos; ++at) ++points;
  EXPECT_EQ(points, 2u) << all.out;
  EXPECT_NE(all.out.find("<time>1994-03-23T12:00:01Z</time>"), std::string::npos) << all.out;
  EXPECT_EQ(all.err, "");
  const Result gp = Sh(dir, Orvane() + " replay --gpx --set Talkers=GP " + log);
  EXPECT_EQ(gp.out, kGpxHead + std::string("  <name>gn.nmea</name>\n</trk>\n</gpx>\n"));
  EXPECT_NE(gp.err.find("the receiver sends $GNRMC, which Talkers \"GP\" ignores"),
            std::string::npos)
      << gp.err;
}

TEST(ExportTest, CsvOfTheSameLogHasEveryEpochAndEmptyCells) {
  TempDir dir;
  const std::string log = dir.Write("drive.nmea", Log(kDrive));
  const Result r = Sh(dir, Orvane() + " replay --csv " + log);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(
      r.out,
      "time,good,latitude,longitude,altitude,altitude_hae,geoid_height,speed,course,magnetic_"
      "course,"
      "magnetic_variation,heading,magnetic_heading,mode,quality,satellites_used,satellites_in_view,"
      "pdop,"
      "hdop,vdop,latitude_error,longitude_error,altitude_error,sentences\r\n"
      "1994-03-23T12:00:00Z,true,48.117300,11.51667,545.4,592.3,46.9,5.5,45,,,,,3,1,8,,2.5,1.3,2.1,"
      ",,,"
      "\"RMC,GGA,GSA\"\r\n"
      "1994-03-23T12:00:01Z,true,48.117317,11.51670,545.6,592.5,46.9,5.5,45,,,,,3,2,7,,2.5,1.3,2.1,"
      ",,,"
      "\"RMC,GGA\"\r\n"
      "1994-03-23T12:00:02Z,false,,,,,,,,,,,,1,0,0,,,,,,,,\"RMC,GGA,GSA\"\r\n"
      "1994-03-23T12:00:03Z,true,48.117333,11.51673,546,592.9,46.9,5.5,45,,,,,2,1,6,,3,1.1,2.8,,,,"
      "\"RMC,GGA,GSA\"\r\n"
      "1994-03-23T12:00:20Z,true,48.117350,11.51677,,,,5.5,45,,,,,2,1,6,,3,1.1,2.8,,,,\"RMC,"
      "GGA\"\r\n");
}

TEST(ExportTest, CoordinatesKeepTheReceivedDecimalsAndNoMore) {
  struct Case {
    const char* lat;  // as sent, ddmm.mmm
    double degrees;
    const char* want;
  } cases[] = {
      {"4807.038", 48 + 7.038 / 60, "48.11730"},
      {"4807.0380", 48 + 7.038 / 60, "48.117300"},  // the zero was sent: kept
      {"4831.000", 48 + 31.0 / 60, "48.51667"},     // whole minutes, sent with three decimals
      {"4831", 48 + 31.0 / 60, "48.52"},
      {"0000.00001", -(0.00001 / 60), "-0.0000002"},
      {"0000.0000", -0.0, "0.000000"},  // no sign on nothing
      {"8959.9999999", 89 + 59.9999999 / 60, "89.999999998"},
  };
  for (const Case& c : cases) {
    ReceivedDecimals decimals;
    // Fed in two pieces, cut inside the field.
    const std::string line =
        orvane::testing::WithChecksum(std::string("$GNGGA,1,") + c.lat + ",N,,E,1") + "\r\n";
    decimals.Feed(line.substr(0, 12));
    decimals.Feed(line.substr(12));
    EXPECT_EQ(CoordinateText(c.degrees, decimals.latitude()), c.want) << c.lat;
    // Back to the minutes sent.
    const double back = (std::fabs(std::stod(c.want)) - std::floor(std::fabs(c.degrees))) * 60;
    EXPECT_NEAR(back, std::fmod(std::stod(c.lat), 100), 0.5 * std::pow(10, -decimals.latitude()))
        << c.lat;
  }
  // Without the sentences, read back from the value: a trailing zero is not seen.
  EXPECT_EQ(CoordinateText(48 + 7.038 / 60), "48.11730");
  EXPECT_EQ(MinuteDecimals(-(11 + 31.0042 / 60)), 4);
  // The most seen: a GLL with fewer decimals after an RMC takes none away.
  ReceivedDecimals mixed;
  mixed.Feed("$GPRMC,1,A,4807.0380,N,01131.00000,E,,,,,,\r\n$GPGLL,4807.04,N,01131.0,E,1,A\r\n");
  EXPECT_EQ(mixed.latitude(), 4);
  EXPECT_EQ(mixed.longitude(), 5);
}

TEST(ExportTest, TextIsEscapedForXmlAndQuotedForCsv) {
  struct Case {
    std::string in, xml, csv;
  } cases[] = {
      {"plain.nmea", "plain.nmea", "plain.nmea"},
      {"a&b<c>\"d'", "a&amp;b&lt;c&gt;&quot;d&apos;", "\"a&b<c>\"\"d'\""},
      {"x,y", "x,y", "\"x,y\""},
      {"line\r\nbreak\ttab", "line&#13;&#10;break&#9;tab", "\"line\r\nbreak\ttab\""},
      {"caf\xC3\xA9 \xE2\x82\xAC", "caf\xC3\xA9 \xE2\x82\xAC", "caf\xC3\xA9 \xE2\x82\xAC"},
      // Not XML characters: control codes, broken and overlong UTF-8, U+FFFF.
      {std::string("a\x01z\x7F", 4), "a\xEF\xBF\xBDz\xEF\xBF\xBD", std::string("a\x01z\x7F", 4)},
      // One U+FFFD for each byte of what is not a character.
      {"\xC3(\xC0\xAF\xEF\xBF\xBF",
       "\xEF\xBF\xBD(\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD",
       "\xC3(\xC0\xAF\xEF\xBF\xBF"},
      {"\xF0\x9F\x9B\xB0", "\xF0\x9F\x9B\xB0", "\xF0\x9F\x9B\xB0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(XmlEscape(c.in), c.xml) << c.in;
    EXPECT_EQ(CsvField(c.in), c.csv) << c.in;
  }
}

TEST(ExportTest, APointIsAFixWithAPosition) {
  struct Case {
    bool good;
    std::optional<int> quality, mode;
    bool position, want;
  } cases[] = {
      {true, std::nullopt, std::nullopt, true, true},  // RMC alone
      {false, 1, std::nullopt, true, true},            // GGA alone
      {false, std::nullopt, 3, true, true},
      {true, 0, std::nullopt, true, false},  // GGA says the fix is gone
      {true, 1, 1, true, false},             // and so does GSA
      {false, std::nullopt, std::nullopt, true, false},
      {true, 1, 3, false, false},
      {true, 1, 3, true, true},
  };
  for (const Case& c : cases) {
    Epoch e;
    e.good = c.good;
    e.quality = c.quality;
    e.mode = c.mode;
    if (c.position) e.latitude = e.longitude = 1.5;
    if (c.position && c.want) {
      // Off the globe is no position.
      e.latitude = 90.5;
      EXPECT_FALSE(HasFix(e));
      e.latitude = 1.5;
      e.longitude = -180.5;
      EXPECT_FALSE(HasFix(e));
      e.longitude = 1.5;
    }
    EXPECT_EQ(HasFix(e), c.want) << c.good << c.quality.value_or(-1) << c.mode.value_or(-1);
  }
  Epoch time_of_day;
  time_of_day.time = orvane::UtcTime(std::chrono::seconds(12 * 3600)) - std::chrono::days(25569);
  EXPECT_EQ(IsoTime(time_of_day), "");  // no date came with it
}

// One CSV line's cells, quotes taken off (no line breaks inside a cell).
std::vector<std::string> Cells(std::string line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  std::vector<std::string> cells(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char ch = line[i];
    if (quoted && ch == '"' && i + 1 < line.size() && line[i + 1] == '"') {
      cells.back() += '"';
      ++i;
    } else if (ch == '"') {
      quoted = !quoted;
    } else if (ch == ',' && !quoted) {
      cells.emplace_back();
    } else {
      cells.back() += ch;
    }
  }
  return cells;
}

// Rows as maps from column name to cell.
std::vector<std::map<std::string, std::string>> Table(const std::string& csv) {
  std::istringstream in(csv);
  std::string line;
  std::getline(in, line);
  const std::vector<std::string> names = Cells(line);
  std::vector<std::map<std::string, std::string>> rows;
  while (std::getline(in, line)) {
    const std::vector<std::string> cells = Cells(line);
    auto& row = rows.emplace_back();
    for (std::size_t i = 0; i < names.size() && i < cells.size(); ++i) row[names[i]] = cells[i];
  }
  return rows;
}

// gpsbabel's reading of our track: the same points as our CSV's rows with
// a fix, every value gpsbabel read, to the digits it prints.
TEST(ExportTest, GpsbabelReadsTheSamePointsAsTheCsvHolds) {
  if (!Have("gpsbabel"))
    GTEST_SKIP() << "SKIPPED: gpsbabel is not installed (scripts/setup installs it)";
  TempDir dir;
  std::vector<std::string> logs = {dir.Write("drive.nmea", Log(kDrive))};
  const std::filesystem::path corpus = Corpus();
  for (const char* name :
       {"gpsd__bu353-glonass.log", "gpsd__garmin17n.log", "gpsbabel__amod-nmea.nmea"}) {
    if (std::filesystem::exists(corpus / name)) logs.push_back((corpus / name).string());
  }
  if (logs.size() == 1)
    std::printf("NOTE: the shared corpus is not at %s: the hand-made log only\n", corpus.c_str());
  // gpsbabel's unicsv columns and ours; the tolerance its digits allow.
  const struct {
    const char *theirs, *ours;
    double within;
  } columns[] = {{"Latitude", "latitude", 6e-7},
                 {"Longitude", "longitude", 6e-7},
                 {"Altitude", "altitude", 0.051},
                 {"HDOP", "hdop", 0.0051},
                 {"VDOP", "vdop", 0.0051},
                 {"PDOP", "pdop", 0.0051},
                 {"Satellites", "satellites_used", 0}};
  for (const std::string& log : logs) {
    const std::string gpx = (dir.path() / "out.gpx").string();
    ASSERT_EQ(Sh(dir, Orvane() + " replay --all --gpx -o " + gpx + " '" + log + "'").status, 0)
        << log;
    const Result babel = Sh(dir, "gpsbabel -t -i gpx -f " + gpx + " -o unicsv -F -");
    ASSERT_EQ(babel.status, 0) << babel.err;
    std::vector<std::map<std::string, std::string>> ours;
    for (auto& row : Table(Sh(dir, Orvane() + " replay --all --csv '" + log + "'").out)) {
      const bool fix = !row["latitude"].empty() && row["quality"] != "0" && row["mode"] != "1" &&
                       (row["good"] == "true" || !row["quality"].empty() || !row["mode"].empty());
      if (fix) ours.push_back(row);
    }
    const auto theirs = Table(babel.out);
    ASSERT_EQ(theirs.size(), ours.size()) << log << "\n" << babel.out;
    EXPECT_FALSE(ours.empty()) << log;
    for (std::size_t i = 0; i < ours.size(); ++i) {
      auto they = theirs[i];
      for (const auto& col : columns) {
        ASSERT_EQ(they[col.theirs].empty(), ours[i][col.ours].empty())
            << log << " point " << i << " " << col.ours;
        if (they[col.theirs].empty()) continue;
        EXPECT_NEAR(std::stod(they[col.theirs]), std::stod(ours[i][col.ours]), col.within)
            << log << " point " << i << " " << col.ours;
      }
      std::string time = they["Date"] + "T" + they["Time"] + "Z";
      std::replace(time.begin(), time.end(), '/', '-');
      if (!they["Date"].empty()) {
        EXPECT_EQ(time, ours[i]["time"]) << log << " point " << i;
      }
    }
  }
}

TEST(ExportTest, XmllintFindsTheTracksWellFormed) {
  if (!Have("xmllint"))
    GTEST_SKIP() << "SKIPPED: xmllint is not installed (scripts/setup installs libxml2-utils)";
  TempDir dir;
  const std::string log = dir.Write("odd \x01 name &<.nmea", Log(kDrive) + "$GPRMC,junk\xff\r\n");
  EXPECT_EQ(Sh(dir, Orvane() + " replay --all --gpx '" + log + "' | xmllint --noout -").status, 0);
  const std::filesystem::path corpus = Corpus();
  if (!std::filesystem::exists(corpus)) {
    std::printf("NOTE: the shared corpus is not at %s: its tracks not checked\n", corpus.c_str());
    return;
  }
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    if (entry.path().extension() == ".md") continue;
    const Result r = Sh(dir, Orvane() + " replay --all --gpx '" + entry.path().string() +
                                 "' 2>/dev/null | xmllint --noout -");
    EXPECT_EQ(r.status, 0) << entry.path() << "\n" << r.err;
  }
}

// A live export is flushed as each epoch ends and completed on SIGINT.
TEST(ExportTest, ALiveTrackEndedBySigintIsWellFormed) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  TempDir dir;
  const std::string gpx = (dir.path() / "live.gpx").string();
  const pid_t pid = ::fork();
  if (pid == 0) {
    std::freopen("/dev/null", "w", stdout);  // the fix lines, beside the export
    ::execl(Orvane().c_str(), "orvane", "live", pty.name().c_str(), "--gpx", "-o", gpx.c_str(),
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(400));  // the port is open by now
  pty.Write(Log({kDrive[0], kDrive[1], kDrive[2], kDrive[3], kDrive[4]}));
  // The first epoch ended when the second began: on disk already.
  std::string before;
  for (int i = 0; i < 40 && before.find("</trkpt>") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    before = ReadAll(gpx);
  }
  EXPECT_EQ(before,
            kGpxHead + std::string("  <name>") + pty.name() + "</name>\n  <trkseg>\n" + kP1);
  ::kill(pid, SIGINT);
  int raw = 0;
  ASSERT_EQ(::waitpid(pid, &raw, 0), pid);
  EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << raw;
  // The second epoch ends with the source.
  EXPECT_EQ(ReadAll(gpx), before + kP2 + "  </trkseg>\n</trk>\n</gpx>\n");
}

TEST(ExportTest, RefusalsAndFailuresSayWhatAndExitNonZero) {
  TempDir dir;
  const std::string log = dir.Write("drive.nmea", Log(kDrive));
  struct Case {
    std::string args;
    int status;
    std::string says;
  } cases[] = {
      {"replay --gpx --csv " + log, 2, "--gpx and --csv: one export per run"},
      {"replay --gpx --json " + log, 2, "--gpx and --json would both write to standard output"},
      {"replay --csv --summary " + log, 2,
       "--csv and --summary would both write to standard output"},
      {"replay -o x.gpx " + log, 2, "-o names the file of --gpx or --csv"},
      {"replay --csv --gap 5 " + log, 2, "--gap is for --gpx"},
      {"replay --gpx --gap -1 " + log, 2, "--gap: expected a number of seconds"},
      {"watch --gpx " + log, 2, "--gpx is for replay and live"},
      // Before the source: the missing log is never reached.
      {"replay --gpx -o /nonexistent/x.gpx /nonexistent.nmea", 1,
       "-o /nonexistent/x.gpx: cannot open"},
      {"replay --gpx -o " + log + " " + log, 1, "that is the log being replayed"},
      {"replay --gpx -o /dev/full " + log, 1, "/dev/full: cannot write: No space left on device"},
      {"replay --csv " + log + " >/dev/full", 1,
       "standard output: cannot write: No space left on device"},
  };
  for (const Case& c : cases) {
    const Result r = Sh(dir, Orvane() + " " + c.args);
    EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << c.args << "\n" << r.err;
  }
  EXPECT_EQ(ReadAll(log), Log(kDrive));  // refused: not emptied
  // Live, a full disk ends the session rather than read on unrecorded.
  Pty pty;
  ASSERT_TRUE(pty.ok());
  const Result full =
      Sh(dir, Orvane() + " live " + pty.name() + " --gpx -o /dev/full --duration 20");
  EXPECT_EQ(full.status, 1) << full.err;
  EXPECT_NE(full.err.find("/dev/full: cannot write: No space left on device"), std::string::npos)
      << full.err;
  // With -o, standard output keeps its own output beside the export.
  const std::string csv = (dir.path() / "out.csv").string();
  const Result both = Sh(dir, Orvane() + " replay --csv -o " + csv + " --summary " + log);
  EXPECT_EQ(both.status, 0) << both.err;
  EXPECT_EQ(both.out.rfind("summary: 13 lines", 0), 0u) << both.out;
  const std::string rows = ReadAll(csv);
  EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 6);
}

}  // namespace
