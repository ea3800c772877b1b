// A log replayed from a pipe: what arrives in pieces is handled as the same
// bytes in a file are, the writer's close ends the replay, pacing holds the
// stream as it holds a file, and Close never waits for the writer.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/source_test_support.h"

namespace orvane::testing {
namespace {

// RMC and GGA one second apart from 12:00:00 on 5 June 2024.
std::string Fixes(int count, int first_second = 0) {
  std::string log;
  for (int i = 0; i < count; ++i) {
    const int t = first_second + i;
    char time[8];
    std::snprintf(time, sizeof time, "%02d%02d%02d", 12 + t / 3600, (t / 60) % 60, t % 60);
    log += Sentence(std::string("$GPRMC,") + time + ",A,4807.038,N,01131.000,E,5.0,90.0,050624,,,A");
    log += Sentence(std::string("$GPGGA,") + time + ",4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
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

class StreamReplayTest : public ::testing::Test {
 protected:
  void SetUp() override { TakeErrorRecord(); }
  TempDir dir_;
};

TEST_F(StreamReplayTest, PiecesOfAPipeArriveAsTheSameFileDoes) {
  // Lines cut between writes at every offset; the text after the last line
  // feed and a line cut by the end are dropped as a file's are.
  const std::string log = Fixes(30) + "\n\n" + std::string(300, 'x') + "\r\n" + "$GPRMC,unterminated";
  Rig file;
  ASSERT_EQ(file.sources->OpenFile(Variant::Text(dir_.Write("same.nmea", log)), Variant()), S_OK);
  ASSERT_TRUE(file.events.WaitFileComplete(1));
  ASSERT_TRUE(file.WaitClosed());
  const std::vector<std::string> expected = file.events.raw();
  ASSERT_EQ(expected.size(), 61u);
  EXPECT_EQ(file.sources->Progress().bytes_read, log.size());
  EXPECT_EQ(file.sources->Progress().total_bytes, log.size());

  for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{79}, std::size_t{4096}, log.size()}) {
    SCOPED_TRACE("pieces of " + std::to_string(piece));
    Rig rig;
    Pipe pipe;
    ASSERT_EQ(rig.sources->OpenStream(pipe.reader(), Variant()), S_OK) << ErrorText();
    pipe.WriteInPieces(log, piece, true);
    ASSERT_TRUE(rig.events.WaitFileComplete(1, milliseconds(20000)));
    ASSERT_TRUE(rig.WaitClosed());
    EXPECT_EQ(rig.events.raw(), expected);
    EXPECT_EQ(rig.events.file_complete(), 1);
    EXPECT_EQ(rig.receiver.stats().by_row, file.receiver.stats().by_row);
    EXPECT_EQ(rig.sources->Progress().bytes_read, log.size());
    EXPECT_EQ(rig.sources->Progress().total_bytes, 0u) << "a stream's length is unknown";
    // The source read its own duplicate: the caller's descriptor is open.
    EXPECT_NE(fcntl(pipe.reader(), F_GETFD), -1);
  }
}

TEST_F(StreamReplayTest, PacingHoldsAStreamAsItHoldsAFile) {
  // The second fix is an hour after the first; the writer stays connected.
  const std::string log = Fixes(1) + Fixes(1, 3600) + Fixes(1, 3601);
  for (const bool stream : {false, true}) {
    SCOPED_TRACE(stream ? "pipe" : "file");
    Rig rig;
    Pipe pipe;
    if (stream) {
      pipe.WriteInPieces(log, log.size(), false);
      ASSERT_EQ(rig.sources->OpenStream(pipe.reader(), Variant::R8(1.0)), S_OK) << ErrorText();
    } else {
      ASSERT_EQ(rig.sources->OpenFile(Variant::Text(dir_.Write("paced.nmea", log)), Variant::R8(1.0)), S_OK);
    }
    ASSERT_TRUE(rig.events.WaitRaw(2));
    std::this_thread::sleep_for(milliseconds(200));
    EXPECT_EQ(rig.events.raw().size(), 2u) << "the fix an hour later is held back";
    // Progress counts only what was handled, though the rest is read.
    EXPECT_LE(rig.sources->Progress().bytes_read, Fixes(1).size());
    EXPECT_EQ(rig.sources->Progress().total_bytes, stream ? 0u : log.size());
    EXPECT_EQ(rig.events.file_complete(), 0);
    const auto start = Clock::now();
    EXPECT_EQ(rig.sources->Close(), S_OK);
    ASSERT_TRUE(rig.WaitClosed(milliseconds(2000)));
    EXPECT_LT(Clock::now() - start, milliseconds(2000));
    EXPECT_EQ(rig.events.file_complete(), 1);
    EXPECT_LE(rig.events.raw().size(), 4u) << "nothing after the delayed fix";
  }
}

TEST_F(StreamReplayTest, CloseWhileTheReaderWaitsForBytesEndsAtOnce) {
  Rig rig;
  Pipe pipe;
  ASSERT_EQ(rig.sources->OpenStream(pipe.reader(), Variant()), S_OK);
  pipe.WriteInPieces(Fixes(1) + "$GPRMC,half a line", 4096, false);
  ASSERT_TRUE(rig.events.WaitRaw(2));
  std::this_thread::sleep_for(milliseconds(150));
  EXPECT_TRUE(rig.sources->IsOpen()) << "an open writer keeps the replay going";
  const auto start = Clock::now();
  EXPECT_EQ(rig.sources->Close(), S_OK);
  ASSERT_TRUE(rig.WaitClosed(milliseconds(2000)));
  EXPECT_LT(Clock::now() - start, milliseconds(1000));
  EXPECT_EQ(rig.events.file_complete(), 1);
  EXPECT_EQ(rig.events.raw().size(), 2u);
}

TEST_F(StreamReplayTest, RefusalsAndAFileNamedDash) {
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
  dir_.Write("-", Fixes(2));
  std::filesystem::current_path(dir_.path());
  const HRESULT hr = rig.sources->OpenFile(Variant::Text("-"), Variant());
  std::filesystem::current_path(was);
  ASSERT_EQ(hr, S_OK) << ErrorText();
  ASSERT_TRUE(rig.events.WaitFileComplete(2));
  EXPECT_EQ(rig.events.raw().size(), 4u);
}

}  // namespace
}  // namespace orvane::testing
