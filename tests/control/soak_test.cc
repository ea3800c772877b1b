// A bounded soak: replays in a loop while the host hammers properties and
// sinks come and go. ORVANE_SOAK_SECONDS sets the length (default 3 s; run it
// for hours by hand).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>

#include "control/dispatch.h"
#include "control/member_table.h"
#include "control/orvane_control.h"
#include "support/nmea.h"

namespace orvane {
namespace {

using Clock = std::chrono::steady_clock;

class Sink : public EventSink {
 public:
  HRESULT Invoke(DISPID id, std::span<Variant>) override {
    if (id == kDispIdFileComplete) ++complete;
    ++events;
    return S_OK;
  }
  int complete = 0;
  long events = 0;
};

TEST(SoakTest, ReplaysInALoopWithReadsAndSinksChurning) {
  const char* env = std::getenv("ORVANE_SOAK_SECONDS");
  const double seconds = env ? std::atof(env) : 3.0;
  std::string log;
  for (int i = 0; i < 200; ++i) {
    char t[16];
    std::snprintf(t, sizeof t, "12%02d%02d", i / 60, i % 60);
    log += testing::Sentence(std::string("$GPRMC,") + t +
                             ",A,4807.038,N,01131.000,E,10.0,84.4,230394,3.1,W,A");
    log += testing::Sentence(std::string("$GPGGA,") + t +
                             ",4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
    log += testing::Sentence("$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1");
    log += testing::Sentence("$GPGSV,1,1,02,04,45,120,40,05,30,200,35");
    log += testing::Sentence("$GPRMB,A,0.66,L,003,004,4917.24,N,12309.57,W,001.3,052.5,000.5,V");
    log += testing::Sentence("$GPRTE,1,1,c,R,003,004");
    log += testing::Sentence("$GPWPL,4917.24,N,12309.57,W,004");
  }
  const std::string path = ::testing::TempDir() + "soak_" + std::to_string(::getpid()) + ".nmea";
  std::ofstream(path, std::ios::binary) << log;

  auto control = CreateOrvaneControl();
  auto apartment = Apartment::Current();
  auto steady = std::make_shared<Sink>();  // stays for the whole run: counts FileComplete
  std::uint32_t steady_cookie;
  control->events().Advise(steady, &steady_cookie);
  int replays = 0;
  long reads = 0;
  const auto end = Clock::now() + std::chrono::duration<double>(seconds);
  while (Clock::now() < end) {
    ASSERT_EQ(control->OpenFile(Variant::Text(path), Variant()), S_OK);
    ++replays;
    // Churn: a sink advised and unadvised on every turn, and every property.
    while (control->IsSourceOpen()) {
      auto passing = std::make_shared<Sink>();
      std::uint32_t cookie;
      control->events().Advise(
          passing, &cookie, reads % 2 ? SinkThreading::kFreeThreaded : SinkThreading::kApartment);
      for (const auto& m : Members()) {
        if (m.kind != MemberKind::kGet) continue;
        std::vector<Variant> none;
        Variant v;
        InvokeByName(*control, m.name, DISPATCH_PROPERTYGET, none, &v);
        ++reads;
      }
      apartment->Pump();
      EXPECT_EQ(control->events().Unadvise(cookie), S_OK);
    }
    apartment->Pump();
    ASSERT_EQ(steady->complete, replays) << "FileComplete must arrive once per replay";
  }
  std::printf("[ soak ] %d replays, %ld property reads, %ld events in %.1f s\n", replays, reads,
              steady->events, seconds);
  EXPECT_GT(replays, 0);
  std::remove(path.c_str());
}

}  // namespace
}  // namespace orvane
