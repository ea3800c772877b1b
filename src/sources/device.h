// The operating-system side of the device sources, behind a narrow seam: the
// reader loop and the member logic in source_manager.cc are the same on
// every platform, only these calls differ.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "automation/platform.h"
#include "engine/stop_event.h"

namespace orvane::detail {

// A file descriptor on POSIX.
using NativeHandle = std::intptr_t;
inline constexpr NativeHandle kNoHandle = -1;

// Longest device or file path accepted, terminating zero excluded.
std::size_t MaxPathBytes();

// Opens a serial device for exclusive use, non-blocking. Refuses a path that
// is not a terminal: such a "port" would read as always ready. kNoHandle on
// any failure, busy included; `cause` then says why, when it can.
NativeHandle OpenPort(const std::string& path, std::string* cause = nullptr);
// Raw 8N1 at 4800 baud, receiver on, no flow control, reads that never wait;
// then DTR on, RTS off, break cleared (those three may fail: a pty refuses
// them). S_OK, kGetCommStateFailed or kSetCommStateFailed.
HRESULT ConfigurePort(NativeHandle port);
// Line speed in bits per second; false when the handle is no terminal.
bool GetPortSpeed(NativeHandle port, std::int32_t* baud);
// S_OK, kGetCommStateFailed or kSetCommStateFailed.
HRESULT SetPortSpeed(NativeHandle port, std::int32_t baud);
void ClosePort(NativeHandle port);

enum class PortWait {
  kStop,          // the stop event is set
  kReadable,      // bytes arrived
  kTimeout,       // nothing within the time-out
  kDeviceFailed,  // hang-up or error on the device
  kWaitFailed,    // the wait itself failed
};
// Sleeps until bytes arrive, the device fails, `stop` is set or the time-out
// passes. With `device` false only the stop event is watched.
PortWait WaitForPort(NativeHandle port, const StopEvent& stop, int timeout_ms, bool device);

// Appends every byte now waiting (maybe none). False when the device failed.
bool ReadAvailable(NativeHandle port, std::string& pending);

// Opens an existing regular file for reading; kNoHandle otherwise, with
// `cause` saying why when it can.
NativeHandle OpenLogFile(const std::string& path, std::string* cause = nullptr);
enum class ReadAtResult { kData, kEndOfFile, kFailed };
// Appends up to `count` bytes read at `offset`.
ReadAtResult ReadAt(NativeHandle file, std::uint64_t offset, std::size_t count, std::string& out);
// True when `offset` lies at or past the end of the file (or its size is
// unknown): failed reads there may stop being retried.
bool AtOrPastEnd(NativeHandle file, std::uint64_t offset);
// The file's length now; 0 when unknown.
std::uint64_t FileSize(NativeHandle file);
void CloseLogFile(NativeHandle file);

// A pipe, socket or terminal replayed to its end. The source reads its own
// duplicate of `stream`, which stays the caller's; kNoHandle with `cause`
// when there is none to take.
NativeHandle DuplicateStream(NativeHandle stream, std::string* cause);
enum class StreamWait { kStop, kReadable, kTimeout };
// Sleeps until bytes (or the end, or an error) wait, `stop` is set or the
// time-out passes.
StreamWait WaitForStream(NativeHandle stream, const StopEvent& stop, int timeout_ms);
// One read of up to `count` bytes; after WaitForStream said kReadable it
// does not block. kEndOfFile once the writer has closed.
ReadAtResult ReadStream(NativeHandle stream, std::size_t count, std::string& out);
void CloseStream(NativeHandle stream);

// Held by a reader thread for its whole life: on Windows the thread enters a
// single-threaded apartment of its own, so events reach each sink through
// COM; elsewhere it does nothing.
class ReaderThreadScope {
 public:
  ReaderThreadScope();
  ~ReaderThreadScope();
  ReaderThreadScope(const ReaderThreadScope&) = delete;
  ReaderThreadScope& operator=(const ReaderThreadScope&) = delete;

 private:
  bool entered_ = false;
};

}  // namespace orvane::detail
