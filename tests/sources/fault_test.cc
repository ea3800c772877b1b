// A receiver that misbehaves: garbage on the line, no line feed ever, pulled
// out mid-sentence, and a host that opens and closes as fast as it can.
#include <gtest/gtest.h>

#include <random>

#include "automation/error_info.h"
#include "support/source_test_support.h"

namespace orvane::testing {
namespace {

using std::chrono::milliseconds;

constexpr std::string_view kRmc =
    "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W";

class FaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!pty_.ok()) GTEST_SKIP() << "SKIPPED: no pseudo-terminal available";
  }
  Rig rig_;
  Pty pty_;
};

TEST_F(FaultTest, GarbageAndBinaryBytesNeverStopTheLine) {
  ASSERT_EQ(rig_.sources->Open(Variant::Text(pty_.name())), S_OK) << ErrorText();
  std::mt19937 rng(42);
  std::string garbage(64 * 1024, '\0');
  for (char& c : garbage) c = static_cast<char>(rng());
  for (int round = 0; round < 4; ++round) pty_.Write(garbage);
  // A clean sentence after a line feed is still understood.
  pty_.Write("\n" + Sentence(kRmc));
  ASSERT_TRUE(rig_.events.WaitUntil([&] {
    const auto raw = rig_.events.raw();
    return !raw.empty() && raw.back() == kRmc;
  })) << "the sentence after the garbage never arrived";
  Variant v;
  EXPECT_EQ(rig_.receiver.fix().Speed(), Variant::R8(22.4));
  EXPECT_EQ(rig_.sources->get_PortHandle(&v), S_OK);
  EXPECT_EQ(rig_.sources->Close(), S_OK);
  EXPECT_TRUE(rig_.WaitClosed());
}

TEST_F(FaultTest, AStreamWithoutLineFeedsStaysBounded) {
  ASSERT_EQ(rig_.sources->Open(Variant::Text(pty_.name())), S_OK) << ErrorText();
  const std::string chunk(32 * 1024, 'x');
  for (int i = 0; i < 64; ++i) pty_.Write(chunk);  // 2 MiB, no line feed
  pty_.Write("\n" + Sentence(kRmc));
  ASSERT_TRUE(rig_.events.WaitRaw(1));
  EXPECT_EQ(rig_.events.raw().back(), kRmc);
  ASSERT_EQ(rig_.sources->Close(), S_OK);
  ASSERT_TRUE(rig_.WaitClosed());
  // Read once the reader is gone: the receiver is then this thread's alone.
  EXPECT_GE(rig_.receiver.stats().overlong_dropped, 1u);
  EXPECT_LE(rig_.receiver.pending_bytes(), Receiver::kMaxLineBytes);
  EXPECT_EQ(rig_.events.raw().size(), 1u);
}

TEST_F(FaultTest, UnpluggedMidSentenceThenAnotherReceiverIsPluggedIn) {
  ASSERT_EQ(rig_.sources->Open(Variant::Text(pty_.name())), S_OK) << ErrorText();
  const std::string name = pty_.name();
  pty_.Write(Sentence(kRmc).substr(0, 30));  // half a sentence, then the cable goes
  pty_.CloseMaster();
  std::this_thread::sleep_for(milliseconds(200));
  EXPECT_TRUE(rig_.sources->IsOpen());
  ASSERT_EQ(rig_.sources->Close(), S_OK);
  ASSERT_TRUE(rig_.WaitClosed());

  Pty fresh;
  ASSERT_TRUE(fresh.ok());
  ASSERT_EQ(rig_.sources->Open(Variant::Text(fresh.name())), S_OK) << ErrorText();
  fresh.Write(Sentence(kRmc));
  ASSERT_TRUE(rig_.events.WaitRaw(1));
  // The half sentence of the old line was not glued to the new one.
  EXPECT_EQ(rig_.events.raw(), std::vector<std::string>{std::string(kRmc)});
  EXPECT_EQ(rig_.sources->Close(), S_OK);
  EXPECT_TRUE(rig_.WaitClosed());
}

TEST_F(FaultTest, OpenAndCloseInATightLoop) {
  int opened = 0, refused_while_ending = 0;
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  while (opened < 200 && Clock::now() < deadline) {
    const HRESULT hr = rig_.sources->Open(Variant::Text(pty_.name()));
    if (hr == kAlreadyOpen) {
      ++refused_while_ending;  // the last reader is still closing the port
      TakeErrorRecord();
      std::this_thread::yield();
      continue;
    }
    ASSERT_EQ(hr, S_OK) << ErrorText();
    ++opened;
    if (opened % 10 == 0) pty_.Write(Sentence(kRmc));
    ASSERT_EQ(rig_.sources->Close(), S_OK);
  }
  EXPECT_EQ(opened, 200);
  EXPECT_TRUE(rig_.WaitClosed());
  std::printf("[ faults ] 200 opens, %d refused while the reader ended\n", refused_while_ending);
}

}  // namespace
}  // namespace orvane::testing
