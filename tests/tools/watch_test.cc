// orvane watch in a real terminal: tmux runs it in a detached session of a
// fixed size, and the screen is read back as text. Skips, saying so, where
// tmux is missing (scripts/setup installs it).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "support/command_support.h"
#include "support/nmea.h"
#include "support/source_test_support.h"
#include "watch_view.h"

namespace {

using orvane::testing::ReadAll;

using Clock = std::chrono::steady_clock;
using orvane::testing::Pty;
using orvane::testing::TempDir;

std::string Bin(const std::string& path) { return std::string(ORVANE_BINARY_DIR) + "/" + path; }

std::string Output(const std::string& cmd) {
  std::string out;
  std::FILE* p = ::popen(cmd.c_str(), "r");
  if (p == nullptr) return out;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  ::pclose(p);
  return out;
}

bool HaveTmux() { return std::system("command -v tmux >/dev/null 2>&1") == 0; }

#define SKIP_WITHOUT_TMUX()                                                      \
  if (!ORVANE_HAVE_WATCH)                                                        \
    GTEST_SKIP() << "SKIPPED: orvane watch is not built (no libncurses-dev)";    \
  if (!HaveTmux())                                                               \
  GTEST_SKIP() << "SKIPPED: tmux is not installed (scripts/setup installs it); " \
                  "orvane watch is not tested here"

// A shell in a detached tmux session of its own server.
class Terminal {
 public:
  Terminal(int cols, int rows)
      : server_("orvane-watch-test-" + std::to_string(::getpid()) + "-" +
                std::to_string(++count_)) {
    Tmux("new-session -d -s t -x " + std::to_string(cols) + " -y " + std::to_string(rows) +
         " 'env TERM=screen LANG=C.UTF-8 PS1=\"$ \" sh'");
  }
  ~Terminal() { Tmux("kill-server"); }
  std::string Tmux(const std::string& args) const {
    return Output("tmux -L " + server_ + " -f /dev/null " + args + " 2>&1");
  }
  void Type(const std::string& text) const {
    Tmux("send-keys -t t -l '" + text + "'");
    Tmux("send-keys -t t Enter");
  }
  void Key(const std::string& key) const { Tmux("send-keys -t t " + key); }
  std::string Screen() const { return Tmux("capture-pane -p -t t"); }
  std::string Flag(const std::string& format) const {
    std::string v = Tmux("display -p -t t '" + format + "'");
    while (!v.empty() && v.back() == '\n') v.pop_back();
    return v;
  }
  // Waits for the screen to satisfy `done` (a frame may be read half
  // drawn); the screen as it stood.
  bool WaitUntil(const std::function<bool(const std::string&)>& done,
                 std::string* screen = nullptr) const {
    const auto deadline = Clock::now() + std::chrono::seconds(15);
    std::string s;
    bool ok = false;
    do {
      s = Screen();
      if ((ok = done(s))) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (Clock::now() < deadline);
    if (screen != nullptr) *screen = s;
    return ok;
  }
  bool WaitFor(const std::string& text, std::string* screen = nullptr) const {
    return WaitUntil([&](const std::string& s) { return s.find(text) != std::string::npos; },
                     screen);
  }
  // The command the shell runs, for signals.
  pid_t Child() const {
    const std::string shell = Flag("#{pane_pid}");
    const std::string children = ReadAll("/proc/" + shell + "/task/" + shell + "/children");
    return children.empty() ? -1 : static_cast<pid_t>(std::stol(children));
  }

 private:
  static inline std::atomic<int> count_{0};
  std::string server_;
};

// Runs `args` in the shell between two snapshots of the terminal's modes.
// The exit status is written as "rc=N" after it.
void RunWatch(const Terminal& t, const TempDir& dir, const std::string& args) {
  const std::string d = dir.path().string();
  std::remove((d + "/after").c_str());
  t.Type("stty -g >" + d + "/before; echo BEFORE-WATCH; " + Bin("tools/orvane/orvane") + " watch " +
         args + " 2>" + d + "/err; echo rc=$?; stty -g >" + d + "/after");
}

// The terminal is as it was: modes, the main screen with what it showed,
// the cursor.
void ExpectRestored(const Terminal& t, const TempDir& dir, const std::string& rc) {
  std::string screen;
  ASSERT_TRUE(t.WaitFor(rc + "\n", &screen)) << screen;
  // The shell's last step writes the modes after.
  const auto deadline = Clock::now() + std::chrono::seconds(15);
  while (ReadAll((dir.path() / "after").string()).empty() && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(ReadAll((dir.path() / "before").string()), ReadAll((dir.path() / "after").string()));
  EXPECT_NE(ReadAll((dir.path() / "before").string()), "");
  EXPECT_EQ(t.Flag("#{alternate_on}"), "0");
  EXPECT_EQ(t.Flag("#{cursor_flag}"), "1");
  EXPECT_NE(t.Screen().find("BEFORE-WATCH"), std::string::npos) << t.Screen();
}

std::string GeneratedLog(const TempDir& dir) {
  const std::string log = (dir.path() / "drive.nmea").string();
  EXPECT_EQ(std::system((Bin("tools/gen/orvane-gen") + " --seconds 120 -o " + log).c_str()), 0);
  return log;
}

// The sky plot's part of the screen: right of the fix panel.
std::string SkyPart(const std::string& screen) {
  std::istringstream in(screen);
  std::string line, sky;
  while (std::getline(in, line)) sky += (line.size() > 44 ? line.substr(44) : std::string()) + "\n";
  return sky;
}

TEST(WatchTest, ALogShowsTheFixTheSatellitesAndTheSkyAndFollowsTheTerminalsSize) {
  SKIP_WITHOUT_TMUX();
  TempDir dir;
  const std::string log = GeneratedLog(dir);
  Terminal t(100, 30);
  // So slow that the first second's fix and satellites stay on the screen.
  RunWatch(t, dir, log + " --time-scale 0.01 --set DegLabel=d");
  std::string screen;
  for (const char* text :
       {"Latitude   50.765000d N", "Longitude  001.298000d W", "Time       2024-06-05 12:00:00 UTC",
        " GPS    2    67   350   46 #########    yes",
        " GPS   12    11   359   28 #####        no"}) {
    EXPECT_TRUE(t.WaitFor(text, &screen)) << text << "\n" << screen;
  }
  // North up with its rings; used satellites marked, others plain.
  for (const char* mark : {"N", "S", "\nW .", ". E", "+", "17*", " 21 ", "* used"}) {
    EXPECT_TRUE(t.WaitUntil(
        [&](const std::string& s) { return SkyPart(s).find(mark) != std::string::npos; }, &screen))
        << mark << "\n"
        << screen;
  }
  EXPECT_EQ(SkyPart(screen).find("21*"), std::string::npos) << screen;

  // f and u change the formats in place.
  t.Key("f");
  ASSERT_TRUE(t.WaitFor("Latitude   50d45.9000", &screen)) << screen;
  t.Key("u");
  ASSERT_TRUE(t.WaitFor("km/h", &screen)) << screen;

  t.Tmux("resize-window -t t -x 60 -y 20");
  ASSERT_TRUE(t.WaitFor("terminal too small: 60x20, needs 80x24", &screen)) << screen;
  t.Tmux("resize-window -t t -x 100 -y 30");
  EXPECT_TRUE(t.WaitUntil(
      [](const std::string& s) {
        return s.find("Latitude   50d45.9000") != std::string::npos &&
               s.find("terminal too small") == std::string::npos;
      },
      &screen))
      << screen;

  t.Key("q");
  ExpectRestored(t, dir, "rc=0");
}

std::string TimeLine(const std::string& screen) {
  const std::size_t at = screen.find(" Time ");
  return at == std::string::npos ? "" : screen.substr(at, screen.find('\n', at) - at);
}

TEST(WatchTest, SpacePausesALogAndResumesIt) {
  SKIP_WITHOUT_TMUX();
  TempDir dir;
  const std::string log = GeneratedLog(dir);
  Terminal t(100, 30);
  RunWatch(t, dir, log + " --time-scale 10");
  std::string screen;
  ASSERT_TRUE(t.WaitFor("Latitude", &screen)) << screen;
  t.Key("Space");
  ASSERT_TRUE(t.WaitFor("paused, space resumes", &screen)) << screen;
  const std::string paused_at = TimeLine(t.Screen());
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));  // 12 s of the log
  EXPECT_EQ(TimeLine(t.Screen()), paused_at);
  t.Key("Space");
  const auto deadline = Clock::now() + std::chrono::seconds(15);
  while (TimeLine(t.Screen()) == paused_at && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  screen = t.Screen();
  EXPECT_NE(TimeLine(screen), paused_at);
  EXPECT_EQ(screen.find("paused"), std::string::npos) << screen;
  t.Key("q");
  ExpectRestored(t, dir, "rc=0");
}

// Every way out gives the terminal back: q, Ctrl-C, a crash signal.
TEST(WatchTest, EveryExitPathRestoresTheTerminal) {
  SKIP_WITHOUT_TMUX();
  struct Path {
    const char* name;
    std::function<void(const Terminal&)> leave;
    const char* rc;
  } paths[] = {
      {"q", [](const Terminal& t) { t.Key("q"); }, "rc=0"},
      {"Ctrl-C", [](const Terminal& t) { t.Key("C-c"); }, "rc=0"},
      {"SIGSEGV", [](const Terminal& t) { ::kill(t.Child(), SIGSEGV); }, "rc=139"},
  };
  TempDir dir;
  const std::string log = GeneratedLog(dir);
  for (const Path& p : paths) {
    SCOPED_TRACE(p.name);
    Terminal t(90, 26);
    RunWatch(t, dir, log + " --time-scale 0.01");
    std::string screen;
    ASSERT_TRUE(t.WaitFor("Latitude", &screen)) << screen;
    EXPECT_EQ(t.Flag("#{alternate_on}"), "1");
    p.leave(t);
    ExpectRestored(t, dir, p.rc);
  }
}

const char kFix[] =
    "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n"
    "$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39\r\n"
    "$GPGSV,1,1,03,04,46,121,41,05,30,200,35,31,10,300,*49\r\n";

TEST(WatchTest, LiveReceiversOnATerminalAndOverTcpAndASourceThatFails) {
  SKIP_WITHOUT_TMUX();
  TempDir dir;
  {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    Terminal t(100, 30);
    RunWatch(t, dir, pty.name() + " --set DegLabel=d");
    std::string screen;
    // The screen is up once the port is open; written until the fix shows.
    ASSERT_TRUE(t.WaitFor("q quit", &screen)) << screen;
    const auto deadline = Clock::now() + std::chrono::seconds(15);
    do {
      pty.Write(kFix);
    } while (!t.WaitFor("48.117300d N") && Clock::now() < deadline);
    ASSERT_TRUE(t.WaitFor("Latitude   48.117300d N", &screen)) << screen;
    ASSERT_TRUE(t.WaitFor(" GPS    4    46   121   41 ########     yes", &screen)) << screen;
    EXPECT_TRUE(t.WaitUntil(
        [](const std::string& s) { return SkyPart(s).find("31") != std::string::npos; }, &screen))
        << screen;
    t.Key("q");
    ExpectRestored(t, dir, "rc=0");
  }
  {
    std::uint16_t port = 0;
    const int listener = orvane::testing::ListenOnLoopback(&port);
    ASSERT_GE(listener, 0);
    Terminal t(100, 30);
    const std::string name = "tcp://127.0.0.1:" + std::to_string(port);
    RunWatch(t, dir, name + " --set DegLabel=d --record " + (dir.path() / "tcp.nmea").string());
    pollfd fd{listener, POLLIN, 0};
    ASSERT_EQ(::poll(&fd, 1, 15000), 1) << "watch never connected";
    const int client = ::accept(listener, nullptr, nullptr);
    ASSERT_EQ(::send(client, kFix, sizeof kFix - 1, MSG_NOSIGNAL),
              static_cast<ssize_t>(sizeof kFix - 1));
    std::string screen;
    ASSERT_TRUE(t.WaitFor("Latitude   48.117300d N", &screen)) << screen;
    EXPECT_TRUE(t.WaitFor(name + " | ", &screen)) << screen;
    // The server goes away: the watch says so and keeps trying.
    ::close(client);
    ASSERT_TRUE(t.WaitFor("receiver lost, retrying", &screen)) << screen;
    t.Key("q");
    ExpectRestored(t, dir, "rc=0");
    ::close(listener);
    EXPECT_EQ(ReadAll((dir.path() / "tcp.nmea").string()), kFix);
  }
  {
    // A source that cannot be opened: said on the terminal as it was.
    Terminal t(100, 30);
    RunWatch(t, dir, (dir.path() / "missing.nmea").string());
    ExpectRestored(t, dir, "rc=1");
    EXPECT_NE(ReadAll((dir.path() / "err").string()).find("missing.nmea"), std::string::npos);
  }
}

TEST(WatchTest, WithoutATerminalOrWithStandardInputAsTheLogItSaysSo) {
  if (!ORVANE_HAVE_WATCH) GTEST_SKIP() << "SKIPPED: orvane watch is not built (no libncurses-dev)";
  const std::string orvane = Bin("tools/orvane/orvane");
  EXPECT_EQ(Output(orvane + " watch " + std::string(ORVANE_TEST_DATA) +
                   "/mixed.nmea </dev/null 2>&1; echo rc=$?"),
            "orvane: watch needs a terminal on standard input and output\nrc=2\n");
  EXPECT_EQ(
      Output(orvane + " watch - 2>&1; echo rc=$?"),
      "orvane: watch reads its keys from standard input; give the log's name instead of -\nrc=2\n");
}

// The frame's geometry without a terminal: where the sky plot puts a
// satellite, and what a small canvas gets.
TEST(WatchTest, TheSkyPlotPlacesSatellitesByAzimuthAndElevation) {
  using namespace orvane::cli;
  Frame f;
  struct Case {
    int number, elevation, azimuth;
    bool used;
    int row, col;  // of the mark's first cell on a 100x30 canvas
  } cases[] = {
      {1, 90, 0, true, 14, 70},     // overhead: the centre
      {2, 0, 0, false, 2, 70},      // north on the horizon: the top ring
      {3, 0, 90, true, 14, 94},     // east on the horizon
      {4, 0, 180, false, 26, 70},   // south
      {5, 30, 270, false, 14, 54},  // west, on the 30 degree ring
  };
  for (const Case& c : cases) {
    orvane::Satellite s;
    s.number = c.number;
    s.elevation = c.elevation;
    s.azimuth = c.azimuth;
    s.used_in_fix = c.used;
    f.satellites.in_sight.push_back(s);
  }
  TextCanvas canvas(30, 100);
  DrawFrame(f, canvas);
  for (const Case& c : cases) {
    const std::string mark = std::to_string(c.number) + (c.used ? "*" : "");
    EXPECT_EQ(canvas.lines()[static_cast<std::size_t>(c.row)].substr(
                  static_cast<std::size_t>(c.col), mark.size()),
              mark)
        << "satellite " << c.number << "\n"
        << canvas.Text();
  }
  TextCanvas small(23, 120);
  DrawFrame(f, small);
  EXPECT_EQ(small.lines()[0].substr(0, 39), "terminal too small: 120x23, needs 80x24");
}

// Heading, GST's errors, the receiver's messages and what was seen: each
// shown when there is something to show, and only then.
TEST(WatchTest, TheRowsThatComeWithWhatTheReceiverSends) {
  using namespace orvane::cli;
  Frame plain;
  Frame full;
  full.fix.heading = 274.07;
  full.fix.magnetic_heading = 270.5;
  full.fix.latitude_error = 0.5;
  full.fix.altitude_error = 2.25;
  full.texts = {"first", "ANTENNA OPEN", "ANTENNA \x1b[2JOK"};
  full.talkers = "GN,GP";
  full.sentence_types = "GGA,GSA,RMC,TXT";
  full.ignored_fix = "$GNRMC";
  struct Case {
    std::string text;
    int row;  // on the full frame's 100x30 canvas; absent from the plain one
  } cases[] = {
      {"Heading    274.1 deg true, 270.5 deg magnetic", 8},
      {"Error (1s) lat 0.5  lon -  alt 2.2 m", 9},
      {"Receiver   ANTENNA OPEN", 27},
      {"           ANTENNA ?[2JOK", 28},  // no escape reaches the terminal
      {"| $GNRMC ignored: add --all | talkers GN,GP | GGA,GSA,RMC,TXT", 29},
  };
  TextCanvas with(30, 100), without(30, 100);
  DrawFrame(full, with);
  DrawFrame(plain, without);
  for (const Case& c : cases) {
    EXPECT_NE(with.lines()[static_cast<std::size_t>(c.row)].find(c.text), std::string::npos)
        << c.text << "\n"
        << with.Text();
    EXPECT_EQ(without.Text().find(c.text), std::string::npos) << c.text;
  }
  EXPECT_EQ(with.Text().find("first"), std::string::npos) << "two messages at most";
}

TEST(WatchTest, ALogsHeadingErrorsAndMessagesReachTheScreen) {
  SKIP_WITHOUT_TMUX();
  TempDir dir;
  std::string log;
  for (const char* body : {"$GNRMC,120000.00,A,5045.9000,N,00117.8800,W,5.8,330.3,050624,1.2,W,A",
                           "$GNGST,120000.00,0.5,1.2,0.8,45.0,3.0,4.0,2.5", "$GPHDT,274.07,T",
                           "$GPTXT,01,01,02,ANTENNA OK",
                           "$GNRMC,120001.00,A,5045.9100,N,00117.8800,W,5.9,330.3,050624,,,A"}) {
    log += orvane::testing::WithChecksum(body) + "\r\n";
  }
  Terminal t(100, 30);
  RunWatch(t, dir, dir.Write("extras.nmea", log) + " --all --time-scale 0.5");
  std::string screen;
  for (const char* text : {"Heading    274.1 deg true", "Error (1s) lat 3.0  lon 4.0  alt 2.5 m",
                           "Receiver   ANTENNA OK", "talkers GN,GP"}) {
    EXPECT_TRUE(t.WaitFor(text, &screen)) << text << "\n" << screen;
  }
  t.Key("q");
  ExpectRestored(t, dir, "rc=0");
}

}  // namespace
