// The Windows side of the two sources: a serial port opened for overlapped
// I/O and woken by the line feed (EV_RXFLAG), and a log file read with
// overlapped reads at explicit offsets.
#include <map>
#include <mutex>

#include "automation/platform.h"
#include "sources/device.h"

namespace orvane::detail {
namespace {

HANDLE AsHandle(NativeHandle h) { return reinterpret_cast<HANDLE>(h); }

// The armed WaitCommEvent of an open port outlives one WaitForPort call.
struct PortWaitState {
  OVERLAPPED overlapped{};
  DWORD mask = 0;
  bool armed = false;
};

std::mutex g_ports_mutex;
std::map<HANDLE, PortWaitState*> g_ports;

PortWaitState* StateOf(NativeHandle port) {
  std::lock_guard<std::mutex> lock(g_ports_mutex);
  auto it = g_ports.find(AsHandle(port));
  return it == g_ports.end() ? nullptr : it->second;
}

}  // namespace

std::size_t MaxPathBytes() { return MAX_PATH - 1; }

NativeHandle OpenPort(const std::string& path, std::string* /*cause*/) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) return kNoHandle;
  auto* state = new PortWaitState;
  state->overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SetCommMask(h, EV_RXFLAG | EV_ERR);
  std::lock_guard<std::mutex> lock(g_ports_mutex);
  g_ports[h] = state;
  return reinterpret_cast<NativeHandle>(h);
}

HRESULT ConfigurePort(NativeHandle port) {
  COMMTIMEOUTS timeouts{};  // no time-outs
  if (!SetCommTimeouts(AsHandle(port), &timeouts)) return kSetCommTimeoutsFailed;
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(AsHandle(port), &dcb)) return kGetCommStateFailed;
  SetupComm(AsHandle(port), 1024, 1024);
  dcb.BaudRate = 4800;
  dcb.fParity = TRUE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fNull = FALSE;
  dcb.XonLim = 512;
  dcb.XoffLim = 341;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  dcb.EvtChar = 0x0A;
  const bool set = SetCommState(AsHandle(port), &dcb) != FALSE;
  EscapeCommFunction(AsHandle(port), SETDTR);
  EscapeCommFunction(AsHandle(port), CLRRTS);
  EscapeCommFunction(AsHandle(port), CLRBREAK);
  return set ? S_OK : kSetCommStateFailed;
}

bool GetPortSpeed(NativeHandle port, std::int32_t* baud) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(AsHandle(port), &dcb)) return false;
  *baud = static_cast<std::int32_t>(dcb.BaudRate);
  return true;
}

HRESULT SetPortSpeed(NativeHandle port, std::int32_t baud) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(AsHandle(port), &dcb)) return kGetCommStateFailed;
  dcb.BaudRate = static_cast<DWORD>(baud);
  return SetCommState(AsHandle(port), &dcb) ? S_OK : kSetCommStateFailed;
}

void ClosePort(NativeHandle port) {
  PortWaitState* state = nullptr;
  {
    std::lock_guard<std::mutex> lock(g_ports_mutex);
    auto it = g_ports.find(AsHandle(port));
    if (it != g_ports.end()) {
      state = it->second;
      g_ports.erase(it);
    }
  }
  if (state != nullptr && state->armed) {
    // A zero mask completes the pending wait before its OVERLAPPED goes away.
    SetCommMask(AsHandle(port), 0);
    DWORD ignored = 0;
    GetOverlappedResult(AsHandle(port), &state->overlapped, &ignored, TRUE);
  }
  CloseHandle(AsHandle(port));
  if (state != nullptr) {
    CloseHandle(state->overlapped.hEvent);
    delete state;
  }
}

PortWait WaitForPort(NativeHandle port, const StopEvent& stop, int timeout_ms, bool device) {
  if (!device) {
    return stop.WaitFor(std::chrono::milliseconds(timeout_ms)) ? PortWait::kStop
                                                               : PortWait::kTimeout;
  }
  PortWaitState* state = StateOf(port);
  if (state == nullptr || state->overlapped.hEvent == nullptr) return PortWait::kWaitFailed;
  if (!state->armed) {
    ResetEvent(state->overlapped.hEvent);
    state->mask = 0;
    if (WaitCommEvent(AsHandle(port), &state->mask, &state->overlapped)) {
      return (state->mask & EV_RXFLAG) ? PortWait::kReadable : PortWait::kTimeout;
    }
    DWORD error = GetLastError();
    if (error == ERROR_INVALID_HANDLE) return PortWait::kDeviceFailed;
    if (error != ERROR_IO_PENDING) return PortWait::kTimeout;
    state->armed = true;
  }
  // The stop event first, as Close's signal wins over a line that arrived.
  HANDLE events[2] = {static_cast<HANDLE>(stop.native_handle()), state->overlapped.hEvent};
  if (events[0] == nullptr) return PortWait::kWaitFailed;
  const DWORD rc = WaitForMultipleObjects(2, events, FALSE, static_cast<DWORD>(timeout_ms));
  if (rc == WAIT_FAILED) return PortWait::kWaitFailed;
  if (rc == WAIT_OBJECT_0 || stop.IsSet()) return PortWait::kStop;
  if (rc != WAIT_OBJECT_0 + 1) return PortWait::kTimeout;
  state->armed = false;
  DWORD ignored = 0;
  GetOverlappedResult(AsHandle(port), &state->overlapped, &ignored, FALSE);
  if (stop.IsSet()) return PortWait::kStop;
  return (state->mask & EV_RXFLAG) ? PortWait::kReadable : PortWait::kTimeout;
}

bool ReadAvailable(NativeHandle port, std::string& pending) {
  DWORD errors = 0;
  COMSTAT status{};
  if (!ClearCommError(AsHandle(port), &errors, &status)) return false;
  if (status.cbInQue == 0) return true;
  const std::size_t old_size = pending.size();
  pending.resize(old_size + status.cbInQue);
  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD got = 0;
  BOOL ok = ReadFile(AsHandle(port), pending.data() + old_size, status.cbInQue, &got, &overlapped);
  if (!ok && GetLastError() == ERROR_IO_PENDING) {
    ok = GetOverlappedResult(AsHandle(port), &overlapped, &got, TRUE);
  }
  if (overlapped.hEvent != nullptr) CloseHandle(overlapped.hEvent);
  pending.resize(old_size + (ok ? got : 0));
  return ok != FALSE;
}

NativeHandle OpenLogFile(const std::string& path, std::string* /*cause*/) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) return kNoHandle;
  // Pipes and devices never give a clean end of file.
  if (GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    return kNoHandle;
  }
  return reinterpret_cast<NativeHandle>(h);
}

ReadAtResult ReadAt(NativeHandle file, std::uint64_t offset, std::size_t count, std::string& out) {
  const std::size_t old_size = out.size();
  out.resize(old_size + count);
  OVERLAPPED overlapped{};
  overlapped.Offset = static_cast<DWORD>(offset);
  overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
  overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD got = 0;
  ReadAtResult result = ReadAtResult::kData;
  if (!ReadFile(AsHandle(file), out.data() + old_size, static_cast<DWORD>(count), &got,
                &overlapped)) {
    DWORD error = GetLastError();
    if (error == ERROR_IO_PENDING) {
      if (!GetOverlappedResult(AsHandle(file), &overlapped, &got, TRUE)) {
        result =
            GetLastError() == ERROR_HANDLE_EOF ? ReadAtResult::kEndOfFile : ReadAtResult::kFailed;
      }
    } else {
      result = error == ERROR_HANDLE_EOF ? ReadAtResult::kEndOfFile : ReadAtResult::kFailed;
    }
  }
  if (overlapped.hEvent != nullptr) CloseHandle(overlapped.hEvent);
  if (result != ReadAtResult::kData) got = 0;
  out.resize(old_size + got);
  if (result == ReadAtResult::kData && got == 0) result = ReadAtResult::kEndOfFile;
  return result;
}

bool AtOrPastEnd(NativeHandle file, std::uint64_t offset) {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(AsHandle(file), &size)) return true;
  return offset >= static_cast<std::uint64_t>(size.QuadPart);
}

std::uint64_t FileSize(NativeHandle file) {
  LARGE_INTEGER size{};
  return GetFileSizeEx(AsHandle(file), &size) && size.QuadPart > 0
             ? static_cast<std::uint64_t>(size.QuadPart)
             : 0;
}

void CloseLogFile(NativeHandle file) { CloseHandle(AsHandle(file)); }

// An anonymous pipe has no overlapped wait to join the stop event with, so
// streams are not taken here rather than read by polling.
NativeHandle DuplicateStream(NativeHandle /*stream*/, std::string* cause) {
  if (cause != nullptr) *cause = "streams are not supported on this system";
  return kNoHandle;
}

StreamWait WaitForStream(NativeHandle /*stream*/, const StopEvent& /*stop*/, int /*timeout_ms*/) {
  return StreamWait::kStop;
}

ReadAtResult ReadStream(NativeHandle /*stream*/, std::size_t /*count*/, std::string& /*out*/) {
  return ReadAtResult::kFailed;
}

void CloseStream(NativeHandle stream) { CloseHandle(AsHandle(stream)); }

ReaderThreadScope::ReaderThreadScope() {
  entered_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
}

ReaderThreadScope::~ReaderThreadScope() {
  if (entered_) CoUninitialize();
}

}  // namespace orvane::detail
