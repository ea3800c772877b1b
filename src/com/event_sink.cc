#include "com/event_sink.h"

#include <vector>

#include "OrvaneMod_h.h"
#include "com/variant_convert.h"

namespace orvane::com {
HRESULT ComEventSink::Create(IUnknown* sink, std::shared_ptr<ComEventSink>* out) {
  IDispatch* events = nullptr;
  HRESULT hr = sink->QueryInterface(DIID__IOrvaneEvents, reinterpret_cast<void**>(&events));
  if (hr == E_NOINTERFACE) return CONNECT_E_CANNOTCONNECT;
  if (FAILED(hr)) return hr;
  IGlobalInterfaceTable* table = nullptr;
  hr = CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                        IID_IGlobalInterfaceTable, reinterpret_cast<void**>(&table));
  DWORD cookie = 0;
  // The events pointer is an IDispatch: marshalled as one it needs only the
  // system's IDispatch proxy, not the type library's registration (Wine's
  // type-library marshaller finds only locale-neutral registrations).
  if (SUCCEEDED(hr)) hr = table->RegisterInterfaceInGlobal(events, IID_IDispatch, &cookie);
  events->Release();  // the table holds its own reference
  if (FAILED(hr)) {
    if (table != nullptr) table->Release();
    return hr;
  }
  ComEventSink* raw = new (std::nothrow) ComEventSink(table, cookie);
  if (raw == nullptr) {
    table->RevokeInterfaceFromGlobal(cookie);
    table->Release();
    return E_OUTOFMEMORY;
  }
  out->reset(raw);
  return S_OK;
}

ComEventSink::~ComEventSink() {
  table_->RevokeInterfaceFromGlobal(cookie_);
  table_->Release();
}

HRESULT ComEventSink::Invoke(DISPID dispid, std::span<Variant> args) {
  IDispatch* sink = nullptr;
  HRESULT hr =
      table_->GetInterfaceFromGlobal(cookie_, IID_IDispatch, reinterpret_cast<void**>(&sink));
  if (FAILED(hr)) return hr;
  std::vector<VARIANT> argv(args.size());
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (FAILED(ToVariant(args[i], &argv[i]))) {
      argv[i].vt = VT_ERROR;
      argv[i].scode = E_OUTOFMEMORY;
    }
  }
  DISPPARAMS params{argv.data(), nullptr, static_cast<UINT>(argv.size()), 0};
  VARIANT result;
  VariantInit(&result);
  hr = sink->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result,
                    nullptr, nullptr);
  VariantClear(&result);
  for (VARIANT& v : argv) VariantClear(&v);
  sink->Release();
  return hr;
}

IUnknown* ComEventSink::GetUnknown() const {
  IUnknown* unknown = nullptr;
  if (FAILED(table_->GetInterfaceFromGlobal(cookie_, IID_IUnknown,
                                            reinterpret_cast<void**>(&unknown)))) {
    return nullptr;
  }
  return unknown;
}

}  // namespace orvane::com
