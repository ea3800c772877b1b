#include "host.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cctype>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <map>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "automation/error_info.h"
#include "control/dispatch.h"
#include "control/member_table.h"
#include "control/orvane_control.h"
#include "engine/sentence.h"
#include "gpsd_json.h"
#include "json.h"
#include "record.h"
#include "sources/baud_rates.h"
#include "watch.h"

namespace orvane::cli {
namespace {

using Clock = std::chrono::steady_clock;

std::atomic<bool> g_interrupted{false};

void OnSignal(int) { g_interrupted = true; }

// Texts for the system codes a host meets besides the control's own.
std::string CodeText(HRESULT hr, const ExcepInfo* info) {
  if (info != nullptr && !info->description.empty()) return Utf16ToUtf8(info->description);
  std::string_view own = ErrorDescription(hr);
  if (!own.empty()) return std::string(own);
  switch (hr) {
    case hr::kTypeMismatch: return "Type mismatch.";
    case hr::kOverflow: return "Overflow.";
    case hr::kMemberNotFound: return "Member not found.";
    case hr::kUnknownName: return "Unknown name.";
    case hr::kBadParamCount: return "Invalid number of parameters.";
    case hr::kParamNotOptional: return "Parameter not optional.";
    case hr::kPointer: return "Invalid pointer.";
    case hr::kOutOfMemory: return "Not enough memory.";
    case hr::kFail: return "Unspecified error.";
    default: return "Unknown error.";
  }
}

std::string Hex(HRESULT hr) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
  return buf;
}

// The failing code a late-bound call reports: the member's own when the
// record turned it into DISP_E_EXCEPTION.
HRESULT Reported(HRESULT hr, const ExcepInfo& info) { return hr == DISP_E_EXCEPTION ? info.scode : hr; }

const EventInfo* FindEvent(DISPID id) {
  for (const EventInfo& e : Events()) {
    if (e.dispid == id) return &e;
  }
  return nullptr;
}

// An event argument by the event table's name for it. The sink receives the
// arguments last first, as IDispatch passes them.
const Variant& EventArg(const EventInfo& event, std::span<Variant> args, std::string_view name) {
  static const Variant kAbsent;
  for (std::size_t k = 0; k < event.param_count; ++k) {
    if (event.params[k] == name) return k < args.size() ? args[args.size() - 1 - k] : kAbsent;
  }
  return kAbsent;
}

constexpr auto kBaudChoices = [] {
  std::array<char, 7 + kBaudRateList.size()> text{};
  std::string_view("one of ").copy(text.data(), 7);
  kBaudRateList.copy(text.data() + 7, kBaudRateList.size());
  return text;
}();
constexpr std::string_view kBaudRates(kBaudChoices.data(), kBaudChoices.size());

// The members whose values are a short list, named in a refused --set.
struct Choices {
  std::string_view member;
  std::string_view values;
};
constexpr Choices kChoices[] = {
    {"SpeedUnits", "0 (miles per hour), 1 (kilometres per hour) or 2 (knots)"},
    {"DistUnits", "0 (metres), 1 (feet), 2 (statute miles) or 3 (nautical miles)"},
    {"AltitudeUnits", "0 (metres) or 1 (feet)"},
    {"LatLonFormat", "0 (degrees), 1 (degrees and minutes) or 2 (degrees, minutes and seconds)"},
    {"BaudRate", kBaudRates},
};

std::string_view ChoicesFor(std::string_view member) {
  for (const Choices& c : kChoices) {
    if (SameMemberName(c.member, member)) return c.values;
  }
  return {};
}

// A well-formed NMEA sentence of any type: "$", a five-character address,
// fields, and a two-digit checksum that matches.
bool IsWellFormedSentence(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.size() < 9 || line[0] != '$' || line.find('*') != line.size() - 3) return false;
  for (std::size_t i = 1; i <= 5; ++i) {
    if (!std::isalnum(static_cast<unsigned char>(line[i]))) return false;
  }
  for (std::size_t i = line.size() - 2; i < line.size(); ++i) {
    if (!std::isxdigit(static_cast<unsigned char>(line[i]))) return false;
  }
  return VerifyChecksum(line);
}

// Looks for a well-formed sentence in bytes given in runs of any length. A
// log is scanned only when nothing was handled, so a log of types the
// control does not decode is not called empty.
class NmeaScan {
 public:
  void Feed(std::string_view bytes) {
    for (char c : bytes) {
      if (found_) return;
      // The same bytes cut at CR alone, to say why a log was read as empty.
      if (c == '\r' || c == '\n') {
        if (!cr_line_.empty() && cr_line_.size() <= kLongestSentence && IsWellFormedSentence(cr_line_)) ++cr_only_;
        cr_line_.clear();
      } else if (cr_line_.size() <= kLongestSentence) {
        cr_line_.push_back(c);
      }
      if (c != '\n') {
        if (line_.size() <= kLongestSentence) line_.push_back(c);
        continue;
      }
      found_ = line_.size() <= kLongestSentence && IsWellFormedSentence(line_);
      line_.clear();
    }
  }
  bool found() const { return found_; }
  // Sentences found only when CR alone ends a line.
  std::uint64_t cr_only() const { return found_ ? 0 : cr_only_; }

 private:
  std::string cr_line_;
  std::uint64_t cr_only_ = 0;
  static constexpr std::size_t kLongestSentence = 4096;  // far beyond any receiver's
  std::string line_;
  bool found_ = false;
};

NmeaScan ScanForNmea(const std::string& path) {
  NmeaScan scan;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return scan;
  char buf[65536];
  for (std::size_t n; !scan.found() && (n = std::fread(buf, 1, sizeof buf, f)) > 0;) scan.Feed({buf, n});
  std::fclose(f);
  return scan;
}

class Session {
 public:
  Session(const Options& options, std::FILE* out, std::FILE* err)
      : options_(options), out_(out), err_(err), control_(CreateOrvaneControl()),
        event_keys_(options.json ? EventKeysOfAll() : std::vector<EventKeys>()) {}
  int Run();

 private:
  // Standard input replayed: as a file when it is one (its size is known),
  // else read as a stream while it arrives.
  void TakeStandardInput();
  // OpenFile, or OpenStream for standard input that is no file.
  HRESULT OpenReplay(ExcepInfo* info);
  class Sink : public EventSink {
   public:
    explicit Sink(Session* session) : session_(session) {}
    HRESULT Invoke(DISPID id, std::span<Variant> args) override {
      session_->OnEvent(id, args);
      return S_OK;
    }

   private:
    Session* session_;
  };

  HRESULT Get(std::string_view name, Variant* value, ExcepInfo* info = nullptr) {
    std::vector<Variant> none;
    return InvokeByName(*control_, name, DISPATCH_PROPERTYGET, none, value, info);
  }
  bool SourceOpen() {
    Variant handle;
    return SUCCEEDED(Get("PortHandle", &handle));
  }
  void OnEvent(DISPID id, std::span<Variant> args);
  // On the reader thread, between the epoch's last sentence and the next.
  void OnEpoch(const Epoch& epoch);
  // Once: fix sentences arrive from a talker Talkers refuses.
  void HintIgnoredTalker();
  void PrintFix(std::span<Variant> args);
  void PrintProperties();
  void AppendKeyed(std::string& s, bool* first, const std::string& key,
                   std::initializer_list<std::pair<const char*, const Variant*>> fields);
  void PrintSummary(double seconds);
  bool WaitForEnd();
  void ShowProgress(Clock::time_point start, bool last);
  std::string SourceName() const { return options_.source == "-" ? "standard input" : options_.source; }

  const Options& options_;
  std::FILE* out_;
  std::FILE* err_;
  std::unique_ptr<Recorder> recorder_;  // outlives the control's reader
  std::unique_ptr<OrvaneControl> control_;
  bool file_complete_ = false;
  std::string open_name_;  // the file replayed, when it is not the source's name
  bool stream_ = false;    // standard input read as a stream
  // A stream cannot be read again to see whether it held NMEA at all: it is
  // scanned as it is read, on the reader's thread, until one is found.
  NmeaScan stream_scan_;
  bool progress_shown_ = false;
  bool epoch_lines_ = false;  // one line per epoch, not per fix sentence
  bool hinted_ = false;
  // --gpsd text not yet written: the reader's until the source has ended.
  static constexpr std::size_t kGpsdWriteBytes = 64 * 1024;
  TextBuffer gpsd_out_;
  void FlushGpsd() {
    if (gpsd_out_.size() == 0) return;
    std::fwrite(gpsd_out_.view().data(), 1, gpsd_out_.size(), out_);
    gpsd_out_.clear();
  }
  std::uint64_t events_ = 0;
  std::string line_;
  // Per event, its JSON written once: `{"event":"Name"` and `,"Arg":` for
  // each argument.
  struct EventKeys {
    DISPID id;
    std::string head;
    std::vector<std::string> keys;
  };
  static std::vector<EventKeys> EventKeysOfAll();
  const std::vector<EventKeys> event_keys_;  // written before any event can arrive
  const EventKeys* KeysFor(DISPID id) const;
};

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

void Session::OnEvent(DISPID id, std::span<Variant> args) {
  ++events_;
  if (!hinted_ && !control_->stats().ignored_fix.empty()) HintIgnoredTalker();
  if (id == kDispIdFileComplete) file_complete_ = true;
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
  } else if (options_.gpsd) {
    return;
  } else if (id == kDispIdFixUpdate) {
    if (!epoch_lines_) PrintFix(args);
  } else if (id == kDispIdFileComplete) {
    std::fprintf(out_, "end of file\n");
  }
  if (options_.mode == Options::Mode::kLive) std::fflush(out_);
}

void Session::PrintFix(std::span<Variant> args) {
  const EventInfo& fix = *FindEvent(kDispIdFixUpdate);
  const Variant& good = EventArg(fix, args, "FixGood");
  const Variant& when = EventArg(fix, args, "FixDateTime");
  const Variant& lat = EventArg(fix, args, "Latitude");
  const Variant& lon = EventArg(fix, args, "Longitude");
  const Variant& speed = EventArg(fix, args, "Speed");
  std::string time = when.vt() == VT_DATE ? IsoDate(when.date()) : std::string();
  Variant units, sats;
  Get("SpeedUnits", &units);
  Get("NumSatellitesInFix", &sats);
  static const char* kUnit[] = {"mph", "km/h", "kn"};
  const int u = units.vt() == VT_I2 && units.i2() >= 0 && units.i2() <= 2 ? units.i2() : 2;
  std::string speed_text = speed.vt() == VT_R8 ? ShortestDouble(std::round(speed.r8() * 100) / 100) : "-";
  std::string sats_text = sats.vt() == VT_I2 ? std::to_string(sats.i2()) : "-";
  std::fprintf(out_, "%-19s  %s  %-16s %-17s %8s %-4s sats %s\n", time.empty() ? "-" : time.c_str(),
               good.vt() == VT_BOOL && good.boolean() ? "fix  " : "nofix", lat.ToUtf8().c_str(),
               lon.ToUtf8().c_str(), speed_text.c_str(), kUnit[u], sats_text.c_str());
}

void Session::HintIgnoredTalker() {
  hinted_ = true;
  Variant talkers;
  Get("Talkers", &talkers);
  std::fprintf(err_, "orvane: the receiver sends %s, which Talkers \"%s\" ignores: add --all\n",
               control_->stats().ignored_fix.c_str(), talkers.ToUtf8().c_str());
  std::fflush(err_);
}

void Session::OnEpoch(const Epoch& e) {
  if (!hinted_ && !control_->stats().ignored_fix.empty()) HintIgnoredTalker();
  if (options_.gpsd) {
    // Many epochs to one write; a live receiver's each as it ends.
    AppendGpsd(gpsd_out_, e);
    if (gpsd_out_.size() >= kGpsdWriteBytes || options_.mode == Options::Mode::kLive) FlushGpsd();
  } else {
    // The fix line, from the properties as the epoch left them, with the
    // heading and GST's horizontal error when the receiver sent them.
    Variant good, when, lat, lon, speed, units, sats;
    Get("FixGood", &good);
    Get("FixDateTime", &when);
    Get("Latitude", &lat);
    Get("Longitude", &lon);
    Get("Speed", &speed);
    Get("SpeedUnits", &units);
    Get("NumSatellitesInFix", &sats);
    static const char* kUnit[] = {"mph", "km/h", "kn"};
    const int u = units.vt() == VT_I2 && units.i2() >= 0 && units.i2() <= 2 ? units.i2() : 2;
    const std::string time = when.vt() == VT_DATE && when.date() != 0.0 ? IsoDate(when.date()) : "-";
    const std::string speed_text =
        speed.vt() == VT_R8 ? ShortestDouble(std::round(speed.r8() * 100) / 100) : "-";
    std::string sats_text = sats.vt() == VT_I2 ? std::to_string(sats.i2()) : "-";
    if (!e.satellites_used && sats.vt() != VT_I2) sats_text = "-";
    std::string extra;
    char buf[64];
    if (e.heading) {
      std::snprintf(buf, sizeof buf, "  hdg %.1f", *e.heading);
      extra += buf;
    } else if (e.magnetic_heading) {
      std::snprintf(buf, sizeof buf, "  hdg %.1f M", *e.magnetic_heading);
      extra += buf;
    }
    if (e.latitude_error && e.longitude_error) {
      std::snprintf(buf, sizeof buf, "  err %.1f m", std::hypot(*e.latitude_error, *e.longitude_error));
      extra += buf;
    }
    std::fprintf(out_, "%-19s  %s  %-16s %-17s %8s %-4s sats %s%s\n", time.c_str(),
                 (good.vt() == VT_BOOL && good.boolean()) || e.mode.value_or(0) >= 2 ? "fix  " : "nofix",
                 lat.ToUtf8().c_str(), lon.ToUtf8().c_str(), speed_text.c_str(), kUnit[u], sats_text.c_str(),
                 extra.c_str());
  }
  if (options_.mode == Options::Mode::kLive) std::fflush(out_);
}

// ,"key":{"Name":value,...} (no comma before the first entry).
void Session::AppendKeyed(std::string& s, bool* first, const std::string& key,
                          std::initializer_list<std::pair<const char*, const Variant*>> fields) {
  if (!*first) s += ',';
  *first = false;
  AppendJsonString(s, key);
  s += ":{";
  bool inner_first = true;
  for (const auto& [name, value] : fields) {
    if (!inner_first) s += ',';
    inner_first = false;
    AppendJsonString(s, name);
    s += ':';
    AppendJson(s, *value, options_.typed);
  }
  s += '}';
}

void Session::PrintProperties() {
  std::string s = "{\"properties\":{";
  bool first = true;
  for (const auto& m : Members()) {
    if (m.kind != MemberKind::kGet) continue;
    if (!first) s += ',';
    first = false;
    AppendJsonString(s, m.name);
    s += ':';
    Variant v;
    ExcepInfo info;
    const HRESULT hr = Get(m.name, &v, &info);
    if (FAILED(hr)) {
      const HRESULT code = Reported(hr, info);
      s += "{\"error\":";
      AppendJsonString(s, Hex(code));
      s += ",\"description\":";
      AppendJsonString(s, CodeText(code, &info));
      s += '}';
    } else {
      AppendJson(s, v, options_.typed);
    }
  }
  s += "},\"satellites\":{";
  Variant prns;
  Get("SatelliteInViewPRNs", &prns);
  first = true;
  std::map<int, bool> seen;
  for (const auto& prn : prns.array()) {
    if (prn.vt() != VT_I2 || seen[prn.i2()]) continue;
    seen[prn.i2()] = true;
    std::vector<Variant> args = {prn, Variant(), Variant(), Variant()};
    InvokeByName(*control_, "GetSatelliteInfo", DISPATCH_METHOD, args, nullptr);
    AppendKeyed(s, &first, std::to_string(prn.i2()),
                {{"Azimuth", &args[1]}, {"Elevation", &args[2]}, {"SignalToNoiseRatio", &args[3]}});
  }
  s += "},\"waypoints\":{";
  Variant names;
  Get("WptsInRoute", &names);
  first = true;
  std::map<std::u16string, bool> named;
  for (const auto& name : names.array()) {
    if (name.vt() != VT_BSTR || named[name.bstr()]) continue;
    named[name.bstr()] = true;
    std::vector<Variant> args = {name, Variant(), Variant()};
    InvokeByName(*control_, "GetWptLocation", DISPATCH_METHOD, args, nullptr);
    AppendKeyed(s, &first, name.ToUtf8(), {{"Latitude", &args[1]}, {"Longitude", &args[2]}});
  }
  s += "}}\n";
  std::fwrite(s.data(), 1, s.size(), out_);
}

void Session::PrintSummary(double seconds) {
  const Receiver::Stats& st = control_->stats();
  std::fprintf(out_, "summary: %llu lines in %.3f s (%.0f lines/s)\n", static_cast<unsigned long long>(st.lines),
               seconds, seconds > 0 ? static_cast<double>(st.lines) / seconds : 0.0);
  // Counted whatever the talker: "$--" says so once more than GP is taken.
  Variant talkers;
  Get("Talkers", &talkers);
  const std::string talker = talkers.vt() == VT_BSTR && talkers.bstr() == u"GP" ? "$GP" : "$--";
  Variant extended;
  Get("ExtendedSentences", &extended);
  const bool with_extended = extended.vt() == VT_BOOL && extended.boolean();
  const auto& rows = Receiver::Sentences();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].extended && !with_extended) continue;
    const std::string identifier = talker + std::string(rows[i].identifier);
    std::fprintf(out_, "  %-8s %llu\n", identifier.c_str(), static_cast<unsigned long long>(st.by_row[i]));
  }
  std::fprintf(out_, "  %-8s %llu\n", "other", static_cast<unsigned long long>(st.unrecognised));
  // What "other" holds, when only the summary is asked for.
  for (const auto& [name, count] : options_.summary ? st.other_types : decltype(st.other_types){}) {
    std::fprintf(out_, "    %-8s %llu\n", name.c_str(), static_cast<unsigned long long>(count));
  }
  std::fprintf(out_, "  dropped by checksum: %llu\n", static_cast<unsigned long long>(st.checksum_dropped));
  if (st.overlong_dropped != 0) {
    std::fprintf(out_, "  dropped as overlong: %llu\n", static_cast<unsigned long long>(st.overlong_dropped));
  }
}

// Pumps this thread's apartment until the reader has closed its source.
bool Session::WaitForEnd() {
  auto apartment = Apartment::Current();
  const bool live = options_.mode == Options::Mode::kLive;
  const auto deadline = options_.duration >= 0
                            ? Clock::now() + std::chrono::milliseconds(static_cast<long long>(options_.duration * 1000))
                            : Clock::time_point::max();
  bool closing = false;
  // Progress only for a person watching: never into a pipe or a log.
  const bool progress = !live && isatty(fileno(err_)) != 0;
  const auto start = Clock::now();
  while (true) {
    apartment->RunUntil([&] { return g_interrupted.load() || !SourceOpen() || (live && Clock::now() >= deadline); },
                        std::chrono::milliseconds(200));
    if (progress && Clock::now() - start >= std::chrono::seconds(1)) ShowProgress(start, false);
    if (!SourceOpen()) break;
    if (!closing && (g_interrupted || (live && Clock::now() >= deadline))) {
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
  const std::uint64_t lines = control_->stats().lines;
  Variant when;
  Get("FixDateTime", &when);
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
  const Variant scale =
      options_.time_scale ? Variant::Text(*options_.time_scale) : Variant::Error(DISP_E_PARAMNOTFOUND);
  if (stream_) {
    std::optional<ErrorRecord> record;
    const auto open = [&] {
      return control_->OpenStream(STDIN_FILENO, scale, [this](std::string_view bytes) { stream_scan_.Feed(bytes); });
    };
    const HRESULT hr = CallRecording(open, &record);
    if (FAILED(hr) && record) FillExcepInfo(*record, hr, info);
    return hr;
  }
  std::vector<Variant> args = {Variant::Text(open_name_.empty() ? options_.source : open_name_), scale};
  return InvokeByName(*control_, "OpenFile", DISPATCH_METHOD, args, nullptr, info);
}

int Session::Run() {
  if (!control_) {
    std::fprintf(err_, "error 0x8007000E: Not enough memory.\n");
    return 1;
  }
  if (!ApplySets(*control_, options_, err_)) return kExitUsage;
  if (options_.record) {
    std::string error;
    std::FILE* err = err_;
    recorder_ = RecordInto(*control_, *options_.record, [err](const std::string& message) {
      std::fprintf(err, "orvane: %s\n", message.c_str());
      std::fflush(err);
    }, &error);
    if (!recorder_) {
      std::fprintf(err_, "orvane: %s\n", error.c_str());
      return kExitSourceFailed;
    }
  }
  if (options_.mode == Options::Mode::kReplay && options_.source == "-") TakeStandardInput();
  std::shared_ptr<Sink> sink;
  std::uint32_t cookie = 0;
  // --gpsd writes epochs only: an event sink would have every event built
  // for nothing. The hint and the end are taken as --summary takes them.
  if (!options_.summary && (options_.json || !options_.gpsd)) {
    sink = std::make_shared<Sink>(this);
    // The sink only writes output: called on the reader's thread, it never
    // waits for this one.
    control_->events().Advise(sink, &cookie, SinkThreading::kFreeThreaded);
  }
  if (!options_.summary && !options_.json) {
    Variant talkers, extended;
    Get("Talkers", &talkers);
    Get("ExtendedSentences", &extended);
    epoch_lines_ = options_.gpsd || !(talkers.vt() == VT_BSTR && talkers.bstr() == u"GP") ||
                   (extended.vt() == VT_BOOL && extended.boolean());
  }
  std::uint32_t epoch_cookie = 0;
  if (epoch_lines_) epoch_cookie = control_->AddEpochObserver([this](const Epoch& e) { OnEpoch(e); });
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  if (options_.mode == Options::Mode::kLive) {
    const std::string name = options_.source;
    std::FILE* err = err_;
    Recorder* recorder = recorder_.get();
    control_->SetLinkObserver([name, err, recorder](bool back) {
      if (!back && recorder != nullptr) recorder->DropTornLine();
      std::fprintf(err, "orvane: %s: receiver %s\n", name.c_str(), back ? "back" : "lost, retrying");
      std::fflush(err);
    });
  }
  const auto start = Clock::now();
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
    if (SourceOpen()) {
      std::vector<Variant> none;
      InvokeByName(*control_, "Close", DISPATCH_METHOD, none, nullptr);
      WaitForEnd();
    }
    return kExitSourceFailed;
  }
  if (options_.baud && !PutBaud(*control_, *options_.baud, err_)) {
    std::vector<Variant> none;
    InvokeByName(*control_, "Close", DISPATCH_METHOD, none, nullptr);
    WaitForEnd();
    return kExitUsage;
  }
  WaitForEnd();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (options_.props) PrintProperties();
  if (options_.summary || (!options_.json && !options_.gpsd)) PrintSummary(seconds);
  if (cookie != 0) control_->events().Unadvise(cookie);
  if (epoch_cookie != 0) control_->RemoveEpochObserver(epoch_cookie);
  FlushGpsd();
  if (!hinted_ && !control_->stats().ignored_fix.empty()) HintIgnoredTalker();
  std::fflush(out_);
  if (options_.mode == Options::Mode::kReplay && !g_interrupted) {
    std::uint64_t handled = 0;
    for (std::uint64_t n : control_->stats().by_row) handled += n;
    const NmeaScan scan = stream_ ? stream_scan_ : ScanForNmea(open_name_.empty() ? options_.source : open_name_);
    if (handled == 0 && !scan.found()) {
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
  }
  return kExitOk;
}

}  // namespace

bool ApplySets(OrvaneControl& control, const Options& options, std::FILE* err) {
  // --all goes first, so a --set after it can narrow it again.
  std::vector<std::pair<std::string, std::string>> sets;
  if (options.all) sets = {{"Talkers", "*"}, {"ExtendedSentences", "True"}};
  sets.insert(sets.end(), options.sets.begin(), options.sets.end());
  for (const auto& [name, value] : sets) {
    std::vector<Variant> args = {Variant::Text(value)};
    ExcepInfo info;
    const HRESULT hr = InvokeByName(control, name, DISPATCH_PROPERTYPUT, args, nullptr, &info);
    if (FAILED(hr)) {
      const HRESULT code = Reported(hr, info);
      std::fprintf(err, "%s: error %s: %s\n", name.c_str(), Hex(code).c_str(), CodeText(code, &info).c_str());
      const std::string_view choices = ChoicesFor(name);
      if (!choices.empty() && (code == E_INVALIDARG || code == DISP_E_TYPEMISMATCH || code == DISP_E_OVERFLOW)) {
        std::fprintf(err, "orvane: --set %s: expected %.*s, got \"%s\"\n", name.c_str(),
                     static_cast<int>(choices.size()), choices.data(), value.c_str());
      }
      return false;
    }
  }
  return true;
}

void ReportOpenError(OrvaneControl& control, const std::string& source, HRESULT hr, const ExcepInfo& info,
                     std::FILE* err) {
  const HRESULT code = Reported(hr, info);
  if (code != kCannotOpenPort && code != kCannotOpenFile) {
    std::fprintf(err, "error %s: %s\n", Hex(code).c_str(), CodeText(code, &info).c_str());
    return;
  }
  // Named, and with its cause when known.
  const std::string cause = control.LastOpenFailure();
  if (cause.empty()) {
    std::fprintf(err, "orvane: %s: error %s: %s\n", source.c_str(), Hex(code).c_str(), CodeText(code, &info).c_str());
  } else {
    std::fprintf(err, "orvane: %s: %s (error %s: %s)\n", source.c_str(), cause.c_str(), Hex(code).c_str(),
                 CodeText(code, &info).c_str());
  }
}

bool PutBaud(OrvaneControl& control, const std::string& baud, std::FILE* err) {
  std::vector<Variant> args = {Variant::Text(baud)};
  ExcepInfo info;
  const HRESULT hr = InvokeByName(control, "BaudRate", DISPATCH_PROPERTYPUT, args, nullptr, &info);
  if (SUCCEEDED(hr)) return true;
  const HRESULT code = Reported(hr, info);
  std::fprintf(err, "orvane: --baud: %s (error %s: %s)\n",
               code == E_INVALIDARG || code == DISP_E_TYPEMISMATCH
                   ? ("expected " + std::string(kBaudRates) + ", got \"" + baud + "\"").c_str()
                   : "the port refused the line speed",
               Hex(code).c_str(), CodeText(code, &info).c_str());
  return false;
}

namespace {

bool StartsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

// The option taking a value that `arg` begins with, or null.
const char* ValuedFlag(std::string_view arg) {
  for (const char* flag : {"--time-scale", "--baud", "--duration", "--set", "--record"}) {
    if (StartsWith(arg, flag)) return flag;
  }
  return nullptr;
}

}  // namespace

void PrintUsage(std::FILE* out) {
  constexpr std::size_t wrap = kBaudRateList.find(" 1200");  // the rates' first line ends at 600
  std::fprintf(out,
               "usage:\n"
               "  orvane replay [--time-scale X] [--set NAME=VALUE]... [--json [--typed]] [--props] [--summary] FILE|-\n"
               "  orvane live SOURCE [--baud RATE] [--set NAME=VALUE]... [--json [--typed]] [--props] [--summary]\n"
               "              [--record FILE] [--duration SECONDS]\n"
               "  orvane watch SOURCE|FILE [--time-scale X] [--baud RATE] [--set NAME=VALUE]... [--record FILE]\n"
               "              [--duration SECONDS]\n"
               "  orvane members\n"
               "  orvane --help | --version\n"
               "\n"
               "replay   replays an NMEA log, as fast as it reads or paced; - reads standard input, a pipe\n"
               "         or socket as it arrives until its writer closes it (a file named - is ./-)\n"
               "live     reads a receiver until interrupted; SOURCE is a serial device (/dev/ttyUSB0),\n"
               "         tcp://HOST:PORT, udp://[ADDRESS]:PORT or gpsd://HOST[:PORT] (port 2947 if left out);\n"
               "         a receiver that is unplugged or whose server goes away is retried every second\n"
               "watch    a full-screen view of a receiver or a log (paced, real time unless --time-scale):\n"
               "         the fix, the satellites with a sky plot, the source's rates; keys: q quits,\n"
               "         f cycles the coordinate format, u the units, space pauses a log\n"
               "members  lists the automation members: DISPID, kind, name, parameters\n"
               "\n"
               "--time-scale X    replay, watch of a log: X times real time (0.00001 up to, not including, 1001)\n"
               "--baud RATE       live, watch: the line speed, set after the port opens (Open always starts at\n"
               "                  4800, so --set BaudRate=... before it cannot do this); one of %.*s\n"
               "                  %.*s\n"
               "--set NAME=VALUE  puts a property before the source opens (e.g. --set SpeedUnits=1)\n"
               "--json            one JSON object per event; --typed adds each value's VARTYPE\n"
               "--props           after the end, every property, satellite and waypoint as JSON\n"
               "--summary         only the closing summary: counts, dropped lines, time, rate\n"
               "--record FILE     live, watch: appends every byte received to FILE as it arrives, for a\n"
               "                  later replay (a file that cannot be opened is an error before the source)\n"
               "--duration S      live, watch: close after S seconds\n"
               "--help, -h        this text; --version: the version\n"
               "\n"
               "A replay longer than a second shows its progress on standard error when that is a terminal:\n"
               "percent of the file (not for standard input that is a pipe), lines, fix time reached, lines/s.\n"
               "\n"
               "exit status:\n"
               "  0  success\n"
               "  1  the source failed: it could not be opened, or a log held no NMEA sentences; or the\n"
               "     --record file could not be opened\n"
               "  2  a usage or value error: unknown option, refused --set, --baud or --time-scale value\n"
               "\n"
               "examples:\n"
               "  orvane live /dev/ttyUSB0 --baud 38400 --json\n"
               "  gunzip -c trip.nmea.gz | orvane replay - --time-scale 10\n"
               "  orvane watch /dev/ttyACM0 --record drive.nmea\n",
               static_cast<int>(wrap), kBaudRateList.data(), static_cast<int>(kBaudRateList.size() - wrap - 1),
               kBaudRateList.data() + wrap + 1);
}

namespace {

// One option that takes a value (given as FLAG=VALUE or as the next word),
// checked and stored. Returns false with `error` set when it is refused.
bool TakeValuedOption(const std::string& flag, const std::string& v, Options& o, std::string* error) {
  if (flag == "--time-scale") {
    // Numbers go to OpenFile, which judges their range; text is refused here.
    char* end = nullptr;
    std::strtod(v.c_str(), &end);
    if (v.empty() || end == v.c_str() || *end != '\0') {
      *error = "--time-scale: expected a number from 0.00001 to 1000, got \"" + v + "\"";
      return false;
    }
    o.time_scale = v;
  } else if (flag == "--baud") {
    o.baud = v;
  } else if (flag == "--record") {
    o.record = v;
  } else if (flag == "--duration") {
    char* end = nullptr;
    o.duration = std::strtod(v.c_str(), &end);
    if (end == v.c_str() || *end != '\0' || o.duration < 0) {
      *error = "--duration needs a number of seconds";
      return false;
    }
  } else {  // --set
    const auto eq = v.find('=');
    if (eq == std::string::npos || eq == 0) {
      *error = "--set needs NAME=VALUE";
      return false;
    }
    o.sets.emplace_back(v.substr(0, eq), v.substr(eq + 1));
  }
  return true;
}

// The command word and its source.
bool TakeCommand(const std::vector<std::string>& positional, Options& o, std::string* error) {
  if (positional.empty()) {
    *error = "missing command";
    return false;
  }
  if (positional[0] == "members" && positional.size() == 1) {
    o.mode = Options::Mode::kMembers;
    return true;
  }
  const bool known = positional[0] == "replay" || positional[0] == "live" || positional[0] == "watch";
  if (!known || positional.size() != 2) {
    *error = known ? positional[0] + " needs exactly one source" : "unknown command " + positional[0];
    return false;
  }
  o.mode = positional[0] == "live"    ? Options::Mode::kLive
           : positional[0] == "watch" ? Options::Mode::kWatch
                                      : Options::Mode::kReplay;
  o.source = positional[1];
  return true;
}

// --typed implies --json; options of the other command are refused.
bool SettleOptions(Options& o, std::string* error) {
  if (o.typed && !o.json) o.json = true;
  if (o.time_scale && o.mode == Options::Mode::kLive) {
    *error = "--time-scale is for replay and watch";
    return false;
  }
  if (o.baud && o.mode == Options::Mode::kReplay) {
    *error = "--baud is for live and watch";
    return false;
  }
  if (o.record && o.mode == Options::Mode::kReplay) {
    *error = "--record is for live and watch";
    return false;
  }
  if (o.mode == Options::Mode::kWatch && (o.json || o.props || o.summary)) {
    *error = "watch draws the screen: --json, --props and --summary are for replay and live";
    return false;
  }
  return true;
}

}  // namespace

std::optional<Options> ParseArgs(int argc, char** argv, std::string* error, bool* help, bool* version) {
  *help = *version = false;
  Options o;
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      *help = true;
      return o;
    } else if (a == "--version") {
      *version = true;
      return o;
    } else if (a == "--json") {
      o.json = true;
    } else if (a == "--typed") {
      o.typed = true;
    } else if (a == "--props") {
      o.props = true;
    } else if (a == "--summary") {
      o.summary = true;
    } else if (a == "--all") {
      o.all = true;
    } else if (a == "--gpsd") {
      o.gpsd = true;
    } else if (const char* flag = ValuedFlag(a)) {
      const std::string f = flag;
      std::string v;
      if (StartsWith(a, f + "=")) {
        v = a.substr(f.size() + 1);
      } else if (i + 1 < argc) {
        v = argv[++i];
      } else {
        *error = f + " needs a value";
        return std::nullopt;
      }
      if (!TakeValuedOption(f, v, o, error)) return std::nullopt;
    } else if (StartsWith(a, "--")) {
      *error = "unknown option " + a;
      return std::nullopt;
    } else {
      positional.push_back(a);
    }
  }
  if (!TakeCommand(positional, o, error)) return std::nullopt;
  if (o.mode == Options::Mode::kMembers) return o;
  if (!SettleOptions(o, error)) return std::nullopt;
  return o;
}

int Run(const Options& options, std::FILE* out, std::FILE* err) {
  if (options.mode == Options::Mode::kMembers) {
    for (const auto& m : AllMembers()) {
      if (&m == &AllMembers()[Members().size()]) std::fprintf(out, "IOrvane2:\n");
      std::string params;
      for (std::size_t k = 0; k < m.param_count; ++k) {
        if (k) params += ", ";
        if (m.params[k].out) params += "[out] ";
        if (m.params[k].optional) params += "[optional] ";
        params += m.params[k].name;
      }
      if (m.kind == MemberKind::kGet) params = "[out, retval] pVal";
      std::fprintf(out, "%3d  %-6.*s  %-32.*s (%s)\n", m.dispid, static_cast<int>(KindName(m.kind).size()),
                   KindName(m.kind).data(), static_cast<int>(m.name.size()), m.name.data(), params.c_str());
    }
    std::fprintf(out, "events:\n");
    for (const auto& e : Events()) {
      std::string params;
      for (std::size_t k = 0; k < e.param_count; ++k) {
        if (k) params += ", ";
        params += e.params[k];
      }
      std::fprintf(out, "%3d  event   %-32.*s (%s)\n", e.dispid, static_cast<int>(e.name.size()), e.name.data(),
                   params.c_str());
    }
    return 0;
  }
  if (options.mode == Options::Mode::kWatch) return RunWatch(options, err);
  Session session(options, out, err);
  return session.Run();
}

}  // namespace orvane::cli
