// A COM event sink behind the core's EventSink: the sink's _IOrvaneEvents
// pointer is kept in the Global Interface Table, and every event fetches a
// pointer valid on the raising thread, so COM carries the call to the
// apartment the sink lives in and the raising thread waits for it.
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
  // The sink as IUnknown for the calling thread; AddRef'ed, or null.
  IUnknown* GetUnknown() const;

 private:
  ComEventSink(IGlobalInterfaceTable* table, DWORD cookie) : table_(table), cookie_(cookie) {}
  IGlobalInterfaceTable* table_;
  DWORD cookie_;
};

}  // namespace orvane::com
