#include "watch.h"

#include <curses.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <clocale>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>

#include "control/apartment.h"
#include "control/dispatch.h"
#include "control/member_table.h"
#include "control/orvane_control.h"
#include "control/snapshots.h"
#include "record.h"
#include "watch_terminal.h"
#include "watch_view.h"

namespace orvane::cli {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Redraws come at most this often, whatever the sentence rate.
constexpr milliseconds kFrameInterval{100};

std::atomic<bool> g_stop{false};
void OnStopSignal(int) { g_stop = true; }

// The names `live` takes: a scheme, or a terminal device. Anything else is
// a log.
bool IsLiveName(const std::string& name) {
  for (const char* scheme : {"tcp://", "udp://", "gpsd://"}) {
    if (name.rfind(scheme, 0) == 0) return true;
  }
  struct stat st {};
  return ::stat(name.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

// What the reader thread tells the screen.
struct Shared {
  std::atomic<bool> dirty{true};
  std::atomic<std::uint64_t> lines{0};
  std::atomic<std::uint64_t> checksum_dropped{0};
  std::atomic<Clock::rep> last_fix{0};  // Clock ticks; 0 before a fix
  std::atomic<bool> ended{false};       // a log's FileComplete
  std::atomic<bool> lost{false};        // a live receiver is away

  std::mutex mutex;
  std::condition_variable resume;
  bool paused = false;               // the reader waits in the sink while set
  std::atomic<bool> holding{false};  // `paused` without the lock, for the reader's every event
  std::string notice;
  std::string recording_stopped;  // said again once the screen is gone
  std::string ignored_fix;        // copied on the reader's thread, which writes it

  void SetNotice(std::string text) {
    std::lock_guard<std::mutex> lock(mutex);
    notice = std::move(text);
    dirty = true;
  }
  void SetPaused(bool on) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      paused = on;
      holding = on;
    }
    resume.notify_all();
    dirty = true;
  }
};

// Runs on the reader thread after each sentence: only notes what changed.
// A paused log is held here, between two sentences.
class WatchSink final : public EventSink {
 public:
  WatchSink(Shared& shared, const OrvaneControl& control) : shared_(shared), control_(control) {}
  HRESULT Invoke(DISPID id, std::span<Variant>) override {
    // The counters are the reader's own: read on its thread.
    shared_.lines = control_.stats().lines;
    shared_.checksum_dropped = control_.stats().checksum_dropped;
    if (!ignored_copied_ && !control_.stats().ignored_fix.empty()) {
      std::lock_guard<std::mutex> lock(shared_.mutex);
      shared_.ignored_fix = control_.stats().ignored_fix;
      ignored_copied_ = true;
    }
    if (id == kDispIdFixUpdate) shared_.last_fix = Clock::now().time_since_epoch().count();
    if (id == kDispIdFileComplete) shared_.ended = true;
    shared_.dirty = true;
    if (!shared_.holding) return S_OK;
    std::unique_lock<std::mutex> lock(shared_.mutex);
    shared_.resume.wait(lock, [this] { return !shared_.paused; });
    return S_OK;
  }

 private:
  Shared& shared_;
  const OrvaneControl& control_;
  bool ignored_copied_ = false;
};

class Watch {
 public:
  Watch(const Options& options, std::FILE* err) : options_(options), err_(err) {}
  int Run();

 private:
  Variant Get(std::string_view name) {
    Variant v;
    std::vector<Variant> none;
    InvokeByName(*control_, name, DISPATCH_PROPERTYGET, none, &v);
    return v;
  }
  void Put(std::string_view name, int value) {
    std::vector<Variant> args = {Variant::I2(static_cast<std::int16_t>(value))};
    InvokeByName(*control_, name, DISPATCH_PROPERTYPUT, args, nullptr);
  }
  std::string Text(std::string_view name) {
    const Variant v = Get(name);
    return v.vt() == VT_BSTR ? v.ToUtf8() : std::string();
  }
  int GetInt(std::string_view name) {
    const Variant v = Get(name);
    return v.vt() == VT_I2 ? v.i2() : v.vt() == VT_I4 ? v.i4() : 0;
  }
  int CheckSource();
  bool StartRecording();
  HRESULT OpenSource(ExcepInfo* info);
  // Opens the source and the screen; kExitOk, or the status after saying why.
  int OpenAndStartScreen();
  void CloseAndWait();
  bool StartScreen();
  void StopScreen();
  void Loop();
  void OnKey(int key);
  Frame TakeFrame();
  // A paused screen taken again, in the formats just chosen.
  void Refreeze() {
    if (!frozen_) return;
    frozen_.reset();
    frozen_ = TakeFrame();
  }
  std::string Measure(std::string_view property, const char* const* units, int unit_count,
                      std::string_view unit_property, const char* format);

  const Options& options_;
  std::FILE* err_;
  bool live_ = false;
  Shared shared_;
  std::unique_ptr<Recorder> recorder_;  // outlives the control's reader
  std::unique_ptr<OrvaneControl> control_;
  SCREEN* screen_ = nullptr;
  bool force_draw_ = true;
  bool quit_ = false;
  std::optional<Clock::time_point> paused_since_;
  // The screen as it stood when paused: the reader may still be waiting out
  // the next fix's pacing, and stops only once it is stored.
  std::optional<Frame> frozen_;
  // lines/s over the last second or so
  Clock::time_point rate_since_ = Clock::now();
  std::uint64_t rate_lines_ = 0;
  // The receiver's messages as they came, a few.
  static constexpr std::size_t kKeptTexts = 4;
  std::vector<std::string> texts_;
  double rate_ = 0;
};

HRESULT Watch::OpenSource(ExcepInfo* info) {
  if (live_) {
    std::vector<Variant> args = {Variant::Text(options_.source)};
    return InvokeByName(*control_, "Open", DISPATCH_METHOD, args, nullptr, info);
  }
  // A log plays like a receiver unless told otherwise.
  std::vector<Variant> args = {Variant::Text(options_.source),
                               Variant::Text(options_.time_scale.value_or("1"))};
  return InvokeByName(*control_, "OpenFile", DISPATCH_METHOD, args, nullptr, info);
}

void Watch::CloseAndWait() {
  shared_.SetPaused(false);
  std::vector<Variant> none;
  InvokeByName(*control_, "Close", DISPATCH_METHOD, none, nullptr);
  auto apartment = Apartment::Current();
  while (control_->IsSourceOpen()) {
    apartment->RunUntil([&] { return !control_->IsSourceOpen(); }, milliseconds(200));
  }
  apartment->Pump();
}

bool Watch::StartScreen() {
  screen_ = OpenScreen();
  return screen_ != nullptr;
}

void Watch::StopScreen() {
  if (screen_ == nullptr) return;
  CloseScreen(screen_);
  screen_ = nullptr;
}

std::string Watch::Measure(std::string_view property, const char* const* units, int unit_count,
                           std::string_view unit_property, const char* format) {
  const Variant v = Get(property);
  if (v.vt() != VT_R8) return "";
  char buf[64];
  std::snprintf(buf, sizeof buf, format, v.r8());
  std::string text = buf;
  if (unit_count > 0) {
    const int u = GetInt(unit_property);
    if (u >= 0 && u < unit_count) text += std::string(" ") + units[u];
  }
  return text;
}

Frame Watch::TakeFrame() {
  if (frozen_) {
    Frame f = *frozen_;
    std::lock_guard<std::mutex> lock(shared_.mutex);
    f.notice = shared_.notice;
    return f;
  }
  Frame f;
  f.source = options_.source;
  Receiver& receiver = SnapshotReader::ReceiverOf(*control_);
  f.fix = SnapshotReader::ReadFix(receiver);
  f.satellites = SnapshotReader::ReadSatellites(receiver);
  const Variant lat = Get("Latitude"), lon = Get("Longitude");
  f.latitude = lat.vt() == VT_BSTR ? lat.ToUtf8() : "";
  f.longitude = lon.vt() == VT_BSTR ? lon.ToUtf8() : "";
  static const char* const kSpeed[] = {"mph", "km/h", "kn"};
  static const char* const kAltitude[] = {"m", "ft"};
  f.altitude = Measure("Altitude", kAltitude, 2, "AltitudeUnits", "%.1f");
  f.speed = Measure("Speed", kSpeed, 3, "SpeedUnits", "%.1f");
  f.course = Measure("TrueCourse", nullptr, 0, "", "%.1f deg");
  f.talkers = Text("TalkersReceived");
  f.sentence_types = Text("SentenceTypesReceived");
  // A message is kept once, when it first stands as the last received.
  if (f.fix.receiver_text && (texts_.empty() || texts_.back() != *f.fix.receiver_text)) {
    texts_.push_back(*f.fix.receiver_text);
    if (texts_.size() > kKeptTexts) texts_.erase(texts_.begin());
  }
  f.texts = texts_;
  const Clock::rep last_fix = shared_.last_fix;
  if (last_fix != 0) {
    f.fix_age_seconds =
        std::chrono::duration<double>(Clock::now() - Clock::time_point(Clock::duration(last_fix)))
            .count();
  }
  f.lines = shared_.lines;
  f.checksum_dropped = shared_.checksum_dropped;
  const auto now = Clock::now();
  const double span = std::chrono::duration<double>(now - rate_since_).count();
  if (span >= 1.0) {
    rate_ = static_cast<double>(f.lines - rate_lines_) / span;
    rate_lines_ = f.lines;
    rate_since_ = now;
  }
  f.lines_per_second = rate_;
  {
    std::lock_guard<std::mutex> lock(shared_.mutex);
    f.notice = shared_.notice;
    f.ignored_fix = shared_.ignored_fix;
    if (shared_.paused) f.state = "paused, space resumes";
  }
  if (shared_.ended) f.state = "end of log, q quits";
  if (shared_.lost) f.state = "receiver lost, retrying";
  return f;
}

void Watch::OnKey(int key) {
  if (key == KEY_RESIZE) {
    force_draw_ = true;
    return;
  }
  switch (ActionForKey(key)) {
    case KeyAction::kQuit: quit_ = true; break;
    case KeyAction::kCycleFormat:
      Put("LatLonFormat", (GetInt("LatLonFormat") + 1) % 3);
      Refreeze();
      break;
    case KeyAction::kCycleUnits: {
      const UnitSet next = NextUnits(GetInt("SpeedUnits"));
      Put("SpeedUnits", next.speed);
      Put("DistUnits", next.dist);
      Put("AltitudeUnits", next.altitude);
      shared_.SetNotice(std::string("units: ") + next.name);
      Refreeze();
      break;
    }
    case KeyAction::kPause:
      if (live_) {
        shared_.SetNotice("a live receiver cannot be paused");
      } else if (paused_since_) {
        // The pacing skips the pause instead of racing to catch up.
        const auto held =
            std::chrono::duration_cast<milliseconds>(Clock::now() - *paused_since_).count();
        control_->ExtendPacing(static_cast<std::uint32_t>(held));
        paused_since_.reset();
        frozen_.reset();
        shared_.SetPaused(false);
      } else {
        paused_since_ = Clock::now();
        shared_.SetPaused(true);
        frozen_ = TakeFrame();
      }
      break;
    case KeyAction::kRedraw: clearok(curscr, TRUE); break;
    case KeyAction::kNone: return;
  }
  force_draw_ = true;
}

void Watch::Loop() {
  auto apartment = Apartment::Current();
  const auto deadline =
      options_.duration >= 0
          ? Clock::now() + milliseconds(static_cast<long long>(options_.duration * 1000))
          : Clock::time_point::max();
  Clock::time_point last_draw{};
  CursesCanvas canvas;
  while (!quit_ && !g_stop && Clock::now() < deadline) {
    // A live source never ends by itself; if it does, there is nothing to show.
    if (live_ && !control_->IsSourceOpen()) break;
    const auto now = Clock::now();
    const bool due = force_draw_ || shared_.dirty || now - last_draw >= std::chrono::seconds(1);
    const auto next = last_draw + kFrameInterval;
    if (due && now >= next) {
      shared_.dirty = false;
      force_draw_ = false;
      const Frame frame = TakeFrame();
      erase();
      DrawFrame(frame, canvas);
      refresh();
      last_draw = now;
      continue;
    }
    const auto wait = due ? next - now : kFrameInterval;
    timeout(static_cast<int>(std::chrono::duration_cast<milliseconds>(wait).count()) + 1);
    const int key = getch();
    if (key != ERR) OnKey(key);
    apartment->Pump();
  }
}

// The checks `live` and `replay` leave to the source's kind; kExitOk when
// the options fit it.
int Watch::CheckSource() {
  if (options_.source == "-") {
    std::fprintf(
        err_,
        "orvane: watch reads its keys from standard input; give the log's name instead of -\n");
    return kExitUsage;
  }
  if (::isatty(STDIN_FILENO) == 0 || ::isatty(STDOUT_FILENO) == 0) {
    std::fprintf(err_, "orvane: watch needs a terminal on standard input and output\n");
    return kExitUsage;
  }
  live_ = IsLiveName(options_.source);
  if (live_ && options_.time_scale) {
    std::fprintf(err_, "orvane: --time-scale is for a log; %s is a live source\n",
                 options_.source.c_str());
    return kExitUsage;
  }
  if (!live_ && options_.baud) {
    std::fprintf(err_, "orvane: --baud is for a live source; %s is a log\n",
                 options_.source.c_str());
    return kExitUsage;
  }
  return kExitOk;
}

bool Watch::StartRecording() {
  if (!options_.record) return true;
  std::string error;
  recorder_ = RecordInto(
      *control_, *options_.record,
      [this](const std::string& m) {
        {
          std::lock_guard<std::mutex> lock(shared_.mutex);
          shared_.recording_stopped = m;
        }
        shared_.SetNotice(m);
      },
      &error);
  if (!recorder_) std::fprintf(err_, "orvane: %s\n", error.c_str());
  return recorder_ != nullptr;
}

int Watch::OpenAndStartScreen() {
  ExcepInfo info;
  const HRESULT hr = OpenSource(&info);
  if (FAILED(hr)) {
    ReportOpenError(*control_, options_.source, hr, info, err_);
    if (control_->IsSourceOpen()) CloseAndWait();
    return kExitSourceFailed;
  }
  if (options_.baud && !PutBaud(*control_, *options_.baud, err_)) {
    CloseAndWait();
    return kExitUsage;
  }
  std::setlocale(LC_CTYPE, "");  // the labels may be UTF-8 (the degree sign)
  if (!StartScreen()) {
    const char* term = std::getenv("TERM");
    std::fprintf(err_, "orvane: watch: cannot draw on this terminal (TERM=%s)\n",
                 term != nullptr ? term : "");
    CloseAndWait();
    return kExitUsage;
  }
  return kExitOk;
}

int Watch::Run() {
  if (const int status = CheckSource(); status != kExitOk) return status;
  control_ = CreateOrvaneControl();
  if (!control_) {
    std::fprintf(err_, "error 0x8007000E: Not enough memory.\n");
    return kExitSourceFailed;
  }
  if (!ApplySets(*control_, options_, err_)) return kExitUsage;
  if (!StartRecording()) return kExitSourceFailed;
  std::uint32_t cookie = 0;
  control_->events().Advise(std::make_shared<WatchSink>(shared_, *control_), &cookie,
                            SinkThreading::kFreeThreaded);
  control_->SetLinkObserver([this](bool back) {
    if (!back && recorder_) recorder_->DropTornLine();
    shared_.lost = !back;
    shared_.dirty = true;
  });
  // Installed before the screen starts, so curses keeps its hands off them.
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) HandleSignal(sig, OnStopSignal);
  if (const int status = OpenAndStartScreen(); status != kExitOk) return status;
  Loop();
  const bool source_failed = live_ && !control_->IsSourceOpen() && !quit_ && !g_stop;
  StopScreen();
  CloseAndWait();
  control_->events().Unadvise(cookie);
  std::string recording_stopped;
  {
    std::lock_guard<std::mutex> lock(shared_.mutex);
    recording_stopped = shared_.recording_stopped;
  }
  if (!recording_stopped.empty()) std::fprintf(err_, "orvane: %s\n", recording_stopped.c_str());
  if (source_failed) {
    std::fprintf(err_, "orvane: %s: the source closed\n", options_.source.c_str());
    return kExitSourceFailed;
  }
  return kExitOk;
}

}  // namespace

int RunWatch(const Options& options, std::FILE* err) {
  Watch watch(options, err);
  return watch.Run();
}

}  // namespace orvane::cli
