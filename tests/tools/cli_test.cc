// The orvane command end to end: its JSON against golden files (ORVANE_BLESS=1
// rewrites them; explain the change in the commit), its errors and exit codes.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

struct Result {
  std::string out, err;
  int status = -1;
};

Result RunOrvane(const std::string& args) {
  const std::string err_path = ::testing::TempDir() + "orvane_stderr_" + std::to_string(::getpid());
  const std::string cmd = std::string(ORVANE_BINARY_DIR) + "/tools/orvane/orvane " + args + " 2>" + err_path;
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
  ADD_FAILURE() << name << " differs at line " << line << "\n  got:      " << la << "\n  expected: " << lb;
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
  Result r = RunOrvane("replay " + Data("mixed.nmea") +
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
       "SpeedUnits: error 0x80070057: An invalid argument was supplied.\n"},
      {"replay " + Data("mixed.nmea") + " --set SpeedUnits=fast", 2, "SpeedUnits: error 0x80020005: Type mismatch.\n"},
      {"replay " + Data("mixed.nmea") + " --set Latitude=1", 2, "Latitude: error 0x80020003: Member not found.\n"},
      {"replay " + Data("no-such-file.nmea"), 1, "error 0x80040215: Unable to open file.\n"},
      {"replay " + Data("mixed.nmea") + " --time-scale 1001", 1, "error 0x80070057: An invalid argument was supplied.\n"},
      {"live /dev/no-such-port --duration 1", 1,
       "error 0x80040205: Could not open port.  This may be because the port does not exist or is already in use.\n"},
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
}

TEST(CliTest, TheSampleShowsSatellitesAndWaypoints) {
  Result r = RunOrvane("replay " + std::string(ORVANE_SOURCE_DIR) + "/data/sample.nmea --json --props");
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
  EXPECT_NE(human.out.find("2004-01-31T23:59:58  fix    47.606200"), std::string::npos) << human.out;
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
  const std::string rmc = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n";
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
  for (std::size_t at = 0; (at = out.find("\"event\":\"FixUpdate\"", at)) != std::string::npos; ++at) ++fixes;
  EXPECT_EQ(fixes, 3u) << out;
  // The properties come once the reader has closed the port.
  EXPECT_NE(out.find("\"PortName\":{\"error\":\"0x80040200\""), std::string::npos) << out;
}

TEST(CliTest, MembersListsTheWholeTable) {
  Result r = RunOrvane("members");
  ASSERT_EQ(r.status, 0);
  int lines = 0;
  for (char ch : r.out) lines += ch == '\n';
  // IOrvane's 59, IOrvane2's heading and its Talkers get and put, the events.
  EXPECT_EQ(lines, 59 + 1 + 2 + 1 + 5);
  EXPECT_NE(r.out.find("IOrvane2:\n100  get     Talkers"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(" 34  method  GetWptLocation"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("[optional] TimeScale"), std::string::npos);
}

}  // namespace
