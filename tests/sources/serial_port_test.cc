// The serial source against pseudo-terminals: opening, line settings, reading,
// baud rates, failures and an unplugged receiver.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <termios.h>

#include "sources/device.h"
#include "support/peers.h"
#include "support/source_test_support.h"

namespace orvane::testing {
namespace {

constexpr std::string_view kRmc =
    "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W";
constexpr std::string_view kGga = "$GPGGA,123520,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,";

class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty_.ok());
    TakeErrorRecord();
  }
  HRESULT OpenPty() { return rig_.sources->Open(Variant::Text(pty_.name())); }

  Pty pty_;
  Rig rig_;
};

TEST_F(SerialPortTest, OpenReportsNameHandleAndConfiguresRaw8N1At4800) {
  ASSERT_EQ(rig_.sources->put_BaudRate(Variant::I4(9600)), S_OK);
  ASSERT_EQ(OpenPty(), S_OK) << ErrorText();
  EXPECT_TRUE(rig_.sources->IsOpen());

  Variant v;
  ASSERT_EQ(rig_.sources->get_PortName(&v), S_OK);
  EXPECT_EQ(v.ToUtf8(), pty_.name());
  ASSERT_EQ(rig_.sources->get_PortHandle(&v), S_OK);
  ASSERT_EQ(v.vt(), VT_I4);
  EXPECT_NE(fcntl(v.i4(), F_GETFD), -1) << "the handle is an open descriptor";
  // The stored 9600 is not used: every Open starts at 4800.
  ASSERT_EQ(rig_.sources->get_BaudRate(&v), S_OK);
  EXPECT_EQ(DebugString(v), DebugString(Variant::I4(4800)));

  termios tio{};
  ASSERT_EQ(tcgetattr(pty_.slave(), &tio), 0);
  EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B4800));
  EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
  EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL), 0u);
  EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);
}

TEST_F(SerialPortTest, SentencesWrittenToTheLineAreHandledInOrder) {
  ASSERT_EQ(OpenPty(), S_OK) << ErrorText();
  pty_.Write(Sentence(kRmc) + Sentence(kGga) + "$GPXXX,no checksum\r\n");
  ASSERT_TRUE(rig_.events.WaitRaw(3));
  const std::vector<std::string> raw = rig_.events.raw();
  ASSERT_EQ(raw.size(), 3u);
  EXPECT_EQ(raw[0], kRmc);
  EXPECT_EQ(raw[1], kGga);
  EXPECT_EQ(raw[2], "$GPXXX,no checksum\r");
  EXPECT_EQ(rig_.events.fix_times().size(), 2u);
}

TEST_F(SerialPortTest, PartialSentenceWaitsForItsLineFeed) {
  ASSERT_EQ(OpenPty(), S_OK) << ErrorText();
  const std::string line = Sentence(kRmc);
  const std::size_t cut = line.size() / 2;
  pty_.Write(line.substr(0, cut));
  // Several quiet wakes pass: the half line must stay pending.
  std::this_thread::sleep_for(milliseconds(350));
  EXPECT_TRUE(rig_.events.raw().empty());
  pty_.Write(line.substr(cut, line.size() - cut - 1));  // all but the line feed
  std::this_thread::sleep_for(milliseconds(250));
  EXPECT_TRUE(rig_.events.raw().empty()) << "a CR is not a line end";
  pty_.Write("\n");
  ASSERT_TRUE(rig_.events.WaitRaw(1));
  EXPECT_EQ(rig_.events.raw()[0], kRmc);
}

TEST_F(SerialPortTest, BurstInTornWritesArrivesWholeAndInOrder) {
  ASSERT_EQ(OpenPty(), S_OK) << ErrorText();
  std::string stream;
  std::vector<std::string> expected;
  for (int i = 0; i < 500; ++i) {
    char body[96];
    std::snprintf(body, sizeof body, "$GPGLL,4807.%03d,N,01131.000,E,12%04d,A", i, i);
    expected.emplace_back(body);
    stream += Sentence(body);
  }
  // Writes of 1 to 97 bytes cut sentences everywhere, CR and LF apart too.
  std::size_t at = 0;
  for (std::size_t n = 1; at < stream.size(); n = n % 97 + 1) {
    const std::size_t take = std::min(n, stream.size() - at);
    pty_.Write(std::string_view(stream).substr(at, take));
    at += take;
  }
  ASSERT_TRUE(rig_.events.WaitRaw(expected.size(), milliseconds(10000)))
      << rig_.events.raw().size() << " lines arrived";
  EXPECT_EQ(rig_.events.raw(), expected);
}

TEST_F(SerialPortTest, HostCallsWhileTheReaderRuns) {
  ASSERT_EQ(OpenPty(), S_OK) << ErrorText();
  std::thread receiver([&] {
    for (int i = 0; i < 200; ++i) pty_.Write(Sentence(kRmc));
  });
  for (int i = 0; i < 200; ++i) {
    Variant v;
    EXPECT_EQ(rig_.sources->put_BaudRate(Variant::I4(i % 2 ? 9600 : 4800)), S_OK);
    EXPECT_EQ(rig_.sources->get_BaudRate(&v), S_OK);
    EXPECT_EQ(rig_.sources->get_PortHandle(&v), S_OK);
    rig_.receiver.fix().Latitude();
  }
  receiver.join();
  EXPECT_TRUE(rig_.events.WaitRaw(200));
  EXPECT_EQ(rig_.sources->Close(), S_OK);
  EXPECT_TRUE(rig_.WaitClosed());
}

TEST_F(SerialPortTest, BaudRateChangesReachTheLine) {
  ASSERT_EQ(OpenPty(), S_OK) << ErrorText();
  // Every rate of the list, including the three without a B constant.
  for (std::int32_t baud : {110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 28800, 38400,
                            56000, 57600, 115200, 128000, 256000}) {
    SCOPED_TRACE(baud);
    ASSERT_EQ(rig_.sources->put_BaudRate(Variant::I4(baud)), S_OK) << ErrorText();
    std::int32_t on_line = 0;
    ASSERT_TRUE(detail::GetPortSpeed(pty_.slave(), &on_line));
    EXPECT_EQ(on_line, baud);
    Variant v;
    ASSERT_EQ(rig_.sources->get_BaudRate(&v), S_OK);
    EXPECT_EQ(v.i4(), baud);
  }
  ASSERT_EQ(rig_.sources->put_BaudRate(Variant::Text("9600")), S_OK);
  termios tio{};
  ASSERT_EQ(tcgetattr(pty_.slave(), &tio), 0);
  EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B9600));
  EXPECT_EQ(cfgetispeed(&tio), static_cast<speed_t>(B9600));
}

TEST_F(SerialPortTest, RefusedBaudRatesChangeNothing) {
  struct Case {
    Variant value;
    HRESULT expected;
    bool records_error;
  };
  const Case cases[] = {
      {Variant::I4(1000), E_INVALIDARG, true},
      {Variant::I4(0), E_INVALIDARG, true},
      {Variant::I4(-9600), E_INVALIDARG, true},
      {Variant::I4(230400), E_INVALIDARG, true},
      {Variant::Text("fast"), DISP_E_TYPEMISMATCH, false},
  };
  for (bool open : {false, true}) {
    if (open) {
      ASSERT_EQ(OpenPty(), S_OK) << ErrorText();
      ASSERT_EQ(rig_.sources->put_BaudRate(Variant::I4(19200)), S_OK);
    } else {
      ASSERT_EQ(rig_.sources->put_BaudRate(Variant::I4(2400)), S_OK);
    }
    const std::int32_t before = open ? 19200 : 2400;
    for (const Case& c : cases) {
      SCOPED_TRACE(DebugString(c.value) + (open ? " while open" : " while closed"));
      TakeErrorRecord();
      EXPECT_EQ(rig_.sources->put_BaudRate(c.value), c.expected);
      std::optional<ErrorRecord> rec = TakeErrorRecord();
      EXPECT_EQ(rec.has_value(), c.records_error);
      if (rec) {
        EXPECT_EQ(Utf16ToUtf8(rec->description), kMsgInvalidArg);
      }
      Variant v;
      ASSERT_EQ(rig_.sources->get_BaudRate(&v), S_OK);
      EXPECT_EQ(v.i4(), before);
    }
  }
}

TEST_F(SerialPortTest, OpenFailuresLeaveNothingOpen) {
  TempDir dir;
  const std::string plain_file = dir.Write("not-a-port", "$GPRMC\r\n");
  Rig other;
  ASSERT_EQ(other.sources->Open(Variant::Text(pty_.name())), S_OK) << ErrorText();

  struct Case {
    std::string label;
    Variant name;
    HRESULT expected;
    std::string_view description;  // empty: no error record
  };
  const Case cases[] = {
      {"missing", Variant::Text("/dev/orvane-no-such-tty"), kCannotOpenPort, kMsgCannotOpenPort},
      {"empty", Variant::Text(""), kCannotOpenPort, kMsgCannotOpenPort},
      {"VT_EMPTY", Variant(), kCannotOpenPort, kMsgCannotOpenPort},
      {"busy", Variant::Text(pty_.name()), kCannotOpenPort, kMsgCannotOpenPort},
      {"regular file", Variant::Text(plain_file), kCannotOpenPort, kMsgCannotOpenPort},
      {"directory", Variant::Text(dir.path().string()), kCannotOpenPort, kMsgCannotOpenPort},
      {"/dev/null", Variant::Text("/dev/null"), kCannotOpenPort, kMsgCannotOpenPort},
      {"embedded NUL", Variant::Bstr(Utf8ToUtf16(pty_.name()) + u'\0' + u"x"), E_INVALIDARG,
       kMsgInvalidArg},
      {"overlong", Variant::Text("/dev/" + std::string(5000, 'a')), E_INVALIDARG, kMsgInvalidArg},
      {"VT_NULL", Variant::Null(), DISP_E_TYPEMISMATCH, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TakeErrorRecord();
    EXPECT_EQ(rig_.sources->Open(c.name), c.expected);
    std::optional<ErrorRecord> rec = TakeErrorRecord();
    if (c.description.empty()) {
      EXPECT_FALSE(rec.has_value());
    } else {
      ASSERT_TRUE(rec.has_value());
      EXPECT_EQ(Utf16ToUtf8(rec->description), c.description);
    }
    EXPECT_FALSE(rig_.sources->IsOpen());
    Variant v;
    EXPECT_EQ(rig_.sources->get_PortHandle(&v), kPortClosed);
    EXPECT_EQ(ErrorText(), kMsgPortClosed);
  }
  // The holder of the busy port is undisturbed.
  pty_.Write(Sentence(kRmc));
  EXPECT_TRUE(other.events.WaitRaw(1));
}

TEST_F(SerialPortTest, SecondOpenIsRefusedAndChangesNothing) {
  Pty second;
  ASSERT_TRUE(second.ok());
  ASSERT_EQ(OpenPty(), S_OK) << ErrorText();
  EXPECT_EQ(rig_.sources->Open(Variant::Text(second.name())), kAlreadyOpen);
  EXPECT_EQ(ErrorText(), kMsgAlreadyOpen);
  Variant v;
  ASSERT_EQ(rig_.sources->get_PortName(&v), S_OK);
  EXPECT_EQ(v.ToUtf8(), pty_.name());
  pty_.Write(Sentence(kGga));
  EXPECT_TRUE(rig_.events.WaitRaw(1));
}

TEST_F(SerialPortTest, ClosedPropertiesReportPortClosed) {
  Variant v;
  EXPECT_EQ(rig_.sources->get_PortName(&v), kPortClosed);
  EXPECT_EQ(ErrorText(), kMsgPortClosed);
  EXPECT_EQ(rig_.sources->get_PortHandle(&v), kPortClosed);
  EXPECT_EQ(ErrorText(), kMsgPortClosed);
  ASSERT_EQ(rig_.sources->get_BaudRate(&v), S_OK);
  EXPECT_EQ(v.i4(), 4800);
  EXPECT_EQ(rig_.sources->Close(), S_OK);
  EXPECT_EQ(rig_.sources->Close(), S_OK);
}

TEST_F(SerialPortTest, CloseThenOpenAgainReadsAgain) {
  ASSERT_EQ(OpenPty(), S_OK) << ErrorText();
  // A half line from the first session is dropped when the next one starts.
  pty_.Write(Sentence(kRmc) + "$GPGGA,half");
  ASSERT_TRUE(rig_.events.WaitRaw(1));
  EXPECT_EQ(rig_.sources->Close(), S_OK);
  ASSERT_TRUE(rig_.WaitClosed());
  Variant v;
  EXPECT_EQ(rig_.sources->get_PortName(&v), kPortClosed);

  ASSERT_EQ(OpenPty(), S_OK) << ErrorText();
  pty_.Write(Sentence(kGga));
  ASSERT_TRUE(rig_.events.WaitRaw(2));
  EXPECT_EQ(rig_.events.raw()[1], kGga);
  EXPECT_EQ(rig_.sources->Close(), S_OK);
  ASSERT_TRUE(rig_.WaitClosed());
}

TEST_F(SerialPortTest, OpenRightAfterCloseIsRefusedOnlyWhileTheReaderEnds) {
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE(round);
    ASSERT_EQ(OpenPty(), S_OK) << ErrorText();
    EXPECT_EQ(rig_.sources->Close(), S_OK);
    HRESULT hr = OpenPty();
    if (hr == kAlreadyOpen) {
      ASSERT_TRUE(rig_.WaitClosed());
      hr = OpenPty();
    }
    ASSERT_EQ(hr, S_OK) << ErrorText();
    EXPECT_EQ(rig_.sources->Close(), S_OK);
    ASSERT_TRUE(rig_.WaitClosed());
  }
}

TEST_F(SerialPortTest, OpenAfterAPacedReplayDoesNotPace) {
  TempDir dir;
  const std::string log = dir.Write("paced.nmea", Sentence(kRmc));
  ASSERT_EQ(rig_.sources->OpenFile(Variant::Text(log), Variant::R8(2.0)), S_OK) << ErrorText();
  ASSERT_TRUE(rig_.events.WaitFileComplete(1));
  ASSERT_TRUE(rig_.WaitClosed());
  ASSERT_EQ(OpenPty(), S_OK) << ErrorText();
  EXPECT_EQ(testing::FixStatePeer::Listener(rig_.receiver.fix()), nullptr);
  // A fix an hour after the replayed one arrives at once.
  pty_.Write(Sentence("$GPRMC,133519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W"));
  EXPECT_TRUE(rig_.events.WaitRaw(2, milliseconds(5000)));
}

double ProcessCpuSeconds() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

TEST_F(SerialPortTest, UnpluggedReceiverDoesNotSpinAndCloseStillWorks) {
  ASSERT_EQ(OpenPty(), S_OK) << ErrorText();
  pty_.Write(Sentence(kRmc));
  ASSERT_TRUE(rig_.events.WaitRaw(1));
  pty_.CloseMaster();

  const double cpu_before = ProcessCpuSeconds();
  std::this_thread::sleep_for(milliseconds(1000));
  const double cpu_used = ProcessCpuSeconds() - cpu_before;
  // A reader retrying the dead line would burn the whole second.
  EXPECT_LT(cpu_used, 0.25) << "reader spins on a hung-up line";

  EXPECT_TRUE(rig_.sources->IsOpen()) << "the source stays open until Close";
  Variant v;
  EXPECT_EQ(rig_.sources->get_PortName(&v), S_OK);
  EXPECT_EQ(v.ToUtf8(), pty_.name());
  EXPECT_EQ(rig_.sources->get_PortHandle(&v), S_OK);
  EXPECT_EQ(rig_.sources->Close(), S_OK);
  ASSERT_TRUE(rig_.WaitClosed(milliseconds(2000)));
  EXPECT_EQ(rig_.events.raw().size(), 1u);
}

TEST_F(SerialPortTest, ReleaseWithAnOpenPortEndsTheReader) {
  ASSERT_EQ(OpenPty(), S_OK) << ErrorText();
  pty_.Write(Sentence(kRmc));
  ASSERT_TRUE(rig_.events.WaitRaw(1));
  rig_.sources.reset();
  // The port was closed: a new owner can take it.
  Rig next;
  EXPECT_EQ(next.sources->Open(Variant::Text(pty_.name())), S_OK) << ErrorText();
  EXPECT_EQ(rig_.events.file_complete(), 0);
}

}  // namespace
}  // namespace orvane::testing
