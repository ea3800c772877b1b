// --record: the receiver's bytes, byte for byte, so that replaying the file
// gives the session's events again.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "record.h"
#include "support/command_support.h"
#include "support/source_test_support.h"

namespace {

using orvane::testing::Orvane;
using orvane::testing::ReadAll;

using orvane::cli::Recorder;
using orvane::testing::Pty;
using orvane::testing::TempDir;

struct Outcome {
  std::string out, err;
  int status = -1;
};

// Starts the command with its output to files; Finish waits for it.
class Background {
 public:
  Background(const TempDir& dir, const std::string& args)
      : out_((dir.path() / "out").string()), err_((dir.path() / "err").string()) {
    pid_ = ::fork();
    if (pid_ == 0) {
      const std::string cmd = Orvane() + " " + args + " >" + out_ + " 2>" + err_;
      ::execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
  }
  Outcome Finish() {
    Outcome r;
    int raw = 0;
    if (pid_ > 0 && ::waitpid(pid_, &raw, 0) == pid_)
      r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = ReadAll(out_);
    r.err = ReadAll(err_);
    return r;
  }

 private:
  std::string out_, err_;
  pid_t pid_ = -1;
};

Outcome Command(const TempDir& dir, const std::string& args) {
  return Background(dir, args).Finish();
}

// What a receiver sends, with what the control ignores or drops: a bad
// checksum, an unknown sentence, an empty line, a line without its CR,
// noise, and a GSV group.
const char kSession[] =
    "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n"
    "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n"
    "$GPRMC,123520,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*00\r\n"
    "$GPZDA,123520,23,03,1994,00,00*48\r\n"
    "\r\n"
    "$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39\n"
    "garbage \x01\x7f\xff bytes\r\n"
    "$GPGSV,2,1,08,01,40,083,46,02,17,308,41,12,07,344,39,14,22,228,45*75\r\n"
    "$GPGSV,2,2,08,18,16,079,42,24,12,122,,25,05,045,30,29,82,263,44*75\r\n"
    "$GPRMC,123521,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*61\r\n";

// The live events, and the replay's with its closing FileComplete.
void ExpectSameEvents(const Outcome& live, const Outcome& replay) {
  const std::string complete = "{\"event\":\"FileComplete\"}\n";
  ASSERT_GE(replay.out.size(), complete.size()) << replay.err;
  EXPECT_EQ(replay.out.substr(replay.out.size() - complete.size()), complete);
  EXPECT_EQ(live.out, replay.out.substr(0, replay.out.size() - complete.size()));
  EXPECT_NE(live.out.find("\"event\":\"SatelliteUpdate\""), std::string::npos) << live.out;
}

TEST(RecordTest, APseudoTerminalSessionRecordedAndReplayedGivesTheSameEvents) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  TempDir dir;
  const std::string file = (dir.path() / "session.nmea").string();
  Background live(dir, "live " + pty.name() + " --json --record " + file + " --duration 2");
  std::this_thread::sleep_for(std::chrono::milliseconds(700));  // the port is open and raw by now
  // In pieces that cut lines, as a serial line delivers them.
  const std::string session = kSession;
  for (std::size_t at = 0; at < session.size(); at += 37) {
    pty.Write(std::string_view(session).substr(at, 37));
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const Outcome recorded = live.Finish();
  ASSERT_EQ(recorded.status, 0) << recorded.err;
  EXPECT_EQ(ReadAll(file), session);
  ExpectSameEvents(recorded, Command(dir, "replay " + file + " --json"));
}

// The server goes away in the middle of a line and comes back: the control
// drops the torn piece, and so does the recording.
TEST(RecordTest, ATcpSessionRecordedAndReplayedGivesTheSameEvents) {
  std::uint16_t port = 0;
  const int listener = orvane::testing::ListenOnLoopback(&port);
  ASSERT_GE(listener, 0);
  TempDir dir;
  const std::string file = (dir.path() / "session.nmea").string();
  Background live(dir, "live tcp://127.0.0.1:" + std::to_string(port) + " --json --record " + file +
                           " --duration 3.5");
  const std::string session = kSession;
  const std::string torn = "$GPRMC,123522,A,4807";
  for (const std::string& sent : {session + torn, session}) {
    pollfd fd{listener, POLLIN, 0};
    ASSERT_EQ(::poll(&fd, 1, 5000), 1) << "the command never connected";
    const int client = ::accept(listener, nullptr, nullptr);
    ASSERT_EQ(::send(client, sent.data(), sent.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(sent.size()));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::close(client);
  }
  const Outcome recorded = live.Finish();
  ::close(listener);
  ASSERT_EQ(recorded.status, 0) << recorded.err;
  EXPECT_NE(recorded.err.find("receiver back"), std::string::npos) << recorded.err;
  EXPECT_EQ(ReadAll(file), session + session);
  ExpectSameEvents(recorded, Command(dir, "replay " + file + " --json"));
}

TEST(RecordTest, AFileThatCannotBeOpenedFailsBeforeTheSourceAndAFullDiskOnlyStopsTheRecording) {
  TempDir dir;
  // The source does not exist either: its error would come first if it
  // were opened first.
  const Outcome unopenable =
      Command(dir, "live /dev/orvane-no-such-port --record /nonexistent-dir/x.nmea");
  EXPECT_EQ(unopenable.status, 1);
  EXPECT_EQ(unopenable.err,
            "orvane: --record /nonexistent-dir/x.nmea: No such file or directory\n");
  const Outcome for_replay =
      Command(dir, "replay " + std::string(ORVANE_TEST_DATA) + "/mixed.nmea --record x");
  EXPECT_EQ(for_replay.status, 2);
  EXPECT_EQ(for_replay.err.substr(0, for_replay.err.find('\n')),
            "orvane: --record is for live and watch");

  Pty pty;
  ASSERT_TRUE(pty.ok());
  Background live(dir, "live " + pty.name() + " --json --record /dev/full --duration 1.5");
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  pty.Write(kSession);
  const Outcome full = live.Finish();
  EXPECT_EQ(full.status, 0) << full.err;
  EXPECT_EQ(full.err, "orvane: recording to /dev/full stopped: No space left on device\n");
  std::size_t fixes = 0;
  for (std::size_t at = 0; (at = full.out.find("\"event\":\"FixUpdate\"", at)) != std::string::npos;
       ++at)
    ++fixes;
  EXPECT_EQ(fixes, 3u) << full.out;
}

TEST(RecordTest, EachLineReachesTheFileAsItEndsAndALastPartOneAtTheClose) {
  TempDir dir;
  // Recording appends: what was there stays.
  const std::string file = dir.Write("r.nmea", "$GPTXT,earlier*07\r\n");
  std::string stopped;
  std::string error;
  auto recorder = Recorder::Open(
      file, [&](const std::string& m) { stopped = m; }, &error);
  ASSERT_NE(recorder, nullptr) << error;
  const std::string earlier = "$GPTXT,earlier*07\r\n";
  recorder->Feed("$GPRMC,1");
  EXPECT_EQ(ReadAll(file), earlier);
  recorder->Feed("23*00\r\n$GPGGA");
  EXPECT_EQ(ReadAll(file), earlier + "$GPRMC,123*00\r\n");
  recorder->Feed(",1\n\n$GPGSA,");
  EXPECT_EQ(ReadAll(file), earlier + "$GPRMC,123*00\r\n$GPGGA,1\n\n");
  recorder.reset();
  EXPECT_EQ(ReadAll(file), earlier + "$GPRMC,123*00\r\n$GPGGA,1\n\n$GPGSA,");
  EXPECT_EQ(stopped, "");

  auto full = Recorder::Open(
      "/dev/full", [&](const std::string& m) { stopped += m + ";"; }, &error);
  ASSERT_NE(full, nullptr) << error;
  full->Feed("a\n");
  full->Feed("b\n");  // told once only
  EXPECT_TRUE(full->stopped());
  EXPECT_EQ(stopped, "recording to /dev/full stopped: No space left on device;");
}

}  // namespace
