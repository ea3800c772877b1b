// A COM event sink behind the core's EventSink. The interface table holds a
// stand-in for the host's sink that lives in the host's apartment: every
// event fetches a pointer to it valid on the raising thread, so COM carries
// the call to the apartment the sink lives in and the raising thread waits
// for it. On arrival the stand-in marks the host's thread as running a call
// the reader waits for, so a release from inside the handler knows not to
// wait for the reader.
#pragma once

#include <memory>
#include <span>

#include "automation/platform.h"
#include "control/event_source.h"

namespace orvane::com {

class ComEventSink final : public EventSink {
 public:
  // QueryInterface for _IOrvaneEvents (E_NOINTERFACE becomes
  // CONNECT_E_CANNOTCONNECT) and registration in the interface table.
  static HRESULT Create(IUnknown* sink, std::shared_ptr<ComEventSink>* out);
  ~ComEventSink() override;
  ComEventSink(const ComEventSink&) = delete;
  ComEventSink& operator=(const ComEventSink&) = delete;

  HRESULT Invoke(DISPID dispid, std::span<Variant> args) override;
  // The host's sink as IUnknown for the calling thread; AddRef'ed, or null.
  IUnknown* GetUnknown() const;
  // Final release: calls still on their way to the host's apartment arrive
  // there and return without reaching the host's sink.
  void Disconnect();

  struct Shared;

 private:
  ComEventSink(IGlobalInterfaceTable* table, DWORD stand_in, DWORD sink,
               std::shared_ptr<Shared> shared)
      : table_(table), stand_in_(stand_in), sink_(sink), shared_(std::move(shared)) {}
  IGlobalInterfaceTable* table_;
  DWORD stand_in_;  // the stand-in's cookie: what events are raised on
  DWORD sink_;      // the host's own pointer, for EnumConnections
  std::shared_ptr<Shared> shared_;
};

}  // namespace orvane::com
