// orvane-gen: deterministic output that the receiver takes whole, and the
// shipped sample still being what the generator makes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

#include "support/source_test_support.h"

namespace orvane::testing {
namespace {

const std::string kGenerator = std::string(ORVANE_BINARY_DIR) + "/tools/gen/orvane-gen";

// Standard output of the generator run with `args`; exit status in *status.
std::string RunGenerator(const std::string& args, int* status) {
  std::string out;
  std::FILE* pipe = popen((kGenerator + " " + args + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) {
    *status = -1;
    return out;
  }
  char buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  const int rc = pclose(pipe);
  *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

std::size_t CountLines(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

class GeneratorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access(kGenerator.c_str(), X_OK) != 0) GTEST_SKIP() << "orvane-gen not built";
  }
};

TEST_F(GeneratorTest, SameSeedSameLogAndLineLimitIsExact) {
  int status = 0;
  const std::string a = RunGenerator("--seconds 120 --seed 42 --mode drive", &status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(RunGenerator("--seconds 120 --seed 42 --mode drive", &status), a);
  EXPECT_NE(RunGenerator("--seconds 120 --seed 43 --mode drive", &status), a);
  for (int lines : {1, 7, 1000}) {
    SCOPED_TRACE(lines);
    const std::string cut = RunGenerator("--lines " + std::to_string(lines), &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(CountLines(cut), static_cast<std::size_t>(lines));
    EXPECT_EQ(cut.size() >= 2 ? cut.substr(cut.size() - 2) : cut, "\r\n");
  }
  for (const char* bad : {"--seconds 0", "--mode boat", "--start 2024-13-01T00:00:00", "--what",
                          "--gnss --survey", "--extended --gnss"}) {
    SCOPED_TRACE(bad);
    RunGenerator(bad, &status);
    EXPECT_EQ(status, 2);
  }
}

TEST_F(GeneratorTest, ShippedSampleIsTheGeneratorsTenMinutes) {
  int status = 0;
  const std::string fresh = RunGenerator("--seconds 600 --seed 1", &status);
  ASSERT_EQ(status, 0);
  std::ifstream in(std::string(ORVANE_SOURCE_DIR) + "/data/sample.nmea", std::ios::binary);
  std::stringstream shipped;
  shipped << in.rdbuf();
  EXPECT_TRUE(shipped.str() == fresh)
      << "data/sample.nmea differs from orvane-gen --seconds 600 --seed 1; regenerate it";
  EXPECT_LT(fresh.size(), 300u * 1024);
}

TEST_F(GeneratorTest, EverySeedAndModeDecodesWithoutLoss) {
  TempDir dir;
  for (const char* mode : {"sail", "drive"}) {
    for (int seed : {1, 2, 3, 4, 5}) {
      SCOPED_TRACE(std::string(mode) + " seed " + std::to_string(seed));
      int status = 0;
      // Across midnight, so the date rolls over in the log.
      const std::string log =
          RunGenerator(std::string("--seconds 300 --mode ") + mode +
                           " --start 2023-12-31T23:58:00 --seed " + std::to_string(seed),
                       &status);
      ASSERT_EQ(status, 0);
      Rig rig;
      const std::string path = dir.Write("gen.nmea", log);
      ASSERT_EQ(rig.sources->OpenFile(Variant::Text(path), Variant()), S_OK);
      ASSERT_TRUE(rig.events.WaitFileComplete());
      ASSERT_TRUE(rig.WaitClosed());
      const Receiver::Stats& stats = rig.receiver.stats();
      EXPECT_EQ(stats.lines, CountLines(log));
      EXPECT_EQ(stats.checksum_dropped, 0u);
      EXPECT_EQ(stats.unrecognised, 0u);
      for (std::size_t row = 0; row < Receiver::Sentences().size(); ++row) {
        if (Receiver::Sentences()[row].extended) continue;  // off by default
        EXPECT_GT(stats.by_row[row], 0u) << Receiver::Sentences()[row].identifier;
      }
      // The last fix is dated the new year.
      const Variant when = rig.receiver.fix().FixDateTime();
      ASSERT_EQ(when.vt(), VT_DATE);
      EXPECT_GE(when.date(), 45292.0);  // 2024-01-01
      EXPECT_EQ(rig.receiver.navigation().WptsInRoute().array().size(), 7u);
    }
  }
}

// A log that cannot be written whole is a failure, said once.
TEST_F(GeneratorTest, AFullDiskIsAFailure) {
  // Standard error to the pipe read here, then standard output to the full disk.
  for (const char* args : {"--seconds 1 2>&1 >/dev/full", "--lines 100000 2>&1 >/dev/full",
                           "--seconds 1 -o /dev/full 2>&1"}) {
    SCOPED_TRACE(args);
    const std::string command = kGenerator + " " + args;
    std::FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string err;
    char buf[256];
    while (std::fgets(buf, sizeof buf, pipe) != nullptr) err += buf;
    const int rc = pclose(pipe);
    EXPECT_EQ(WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, 1);
    EXPECT_NE(err.find("cannot write: No space left on device\n"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  }
}

// --extended: a GPS receiver that adds the sentences beyond the nine, every
// one of which the receiver reads with ExtendedSentences on.
TEST_F(GeneratorTest, ExtendedIsGpsOnlyWithTheNewSentences) {
  int status = 0;
  const std::string log = RunGenerator("--extended --seconds 61 --seed 3", &status);
  ASSERT_EQ(status, 0);
  std::set<std::string> talkers, types;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    ASSERT_GE(line.size(), 6u);
    talkers.insert(line.substr(1, 2));
    types.insert(line.substr(3, 3));
  }
  EXPECT_EQ(talkers, std::set<std::string>{"GP"});
  for (const char* type : {"VTG", "ZDA", "GST", "HDT", "TXT", "RMC", "GGA", "GSA", "GSV"})
    EXPECT_EQ(types.count(type), 1u) << type;
  TempDir dir;
  Rig rig;
  rig.settings.extended_sentences = true;
  ASSERT_EQ(rig.sources->OpenFile(Variant::Text(dir.Write("ext.nmea", log)), Variant()), S_OK);
  ASSERT_TRUE(rig.events.WaitFileComplete());
  ASSERT_TRUE(rig.WaitClosed());
  EXPECT_EQ(rig.receiver.stats().lines, CountLines(log));
  EXPECT_EQ(rig.receiver.stats().checksum_dropped, 0u);
  EXPECT_EQ(rig.receiver.stats().unrecognised, 0u);
}

}  // namespace
}  // namespace orvane::testing
