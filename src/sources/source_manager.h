// The control's sources: a serial port or a log file, at most one open at a
// time, each read by a reader thread that runs the sentence loop. Members are
// called on the host's thread and mirror the automation members.
#pragma once

#include <memory>

#include "automation/variant.h"
#include "engine/events.h"
#include "engine/receiver.h"

namespace orvane {

class SourceManager {
 public:
  SourceManager(Receiver& receiver, EventRaiser& events);
  // Stops a running reader without FileComplete (final release).
  ~SourceManager();
  SourceManager(const SourceManager&) = delete;
  SourceManager& operator=(const SourceManager&) = delete;

  HRESULT Open(const Variant& port_name);
  HRESULT OpenFile(const Variant& file_name, const Variant& time_scale);
  HRESULT Close();
  HRESULT get_BaudRate(Variant* pVal);
  HRESULT put_BaudRate(const Variant& value);
  HRESULT get_PortName(Variant* pVal);
  HRESULT get_PortHandle(Variant* pVal);

  // Final release: ends a running reader without firing FileComplete and
  // without waiting on anything that needs the host's thread. Idempotent.
  void Shutdown();
  // True while a source handle is set (the reader has not closed it yet).
  bool IsOpen() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace orvane
