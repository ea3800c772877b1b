// The network sources against servers this test starts on 127.0.0.1 (and a
// real gpsd fed by gpsfake when installed): every line arrives, a peer that
// goes away is reconnected, and Close ends any wait at once.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <sys/stat.h>

#include <algorithm>
#include <csignal>

#include <gtest/gtest.h>

#include "sources/lookup.h"
#include "support/peers.h"
#include "support/source_test_support.h"

namespace orvane::testing {
namespace {

constexpr std::string_view kRmc =
    "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W";
constexpr std::string_view kGga = "$GPGGA,123520,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,";

// A TCP server on 127.0.0.1 that takes one client at a time.
class LocalServer {
 public:
  LocalServer() {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        listen(listener_, 4) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
      return;
    }
    port_ = ntohs(a.sin_port);
  }
  ~LocalServer() {
    Hangup();
    if (listener_ >= 0) close(listener_);
  }
  int port() const { return port_; }
  std::string Name(std::string_view scheme = "tcp://") const {
    return std::string(scheme) + "127.0.0.1:" + std::to_string(port_);
  }
  // Waits up to 5 s for the next client.
  bool Accept() {
    pollfd fd{listener_, POLLIN, 0};
    if (poll(&fd, 1, 5000) != 1) return false;
    client_ = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    return client_ >= 0;
  }
  void Send(std::string_view bytes) const {
    ASSERT_EQ(send(client_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
  }
  // What the client sent, as far as it arrives within `ms`.
  std::string Received(int ms) const {
    std::string got;
    char buf[512];
    pollfd fd{client_, POLLIN, 0};
    while (poll(&fd, 1, ms) == 1) {
      const ssize_t n = recv(client_, buf, sizeof buf, 0);
      if (n <= 0) break;
      got.append(buf, static_cast<std::size_t>(n));
      if (got.find('\n') != std::string::npos) break;
    }
    return got;
  }
  void Hangup() {
    if (client_ >= 0) close(client_);
    client_ = -1;
  }

 private:
  int listener_ = -1;
  int client_ = -1;
  int port_ = 0;
};

// A loopback port nobody listens on now (bound, then released).
int UnusedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  close(fd);
  return ntohs(a.sin_port);
}

struct LinkLog {
  std::mutex mutex;
  std::vector<bool> changes;  // false lost, true back
  std::vector<bool> get() {
    std::lock_guard<std::mutex> lock(mutex);
    return changes;
  }
};

class NetworkSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rig_.sources->SetLinkObserver([this](bool back) {
      std::lock_guard<std::mutex> lock(links_.mutex);
      links_.changes.push_back(back);
    });
  }
  Rig rig_;
  LinkLog links_;
};

TEST_F(NetworkSourceTest, TcpDeliversEveryLineAndReportsLikeAFile) {
  LocalServer server;
  ASSERT_NE(server.port(), 0);
  ASSERT_EQ(rig_.sources->Open(Variant::Text(server.Name())), S_OK) << ErrorText();
  ASSERT_TRUE(server.Accept());
  std::string burst;
  for (int i = 0; i < 50; ++i) burst += Sentence(i % 2 ? kGga : kRmc);
  // Torn anywhere: the stream has no message boundaries.
  server.Send(burst.substr(0, 333));
  server.Send(burst.substr(333));
  ASSERT_TRUE(rig_.events.WaitRaw(50));
  EXPECT_EQ(rig_.events.fix_times().size(), 50u);

  Variant v;
  ASSERT_EQ(rig_.sources->get_PortName(&v), S_OK);
  EXPECT_EQ(v.ToUtf8(), server.Name());
  ASSERT_EQ(rig_.sources->get_PortHandle(&v), S_OK);
  sockaddr_in peer{};
  socklen_t len = sizeof peer;
  ASSERT_EQ(getpeername(v.i4(), reinterpret_cast<sockaddr*>(&peer), &len), 0)
      << "PortHandle is no socket";
  EXPECT_EQ(ntohs(peer.sin_port), server.port());
  EXPECT_EQ(rig_.sources->get_BaudRate(&v), kGetCommStateFailed);
  TakeErrorRecord();
  EXPECT_EQ(rig_.sources->put_BaudRate(Variant::I4(9600)), kGetCommStateFailed);
  TakeErrorRecord();
  EXPECT_EQ(rig_.sources->Close(), S_OK);
  EXPECT_TRUE(rig_.WaitClosed());
  EXPECT_EQ(rig_.events.file_complete(), 0);
}

TEST_F(NetworkSourceTest, NamesThatOpenNothingFailAsAPortWould) {
  const std::string refused = "tcp://127.0.0.1:" + std::to_string(UnusedPort());
  const std::string names[] = {
      refused,
      "tcp://127.0.0.1",
      "tcp://:10110",
      "tcp://127.0.0.1:99999",
      "tcp://[::1",
      "udp://x:y",
      "gpsd://",
      "gpsd://127.0.0.1:0",
      "tcp://127.0.0.1:",
      "udp://127.0.0.1:abc",
  };
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    EXPECT_EQ(rig_.sources->Open(Variant::Text(name)), kCannotOpenPort);
    std::optional<ErrorRecord> rec = TakeErrorRecord();
    ASSERT_TRUE(rec.has_value());
    EXPECT_EQ(
        Utf16ToUtf8(rec->description),
        "Could not open port.  This may be because the port does not exist or is already in use.");
    EXPECT_FALSE(rig_.sources->IsOpen());
    EXPECT_FALSE(rig_.sources->LastOpenFailure().empty());
  }
}

// A name that does not parse says how it should read; gpsd alone has a
// default port, so its bare host gets as far as connecting.
TEST_F(NetworkSourceTest, AMalformedNameSaysWhatWasExpected) {
  const std::string refused = "127.0.0.1:" + std::to_string(UnusedPort());
  const struct {
    std::string name;
    std::string usage;  // empty: the name parses, the connection fails
  } cases[] = {
      {"tcp://127.0.0.1", "expected tcp://HOST:PORT"},
      {"tcp://:10110", "expected tcp://HOST:PORT"},
      {"tcp://", "expected tcp://HOST:PORT"},
      {"tcp://" + refused, ""},
      {"gpsd://", "expected gpsd://HOST[:PORT]"},
      {"gpsd://127.0.0.1:0", "expected gpsd://HOST[:PORT]"},
      {"gpsd://:2947", "expected gpsd://HOST[:PORT]"},
      {"gpsd://" + refused, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(rig_.sources->Open(Variant::Text(c.name)), kCannotOpenPort);
    TakeErrorRecord();
    const std::string failure = rig_.sources->LastOpenFailure();
    if (c.usage.empty()) {
      EXPECT_FALSE(failure.empty());
      EXPECT_EQ(failure.rfind("expected ", 0), std::string::npos) << failure;
    } else {
      EXPECT_EQ(failure, c.usage);
    }
  }
  // The host alone, which tcp refuses: gpsd takes its own port for it (and
  // a gpsd running here may then answer).
  if (rig_.sources->Open(Variant::Text("gpsd://127.0.0.1")) == S_OK) {
    EXPECT_EQ(rig_.sources->Close(), S_OK);
  } else {
    TakeErrorRecord();
    const std::string failure = rig_.sources->LastOpenFailure();
    EXPECT_FALSE(failure.empty());
    EXPECT_EQ(failure.rfind("expected ", 0), std::string::npos) << failure;
  }
}

TEST_F(NetworkSourceTest, APeerThatGoesAwayIsReconnectedWithoutGluingTheTornLine) {
  LocalServer server;
  ASSERT_EQ(rig_.sources->Open(Variant::Text(server.Name())), S_OK) << ErrorText();
  ASSERT_TRUE(server.Accept());
  server.Send(Sentence(kRmc));
  ASSERT_TRUE(rig_.events.WaitRaw(1));
  server.Send(Sentence(kGga).substr(0, 20));  // torn by the hang-up
  server.Hangup();
  ASSERT_TRUE(rig_.events.WaitUntil([&] { return links_.get().size() >= 1; }));
  EXPECT_TRUE(rig_.sources->IsOpen()) << "the source stays open while the peer is away";

  const auto lost_at = Clock::now();
  ASSERT_TRUE(server.Accept()) << "no reconnect";
  EXPECT_LT(Clock::now() - lost_at, std::chrono::milliseconds(2500));
  server.Send(Sentence(kRmc));
  ASSERT_TRUE(rig_.events.WaitRaw(2));
  EXPECT_EQ(rig_.events.raw(), (std::vector<std::string>{std::string(kRmc), std::string(kRmc)}));
  EXPECT_EQ(links_.get(), (std::vector<bool>{false, true}));
  EXPECT_EQ(rig_.sources->Close(), S_OK);
  EXPECT_TRUE(rig_.WaitClosed());
}

TEST_F(NetworkSourceTest, CloseWhileThePeerIsAwayEndsAtOnce) {
  auto server = std::make_unique<LocalServer>();
  ASSERT_EQ(rig_.sources->Open(Variant::Text(server->Name())), S_OK) << ErrorText();
  ASSERT_TRUE(server->Accept());
  server.reset();  // the server is gone for good: every retry is refused
  ASSERT_TRUE(rig_.events.WaitUntil([&] { return !links_.get().empty(); }));
  std::this_thread::sleep_for(milliseconds(1500));  // at least one retry
  const auto closing = Clock::now();
  ASSERT_EQ(rig_.sources->Close(), S_OK);
  ASSERT_TRUE(rig_.WaitClosed());
  EXPECT_LT(Clock::now() - closing, milliseconds(500));
  EXPECT_EQ(links_.get(), std::vector<bool>{false});
}

// A resolver that hangs until the test lets it go.
struct HangingResolver {
  static inline std::mutex mutex;
  static inline std::condition_variable cv;
  static inline bool released = false;
  static inline int entered = 0;
  static void Hook(const detail::HostPort&) {
    std::unique_lock<std::mutex> lock(mutex);
    ++entered;
    cv.notify_all();
    cv.wait(lock, [] { return released; });
  }
  static int Entered() {
    std::lock_guard<std::mutex> lock(mutex);
    return entered;
  }
  static void Release() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      released = true;
    }
    cv.notify_all();
  }
  // Lets it go after `timeout` at the latest, so a Close that waits for the
  // lookup fails the test instead of hanging it.
  static void ReleaseWithin(milliseconds timeout) {
    {
      std::unique_lock<std::mutex> lock(mutex);
      cv.wait_for(lock, timeout, [] { return released; });
    }
    Release();
  }
};

TEST_F(NetworkSourceTest, CloseDuringAHangingNameLookupEndsAtOnce) {
  LocalServer server;
  ASSERT_EQ(rig_.sources->Open(Variant::Text(server.Name())), S_OK) << ErrorText();
  ASSERT_TRUE(server.Accept());
  testing::LookupPeer::SetHook(&HangingResolver::Hook);
  server.Hangup();  // the reconnect's lookup now hangs
  std::thread watchdog([] { HangingResolver::ReleaseWithin(milliseconds(3000)); });
  const bool entered =
      rig_.events.WaitUntil([] { return HangingResolver::Entered() >= 1; }, milliseconds(5000));
  const auto closing = Clock::now();
  EXPECT_EQ(rig_.sources->Close(), S_OK);
  EXPECT_TRUE(rig_.WaitClosed(milliseconds(2000)));
  EXPECT_LT(Clock::now() - closing, milliseconds(500));
  // The abandoned lookup ends once the resolver answers, its thread with it.
  EXPECT_EQ(detail::LookupsRunning(), 1u);
  HangingResolver::Release();
  watchdog.join();
  ASSERT_TRUE(entered);
  EXPECT_EQ(links_.get(), std::vector<bool>{false});
  testing::LookupPeer::SetHook(nullptr);
  EXPECT_TRUE(
      rig_.events.WaitUntil([] { return detail::LookupsRunning() == 0; }, milliseconds(5000)));
  EXPECT_EQ(HangingResolver::Entered(), 1) << "nothing retried after Close";
}

TEST_F(NetworkSourceTest, UdpDatagramsNeverJoinLines) {
  ASSERT_EQ(rig_.sources->Open(Variant::Text("udp://127.0.0.1:0")), S_OK) << ErrorText();
  Variant v;
  ASSERT_EQ(rig_.sources->get_PortHandle(&v), S_OK);
  sockaddr_in bound{};
  socklen_t len = sizeof bound;
  ASSERT_EQ(getsockname(v.i4(), reinterpret_cast<sockaddr*>(&bound), &len), 0);
  const int out = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  auto send_datagram = [&](const std::string& bytes) {
    ASSERT_EQ(sendto(out, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&bound), len),
              static_cast<ssize_t>(bytes.size()));
  };
  const std::string rmc = Sentence(kRmc);
  const std::string gga = Sentence(kGga);
  send_datagram(rmc + gga);                      // two lines in one
  send_datagram(rmc.substr(0, rmc.size() - 2));  // no line end at all
  send_datagram(gga.substr(0, 25));              // cut short by the sender
  send_datagram(rmc);
  close(out);
  ASSERT_TRUE(rig_.events.WaitRaw(5));
  // The short line stands alone (a sentence without checksum is accepted);
  // the next datagram's sentence is whole.
  EXPECT_EQ(rig_.events.raw(),
            (std::vector<std::string>{std::string(kRmc), std::string(kGga), std::string(kRmc),
                                      gga.substr(0, 25), std::string(kRmc)}));
  EXPECT_EQ(rig_.sources->Close(), S_OK);
  EXPECT_TRUE(rig_.WaitClosed());
}

TEST_F(NetworkSourceTest, GpsdIsAskedForNmeaAndItsRepliesAreDropped) {
  LocalServer gpsd;
  ASSERT_EQ(rig_.sources->Open(Variant::Text(gpsd.Name("gpsd://"))), S_OK) << ErrorText();
  ASSERT_TRUE(gpsd.Accept());
  EXPECT_EQ(gpsd.Received(2000), "?WATCH={\"enable\":true,\"nmea\":true}\n");
  const std::string reply = "{\"class\":\"DEVICES\",\"devices\":[{\"path\":\"/dev/ttyUSB0\"}]}\r\n";
  const std::string stream = "{\"class\":\"VERSION\",\"release\":\"3.22\"}\r\n" + Sentence(kRmc) +
                             reply + Sentence(kGga) + reply;
  // Cut inside a reply and inside a sentence.
  gpsd.Send(stream.substr(0, 20));
  gpsd.Send(stream.substr(20, 90));
  gpsd.Send(stream.substr(110));
  ASSERT_TRUE(rig_.events.WaitRaw(2));
  std::this_thread::sleep_for(milliseconds(200));
  EXPECT_EQ(rig_.events.raw(), (std::vector<std::string>{std::string(kRmc), std::string(kGga)}));
  EXPECT_EQ(rig_.receiver.stats().unrecognised, 0u);
  EXPECT_EQ(rig_.sources->Close(), S_OK);
  EXPECT_TRUE(rig_.WaitClosed());
}

// A real gpsd owns the receiver (a pseudo-terminal this test writes to) and
// relays its NMEA; its JSON never reaches the loop.
TEST_F(NetworkSourceTest, RealGpsdRelaysEveryFix) {
  constexpr const char* kGpsd = "/usr/sbin/gpsd";
  if (access(kGpsd, X_OK) != 0) GTEST_SKIP() << "SKIPPED: gpsd not installed (package gpsd)";
  Pty receiver;
  ASSERT_TRUE(receiver.ok());
  chmod(receiver.name().c_str(), 0666);  // gpsd drops root for its own user
  const int port = UnusedPort();
  const pid_t gpsd = fork();
  if (gpsd == 0) {
    const std::string p = std::to_string(port);
    // -N foreground, -n poll at once, -b read-only, -S its port.
    execl(kGpsd, "gpsd", "-N", "-n", "-b", "-S", p.c_str(), receiver.name().c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(gpsd, 0);
  const std::string name = "gpsd://127.0.0.1:" + std::to_string(port);
  HRESULT hr = kCannotOpenPort;
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (hr != S_OK && Clock::now() < deadline) {  // gpsd takes a moment to listen
    hr = rig_.sources->Open(Variant::Text(name));
    if (hr != S_OK) {
      TakeErrorRecord();
      std::this_thread::sleep_for(milliseconds(100));
    }
  }
  // gpsd relays once it has recognised the device: warm it up first.
  bool relaying = hr == S_OK;
  for (int i = 0; relaying && rig_.events.raw().empty() && i < 100; ++i) {
    receiver.Write(Sentence(kGga));
    rig_.events.WaitRaw(1, milliseconds(100));
  }
  relaying = relaying && !rig_.events.raw().empty();
  std::vector<std::string> sent;
  for (int i = 0; relaying && i < 10; ++i) {
    char body[128];
    std::snprintf(body, sizeof body,
                  "$GPRMC,1235%02d,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W", i);
    sent.emplace_back(body);
    receiver.Write(Sentence(body));
    std::this_thread::sleep_for(milliseconds(50));
  }
  const auto has_all = [&] {
    const auto raw = rig_.events.raw();
    std::size_t found = 0;
    for (const auto& s : sent) found += std::find(raw.begin(), raw.end(), s) != raw.end();
    return found == sent.size();
  };
  const bool all = relaying && rig_.events.WaitUntil(has_all, milliseconds(10000));
  rig_.sources->Close();
  EXPECT_TRUE(rig_.WaitClosed());
  kill(gpsd, SIGTERM);
  int status = 0;
  waitpid(gpsd, &status, 0);
  ASSERT_EQ(hr, S_OK) << "gpsd never listened on " << name;
  ASSERT_TRUE(relaying) << "gpsd relayed nothing";
  EXPECT_TRUE(all) << "not every fix was relayed";
  for (const std::string& raw : rig_.events.raw()) EXPECT_EQ(raw.front(), '$') << raw;
}

}  // namespace
}  // namespace orvane::testing
