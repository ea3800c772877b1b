// The orvane command end to end: its JSON against golden files (ORVANE_BLESS=1
// rewrites them; explain the change in the commit), its errors and exit codes.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "support/nmea.h"
#include "support/source_test_support.h"

namespace {

struct Result {
  std::string out, err;
  int status = -1;
};

// `feed` is a shell pipeline's start ("cat x | ") that writes standard input.
Result RunOrvane(const std::string& args, const std::string& feed = "") {
  const std::string err_path = ::testing::TempDir() + "orvane_stderr_" + std::to_string(::getpid());
  const std::string cmd =
      feed + std::string(ORVANE_BINARY_DIR) + "/tools/orvane/orvane " + args + " 2>" + err_path;
  Result r;
  std::FILE* p = ::popen(cmd.c_str(), "r");
  if (p == nullptr) return r;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int raw = ::pclose(p);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  std::ifstream e(err_path);
  std::stringstream ss;
  ss << e.rdbuf();
  r.err = ss.str();
  std::remove(err_path.c_str());
  return r;
}

std::string Data(const std::string& name) { return std::string(ORVANE_TEST_DATA) + "/" + name; }

void ExpectGolden(const std::string& name, const std::string& actual) {
  const std::string path = Data("golden/" + name);
  if (std::getenv("ORVANE_BLESS") != nullptr) {
    std::ofstream(path, std::ios::binary) << actual;
    return;
  }
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in.good()) << "no golden file " << path << " (run with ORVANE_BLESS=1)";
  std::stringstream ss;
  ss << in.rdbuf();
  const std::string expected = ss.str();
  if (expected == actual) return;
  // Point at the first line that differs.
  std::istringstream a(actual), b(expected);
  std::string la, lb;
  int line = 1;
  while (std::getline(a, la) && std::getline(b, lb) && la == lb) ++line;
  ADD_FAILURE() << name << " differs at line " << line << "\n  got:      " << la
                << "\n  expected: " << lb;
}

TEST(CliTest, JsonEventsAndPropertiesMatchTheGoldenFile) {
  Result r = RunOrvane("replay " + Data("mixed.nmea") + " --json --props");
  ASSERT_EQ(r.status, 0) << r.err;
  ExpectGolden("mixed.json", r.out);
}

TEST(CliTest, TypedJsonCarriesEveryVartype) {
  Result r = RunOrvane("replay " + Data("mixed.nmea") + " --json --typed --props");
  ASSERT_EQ(r.status, 0) << r.err;
  ExpectGolden("mixed.typed.json", r.out);
  EXPECT_NE(r.out.find("{\"vt\":8204,\"value\":[{\"vt\":2,\"value\":4}"), std::string::npos);
  EXPECT_NE(r.out.find("\"FixDateTime\":{\"vt\":7,\"value\":"), std::string::npos);
}

TEST(CliTest, SettingsPutByNameChangeTheOutput) {
  Result r = RunOrvane(
      "replay " + Data("mixed.nmea") +
      " --json --set SpeedUnits=1 --set LatLonFormat=2 --set DegLabel=d --set altitudeunits=1");
  ASSERT_EQ(r.status, 0) << r.err;
  ExpectGolden("mixed.settings.json", r.out);
  EXPECT_NE(r.out.find("\"Latitude\":\"47d36' 22.3200\\\" N\""), std::string::npos);
  EXPECT_NE(r.out.find("\"Speed\":10.186"), std::string::npos);  // 5.5 kn in km/h
}

TEST(CliTest, RefusedSettingsAndMissingFilesExitWithTheirCodes) {
  struct Case {
    std::string args;
    int status;
    std::string err;
  } cases[] = {
      {"replay " + Data("mixed.nmea") + " --set SpeedUnits=7", 2,
       "SpeedUnits: error 0x80070057: An invalid argument was supplied.\n"
       "orvane: --set SpeedUnits: expected 0 (miles per hour), 1 (kilometres per hour) or 2 "
       "(knots), got \"7\"\n"},
      {"replay " + Data("mixed.nmea") + " --set SpeedUnits=fast", 2,
       "SpeedUnits: error 0x80020005: Type mismatch.\n"
       "orvane: --set SpeedUnits: expected 0 (miles per hour), 1 (kilometres per hour) or 2 "
       "(knots), got \"fast\"\n"},
      {"replay " + Data("mixed.nmea") + " --set altitudeunits=-1", 2,
       "altitudeunits: error 0x80070057: An invalid argument was supplied.\n"
       "orvane: --set altitudeunits: expected 0 (metres) or 1 (feet), got \"-1\"\n"},
      {"replay " + Data("mixed.nmea") + " --set BaudRate=9601", 2,
       "BaudRate: error 0x80070057: An invalid argument was supplied.\n"
       "orvane: --set BaudRate: expected one of 110 300 600 1200 2400 4800 9600 14400 19200 28800 "
       "38400 56000 57600 "
       "115200 128000 256000, got \"9601\"\n"},
      {"replay " + Data("mixed.nmea") + " --set Latitude=1", 2,
       "Latitude: error 0x80020003: Member not found.\n"},
      {"replay " + Data("no-such-file.nmea"), 1,
       "orvane: " + Data("no-such-file.nmea") +
           ": No such file or directory (error 0x80040215: Unable to open file.)\n"},
      {"replay " + Data("mixed.nmea") + " --time-scale 1001", 1,
       "error 0x80070057: An invalid argument was supplied.\n"},
      {"live /dev/no-such-port --duration 1", 1,
       "orvane: /dev/no-such-port: No such file or directory (error 0x80040205: Could not open "
       "port.  This may be "
       "because the port does not exist or is already in use.)\n"},
      {"replay " + std::string(ORVANE_TEST_DATA), 1,
       "orvane: " + std::string(ORVANE_TEST_DATA) +
           ": is a directory (error 0x80040215: Unable to open file.)\n"},
      {"live /dev/null --duration 1", 1,
       "orvane: /dev/null: not a serial device (error 0x80040205: Could not open port.  This may "
       "be because the "
       "port does not exist or is already in use.)\n"},
      {"live udp://x:y", 1,
       "orvane: udp://x:y: expected udp://[ADDRESS]:PORT (error 0x80040205: Could not open port.  "
       "This may be "
       "because the port does not exist or is already in use.)\n"},
      {"replay /dev/null", 1,
       "orvane: /dev/null: not a regular file (error 0x80040215: Unable to open file.)\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    Result r = RunOrvane(c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err, c.err);
  }
  Result usage = RunOrvane("bogus");
  EXPECT_EQ(usage.status, 2);
  EXPECT_NE(usage.err.find("usage:"), std::string::npos);

  // Value errors are usage errors, said before the usage text.
  struct Refused {
    std::string args, first_line;
  } refused[] = {
      {"replay " + Data("mixed.nmea") + " --time-scale abc",
       "orvane: --time-scale: expected a number from 0.00001 to 1000, got \"abc\""},
      {"replay " + Data("mixed.nmea") + " --baud 9600", "orvane: --baud is for live and watch"},
      {"live /dev/ptmx --baud", "orvane: --baud needs a value"},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.args);
    Result r = RunOrvane(c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')), c.first_line);
    EXPECT_TRUE(r.out.empty());
  }
}

TEST(CliTest, HelpListsEveryOptionTheExitCodesAndExamples) {
  Result r = RunOrvane("--help");
  ASSERT_EQ(r.status, 0);
  for (const char* item : {"--time-scale",
                           "--baud",
                           "--set",
                           "--json",
                           "--typed",
                           "--props",
                           "--summary",
                           "--duration",
                           "--record",
                           "orvane watch",
                           "--help",
                           "--version",
                           "tcp://HOST:PORT",
                           "udp://[ADDRESS]:PORT",
                           "gpsd://HOST[:PORT]",
                           "exit status:",
                           "  0  success",
                           "  1  the source failed",
                           "  2  a usage or value error",
                           "examples:",
                           "replay - "}) {
    EXPECT_NE(r.out.find(item), std::string::npos) << item;
  }
}

TEST(CliTest, StandardInputReplaysAndALogWithoutNmeaIsAFailure) {
  const std::string orvane = std::string(ORVANE_BINARY_DIR) + "/tools/orvane/orvane";
  // A pipe, then a redirected file: both are standard input.
  for (const std::string& feed : {"cat " + Data("mixed.nmea") + " | ", std::string()}) {
    const std::string cmd =
        feed + orvane + " replay - --summary" + (feed.empty() ? " < " + Data("mixed.nmea") : "");
    std::FILE* p = ::popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    EXPECT_EQ(::pclose(p), 0) << cmd;
    EXPECT_NE(out.find("summary: 17 lines"), std::string::npos) << cmd << "\n" << out;
  }
  const std::string bin = ::testing::TempDir() + "orvane_no_nmea.bin";
  {
    std::ofstream f(bin, std::ios::binary);
    for (int i = 0; i < 4096; ++i) f.put(static_cast<char>((i * 7919) & 0xFF));
  }
  Result none = RunOrvane("replay " + bin);
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.err, "orvane: " + bin + ": no NMEA sentences found\n");
  // A pipe cannot be read twice: its own lines tell.
  none = RunOrvane("replay - --summary", "cat " + bin + " | ");
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.err, "orvane: standard input: no NMEA sentences found\n");
  std::remove(bin.c_str());
  // Sentences the control does not decode still make an NMEA log; broken
  // checksums and a lone tail do not.
  using orvane::testing::Sentence;
  const struct {
    std::string content;
    int status;
  } logs[] = {
      {Sentence("$PGRME,15.0,M,45.0,M,25.0,M") + Sentence("$HCHDG,101.1,,,7.1,W"), 0},
      {"$PGRME,15.0,M,45.0,M,25.0,M*00\r\n$GPXXX,no checksum\r\n" +
           Sentence("$PGRME,15.0,M").substr(0, 16),
       1},
  };
  for (const auto& log : logs) {
    SCOPED_TRACE(log.content);
    std::ofstream(bin, std::ios::binary) << log.content;
    for (const bool piped : {false, true}) {
      Result r = piped ? RunOrvane("replay - --summary", "cat " + bin + " | ")
                       : RunOrvane("replay " + bin + " --summary");
      EXPECT_EQ(r.status, log.status) << (piped ? "piped" : "file");
      EXPECT_EQ(r.err.find("no NMEA sentences found") != std::string::npos, log.status == 1)
          << r.err;
    }
  }
  std::remove(bin.c_str());
}

TEST(CliTest, AnOverlongLineIsDroppedFromAFileAndFromAPipeAlike) {
  // A file is read 80 bytes at a time, a pipe 64 KiB: the 70 KB line is
  // dropped from both, and the summaries are the same.
  using orvane::testing::Sentence;
  const std::string log = ::testing::TempDir() + "orvane_long_line.nmea";
  std::ofstream(log, std::ios::binary)
      << Sentence("$GPGGA,123520,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,")
      << orvane::testing::RmcOfLength(70000) << Sentence("$GPGLL,4916.45,N,12311.12,W,225444,A");
  const Result file = RunOrvane("replay --summary " + log);
  const Result piped = RunOrvane("replay --summary -", "cat " + log + " | ");
  std::remove(log.c_str());
  ASSERT_EQ(file.status, 0) << file.err;
  EXPECT_NE(file.out.find("summary: 2 lines"), std::string::npos) << file.out;
  EXPECT_NE(file.out.find("dropped as overlong: 1"), std::string::npos) << file.out;
  EXPECT_EQ(piped.status, 0) << piped.err;
  // All but the first line, which gives the time taken.
  EXPECT_EQ(piped.out.substr(piped.out.find('\n')), file.out.substr(file.out.find('\n')));
}

TEST(CliTest, TheSampleShowsSatellitesAndWaypoints) {
  Result r =
      RunOrvane("replay " + std::string(ORVANE_SOURCE_DIR) + "/data/sample.nmea --json --props");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto props = r.out.rfind("{\"properties\"");
  ASSERT_NE(props, std::string::npos);
  const std::string last = r.out.substr(props);
  EXPECT_EQ(last.find("\"satellites\":{}"), std::string::npos) << last;
  EXPECT_EQ(last.find("\"waypoints\":{}"), std::string::npos) << last;
  EXPECT_NE(r.out.find("{\"event\":\"FileComplete\"}"), std::string::npos);
}

TEST(CliTest, SummaryAndHumanOutput) {
  Result r = RunOrvane("replay " + Data("mixed.nmea") + " --summary");
  ASSERT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("summary: 17 lines"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("dropped by checksum: 1"), std::string::npos) << r.out;
  Result human = RunOrvane("replay " + Data("mixed.nmea"));
  EXPECT_NE(human.out.find("2004-01-31T23:59:58  fix    47.606200"), std::string::npos)
      << human.out;
  EXPECT_NE(human.out.find("end of file"), std::string::npos);
}

TEST(CliTest, LiveReadsAPseudoTerminalAndFlushesEachEvent) {
  int master = -1, slave = -1;
  char name[256];
  ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
  const std::string cmd = std::string(ORVANE_BINARY_DIR) + "/tools/orvane/orvane live " + name +
                          " --json --props --duration 1.5 2>&1";
  std::FILE* p = ::popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::this_thread::sleep_for(std::chrono::milliseconds(400));  // the port is open by now
  const std::string rmc =
      "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n";
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(::write(master, rmc.data(), rmc.size()), static_cast<ssize_t>(rmc.size()));
  }
  std::string out;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  EXPECT_EQ(::pclose(p), 0) << out;
  ::close(master);
  ::close(slave);
  std::size_t fixes = 0;
  for (std::size_t at = 0; (at = out.find("\"event\":\"FixUpdate\"", at)) != std::string::npos;
       ++at)
    ++fixes;
  EXPECT_EQ(fixes, 3u) << out;
  // The properties come once the reader has closed the port.
  EXPECT_NE(out.find("\"PortName\":{\"error\":\"0x80040200\""), std::string::npos) << out;
}

// Output of a command run in the background; the caller feeds it meanwhile.
std::string Drain(std::FILE* p, int* status) {
  std::string out;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int raw = ::pclose(p);
  *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return out;
}

std::size_t Count(const std::string& s, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = 0; (at = s.find(what, at)) != std::string::npos; at += what.size()) ++n;
  return n;
}

// Live, --gpsd writes each epoch as it ends, not gathered until the end.
TEST(CliTest, LiveGpsdWritesEachEpochAsItEnds) {
  int master = -1, slave = -1;
  char name[256];
  ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
  const std::string cmd = std::string(ORVANE_BINARY_DIR) + "/tools/orvane/orvane live " + name +
                          " --all --gpsd --duration 3 2>&1";
  std::FILE* p = ::popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::this_thread::sleep_for(std::chrono::milliseconds(400));  // the port is open by now
  // The second time ends the first epoch.
  const std::string lines =
      orvane::testing::Sentence(
          "$GNGGA,120000.00,5045.9000,N,00117.8800,W,1,09,0.9,1.9,M,47.3,M,,") +
      orvane::testing::Sentence(
          "$GNGGA,120000.50,5045.9100,N,00117.8800,W,1,09,0.9,1.9,M,47.3,M,,");
  ASSERT_EQ(::write(master, lines.data(), lines.size()), static_cast<ssize_t>(lines.size()));
  pollfd fd{::fileno(p), POLLIN, 0};
  ASSERT_EQ(::poll(&fd, 1, 2000), 1) << "the first epoch waits for the end";
  char buf[512];
  const ssize_t n = ::read(fd.fd, buf, sizeof buf);
  ASSERT_GT(n, 0);
  const std::string first(buf, static_cast<std::size_t>(n));
  EXPECT_EQ(first.rfind("{\"class\":\"TPV\",\"mode\":3,", 0), 0u) << first;
  EXPECT_NE(first.find("\"lat\":50.765,"), std::string::npos) << first;
  int status = -1;
  const std::string rest = Drain(p, &status);
  ::close(master);
  ::close(slave);
  EXPECT_EQ(status, 0) << first << rest;
  // The port closes at the end of the duration: the last epoch comes then.
  EXPECT_NE(rest.find("\"lat\":50.765166667"), std::string::npos) << first << rest;
}

TEST(CliTest, LiveOverTcpSaysWhenTheServerGoesAndComesBack) {
  std::uint16_t port = 0;
  const int listener = orvane::testing::ListenOnLoopback(&port);
  ASSERT_GE(listener, 0);
  const std::string name = "tcp://127.0.0.1:" + std::to_string(port);
  std::FILE* p = ::popen((std::string(ORVANE_BINARY_DIR) + "/tools/orvane/orvane live " + name +
                          " --json --duration 4 2>&1")
                             .c_str(),
                         "r");
  ASSERT_NE(p, nullptr);
  const std::string rmc =
      "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n";
  for (int round = 0; round < 2; ++round) {
    pollfd fd{listener, POLLIN, 0};
    ASSERT_EQ(::poll(&fd, 1, 3000), 1) << "the command never connected";
    const int client = ::accept(listener, nullptr, nullptr);
    for (int i = 0; i < 3; ++i)
      ASSERT_EQ(::send(client, rmc.data(), rmc.size(), MSG_NOSIGNAL), (ssize_t)rmc.size());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::close(client);  // the server goes away; the command connects again
  }
  int status = -1;
  const std::string out = Drain(p, &status);
  ::close(listener);
  EXPECT_EQ(status, 0) << out;
  EXPECT_EQ(Count(out, "\"event\":\"FixUpdate\""), 6u) << out;
  EXPECT_NE(out.find("orvane: " + name + ": receiver lost, retrying\n"), std::string::npos) << out;
  EXPECT_NE(out.find("orvane: " + name + ": receiver back\n"), std::string::npos) << out;
}

TEST(CliTest, BaudIsSetAfterTheOpen) {
  int master = -1, slave = -1;
  char name[256];
  ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
  Result r = RunOrvane(std::string("live ") + name + " --baud 38400 --json --props --duration 0.5");
  ::close(master);
  ::close(slave);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\"BaudRate\":38400"), std::string::npos) << r.out;
}

TEST(CliTest, MembersListsTheWholeTable) {
  Result r = RunOrvane("members");
  ASSERT_EQ(r.status, 0);
  int lines = 0;
  for (char ch : r.out) lines += ch == '\n';
  // IOrvane's 59, IOrvane2's heading, its two settings' gets and puts and
  // 23 read-only properties, the events.
  EXPECT_EQ(lines, 59 + 1 + 4 + 23 + 1 + 5);
  EXPECT_NE(r.out.find("IOrvane2:\n100  get     Talkers"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(" 34  method  GetWptLocation"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("[optional] TimeScale"), std::string::npos);
}

// A log written by the test, its lines joined by `end`.
std::string WriteLog(const std::string& name, const std::vector<std::string>& bodies,
                     const std::string& end) {
  const std::string path = ::testing::TempDir() + name;
  std::ofstream f(path, std::ios::binary);
  for (const std::string& body : bodies) f << orvane::testing::WithChecksum(body) << end;
  return path;
}

const std::vector<std::string> kGnEpochs = {
    "$GNRMC,120000.00,A,5045.9000,N,00117.8800,W,5.8,330.3,050624,1.2,W,A",
    "$GNVTG,330.3,T,331.5,M,5.8,N,10.7,K,A",
    "$GNGGA,120000.00,5045.9000,N,00117.8800,W,1,09,0.9,1.9,M,47.3,M,,",
    "$GNGSA,A,3,18,14,,,,,,,,,,,1.6,0.9,1.3,1",
    "$GPGSV,1,1,02,18,57,318,43,14,16,103,,1",
    "$GNGST,120000.00,0.5,1.2,0.8,45.0,3.0,4.0,2.5",
    "$GPHDT,274.07,T",
    "$GNRMC,120001.00,A,5045.9100,N,00117.8800,W,5.9,330.3,050624,,,A",
};

TEST(CliTest, GpsdLinesPerEpochAsWrittenByHand) {
  const std::string log = WriteLog("orvane_gpsd.nmea", kGnEpochs, "\r\n");
  Result r = RunOrvane("replay --all --gpsd " + log);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(
      r.out,
      "{\"class\":\"TPV\",\"mode\":3,\"time\":\"2024-06-05T12:00:00.000Z\",\"lat\":50.765,"
      "\"lon\":-1.298,\"altHAE\":49.2,\"altMSL\":1.9,\"geoidSep\":47.3,\"epx\":4,\"epy\":3,"
      "\"epv\":2.5,\"track\":330.3,\"magtrack\":331.5,\"magvar\":-1.2,\"speed\":2.984,"
      "\"heading\":274.07}\n"
      "{\"class\":\"SKY\",\"time\":\"2024-06-05T12:00:00.000Z\",\"hdop\":0.9,\"pdop\":1.6,\"vdop\":"
      "1.3,"
      "\"nSat\":2,\"uSat\":2,\"satellites\":[{\"PRN\":14,\"el\":16,\"az\":103,\"used\":true,"
      "\"gnssid\":0,"
      "\"svid\":14},{\"PRN\":18,\"el\":57,\"az\":318,\"ss\":43,\"used\":true,\"gnssid\":0,\"svid\":"
      "18}]}\n"
      // The mode stands as the last GSA gave it.
      "{\"class\":\"TPV\",\"mode\":3,\"time\":\"2024-06-05T12:00:01.000Z\",\"lat\":50.765166667,"
      "\"lon\":-1.298,\"altHAE\":49.2,\"altMSL\":1.9,\"geoidSep\":47.3,\"epx\":4,\"epy\":3,"
      "\"epv\":2.5,\"track\":330.3,\"magtrack\":331.5,\"speed\":3.035,\"heading\":274.07}\n");
}

// A receiver that names its signals (L1 and L2 of GPS, E1 and E5b of
// Galileo) beside a system that names none and a garbage id: each satellite
// once per signal, the signal as u-blox numbers it, counts of the entries.
TEST(CliTest, GpsdSkyListsEachSignalOfASatellite) {
  const std::string log = WriteLog(
      "orvane_signals.nmea",
      {"$GNRMC,120000.00,A,5045.9000,N,00117.8800,W,5.8,330.3,050624,1.2,W,A",
       "$GNGSA,A,3,05,13,,,,,,,,,,,1.6,0.9,1.3,1", "$GNGSA,A,3,07,,,,,,,,,,,,1.6,0.9,1.3,3",
       "$GPGSV,1,1,02,05,40,100,45,13,20,200,38,1", "$GPGSV,1,1,02,05,40,100,30,13,20,200,,6",
       "$GAGSV,1,1,01,07,60,300,44,7", "$GAGSV,1,1,01,07,60,300,41,2", "$GLGSV,1,1,01,70,10,050,20",
       "$GBGSV,1,1,01,12,30,060,33,Z"},
      "\r\n");
  Result r = RunOrvane("replay --all --gpsd " + log);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::size_t sky = r.out.find("{\"class\":\"SKY\"");
  ASSERT_NE(sky, std::string::npos) << r.out;
  EXPECT_EQ(r.out.substr(sky),
            "{\"class\":\"SKY\",\"time\":\"2024-06-05T12:00:00.000Z\",\"hdop\":0.9,\"pdop\":1.6,"
            "\"vdop\":1.3,\"nSat\":8,\"uSat\":6,\"satellites\":["
            "{\"PRN\":5,\"el\":40,\"az\":100,\"ss\":45,\"used\":true,\"gnssid\":0,\"svid\":5},"
            "{\"PRN\":5,\"el\":40,\"az\":100,\"ss\":30,\"used\":true,\"gnssid\":0,\"svid\":5,"
            "\"sigid\":3},"
            "{\"PRN\":13,\"el\":20,\"az\":200,\"ss\":38,\"used\":true,\"gnssid\":0,\"svid\":13},"
            "{\"PRN\":13,\"el\":20,\"az\":200,\"used\":true,\"gnssid\":0,\"svid\":13,\"sigid\":3},"
            "{\"PRN\":70,\"el\":10,\"az\":50,\"ss\":20,\"used\":false,\"gnssid\":6,\"svid\":6},"
            "{\"PRN\":307,\"el\":60,\"az\":300,\"ss\":41,\"used\":true,\"gnssid\":2,\"svid\":7,"
            "\"sigid\":5},"
            "{\"PRN\":307,\"el\":60,\"az\":300,\"ss\":44,\"used\":true,\"gnssid\":2,\"svid\":7},"
            "{\"PRN\":412,\"el\":30,\"az\":60,\"ss\":33,\"used\":false,\"gnssid\":3,\"svid\":12}"
            "]}\n");
  // Without --all the one GPS group stands as received: one entry a block.
  Result plain = RunOrvane("replay --set Talkers=GP --set ExtendedSentences=true --gpsd " + log);
  EXPECT_EQ(plain.out.find("sigid"), std::string::npos) << plain.out;
}

TEST(CliTest, TheTalkerHintAndOneLinePerEpochWithAll) {
  const std::string log = WriteLog("orvane_gn.nmea", kGnEpochs, "\r\n");
  Result plain = RunOrvane("replay " + log);
  EXPECT_EQ(plain.status, 0);
  EXPECT_EQ(plain.err,
            "orvane: the receiver sends $GNRMC, which Talkers \"GP\" ignores: add --all\n");
  // --gpsd has no event sink: the hint comes all the same, and only the
  // $GPGSV's sky, no position.
  Result gpsd = RunOrvane("replay --gpsd " + log);
  EXPECT_EQ(gpsd.status, 0);
  EXPECT_EQ(gpsd.err, plain.err);
  EXPECT_EQ(gpsd.out.find("\"lat\""), std::string::npos) << gpsd.out;
  EXPECT_NE(gpsd.out.find("{\"PRN\":18,"), std::string::npos) << gpsd.out;
  // --json stands over --gpsd: the events, as before.
  Result both = RunOrvane("replay --json --gpsd --all " + log);
  EXPECT_EQ(both.out, RunOrvane("replay --json --all " + log).out);
  EXPECT_NE(both.out.find("{\"event\":\"FixUpdate\""), std::string::npos) << both.out;
  Result all = RunOrvane("replay --all " + log);
  EXPECT_EQ(all.err, "");
  // Two epochs, two lines, the first with its heading and GST's error.
  EXPECT_EQ(Count(all.out, " fix  "), 2u) << all.out;
  EXPECT_NE(all.out.find("sats 9  hdg 274.1  err 5.0 m\n"), std::string::npos) << all.out;
  Result summary = RunOrvane("replay --summary " + log);
  EXPECT_NE(summary.out.find("  other    7\n    $GNRMC   2\n    $GNVTG   1\n"), std::string::npos)
      << summary.out;
}

TEST(CliTest, CarriageReturnOnlyLogsAreNamedAndReadWithAll) {
  const std::string log = WriteLog("orvane_cr.nmea", kGnEpochs, "\r");
  Result plain = RunOrvane("replay --summary " + log);
  EXPECT_EQ(plain.status, 1);
  EXPECT_EQ(plain.err, "orvane: " + log +
                           ": no NMEA sentences found: lines end with CR only (8 sentences); add "
                           "--all to read them\n");
  Result all = RunOrvane("replay --all --summary " + log);
  EXPECT_EQ(all.status, 0) << all.err;
  // The last line too, though no byte follows its CR; and the same through a pipe.
  EXPECT_NE(all.out.find("  $--RMC   2\n"), std::string::npos) << all.out;
  Result piped = RunOrvane("replay --all --summary -", "cat " + log + " | ");
  EXPECT_NE(piped.out.find("  $--RMC   2\n"), std::string::npos) << piped.out;
  Result gpsd = RunOrvane("replay --all --gpsd " + log);
  EXPECT_NE(gpsd.out.find("\"time\":\"2024-06-05T12:00:01.000Z\",\"lat\":50.765166667"),
            std::string::npos)
      << gpsd.out << "the last epoch is lost";
  // A doubled dollar sign, as the ST Teseo LIV4F writes, with --all only.
  const std::string teseo = ::testing::TempDir() + "orvane_teseo.nmea";
  {
    std::ofstream f(teseo, std::ios::binary);
    for (const std::string& body : kGnEpochs)
      f << "$" << orvane::testing::WithChecksum(body) << "\r\n";
  }
  Result doubled_all = RunOrvane("replay --all --summary " + teseo);
  EXPECT_NE(doubled_all.out.find("  $--RMC   2\n"), std::string::npos) << doubled_all.out;
  Result doubled_plain = RunOrvane("replay --set Talkers=* --summary " + teseo);
  EXPECT_NE(doubled_plain.out.find("  $--RMC   0\n"), std::string::npos) << doubled_plain.out;
}

}  // namespace

namespace {

// A paced replay with standard error on a terminal shows its progress; the
// line count comes from the reader's thread, --summary or not.
TEST(CliTest, TheProgressLineCountsTheLinesAsTheReplayRuns) {
  std::vector<std::string> epochs;
  for (int s = 0; s < 4; ++s) {
    epochs.push_back("$GPRMC,12000" + std::to_string(s) +
                     ",A,4807.038,N,01131.000,E,5.5,45.0,230394,,,A");
  }
  const std::string log = WriteLog("orvane_progress.nmea", epochs, "\r\n");
  for (const char* mode : {"--summary", "--json"}) {
    int master = -1, slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    const std::string binary = std::string(ORVANE_BINARY_DIR) + "/tools/orvane/orvane";
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::dup2(slave, STDERR_FILENO);
      std::freopen("/dev/null", "w", stdout);
      ::execl(binary.c_str(), "orvane", "replay", log.c_str(), mode, "--time-scale", "2",
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(slave);
    std::string err;
    char buf[4096];
    for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;)
      err.append(buf, static_cast<std::size_t>(n));
    int raw = 0;
    ASSERT_EQ(::waitpid(pid, &raw, 0), pid);
    ::close(master);
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << err;
    // A line while the replay ran (a second and a half), then the last one.
    const std::size_t first = err.find("\r\033[Korvane: ");
    ASSERT_NE(first, std::string::npos) << mode << ": " << err;
    const std::size_t percent = err.find("% of the file, ", first);
    ASSERT_NE(percent, std::string::npos) << err;
    const int lines = std::atoi(err.c_str() + percent + 15);
    EXPECT_GE(lines, 2) << mode << ": " << err;
    EXPECT_LE(lines, 4) << mode << ": " << err;
    EXPECT_NE(err.find("100% of the file, 4 lines"), std::string::npos) << mode << ": " << err;
  }
}

}  // namespace
