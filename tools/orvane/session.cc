#include "session.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

#include "automation/error_info.h"
#include "control/apartment.h"
#include "control/dispatch.h"
#include "control/member_table.h"
#include "control_text.h"
#include "export.h"
#include "gpsd_json.h"
#include "json.h"

namespace orvane::cli {
namespace {

std::atomic<bool> g_interrupted{false};

void OnSignal(int) { g_interrupted = true; }

constexpr double kDefaultGapSeconds = 10;

// gpsd's TPV per epoch, and SKY when the epoch carried satellites: many
// epochs to one write, a live receiver's each as it ends.
class GpsdLines final : public EpochOutput {
 public:
  GpsdLines(WriteCheck& out, bool live) : out_(out), live_(live) {}
  void Write(const Epoch& e) override {
    AppendGpsd(text_, e);
    if (text_.size() >= kWriteBytes || live_) Flush();
  }
  bool Finish() override {
    Flush();
    return !out_.failed();
  }

 private:
  static constexpr std::size_t kWriteBytes = 64 * 1024;
  void Flush() {
    if (text_.size() == 0) return;
    if (!out_.failed()) {
      errno = 0;
      if (std::fwrite(text_.view().data(), 1, text_.size(), out_.stream()) != text_.size())
        out_.Fail(errno);
    }
    text_.clear();
  }
  WriteCheck& out_;
  bool live_;
  TextBuffer text_;  // the reader's until the source has ended
};

}  // namespace

class Session::Sink : public EventSink {
 public:
  explicit Sink(Session* session) : session_(session) {}
  HRESULT Invoke(DISPID id, std::span<Variant> args) override {
    session_->OnEvent(id, args);
    return S_OK;
  }

 private:
  Session* session_;
};

Session::Session(const Options& options, std::FILE* out, std::FILE* err)
    : options_(options),
      out_(out),
      err_(err),
      stdout_(out, "standard output", err, true),
      control_(CreateOrvaneControl()),
      event_keys_(options.json ? EventKeysOfAll() : std::vector<EventKeys>()) {}

std::vector<Session::EventKeys> Session::EventKeysOfAll() {
  std::vector<EventKeys> all;
  for (const EventInfo& e : Events()) {
    EventKeys k{e.dispid, "{\"event\":", {}};
    AppendJsonString(k.head, e.name);
    for (std::size_t i = 0; i < e.param_count; ++i) {
      std::string key = ",";
      AppendJsonString(key, e.params[i]);
      key += ':';
      k.keys.push_back(std::move(key));
    }
    all.push_back(std::move(k));
  }
  return all;
}

const Session::EventKeys* Session::KeysFor(DISPID id) const {
  for (const EventKeys& k : event_keys_) {
    if (k.id == id) return &k;
  }
  return nullptr;
}

bool Session::SourceOpen() {
  Variant handle;
  return SUCCEEDED(GetProperty(*control_, "PortHandle", &handle));
}

void Session::OnEvent(DISPID id, std::span<Variant> args) {
  ++events_;
  // On the reader's thread, which counts the lines: the progress line reads
  // them from here, not from under the reader.
  if (progress_) lines_read_.store(control_->stats().lines, std::memory_order_relaxed);
  if (options_.summary) return;
  if (!hinted_ && !control_->stats().ignored_fix.empty()) HintIgnoredTalker();
  if (id == kDispIdFileComplete) file_complete_ = true;
  // The session is ending: nothing more can reach standard output.
  if (stdout_.failed()) return;
  if (options_.json) {
    const EventKeys* event = KeysFor(id);
    if (event == nullptr) return;
    line_ = event->head;
    for (std::size_t k = 0; k < event->keys.size() && k < args.size(); ++k) {
      line_ += event->keys[k];
      AppendJson(line_, args[args.size() - 1 - k], options_.typed);
    }
    line_ += "}\n";
    std::fwrite(line_.data(), 1, line_.size(), out_);
  } else if (options_.gpsd || stdout_taken_) {
    return;
  } else if (id == kDispIdFixUpdate) {
    if (event_lines_) fix_lines_->PrintFixEvent(args);
  } else if (id == kDispIdFileComplete) {
    std::fprintf(out_, "end of file\n");
  }
  EndWrite();
}

void Session::EndWrite() {
  if (options_.mode == Options::Mode::kLive) {
    stdout_.Flush();
  } else {
    stdout_.Check();
  }
}

void Session::HintIgnoredTalker() {
  hinted_ = true;
  Variant talkers;
  GetProperty(*control_, "Talkers", &talkers);
  std::fprintf(err_, "orvane: the receiver sends %s, which Talkers \"%s\" ignores: add --all\n",
               control_->stats().ignored_fix.c_str(), talkers.ToUtf8().c_str());
  std::fflush(err_);
}

void Session::OnEpoch(const Epoch& e) {
  if (!hinted_ && !control_->stats().ignored_fix.empty()) HintIgnoredTalker();
  for (EpochOutput* output : outputs_) {
    // An export to its own file goes on; standard output's writers stop.
    const bool to_stdout = output != export_.get() || stdout_taken_;
    if (to_stdout && stdout_.failed()) continue;
    output->Write(e);
    if (to_stdout) stdout_.Check();
  }
  EndWrite();
}

// Pumps this thread's apartment until the reader has closed its source.
bool Session::WaitForEnd() {
  auto apartment = Apartment::Current();
  const bool live = options_.mode == Options::Mode::kLive;
  const auto deadline = options_.duration >= 0
                            ? Clock::now() + std::chrono::milliseconds(
                                                 static_cast<long long>(options_.duration * 1000))
                            : Clock::time_point::max();
  bool closing = false;
  const auto start = Clock::now();
  // An export that cannot be written ends a live session: nothing it reads
  // would be kept. Standard output failing ends any: there is no more to show.
  const auto stop = [&] {
    return g_interrupted.load() || stdout_.failed() ||
           (live && (Clock::now() >= deadline || ExportFailed()));
  };
  while (true) {
    apartment->RunUntil([&] { return stop() || !SourceOpen(); }, std::chrono::milliseconds(200));
    if (progress_ && Clock::now() - start >= std::chrono::seconds(1)) ShowProgress(start, false);
    if (!SourceOpen()) break;
    if (!closing && stop()) {
      std::vector<Variant> none;
      InvokeByName(*control_, "Close", DISPATCH_METHOD, none, nullptr);
      closing = true;
    }
  }
  apartment->Pump();
  if (progress_shown_) ShowProgress(start, true);
  return true;
}

void Session::ShowProgress(Clock::time_point start, bool last) {
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  // The reader has ended by the last call.
  const std::uint64_t lines =
      last ? control_->stats().lines : lines_read_.load(std::memory_order_relaxed);
  Variant when;
  GetProperty(*control_, "FixDateTime", &when);
  const std::string time = when.vt() == VT_DATE && when.date() >= 1.0 ? IsoDate(when.date()) : "-";
  // A stream's length is unknown: no percentage there.
  const ReplayProgress read = control_->Progress();
  std::string percent;
  if (read.total_bytes != 0) {
    const std::uint64_t done = std::min(read.bytes_read, read.total_bytes);
    percent = std::to_string(done * 100 / read.total_bytes) + "% of the file, ";
  }
  std::fprintf(err_, "\r\033[Korvane: %s%llu lines, fix time %s, %.0f lines/s", percent.c_str(),
               static_cast<unsigned long long>(lines), time.c_str(),
               seconds > 0 ? static_cast<double>(lines) / seconds : 0.0);
  if (last) std::fputc('\n', err_);
  std::fflush(err_);
  progress_shown_ = true;
}

void Session::TakeStandardInput() {
  struct stat st {};
  if (fstat(STDIN_FILENO, &st) == 0 && S_ISREG(st.st_mode)) {
    open_name_ = "/dev/stdin";
  } else {
    stream_ = true;
  }
}

HRESULT Session::OpenReplay(ExcepInfo* info) {
  const Variant scale = options_.time_scale ? Variant::Text(*options_.time_scale)
                                            : Variant::Error(DISP_E_PARAMNOTFOUND);
  if (stream_) {
    std::optional<ErrorRecord> record;
    const auto open = [&] {
      return control_->OpenStream(STDIN_FILENO, scale,
                                  [this](std::string_view bytes) { stream_scan_.Feed(bytes); });
    };
    const HRESULT hr = CallRecording(open, &record);
    if (FAILED(hr) && record) FillExcepInfo(*record, hr, info);
    return hr;
  }
  std::vector<Variant> args = {Variant::Text(open_name_.empty() ? options_.source : open_name_),
                               scale};
  return InvokeByName(*control_, "OpenFile", DISPATCH_METHOD, args, nullptr, info);
}

std::unique_ptr<EpochOutput> Session::MakeExport(std::FILE* out, bool owned, std::string out_name) {
  const bool live = options_.mode == Options::Mode::kLive;
  if (options_.export_format == Options::Export::kCsv) {
    return std::make_unique<CsvWriter>(out, owned, std::move(out_name), live, err_, &decimals_,
                                       owned ? nullptr : &stdout_);
  }
  // The track is named as the log is, without its directories.
  std::string track = SourceName();
  if (!live && options_.source != "-") track = track.substr(track.find_last_of('/') + 1);
  return std::make_unique<GpxWriter>(out, owned, std::move(out_name), live, err_, track,
                                     options_.gap.value_or(kDefaultGapSeconds), &decimals_,
                                     owned ? nullptr : &stdout_);
}

bool Session::OpenExport() {
  if (options_.export_format == Options::Export::kNone) return true;
  if (!options_.output) {
    stdout_taken_ = true;
    return true;
  }
  const std::string& path = *options_.output;
  // Opening for writing empties the file: never the log about to be read.
  struct stat out_st = {};
  struct stat in_st = {};
  if (options_.mode == Options::Mode::kReplay && options_.source != "-" &&
      stat(path.c_str(), &out_st) == 0 && stat(options_.source.c_str(), &in_st) == 0 &&
      out_st.st_dev == in_st.st_dev && out_st.st_ino == in_st.st_ino) {
    std::fprintf(err_, "orvane: -o %s: that is the log being replayed\n", path.c_str());
    return false;
  }
  export_file_ = std::fopen(path.c_str(), "w");
  if (export_file_ == nullptr) {
    std::fprintf(err_, "orvane: -o %s: cannot open: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  return true;
}

bool Session::StartRecording() {
  if (!options_.record) return true;
  std::string error;
  std::FILE* err = err_;
  recorder_ = RecordInto(
      *control_, *options_.record,
      [err](const std::string& message) {
        std::fprintf(err, "orvane: %s\n", message.c_str());
        std::fflush(err);
      },
      &error);
  if (!recorder_) std::fprintf(err_, "orvane: %s\n", error.c_str());
  return recorder_ != nullptr;
}

void Session::Subscribe() {
  fix_lines_ = std::make_unique<FixLines>(*control_, out_);
  // --gpsd writes epochs only: an event sink would have every event built
  // for nothing. The hint and the end are taken as --summary takes them.
  if ((!options_.summary && (options_.json || !options_.gpsd)) || progress_) {
    sink_ = std::make_shared<Sink>(this);
    // The sink only writes output: called on the reader's thread, it never
    // waits for this one.
    control_->events().Advise(sink_, &cookie_, SinkThreading::kFreeThreaded);
  }
  if (!options_.summary && !options_.json && !stdout_taken_) {
    // A line per epoch once more than GP's classic sentences are taken.
    Variant talkers, extended;
    GetProperty(*control_, "Talkers", &talkers);
    GetProperty(*control_, "ExtendedSentences", &extended);
    if (options_.gpsd) {
      const bool live = options_.mode == Options::Mode::kLive;
      owned_outputs_.push_back(std::make_unique<GpsdLines>(stdout_, live));
      outputs_.push_back(owned_outputs_.back().get());
    } else if (!(talkers.vt() == VT_BSTR && talkers.bstr() == u"GP") ||
               (extended.vt() == VT_BOOL && extended.boolean())) {
      outputs_.push_back(fix_lines_.get());
    } else {
      event_lines_ = true;
    }
  }
  if (options_.export_format != Options::Export::kNone) {
    export_ = export_file_ != nullptr ? MakeExport(export_file_, true, *options_.output)
                                      : MakeExport(out_, false, "standard output");
    export_file_ = nullptr;
    outputs_.push_back(export_.get());
  }
  TapTheBytes();
  if (!outputs_.empty())
    epoch_cookie_ = control_->AddEpochObserver([this](const Epoch& e) { OnEpoch(e); });
}

void Session::TapTheBytes() {
  ReceivedDecimals* decimals = export_ != nullptr ? &decimals_ : nullptr;
  if (decimals == nullptr) return;  // the recording's own tap, if any, stands
  control_->SetByteTap([recorder = recorder_.get(), decimals](std::string_view bytes) {
    if (recorder != nullptr) recorder->Feed(bytes);
    decimals->Feed(bytes);
  });
}

void Session::Unsubscribe() {
  if (cookie_ != 0) control_->events().Unadvise(cookie_);
  if (epoch_cookie_ != 0) control_->RemoveEpochObserver(epoch_cookie_);
}

void Session::WatchTheLink() {
  const std::string name = options_.source;
  std::FILE* err = err_;
  Recorder* recorder = recorder_.get();
  control_->SetLinkObserver([name, err, recorder](bool back) {
    if (!back && recorder != nullptr) recorder->DropTornLine();
    std::fprintf(err, "orvane: %s: receiver %s\n", name.c_str(), back ? "back" : "lost, retrying");
    std::fflush(err);
  });
}

void Session::CloseAndWait() {
  std::vector<Variant> none;
  InvokeByName(*control_, "Close", DISPATCH_METHOD, none, nullptr);
  WaitForEnd();
}

int Session::OpenSource() {
  ExcepInfo info;
  HRESULT hr;
  if (options_.mode == Options::Mode::kLive) {
    std::vector<Variant> args = {Variant::Text(options_.source)};
    hr = InvokeByName(*control_, "Open", DISPATCH_METHOD, args, nullptr, &info);
  } else {
    hr = OpenReplay(&info);
  }
  if (FAILED(hr)) {
    ReportOpenError(*control_, SourceName(), hr, info, err_);
    // A port whose settings failed stays open; close it before leaving.
    if (SourceOpen()) CloseAndWait();
    return kExitSourceFailed;
  }
  if (options_.baud && !PutBaud(*control_, *options_.baud, err_)) {
    CloseAndWait();
    return kExitUsage;
  }
  return kExitOk;
}

int Session::Run() {
  if (!control_) {
    std::fprintf(err_, "error 0x8007000E: Not enough memory.\n");
    return 1;
  }
  if (!ApplySets(*control_, options_, err_)) return kExitUsage;
  if (!StartRecording()) return kExitSourceFailed;
  if (!OpenExport()) return kExitSourceFailed;
  if (options_.mode == Options::Mode::kReplay && options_.source == "-") TakeStandardInput();
  // Progress only for a person watching a replay: never into a pipe or a log.
  progress_ = options_.mode == Options::Mode::kReplay && isatty(fileno(err_)) != 0;
  Subscribe();
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  if (options_.mode == Options::Mode::kLive) WatchTheLink();
  const auto start = Clock::now();
  if (const int status = OpenSource(); status != kExitOk) {
    // Whatever was begun is left well-formed, if empty.
    if (export_ != nullptr) export_->Finish();
    return status;
  }
  WaitForEnd();
  return Finish(std::chrono::duration<double>(Clock::now() - start).count());
}

int Session::Finish(double seconds) {
  // What the outputs still hold goes before the closing text.
  for (const auto& output : owned_outputs_) output->Finish();
  if (options_.props && !stdout_.failed()) {
    PrintProperties(*control_, out_, options_.typed);
    stdout_.Check();
  }
  if ((options_.summary || (!options_.json && !options_.gpsd && !stdout_taken_)) &&
      !stdout_.failed()) {
    PrintSummary(*control_, out_, seconds, options_.summary);
    stdout_.Check();
  }
  Unsubscribe();
  const bool exported = export_ == nullptr || export_->Finish();
  if (!hinted_ && !control_->stats().ignored_fix.empty()) HintIgnoredTalker();
  stdout_.Flush();
  if (stdout_.reader_gone()) return kExitReaderGone;
  if (!exported || stdout_.failed()) return kExitSourceFailed;
  if (options_.mode == Options::Mode::kReplay && !g_interrupted) return CheckNotEmpty();
  return kExitOk;
}

int Session::CheckNotEmpty() {
  std::uint64_t handled = 0;
  for (std::uint64_t n : control_->stats().by_row) handled += n;
  if (handled != 0) return kExitOk;
  const NmeaScan scan =
      stream_ ? stream_scan_ : ScanForNmea(open_name_.empty() ? options_.source : open_name_);
  if (scan.found()) return kExitOk;
  if (scan.cr_only() != 0) {
    std::fprintf(err_,
                 "orvane: %s: no NMEA sentences found: lines end with CR only (%llu sentences); "
                 "add --all to read them\n",
                 SourceName().c_str(), static_cast<unsigned long long>(scan.cr_only()));
  } else {
    std::fprintf(err_, "orvane: %s: no NMEA sentences found\n", SourceName().c_str());
  }
  return kExitSourceFailed;
}

}  // namespace orvane::cli
