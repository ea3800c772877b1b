// Log replay from a file or a pipe: chunked reading, the end of a replay,
// TimeScale, pacing against the clock, Close and final release during a
// replay, progress.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "sources/replay_pacer.h"
#include "support/source_test_support.h"

namespace orvane::testing {
namespace {

// RMC one second apart from 12:00:00 on 5 June 2024.
std::string RmcSeconds(int count, int first_second = 0) {
  std::string log;
  for (int i = 0; i < count; ++i) {
    const int t = first_second + i;
    char body[128];
    std::snprintf(body, sizeof body,
                  "$GPRMC,%02d%02d%02d,A,4807.038,N,01131.000,E,5.0,90.0,050624,,,A", 12 + t / 3600,
                  (t / 60) % 60, t % 60);
    log += Sentence(body);
  }
  return log;
}

// A pipe the test writes as a receiver's log would arrive.
class Pipe {
 public:
  Pipe() {
    if (pipe(fds_) != 0) fds_[0] = fds_[1] = -1;
  }
  ~Pipe() {
    if (writer_.joinable()) writer_.join();
    CloseWriter();
    if (fds_[0] >= 0) close(fds_[0]);
  }
  int reader() const { return fds_[0]; }
  // Writes `bytes` in pieces of `piece` bytes on a thread of its own,
  // pausing now and then so the reader sees them apart; closes the pipe
  // after the last piece when `close_after`.
  void WriteInPieces(std::string bytes, std::size_t piece, bool close_after) {
    writer_ = std::thread([this, bytes = std::move(bytes), piece, close_after] {
      for (std::size_t at = 0, n = 0; at < bytes.size(); at += piece, ++n) {
        const std::size_t len = std::min(piece, bytes.size() - at);
        if (write(fds_[1], bytes.data() + at, len) != static_cast<ssize_t>(len)) return;
        if (n % 64 == 63) std::this_thread::sleep_for(milliseconds(1));
      }
      if (close_after) CloseWriter();
    });
  }
  void CloseWriter() {
    const int fd = fds_[1];
    fds_[1] = -1;
    if (fd >= 0) close(fd);
  }

 private:
  int fds_[2] = {-1, -1};
  std::thread writer_;
};

class LogReplayTest : public ::testing::Test {
 protected:
  void SetUp() override { TakeErrorRecord(); }
  HRESULT Replay(std::string_view content,
                 const Variant& time_scale = Variant::Error(DISP_E_PARAMNOTFOUND)) {
    const std::string path = dir_.Write("log" + std::to_string(++files_) + ".nmea", content);
    return rig_.sources->OpenFile(Variant::Text(path), time_scale);
  }
  // Replays without pacing and waits until the reader has closed the file.
  std::vector<std::string> ReplayAll(std::string_view content) {
    const int before = rig_.events.file_complete();
    EXPECT_EQ(Replay(content), S_OK) << ErrorText();
    EXPECT_TRUE(rig_.events.WaitFileComplete(before + 1));
    EXPECT_TRUE(rig_.WaitClosed());
    return rig_.events.raw();
  }

  TempDir dir_;
  int files_ = 0;
  Rig rig_;
};

TEST_F(LogReplayTest, EmptyFileCompletesAtOnce) {
  EXPECT_TRUE(ReplayAll("").empty());
  EXPECT_EQ(rig_.events.file_complete(), 1);
}

TEST_F(LogReplayTest, TextAfterTheLastLineFeedIsNeverHandled) {
  const std::string first = "$GPGGA,120000,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,";
  const std::vector<std::string> raw =
      ReplayAll(Sentence(first) + "$GPRMC,120001,A,4807.038,N,01131.000,E,,,050624,,,A*00");
  ASSERT_EQ(raw.size(), 1u);
  EXPECT_EQ(raw[0], first);
  EXPECT_EQ(rig_.events.file_complete(), 1);
}

TEST_F(LogReplayTest, LinesStraddlingChunkBoundariesArriveWhole) {
  // Line lengths chosen so line ends fall before, on and after the 80-byte
  // chunk boundaries, including lines longer than two chunks and empty ones.
  const std::vector<std::vector<std::size_t>> patterns = {
      {78, 80, 81, 79, 1, 159, 160, 161, 240},
      {10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10},
      {0, 0, 200, 0, 3},
      {79},
      {80},
  };
  for (const std::vector<std::size_t>& lengths : patterns) {
    std::string log;
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < lengths.size(); ++i) {
      // "$PXYZ" lines of the given length (before CR LF), no checksum.
      std::string line = "$PXYZ" + std::to_string(i) + ",";
      line.resize(std::max(lengths[i], line.size()), static_cast<char>('a' + i % 26));
      // Length 0 is an empty line, which is skipped without an event.
      if (lengths[i] == 0) line.clear();
      const bool crlf = i % 2 == 0 && !line.empty();
      log += line + (crlf ? "\r\n" : "\n");
      if (!line.empty()) expected.push_back(line + (crlf ? "\r" : ""));
    }
    const std::size_t before = rig_.events.raw().size();
    const std::vector<std::string> raw = ReplayAll(log);
    const std::vector<std::string> got(raw.begin() + static_cast<std::ptrdiff_t>(before),
                                       raw.end());
    std::string shape;
    for (std::size_t n : lengths) shape += std::to_string(n) + " ";
    EXPECT_EQ(got, expected) << "line lengths: " << shape << "file size " << log.size();
  }
}

TEST_F(LogReplayTest, FilesAroundTheReadBlockSizeReplayEveryLine) {
  // The file is read in 64 KiB blocks: line ends and the end of the file fall
  // just before, on and after block boundaries; the unterminated tail never
  // counts.
  constexpr std::size_t kBlock = 64 * 1024;
  for (const std::size_t size : {kBlock - 1, kBlock, kBlock + 1, 3 * kBlock + 41}) {
    for (const std::size_t tail : {std::size_t{0}, std::size_t{1}, std::size_t{79}}) {
      std::string log;
      std::vector<std::string> expected;
      for (int i = 0; log.size() + tail < size; ++i) {
        const std::size_t room = size - tail - log.size();
        if (room < 12) {
          log += std::string(room, '\n');  // empty lines raise nothing
          break;
        }
        std::string line = "$PXYZ," + std::to_string(i) + ",";
        line.resize(std::min<std::size_t>(37 + i % 90, room - 1), 'q');
        log += line + "\n";
        expected.push_back(line);
      }
      log += std::string(tail, 'z');
      ASSERT_EQ(log.size(), size);
      const std::size_t before = rig_.events.raw().size();
      const std::vector<std::string> raw = ReplayAll(log);
      const std::vector<std::string> got(raw.begin() + static_cast<std::ptrdiff_t>(before),
                                         raw.end());
      EXPECT_EQ(got, expected) << "file size " << size << ", tail " << tail;
    }
  }
}

TEST_F(LogReplayTest, OpenFileFailures) {
  ASSERT_EQ(rig_.sources->OpenFile(Variant::Text(dir_.path().string() + "/missing.nmea"),
                                   Variant::Error(DISP_E_PARAMNOTFOUND)),
            kCannotOpenFile);
  EXPECT_EQ(ErrorText(), kMsgCannotOpenFile);
  // A directory opens on POSIX but never reads; it is refused like on Windows.
  ASSERT_EQ(rig_.sources->OpenFile(Variant::Text(dir_.path().string()), Variant()),
            kCannotOpenFile);
  EXPECT_EQ(ErrorText(), kMsgCannotOpenFile);
  ASSERT_EQ(rig_.sources->OpenFile(Variant::Text(""), Variant()), kCannotOpenFile);
  EXPECT_EQ(ErrorText(), kMsgCannotOpenFile);
  ASSERT_EQ(rig_.sources->OpenFile(Variant::Text(std::string(5000, 'x')), Variant()), E_INVALIDARG);
  EXPECT_EQ(ErrorText(), kMsgInvalidArg);
  EXPECT_FALSE(rig_.sources->IsOpen());

  // A long paced wait keeps the replay open.
  ASSERT_EQ(Replay(RmcSeconds(1) + RmcSeconds(1, 3600), Variant::R8(1.0)), S_OK) << ErrorText();
  EXPECT_EQ(Replay(RmcSeconds(1)), kAlreadyOpen);
  EXPECT_EQ(ErrorText(), kMsgAlreadyOpen);
  EXPECT_EQ(rig_.sources->Open(Variant::Text("/dev/null")), kAlreadyOpen);
  EXPECT_EQ(ErrorText(), kMsgAlreadyOpen);
}

TEST_F(LogReplayTest, TimeScaleBounds) {
  struct Case {
    std::string label;
    Variant scale;
    HRESULT expected;
    bool paces;
    bool records_error;
  };
  const Case cases[] = {
      {"omitted", Variant::Error(DISP_E_PARAMNOTFOUND), S_OK, false, false},
      {"-1", Variant::R8(-1), E_INVALIDARG, false, true},
      {"-0.00001", Variant::R8(-0.00001), E_INVALIDARG, false, true},
      {"0", Variant::I4(0), S_OK, false, false},
      {"0.000005", Variant::R8(0.000005), S_OK, false, false},
      {"-0.000005", Variant::R8(-0.000005), S_OK, false, false},
      {"0.00001", Variant::R8(0.00001), S_OK, true, false},
      {"1000.99", Variant::R8(1000.99), S_OK, true, false},
      {"1001", Variant::R8(1001), E_INVALIDARG, false, true},
      {"infinity", Variant::R8(std::numeric_limits<double>::infinity()), E_INVALIDARG, false, true},
      {"NaN", Variant::R8(std::nan("")), E_INVALIDARG, false, true},
      {"text 2", Variant::Text(" 2 "), S_OK, true, false},
      {"text abc", Variant::Text("abc"), DISP_E_TYPEMISMATCH, false, false},
      {"VT_NULL", Variant::Null(), DISP_E_TYPEMISMATCH, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TakeErrorRecord();
    const int completed = rig_.events.file_complete();
    // One dated fix: the first paced fix only takes the reference, so even
    // the slowest scale finishes at once.
    EXPECT_EQ(Replay(RmcSeconds(1), c.scale), c.expected);
    std::optional<ErrorRecord> rec = TakeErrorRecord();
    EXPECT_EQ(rec.has_value(), c.records_error);
    if (rec) {
      EXPECT_EQ(Utf16ToUtf8(rec->description), kMsgInvalidArg);
    }
    EXPECT_EQ(detail::ReadTimeScale(c.scale).scale > 0.0, c.paces);
    if (c.expected == S_OK) {
      EXPECT_TRUE(rig_.events.WaitFileComplete(completed + 1));
      EXPECT_TRUE(rig_.WaitClosed());
    } else {
      EXPECT_FALSE(rig_.sources->IsOpen()) << "the file was closed again";
      EXPECT_EQ(rig_.events.file_complete(), completed);
    }
  }
}

// Milliseconds between consecutive FixUpdates.
std::vector<double> FixGapsMs(const RecordingEvents& events) {
  const std::vector<Clock::time_point> t = events.fix_times();
  std::vector<double> gaps;
  for (std::size_t i = 1; i < t.size(); ++i) {
    gaps.push_back(std::chrono::duration<double, std::milli>(t[i] - t[i - 1]).count());
  }
  return gaps;
}

TEST_F(LogReplayTest, PacingFollowsTheTimeScale) {
  struct Case {
    double scale;
    int fixes;
    double gap_ms;
  };
  for (const Case& c : {Case{2.0, 4, 500.0}, Case{0.5, 2, 2000.0}}) {
    SCOPED_TRACE(c.scale);
    Rig rig;
    const std::string path = dir_.Write("paced.nmea", RmcSeconds(c.fixes));
    const auto start = Clock::now();
    ASSERT_EQ(rig.sources->OpenFile(Variant::Text(path), Variant::R8(c.scale)), S_OK);
    ASSERT_TRUE(rig.events.WaitFileComplete(1, milliseconds(20000)));
    const double total = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    const std::vector<double> gaps = FixGapsMs(rig.events);
    ASSERT_EQ(gaps.size(), static_cast<std::size_t>(c.fixes - 1));
    for (double gap : gaps) EXPECT_NEAR(gap, c.gap_ms, 250.0);
    EXPECT_NEAR(total, c.gap_ms * (c.fixes - 1), 600.0);
  }
}

TEST_F(LogReplayTest, CloseDuringAPacingWaitEndsAtOnceWithOneFileComplete) {
  // The second fix is an hour after the first.
  ASSERT_EQ(Replay(RmcSeconds(1) + RmcSeconds(1, 3600) + RmcSeconds(1, 3601), Variant::R8(1.0)),
            S_OK);
  ASSERT_TRUE(rig_.events.WaitRaw(1));
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_EQ(rig_.events.file_complete(), 0);
  const auto start = Clock::now();
  EXPECT_EQ(rig_.sources->Close(), S_OK);
  ASSERT_TRUE(rig_.events.WaitFileComplete(1, milliseconds(2000)));
  ASSERT_TRUE(rig_.WaitClosed(milliseconds(2000)));
  EXPECT_LT(Clock::now() - start, milliseconds(2000));
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_EQ(rig_.events.file_complete(), 1);
  // The delayed fix is finished, nothing after it.
  EXPECT_LE(rig_.events.raw().size(), 2u);
}

TEST_F(LogReplayTest, PropertiesDuringAReplay) {
  ASSERT_EQ(Replay(RmcSeconds(1) + RmcSeconds(1, 3600), Variant::R8(1.0)), S_OK);
  ASSERT_TRUE(rig_.events.WaitRaw(1));
  Variant v;
  ASSERT_EQ(rig_.sources->get_PortHandle(&v), S_OK);
  EXPECT_EQ(v.vt(), VT_I4);
  EXPECT_GE(v.i4(), 0);
  ASSERT_EQ(rig_.sources->get_PortName(&v), S_OK);
  EXPECT_EQ(DebugString(v), DebugString(Variant::Text(""))) << "no Open has succeeded yet";
  EXPECT_EQ(rig_.sources->get_BaudRate(&v), kGetCommStateFailed);
  EXPECT_EQ(ErrorText(), kMsgGetCommState);
  EXPECT_EQ(rig_.sources->put_BaudRate(Variant::I4(9600)), kGetCommStateFailed);
  EXPECT_EQ(ErrorText(), kMsgGetCommState);
  EXPECT_EQ(rig_.sources->Close(), S_OK);
  ASSERT_TRUE(rig_.WaitClosed());
  ASSERT_EQ(rig_.sources->get_BaudRate(&v), S_OK);
  EXPECT_EQ(v.i4(), 4800) << "the failed put kept the stored rate";
}

TEST_F(LogReplayTest, SecondReplayAfterTheFirstEnded) {
  ReplayAll(RmcSeconds(2));
  ReplayAll(RmcSeconds(3));
  EXPECT_EQ(rig_.events.raw().size(), 5u);
  EXPECT_EQ(rig_.events.file_complete(), 2);
}

TEST_F(LogReplayTest, ReleaseDuringAPacedReplayIsPromptAndSilent) {
  ASSERT_EQ(Replay(RmcSeconds(1) + RmcSeconds(1, 3600), Variant::R8(1.0)), S_OK);
  ASSERT_TRUE(rig_.events.WaitRaw(1));
  const auto start = Clock::now();
  rig_.sources.reset();
  EXPECT_LT(Clock::now() - start, milliseconds(2000));
  EXPECT_EQ(rig_.events.file_complete(), 0);
}

TEST_F(LogReplayTest, ReleaseRightAfterOpenFileFiresNothing) {
  // The race between the reader starting and the release: never a FileComplete.
  for (int round = 0; round < 20; ++round) {
    Rig rig;
    const std::string path = dir_.Write("short.nmea", RmcSeconds(50));
    ASSERT_EQ(rig.sources->OpenFile(Variant::Text(path), Variant()), S_OK);
    rig.sources->Release();
    EXPECT_FALSE(rig.sources->IsOpen());
    // A replay may reach its end before the release; one ended by the
    // release itself fires nothing.
    const int fired = rig.events.file_complete();
    EXPECT_LE(fired, 1);
    if (fired == 1) {
      EXPECT_EQ(rig.events.raw().size(), 50u) << "round " << round;
    }
  }
}

TEST_F(LogReplayTest, PropertiesReadWhileReplayingFullSpeed) {
  std::string log;
  for (int i = 0; i < 20; ++i) log += RmcSeconds(100, i * 100);
  ASSERT_EQ(Replay(log), S_OK);
  // Host-thread reads race the reader's end; all must stay consistent.
  int reads = 0;
  while (rig_.sources->IsOpen() && reads < 100000) {
    Variant v;
    const HRESULT hr = rig_.sources->get_PortHandle(&v);
    EXPECT_TRUE(hr == S_OK || hr == kPortClosed);
    rig_.receiver.fix().Latitude();
    ++reads;
  }
  ASSERT_TRUE(rig_.events.WaitFileComplete());
  ASSERT_TRUE(rig_.WaitClosed());
  EXPECT_EQ(rig_.receiver.stats().lines, 2000u);
}

TEST_F(LogReplayTest, SampleLogReplaysCleanly) {
  const std::string path = std::string(ORVANE_SOURCE_DIR) + "/data/sample.nmea";
  ASSERT_EQ(rig_.sources->OpenFile(Variant::Text(path), Variant()), S_OK) << ErrorText();
  ASSERT_TRUE(rig_.events.WaitFileComplete(1, milliseconds(30000)));
  ASSERT_TRUE(rig_.WaitClosed());
  const Receiver::Stats& stats = rig_.receiver.stats();
  EXPECT_GT(stats.lines, 3000u);
  EXPECT_EQ(stats.checksum_dropped, 0u);
  EXPECT_EQ(stats.unrecognised, 0u);
  for (std::size_t row = 0; row < Receiver::Sentences().size(); ++row) {
    if (Receiver::Sentences()[row].extended) continue;  // off by default
    EXPECT_GT(stats.by_row[row], 0u) << Receiver::Sentences()[row].identifier;
  }
  Variant names = rig_.receiver.navigation().WptsInRoute();
  EXPECT_GE(names.array().size(), 3u);
}

TEST_F(LogReplayTest, PiecesOfAPipeArriveAsTheSameFileDoes) {
  // Lines cut between writes at every offset; the text after the last line
  // feed and a line cut by the end are dropped as a file's are.
  const std::string log =
      RmcSeconds(30) + "\n\n" + std::string(300, 'x') + "\r\n" + "$GPRMC,unterminated";
  const std::vector<std::string> expected = ReplayAll(log);
  ASSERT_EQ(expected.size(), 31u);
  EXPECT_EQ(rig_.sources->Progress().bytes_read, log.size());
  EXPECT_EQ(rig_.sources->Progress().total_bytes, log.size());

  for (const std::size_t piece :
       {std::size_t{1}, std::size_t{7}, std::size_t{79}, std::size_t{4096}, log.size()}) {
    SCOPED_TRACE("pieces of " + std::to_string(piece));
    Rig rig;
    Pipe pipe;
    ASSERT_EQ(rig.sources->OpenStream(pipe.reader(), Variant()), S_OK) << ErrorText();
    pipe.WriteInPieces(log, piece, true);
    ASSERT_TRUE(rig.events.WaitFileComplete(1, milliseconds(20000)));
    ASSERT_TRUE(rig.WaitClosed());
    EXPECT_EQ(rig.events.raw(), expected);
    EXPECT_EQ(rig.events.file_complete(), 1);
    EXPECT_EQ(rig.sources->Progress().bytes_read, log.size());
    EXPECT_EQ(rig.sources->Progress().total_bytes, 0u) << "a stream's length is unknown";
    // The source read its own duplicate: the caller's descriptor is open.
    EXPECT_NE(fcntl(pipe.reader(), F_GETFD), -1);
  }
}

TEST_F(LogReplayTest, PacingHoldsAPipeAsItHoldsAFile) {
  // The second fix is an hour after the first; the writer stays connected.
  const std::string log = RmcSeconds(1) + RmcSeconds(1, 3600) + RmcSeconds(1, 3601);
  for (const bool stream : {false, true}) {
    SCOPED_TRACE(stream ? "pipe" : "file");
    Rig rig;
    Pipe pipe;
    if (stream) {
      pipe.WriteInPieces(log, log.size(), false);
      ASSERT_EQ(rig.sources->OpenStream(pipe.reader(), Variant::R8(1.0)), S_OK) << ErrorText();
    } else {
      ASSERT_EQ(
          rig.sources->OpenFile(Variant::Text(dir_.Write("paced.nmea", log)), Variant::R8(1.0)),
          S_OK);
    }
    ASSERT_TRUE(rig.events.WaitRaw(1));
    std::this_thread::sleep_for(milliseconds(200));
    EXPECT_EQ(rig.events.raw().size(), 1u) << "the fix an hour later is held back";
    // Progress counts only what was handled, though the rest is read.
    EXPECT_LE(rig.sources->Progress().bytes_read, RmcSeconds(1).size());
    EXPECT_EQ(rig.sources->Progress().total_bytes, stream ? 0u : log.size());
    EXPECT_EQ(rig.events.file_complete(), 0);
    const auto start = Clock::now();
    EXPECT_EQ(rig.sources->Close(), S_OK);
    ASSERT_TRUE(rig.WaitClosed(milliseconds(2000)));
    EXPECT_LT(Clock::now() - start, milliseconds(2000));
    EXPECT_EQ(rig.events.file_complete(), 1);
    EXPECT_LE(rig.events.raw().size(), 2u) << "nothing after the delayed fix";
  }
}

TEST_F(LogReplayTest, CloseWhileAPipeWaitsForBytesEndsAtOnce) {
  Rig rig;
  Pipe pipe;
  ASSERT_EQ(rig.sources->OpenStream(pipe.reader(), Variant()), S_OK);
  pipe.WriteInPieces(RmcSeconds(1) + "$GPRMC,half a line", 4096, false);
  ASSERT_TRUE(rig.events.WaitRaw(1));
  std::this_thread::sleep_for(milliseconds(150));
  EXPECT_TRUE(rig.sources->IsOpen()) << "an open writer keeps the replay going";
  const auto start = Clock::now();
  EXPECT_EQ(rig.sources->Close(), S_OK);
  ASSERT_TRUE(rig.WaitClosed(milliseconds(2000)));
  EXPECT_LT(Clock::now() - start, milliseconds(1000));
  EXPECT_EQ(rig.events.file_complete(), 1);
  EXPECT_EQ(rig.events.raw().size(), 1u);
}

TEST_F(LogReplayTest, OpenStreamRefusalsAndAFileNamedDash) {
  Rig rig;
  for (const std::intptr_t bad : {std::intptr_t{-1}, std::intptr_t{1} << 40}) {
    EXPECT_EQ(rig.sources->OpenStream(bad, Variant()), kCannotOpenFile);
    EXPECT_EQ(ErrorText(), kMsgCannotOpenFile);
    EXPECT_EQ(rig.sources->LastOpenFailure(), "Bad file descriptor");
  }
  Pipe pipe;
  EXPECT_EQ(rig.sources->OpenStream(pipe.reader(), Variant::R8(5000)), E_INVALIDARG);
  EXPECT_EQ(ErrorText(), kMsgInvalidArg);
  EXPECT_EQ(rig.sources->OpenStream(pipe.reader(), Variant::Text("abc")), DISP_E_TYPEMISMATCH);
  EXPECT_FALSE(rig.sources->IsOpen());
  ASSERT_EQ(rig.sources->OpenStream(pipe.reader(), Variant()), S_OK);
  EXPECT_EQ(rig.sources->OpenStream(pipe.reader(), Variant()), kAlreadyOpen);
  EXPECT_EQ(ErrorText(), kMsgAlreadyOpen);
  pipe.CloseWriter();
  ASSERT_TRUE(rig.events.WaitFileComplete(1));
  ASSERT_TRUE(rig.WaitClosed());

  // OpenFile takes "-" as any other name: a file of that name.
  const std::filesystem::path was = std::filesystem::current_path();
  dir_.Write("-", RmcSeconds(2));
  std::filesystem::current_path(dir_.path());
  const HRESULT hr = rig.sources->OpenFile(Variant::Text("-"), Variant());
  std::filesystem::current_path(was);
  ASSERT_EQ(hr, S_OK) << ErrorText();
  ASSERT_TRUE(rig.events.WaitFileComplete(2));
  EXPECT_EQ(rig.events.raw().size(), 2u);
}

}  // namespace
}  // namespace orvane::testing
