// Serial latency: time from a line feed written to a pseudo-terminal to the
// FixUpdate that reaches a sink on the host's thread. Prints p50, p99, max.
#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "control/orvane_control.h"
#include "support/nmea.h"

// The automation names (HRESULT, S_OK, VT_*) live in namespace orvane.
using namespace orvane;

namespace {

using Clock = std::chrono::steady_clock;

std::string Rmc(int i) {
  char body[128];
  std::snprintf(body, sizeof body,
                "$GPRMC,%02d%02d%02d,A,4807.038,N,01131.000,E,10.0,84.4,230394,3.1,W",
                i / 3600 % 24, i / 60 % 60, i % 60);
  return orvane::testing::Sentence(body);
}

class Sink : public orvane::EventSink {
 public:
  HRESULT Invoke(DISPID id, std::span<orvane::Variant>) override {
    if (id == orvane::kDispIdFixUpdate) {
      arrived.push_back(Clock::now());
    }
    return S_OK;
  }
  std::vector<Clock::time_point> arrived;
};

void Report(const char* name, std::vector<double> us) {
  if (us.empty()) {
    std::printf("%-28s no samples\n", name);
    return;
  }
  std::sort(us.begin(), us.end());
  auto at = [&](double q) {
    return us[std::min(us.size() - 1, static_cast<std::size_t>(q * us.size()))];
  };
  std::printf("%-28s n=%zu  p50 %.0f us  p99 %.0f us  max %.0f us\n", name, us.size(), at(0.5),
              at(0.99), us.back());
}

// Writes `count` sentences; `gap` apart, or each right after the previous one
// arrived when gap is zero.
std::vector<double> Measure(int count, std::chrono::microseconds gap) {
  int master = -1, slave = -1;
  char name[256];
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
    std::perror("openpty");
    std::exit(1);
  }
  auto control = orvane::CreateOrvaneControl();
  auto sink = std::make_shared<Sink>();
  std::uint32_t cookie;
  control->events().Advise(sink, &cookie);
  if (FAILED(control->Open(orvane::Variant::Text(name)))) {
    std::fprintf(stderr, "cannot open %s\n", name);
    std::exit(1);
  }
  auto apartment = orvane::Apartment::Current();
  std::vector<double> us;
  for (int i = 0; i < count; ++i) {
    const std::string line = Rmc(i);
    // Everything but the line feed first, so the timing starts at the LF.
    [[maybe_unused]] ssize_t a = write(master, line.data(), line.size() - 1);
    const std::size_t before = sink->arrived.size();
    const auto t0 = Clock::now();
    [[maybe_unused]] ssize_t b = write(master, "\n", 1);
    apartment->RunUntil([&] { return sink->arrived.size() > before; }, std::chrono::seconds(2));
    if (sink->arrived.size() > before) {
      us.push_back(std::chrono::duration<double, std::micro>(sink->arrived.back() - t0).count());
    }
    if (gap.count() > 0) std::this_thread::sleep_for(gap);
  }
  control->Close();
  apartment->RunUntil([&] { return !control->IsSourceOpen(); }, std::chrono::seconds(5));
  close(master);
  close(slave);
  return us;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 2000;
  // A 70-byte sentence at 4800 baud takes about 146 ms; 20 ms apart keeps the
  // line quiet between sentences without making the run minutes long.
  Report("pty, 20 ms apart", Measure(count / 4, std::chrono::milliseconds(20)));
  Report("pty, as fast as possible", Measure(count, std::chrono::microseconds(0)));
  return 0;
}
