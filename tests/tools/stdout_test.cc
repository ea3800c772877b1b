// Standard output that cannot be written: a full disk is said and is exit
// status 1, in every output mode, replay and live; a reader that went away
// ends the command as SIGPIPE does, quietly, its -o file complete.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/command_support.h"
#include "support/nmea.h"
#include "support/source_test_support.h"

namespace {

using orvane::testing::Orvane;
using orvane::testing::Pty;
using orvane::testing::ReadAll;
using orvane::testing::Sentence;
using orvane::testing::TempDir;

constexpr char kFull[] = "orvane: standard output: cannot write: No space left on device\n";

struct Ended {
  bool exited = false;  // else killed by `signal`, or still running (-1)
  int status = -1;
  int signal = -1;
  std::string err;
};

std::vector<std::string> Words(const std::string& args) {
  std::vector<std::string> words = {"orvane"};
  for (std::size_t at = 0; at < args.size();) {
    const std::size_t end = std::min(args.find(' ', at), args.size());
    if (end > at) words.push_back(args.substr(at, end - at));
    at = end + 1;
  }
  return words;
}

// The command with its standard output on `out` (taken over: closed here),
// its standard error in a file; SIGPIPE ignored when `ignore_sigpipe`, as a
// parent may leave it.
class Child {
 public:
  Child(const std::string& args, int out, const TempDir& dir, bool ignore_sigpipe = false)
      : err_path_((dir.path() / "stderr").string()) {
    const std::vector<std::string> words = Words(args);
    std::vector<char*> argv;
    for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
    argv.push_back(nullptr);
    const std::string binary = Orvane();
    const int err = ::open(err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out, STDOUT_FILENO);
      ::dup2(err, STDERR_FILENO);
      ::signal(SIGPIPE, ignore_sigpipe ? SIG_IGN : SIG_DFL);
      ::execv(binary.c_str(), argv.data());
      ::_exit(127);
    }
    ::close(out);
    ::close(err);
  }
  ~Child() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  // Waits at most `seconds`, then kills it: a command that runs on fails.
  Ended Wait(double seconds) {
    Ended e;
    int raw = 0;
    const auto until = std::chrono::steady_clock::now() +
                       std::chrono::milliseconds(static_cast<int>(seconds * 1000));
    while (::waitpid(pid_, &raw, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() >= until) return e;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    pid_ = -1;
    e.exited = WIFEXITED(raw);
    e.status = e.exited ? WEXITSTATUS(raw) : -1;
    e.signal = WIFSIGNALED(raw) ? WTERMSIG(raw) : -1;
    e.err = ReadAll(err_path_);
    return e;
  }

 private:
  std::string err_path_;
  pid_t pid_ = -1;
};

int DevFull() { return ::open("/dev/full", O_WRONLY | O_CLOEXEC); }

// A pipe whose reader has already gone.
int ReaderGone() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return -1;
  ::close(fds[0]);
  return fds[1];
}

std::string Data(const std::string& name) { return std::string(ORVANE_TEST_DATA) + "/" + name; }
std::string Sample() { return std::string(ORVANE_SOURCE_DIR) + "/data/sample.nmea"; }

std::size_t Count(const std::string& s, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = 0; (at = s.find(what, at)) != std::string::npos; at += what.size()) ++n;
  return n;
}

// Every mode, said once and alone: a small log fails at the last flush, the sample
// (megabytes of --json) in the middle of the replay.
TEST(StandardOutputTest, AFullDiskIsSaidOnceAndIsExitStatusOne) {
  TempDir dir;
  const std::string modes[] = {
      "",      "--all",        "--json", "--json --typed --props", "--summary", "--props",
      "--gpx", "--all --gpsd", "--csv",  "--set Talkers=* --json"};
  for (const std::string& log : {Data("mixed.nmea"), Sample()}) {
    for (const std::string& mode : modes) {
      const std::string args = "replay " + log + (mode.empty() ? "" : " " + mode);
      const Ended e = Child(args, DevFull(), dir).Wait(30);
      EXPECT_TRUE(e.exited && e.status == 1) << args << ": " << e.status << " " << e.err;
      EXPECT_EQ(e.err, kFull) << args;
    }
  }
  // Neither is any other text the command writes.
  for (const std::string args : {"--help", "--version", "members"}) {
    const Ended e = Child(args, DevFull(), dir).Wait(10);
    EXPECT_TRUE(e.exited && e.status == 1) << args << ": " << e.status << " " << e.err;
    EXPECT_EQ(e.err, kFull) << args;
  }
}

// Epochs of two fixes each, with a day's date: every mode writes each.
std::string Epochs(int n) {
  std::string lines;
  for (int i = 0; i < n; ++i) {
    const std::string t = "1200" + std::string(i < 10 ? "0" : "") + std::to_string(i);
    lines += Sentence("$GPRMC," + t + ",A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W");
    lines += Sentence("$GPGGA," + t + ",4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
  }
  return lines;
}

// Live, the first write that fails ends the session, long before the
// duration: nothing it reads could be shown.
TEST(StandardOutputTest, ALiveSessionEndsAtTheFirstFailedWrite) {
  TempDir dir;
  for (const std::string mode : {"", "--all", "--json", "--all --gpsd"}) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    const std::string args = "live " + pty.name() + " --duration 60 " + mode;
    Child child(args, DevFull(), dir);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));  // the port is open by now
    pty.Write(Epochs(3));
    const Ended e = child.Wait(15);
    EXPECT_TRUE(e.exited && e.status == 1) << args << ": " << e.status << " " << e.err;
    EXPECT_EQ(Count(e.err, kFull), 1u) << args << "\n" << e.err;
  }
}

// `orvane ... | head`: nothing said, the command killed by SIGPIPE as the
// shell expects of a writer into head, whether or not it was left ignored;
// the -o file is completed first, so the track is well-formed.
TEST(StandardOutputTest, AReaderGoneAwayEndsTheCommandAsSigpipeDoesWithTheFileComplete) {
  TempDir dir;
  const std::string gpx = (dir.path() / "track.gpx").string();
  struct Case {
    std::string args;
    bool ignore_sigpipe;
  } cases[] = {
      {"replay " + Sample() + " --json", false},
      {"replay " + Sample() + " --json", true},
      {"replay " + Sample() + " --all --gpx -o " + gpx, true},
      {"replay " + Sample() + " --all --gpsd", false},
      {"replay " + Sample() + " --csv", false},
      {"--help", false},
  };
  for (const Case& c : cases) {
    std::remove(gpx.c_str());
    const Ended e = Child(c.args, ReaderGone(), dir, c.ignore_sigpipe).Wait(30);
    EXPECT_EQ(e.signal, SIGPIPE) << c.args << ": " << e.status << " " << e.err;
    EXPECT_EQ(e.err, "") << c.args;
    if (c.args.find(gpx) != std::string::npos) {
      const std::string track = ReadAll(gpx);
      EXPECT_EQ(track.substr(track.size() - std::min<std::size_t>(track.size(), 14)),
                "</trk>\n</gpx>\n")
          << track;
    }
  }
  // Live: the session ends at the first epoch written.
  Pty pty;
  ASSERT_TRUE(pty.ok());
  Child live("live " + pty.name() + " --json --duration 60", ReaderGone(), dir);
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  pty.Write(Epochs(3));
  const Ended e = live.Wait(15);
  EXPECT_EQ(e.signal, SIGPIPE) << e.status << " " << e.err;
  EXPECT_EQ(e.err, "");
}

}  // namespace
