// orvane watch's screen and keys, and --record's writer, over any input: a
// frame of any satellites, texts and size must stay inside its canvas, keys
// must map without surprise, and the recording must be the bytes fed, in
// any runs.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "fuzz_input.h"
#include "record.h"
#include "watch_view.h"

using namespace orvane;
using namespace orvane::cli;

namespace {

using Input = FuzzInput;

// Aborts on any write outside the grid.
class StrictCanvas final : public Canvas {
 public:
  StrictCanvas(int rows, int cols) : inner_(rows, cols) {}
  int rows() const override { return inner_.rows(); }
  int cols() const override { return inner_.cols(); }
  void Put(int row, int col, std::string_view text, Style style) override {
    if (row < -1 || row > rows() || col < -8 || col > cols() + 8) {
      std::fprintf(stderr, "fuzz_watch: a write far off the %dx%d grid at %d,%d\n", cols(), rows(),
                   col, row);
      std::abort();
    }
    inner_.Put(row, col, text, style);
  }

 private:
  TextCanvas inner_;
};

void CheckRecorder(Input& in) {
  const std::string path = "/tmp/fuzz_watch_record_" + std::to_string(::getpid());
  std::remove(path.c_str());
  std::string fed;
  {
    std::string error;
    auto recorder = Recorder::Open(path, nullptr, &error);
    if (!recorder) return;
    while (!in.empty()) {
      const std::string run = in.Text(64);
      recorder->Feed(run);
      fed += run;
    }
  }
  std::ifstream file(path, std::ios::binary);
  std::stringstream got;
  got << file.rdbuf();
  std::remove(path.c_str());
  if (got.str() != fed) {
    std::fprintf(stderr, "fuzz_watch: recorded %zu bytes of %zu fed\n", got.str().size(),
                 fed.size());
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  const int rows = in.Int(0, 80), cols = in.Int(0, 240);
  Frame f;
  f.source = in.Text(40);
  f.latitude = in.Text(30);
  f.longitude = in.Text(30);
  f.altitude = in.Text(12);
  f.notice = in.Text(120);
  f.fix.good = in.Byte() & 1;
  if (in.Byte() & 1) f.fix.quality = in.Int(-3, 12);
  if (in.Byte() & 1) f.satellites.mode = in.Int(-1, 4);
  if (in.Byte() & 1)
    f.fix.time = UtcTime(std::chrono::seconds(static_cast<std::int64_t>(in.Int(0, 65535)) * 86400));
  f.fix_age_seconds = in.Int(-1, 1000);
  const int count = in.Int(0, 64);
  for (int i = 0; i < count && !in.empty(); ++i) {
    Satellite s;
    s.number = in.Int(-5, 400);
    if (in.Byte() & 1) s.elevation = in.Int(-90, 200);
    if (in.Byte() & 1) s.azimuth = in.Int(-360, 720);
    if (in.Byte() & 1) s.snr = in.Int(-10, 120);
    s.used_in_fix = in.Byte() & 1;
    f.satellites.in_sight.push_back(s);
  }
  // What comes only from some receivers: heading, GST, TXT, the talkers.
  if (in.Byte() & 1) f.fix.heading = in.Int(-720, 720) / 2.0;
  if (in.Byte() & 1) f.fix.magnetic_heading = in.Int(-720, 720) / 2.0;
  if (in.Byte() & 1) f.fix.latitude_error = in.Int(0, 65535) / 10.0;
  if (in.Byte() & 1) f.fix.altitude_error = in.Int(0, 65535) / 10.0;
  for (int i = in.Int(0, 4); i > 0; --i) f.texts.push_back(in.Text(90));
  f.talkers = in.Text(30);
  f.sentence_types = in.Text(60);
  f.ignored_fix = in.Text(8);
  StrictCanvas canvas(rows, cols);
  DrawFrame(f, canvas);
  // Keys: only the documented ones act.
  for (int i = 0; i < 8; ++i) {
    const int key = in.Int(-1, 600);
    const KeyAction action = ActionForKey(key);
    const bool documented = key == 'q' || key == 'Q' || key == 'f' || key == 'F' || key == 'u' ||
                            key == 'U' || key == ' ' || key == 12;
    if ((action != KeyAction::kNone) != documented) {
      std::fprintf(stderr, "fuzz_watch: key %d maps to action %d\n", key, static_cast<int>(action));
      std::abort();
    }
    const UnitSet next = NextUnits(in.Int(-2, 4));
    if (next.speed < 0 || next.speed > 2 || next.altitude < 0 || next.altitude > 1) std::abort();
  }
  CheckRecorder(in);
  return 0;
}
