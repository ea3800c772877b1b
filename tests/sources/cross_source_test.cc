// The same bytes give the same lines and counts whichever source brings them
// and wherever the sender cuts them: a file, a pipe, TCP, UDP and a serial
// line, with lines of exactly the length bound, one byte over and far over.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "support/memory_reader.h"
#include "support/source_test_support.h"

namespace orvane::testing {
namespace {

constexpr std::size_t kBound = Receiver::kMaxLineBytes;
const std::string kLast = "$GPTXT,01,01,02,END";

// What a host and a replay's summary see.
struct Outcome {
  std::vector<std::string> raw;
  std::vector<std::int32_t> raw_bytes;
  std::size_t fixes = 0;
  int nav = 0, sat = 0;
  std::uint64_t lines = 0, checksum_dropped = 0, overlong_dropped = 0, unrecognised = 0;
  std::vector<std::uint64_t> by_row;
  bool operator==(const Outcome&) const = default;
};

// Lines of 64 KiB would drown a failure's message: sizes and heads only.
void PrintTo(const Outcome& o, std::ostream* out) {
  *out << o.raw.size() << " lines [";
  for (const std::string& line : o.raw) *out << line.size() << ":" << line.substr(0, 12) << " ";
  *out << "] fixes " << o.fixes << " nav " << o.nav << " sat " << o.sat << " handed out " << o.lines
       << " checksum " << o.checksum_dropped << " overlong " << o.overlong_dropped
       << " unrecognised " << o.unrecognised;
}

Outcome Take(const RecordingEvents& events, const Receiver& receiver) {
  const Receiver::Stats& s = receiver.stats();
  return {events.raw(),
          events.raw_bytes(),
          events.fix_times().size(),
          events.nav_count(),
          events.sat_count(),
          s.lines,
          s.checksum_dropped,
          s.overlong_dropped,
          s.unrecognised,
          s.by_row};
}

// The ordinary part of a log: fixes, satellites, a route, a bad checksum,
// empty lines, a line without checksum and one of 60 000 bytes.
std::string Ordinary() {
  std::string bad = Sentence("$GPGLL,4916.45,N,12311.12,W,225444,A");
  bad[bad.size() - 3] = bad[bad.size() - 3] == '0' ? '1' : '0';
  return Sentence("$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W") + "\n\n" +
         Sentence("$GPGGA,123520,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,") + bad +
         Sentence("$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1") +
         Sentence("$GPGSV,1,1,02,04,45,120,40,05,30,200,35") + "$GPXYZ,no checksum\r\n" +
         Sentence("$GPRTE,1,1,c,0,W1,W2") + RmcOfLength(60000) +
         Sentence("$GPBOD,097.0,T,103.2,M,POINTB,POINTA");
}

// The ordinary part around a line of exactly the bound, one a byte over
// and one far over (the 70 KB line of the report), ending in kLast.
std::string WithLongLines() {
  return Ordinary() + RmcOfLength(kBound) + Ordinary() + RmcOfLength(kBound + 1) + Ordinary() +
         RmcOfLength(70000) + Ordinary() + Sentence(kLast);
}

// The lines read from memory at once: what every source must give.
Outcome Reference(const std::string& text, bool extended = false) {
  RecordingEvents events;
  Settings settings;
  settings.extended_sentences = extended;
  Receiver receiver(settings, events);
  MemoryReader reader(text, {});
  StopEvent stop;
  while (!reader.drained()) receiver.ProcessAvailableSentences(reader, stop);
  receiver.ProcessAvailableSentences(reader, stop);
  return Take(events, receiver);
}

// Piece lengths as a sender might cut: mostly short, now and then long
// enough to carry a whole long line or to end just past the bound.
std::vector<std::string_view> Cut(std::string_view text, std::mt19937& rng) {
  std::vector<std::string_view> pieces;
  std::uniform_int_distribution<std::size_t> kind(0, 9), small(1, 120), large(1, kBound + 2000);
  while (!text.empty()) {
    const std::size_t n = std::min(text.size(), kind(rng) == 0 ? large(rng) : small(rng));
    pieces.push_back(text.substr(0, n));
    text.remove_prefix(n);
  }
  return pieces;
}

// Lets the reader see pieces apart now and then.
void MaybePause(std::mt19937& rng) {
  if (rng() % 16 == 0) std::this_thread::sleep_for(std::chrono::microseconds(300));
}

bool LastLineArrived(const RecordingEvents& events) {
  const std::vector<std::string> raw = events.raw();
  return !raw.empty() && raw.back() == kLast;
}

// A live source ends when the test closes it, once the last line is in.
Outcome CloseAndTake(Rig& rig) {
  EXPECT_TRUE(
      rig.events.WaitUntil([&] { return LastLineArrived(rig.events); }, milliseconds(20000)));
  rig.sources->Close();
  EXPECT_TRUE(rig.WaitClosed());
  return Take(rig.events, rig.receiver);
}

class CrossSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    text_ = WithLongLines();
    expected_ = Reference(text_);
  }
  std::string text_;
  Outcome expected_;
};

TEST_F(CrossSourceTest, TheReferenceKeepsTheBoundAndDropsPastIt) {
  // 4 x 8 ordinary lines reach RawData, then the bound's and kLast.
  EXPECT_EQ(expected_.raw.size(), 4u * 8 + 2);
  EXPECT_EQ(expected_.overlong_dropped, 2u);
  EXPECT_EQ(expected_.checksum_dropped, 4u);
  const std::string at = RmcOfLength(kBound);
  EXPECT_EQ(std::count(expected_.raw.begin(), expected_.raw.end(), at.substr(0, at.find('*'))), 1);
  EXPECT_EQ(expected_.fixes, 4u * 3 + 1);
}

TEST_F(CrossSourceTest, LogFile) {
  TempDir dir;
  Rig rig;
  ASSERT_EQ(rig.sources->OpenFile(Variant::Text(dir.Write("log.nmea", text_)), Variant()), S_OK)
      << ErrorText();
  ASSERT_TRUE(rig.events.WaitFileComplete(1, milliseconds(20000)));
  ASSERT_TRUE(rig.WaitClosed());
  EXPECT_EQ(Take(rig.events, rig.receiver), expected_);
}

TEST_F(CrossSourceTest, PipeCutAtRandom) {
  for (unsigned seed : {1u, 2u, 3u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    Rig rig;
    ASSERT_EQ(rig.sources->OpenStream(fds[0], Variant()), S_OK) << ErrorText();
    close(fds[0]);
    for (std::string_view piece : Cut(text_, rng)) {
      ASSERT_EQ(write(fds[1], piece.data(), piece.size()), static_cast<ssize_t>(piece.size()));
      MaybePause(rng);
    }
    close(fds[1]);
    ASSERT_TRUE(rig.events.WaitFileComplete(1, milliseconds(20000)));
    ASSERT_TRUE(rig.WaitClosed());
    EXPECT_EQ(Take(rig.events, rig.receiver), expected_);
  }
}

TEST_F(CrossSourceTest, TcpCutAtRandom) {
  for (unsigned seed : {1u, 2u, 3u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len), 0);
    Rig rig;
    ASSERT_EQ(
        rig.sources->Open(Variant::Text("tcp://127.0.0.1:" + std::to_string(ntohs(a.sin_port)))),
        S_OK)
        << ErrorText();
    const int peer = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    close(listener);
    ASSERT_GE(peer, 0);
    for (std::string_view piece : Cut(text_, rng)) {
      ASSERT_EQ(send(peer, piece.data(), piece.size(), MSG_NOSIGNAL),
                static_cast<ssize_t>(piece.size()));
      MaybePause(rng);
    }
    EXPECT_EQ(CloseAndTake(rig), expected_);
    close(peer);
  }
}

TEST_F(CrossSourceTest, SerialLineCutAtRandom) {
  for (unsigned seed : {1u, 2u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    Pty pty;
    ASSERT_TRUE(pty.ok());
    Rig rig;
    ASSERT_EQ(rig.sources->Open(Variant::Text(pty.name())), S_OK) << ErrorText();
    for (std::string_view piece : Cut(text_, rng)) {
      pty.Write(piece);
      MaybePause(rng);
    }
    EXPECT_EQ(CloseAndTake(rig), expected_);
  }
}

TEST_F(CrossSourceTest, UdpDatagramsOfWholeLines) {
  // A datagram holds at most 65 507 bytes, and a line never spans two: the
  // long lines cannot travel this way, the rest arrive in random groups
  // (few enough for the socket's buffer).
  const std::string text = Ordinary() + Sentence(kLast);
  const Outcome expected = Reference(text);
  for (unsigned seed : {1u, 2u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    Rig rig;
    ASSERT_EQ(rig.sources->Open(Variant::Text("udp://127.0.0.1:0")), S_OK) << ErrorText();
    Variant v;
    ASSERT_EQ(rig.sources->get_PortHandle(&v), S_OK);
    sockaddr_in bound{};
    socklen_t len = sizeof bound;
    ASSERT_EQ(getsockname(v.i4(), reinterpret_cast<sockaddr*>(&bound), &len), 0);
    const int out = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    std::size_t at = 0;
    while (at < text.size()) {
      // One to four whole lines per datagram.
      std::size_t end = at;
      for (std::size_t n = 1 + rng() % 4; n > 0 && end < text.size(); --n)
        end = text.find('\n', end) + 1;
      ASSERT_EQ(
          sendto(out, text.data() + at, end - at, 0, reinterpret_cast<sockaddr*>(&bound), len),
          static_cast<ssize_t>(end - at));
      at = end;
      MaybePause(rng);
    }
    close(out);
    EXPECT_EQ(CloseAndTake(rig), expected);
  }
}

// Lines ended by CR alone (ExtendedSentences on), the last one too: a file
// and a pipe cut at random give what the same lines ended CR LF give, the
// last line included though no byte follows its CR.
TEST(CrossSourceCarriageReturnTest, TheLastLineIsNotLost) {
  const std::string crlf =
      Sentence("$GNRMC,120000.00,A,5045.9000,N,00117.8800,W,5.8,330.3,050624,,,A") +
      Sentence("$GNGGA,120000.00,5045.9000,N,00117.8800,W,1,09,0.9,1.9,M,47.3,M,,") +
      Sentence("$GNRMC,120001.00,A,5045.9100,N,00117.8800,W,5.9,330.3,050624,,,A") +
      Sentence(kLast);
  std::string cr;
  for (char c : crlf) {
    if (c != '\n') cr += c;
  }
  const Outcome expected = Reference(crlf, true);
  ASSERT_EQ(expected.raw.size(), 4u);
  ASSERT_EQ(expected.raw.back(), kLast);
  {
    TempDir dir;
    Rig rig;
    rig.settings.extended_sentences = true;
    ASSERT_EQ(rig.sources->OpenFile(Variant::Text(dir.Write("cr.nmea", cr)), Variant()), S_OK)
        << ErrorText();
    ASSERT_TRUE(rig.events.WaitFileComplete(1, milliseconds(20000)));
    ASSERT_TRUE(rig.WaitClosed());
    EXPECT_EQ(Take(rig.events, rig.receiver), expected) << "log file";
  }
  for (unsigned seed : {1u, 2u, 3u}) {
    SCOPED_TRACE("pipe, seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    Rig rig;
    rig.settings.extended_sentences = true;
    ASSERT_EQ(rig.sources->OpenStream(fds[0], Variant()), S_OK) << ErrorText();
    close(fds[0]);
    for (std::string_view piece : Cut(cr, rng)) {
      ASSERT_EQ(write(fds[1], piece.data(), piece.size()), static_cast<ssize_t>(piece.size()));
      MaybePause(rng);
    }
    close(fds[1]);
    ASSERT_TRUE(rig.events.WaitFileComplete(1, milliseconds(20000)));
    ASSERT_TRUE(rig.WaitClosed());
    EXPECT_EQ(Take(rig.events, rig.receiver), expected);
  }
}

}  // namespace
}  // namespace orvane::testing
