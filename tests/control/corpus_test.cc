// Real receiver logs from ../shared/corpus replay to completion through the
// whole control. The folder is optional: the test says loudly when it skips.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "control/orvane_control.h"

namespace orvane {
namespace {

class Completions : public EventSink {
 public:
  HRESULT Invoke(DISPID id, std::span<Variant> args) override {
    if (id == kDispIdFileComplete) ++complete;
    if (id == kDispIdRawDataReceived) {
      ++raw;
      if (args.size() != 2 || args[1].vt() != VT_BSTR || args[0].vt() != VT_I4) ++malformed;
    }
    return S_OK;
  }
  int complete = 0, raw = 0, malformed = 0;
};

TEST(CorpusTest, EveryRealLogReplaysToCompletion) {
  const std::filesystem::path corpus(ORVANE_CORPUS);
  if (!std::filesystem::is_directory(corpus)) {
    GTEST_SKIP() << "SKIPPED: no corpus folder at " << corpus << "; real logs were not replayed";
  }
  int logs = 0;
  std::uint64_t lines = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    if (!entry.is_regular_file() || entry.path().extension() == ".md") continue;
    SCOPED_TRACE(entry.path().filename().string());
    auto control = CreateOrvaneControl();
    auto sink = std::make_shared<Completions>();
    std::uint32_t cookie;
    control->events().Advise(sink, &cookie);
    ASSERT_EQ(control->OpenFile(Variant::Text(entry.path().string()), Variant()), S_OK);
    ASSERT_TRUE(Apartment::Current()->RunUntil([&] { return !control->IsSourceOpen(); },
                                               std::chrono::seconds(60)));
    Apartment::Current()->Pump();
    EXPECT_EQ(sink->complete, 1);
    EXPECT_EQ(sink->malformed, 0);
    // Every accepted line reached the sink.
    const auto& st = control->stats();
    EXPECT_EQ(static_cast<std::uint64_t>(sink->raw) + st.checksum_dropped, st.lines);
    // Every property still answers after a real log.
    Variant v;
    EXPECT_EQ(control->get_Latitude(&v), S_OK);
    EXPECT_EQ(v.vt(), VT_BSTR);
    EXPECT_EQ(control->get_SatelliteInViewPRNs(&v), S_OK);
    EXPECT_EQ(v.vt(), kVtArrayOfVariant);
    lines += st.lines;
    ++logs;
  }
  std::printf("[ corpus ] %d real logs replayed, %llu lines\n", logs,
              static_cast<unsigned long long>(lines));
  EXPECT_GT(logs, 0);
}

}  // namespace
}  // namespace orvane
