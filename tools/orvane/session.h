// replay and live: the control driven through late binding and its events,
// as any automation host would, and its outputs.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "control/orvane_control.h"
#include "epoch_output.h"
#include "export.h"
#include "fix_lines.h"
#include "host.h"
#include "nmea_scan.h"
#include "record.h"
#include "write_check.h"

namespace orvane::cli {

class Session {
 public:
  Session(const Options& options, std::FILE* out, std::FILE* err);
  int Run();

 private:
  using Clock = std::chrono::steady_clock;
  class Sink;
  // Per event, its JSON written once: `{"event":"Name"` and `,"Arg":` for
  // each argument.
  struct EventKeys {
    DISPID id;
    std::string head;
    std::vector<std::string> keys;
  };
  static std::vector<EventKeys> EventKeysOfAll();
  const EventKeys* KeysFor(DISPID id) const;

  // Standard input replayed: as a file when it is one (its size is known),
  // else read as a stream while it arrives.
  void TakeStandardInput();
  // OpenFile, or OpenStream for standard input that is no file.
  HRESULT OpenReplay(ExcepInfo* info);
  // Open, or the replay's open; its error said and the source closed.
  int OpenSource();
  bool StartRecording();
  // Opens -o before the source; false after saying why it cannot be.
  bool OpenExport();
  std::unique_ptr<EpochOutput> MakeExport(std::FILE* out, bool owned, std::string out_name);
  // The event sink and the epoch outputs, before the source opens.
  void Subscribe();
  void Unsubscribe();
  // The recording and the export's decimals: one tap.
  void TapTheBytes();
  void WatchTheLink();
  void CloseAndWait();
  // After the source closed: what is written at the end; the exit status.
  int Finish(double seconds);
  // A replay that handled nothing: exit 1 when it held no NMEA at all.
  int CheckNotEmpty();
  bool SourceOpen();
  bool ExportFailed() const { return export_ != nullptr && export_->Failed(); }
  void OnEvent(DISPID id, std::span<Variant> args);
  // After an event's or an epoch's output: live, flushed at once; either
  // way, a failed write seen on the thread that made it.
  void EndWrite();
  // On the reader thread, between the epoch's last sentence and the next.
  void OnEpoch(const Epoch& epoch);
  // Once: fix sentences arrive from a talker Talkers refuses.
  void HintIgnoredTalker();
  bool WaitForEnd();
  void ShowProgress(Clock::time_point start, bool last);
  std::string SourceName() const {
    return options_.source == "-" ? "standard input" : options_.source;
  }

  const Options& options_;
  std::FILE* out_;
  std::FILE* err_;
  // Standard output's first failed write ends the session.
  WriteCheck stdout_;
  std::unique_ptr<Recorder> recorder_;  // outlives the control's reader
  std::unique_ptr<OrvaneControl> control_;
  std::shared_ptr<Sink> sink_;
  std::uint32_t cookie_ = 0;
  std::uint32_t epoch_cookie_ = 0;
  bool file_complete_ = false;
  std::string open_name_;  // the file replayed, when it is not the source's name
  bool stream_ = false;    // standard input read as a stream
  // A stream cannot be read again to see whether it held NMEA at all: it is
  // scanned as it is read, on the reader's thread, until one is found.
  NmeaScan stream_scan_;
  bool progress_ = false;
  bool progress_shown_ = false;
  std::atomic<std::uint64_t> lines_read_{0};  // as the reader last counted them
  std::unique_ptr<FixLines> fix_lines_;
  bool event_lines_ = false;  // fix lines follow the FixUpdate events
  // Fed each epoch.
  std::vector<EpochOutput*> outputs_;
  std::vector<std::unique_ptr<EpochOutput>> owned_outputs_;
  // --gpx or --csv without -o: standard output holds the export alone.
  bool stdout_taken_ = false;
  std::FILE* export_file_ = nullptr;  // -o, opened before the source
  std::unique_ptr<EpochOutput> export_;
  ReceivedDecimals decimals_;  // fed on the reader's thread, read there too
  bool hinted_ = false;
  std::uint64_t events_ = 0;
  std::string line_;
  const std::vector<EventKeys> event_keys_;  // written before any event can arrive
};

}  // namespace orvane::cli
