// A receiver unplugged and plugged back at the same path (a symlink, as udev
// gives a USB receiver): the reader waits without spinning, resumes the
// stream at the speed last set, and Close ends the wait at once.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include "sources/device.h"
#include "support/source_test_support.h"

namespace orvane::testing {
namespace {

constexpr std::string_view kRmc =
    "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W";
constexpr std::string_view kGga = "$GPGGA,123520,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,";

double ProcessCpuSeconds() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

class ReconnectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!first_.ok()) GTEST_SKIP() << "SKIPPED: no pseudo-terminal available";
    link_ = (dir_.path() / "gps0").string();
    ASSERT_EQ(symlink(first_.name().c_str(), link_.c_str()), 0);
    rig_.sources->SetLinkObserver([this](bool back) {
      std::lock_guard<std::mutex> lock(mutex_);
      changes_.push_back(back);
    });
  }
  std::vector<bool> changes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return changes_;
  }
  void Replug(const Pty& next) {
    ASSERT_EQ(unlink(link_.c_str()), 0);
    ASSERT_EQ(symlink(next.name().c_str(), link_.c_str()), 0);
  }

  TempDir dir_;
  Pty first_;
  std::string link_;
  // Before rig_: the reader may still report to them while rig_ goes away.
  std::mutex mutex_;
  std::vector<bool> changes_;
  Rig rig_;
};

TEST_F(ReconnectTest, UnpluggedAndPluggedBackTheStreamResumes) {
  ASSERT_EQ(rig_.sources->Open(Variant::Text(link_)), S_OK) << ErrorText();
  ASSERT_EQ(rig_.sources->put_BaudRate(Variant::I4(38400)), S_OK) << ErrorText();
  first_.Write(Sentence(kRmc));
  ASSERT_TRUE(rig_.events.WaitRaw(1));
  first_.Write(Sentence(kGga).substr(0, 30));  // torn by the unplugging
  first_.CloseMaster();
  ASSERT_TRUE(rig_.events.WaitUntil([&] { return !changes().empty(); }))
      << "the loss went unnoticed";

  // Away: a retry a second must cost next to nothing.
  const double cpu_before = ProcessCpuSeconds();
  std::this_thread::sleep_for(milliseconds(1500));
  EXPECT_LT(ProcessCpuSeconds() - cpu_before, 0.15)
      << "the reader spins while the receiver is away";
  EXPECT_TRUE(rig_.sources->IsOpen());
  Variant v;
  EXPECT_EQ(rig_.sources->get_PortName(&v), S_OK);
  EXPECT_EQ(v.ToUtf8(), link_);

  Pty second;
  ASSERT_TRUE(second.ok());
  Replug(second);
  const auto plugged = Clock::now();
  ASSERT_TRUE(rig_.events.WaitUntil([&] { return changes().size() >= 2; })) << "never came back";
  EXPECT_LT(Clock::now() - plugged, milliseconds(2000));
  second.Write(Sentence(kRmc));
  ASSERT_TRUE(rig_.events.WaitRaw(2));
  // Nothing of the torn line was glued to the first line after it.
  EXPECT_EQ(rig_.events.raw(), (std::vector<std::string>{std::string(kRmc), std::string(kRmc)}));
  EXPECT_EQ(changes(), (std::vector<bool>{false, true}));
  // The speed set before the loss is set again.
  std::int32_t on_line = 0;
  ASSERT_TRUE(detail::GetPortSpeed(second.slave(), &on_line));
  EXPECT_EQ(on_line, 38400);
  ASSERT_EQ(rig_.sources->get_PortHandle(&v), S_OK);
  EXPECT_GE(v.i4(), 0);
  EXPECT_EQ(rig_.sources->Close(), S_OK);
  EXPECT_TRUE(rig_.WaitClosed());
}

TEST_F(ReconnectTest, CloseWhileTheReceiverIsAwayEndsAtOnce) {
  ASSERT_EQ(rig_.sources->Open(Variant::Text(link_)), S_OK) << ErrorText();
  first_.CloseMaster();
  ASSERT_TRUE(rig_.events.WaitUntil([&] { return !changes().empty(); }));
  Variant v;
  // No device while away: the line speed cannot be read or set.
  EXPECT_EQ(rig_.sources->get_BaudRate(&v), kGetCommStateFailed);
  TakeErrorRecord();
  std::this_thread::sleep_for(milliseconds(300));  // inside the retry wait
  const auto closing = Clock::now();
  ASSERT_EQ(rig_.sources->Close(), S_OK);
  ASSERT_TRUE(rig_.WaitClosed());
  EXPECT_LT(Clock::now() - closing, milliseconds(300));
  // The path can be opened again by anyone: nothing was left locked.
  Pty next;
  Replug(next);
  EXPECT_EQ(rig_.sources->Open(Variant::Text(link_)), S_OK) << ErrorText();
}

}  // namespace
}  // namespace orvane::testing
