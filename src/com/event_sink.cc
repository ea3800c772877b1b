#include "com/event_sink.h"

#include <atomic>
#include <new>
#include <thread>
#include <vector>

#include "OrvaneMod_h.h"
#include "com/com_module.h"
#include "com/variant_convert.h"
#include "control/apartment.h"

namespace orvane::com {

// What the raising side and the stand-in share.
struct ComEventSink::Shared {
  std::atomic<std::thread::id> caller{};  // the raising thread of the call in flight
  std::atomic<bool> disconnected{false};
};

namespace {

// Stands for the host's sink in the host's apartment.
class StandIn final : public ModuleObject<IDispatch> {
 public:
  StandIn(IDispatch* sink, std::shared_ptr<ComEventSink::Shared> shared)
      : ModuleObject<IDispatch>(IID_IDispatch), sink_(sink), shared_(std::move(shared)) {
    sink_->AddRef();
  }
  ~StandIn() override { sink_->Release(); }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    return sink_->GetTypeInfoCount(count);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override {
    return sink_->GetTypeInfo(index, lcid, info);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* ids) override {
    return sink_->GetIDsOfNames(iid, names, count, lcid, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception,
                                   UINT* arg_error) override {
    if (shared_->disconnected.load(std::memory_order_acquire)) return S_OK;
    // The raising thread waits for this call until it returns.
    RunningCall running(shared_->caller.load(std::memory_order_acquire));
    return sink_->Invoke(id, iid, lcid, flags, params, result, exception, arg_error);
  }

 private:
  IDispatch* sink_;
  std::shared_ptr<ComEventSink::Shared> shared_;
};

}  // namespace

HRESULT ComEventSink::Create(IUnknown* sink, std::shared_ptr<ComEventSink>* out) {
  IDispatch* events = nullptr;
  HRESULT hr = sink->QueryInterface(DIID__IOrvaneEvents, reinterpret_cast<void**>(&events));
  if (hr == E_NOINTERFACE) return CONNECT_E_CANNOTCONNECT;
  if (FAILED(hr)) return hr;
  std::shared_ptr<Shared> shared;
  try {
    shared = std::make_shared<Shared>();
  } catch (const std::bad_alloc&) {
  }
  StandIn* stand_in = shared ? new (std::nothrow) StandIn(events, shared) : nullptr;
  IGlobalInterfaceTable* table = nullptr;
  hr = stand_in != nullptr
           ? CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IGlobalInterfaceTable, reinterpret_cast<void**>(&table))
           : E_OUTOFMEMORY;
  DWORD stand_in_cookie = 0, sink_cookie = 0;
  // Both are registered as IDispatch: marshalled as one it needs only the
  // system's IDispatch proxy, not the type library's registration (Wine's
  // type-library marshaller finds only locale-neutral registrations).
  if (SUCCEEDED(hr)) {
    hr = table->RegisterInterfaceInGlobal(stand_in, IID_IDispatch, &stand_in_cookie);
  }
  if (SUCCEEDED(hr)) {
    hr = table->RegisterInterfaceInGlobal(events, IID_IDispatch, &sink_cookie);
    if (FAILED(hr)) table->RevokeInterfaceFromGlobal(stand_in_cookie);
  }
  // The table holds its own references.
  if (stand_in != nullptr) stand_in->Release();
  events->Release();
  ComEventSink* raw = SUCCEEDED(hr) ? new (std::nothrow)
                                          ComEventSink(table, stand_in_cookie, sink_cookie, shared)
                                    : nullptr;
  if (raw == nullptr) {
    if (SUCCEEDED(hr)) {
      table->RevokeInterfaceFromGlobal(stand_in_cookie);
      table->RevokeInterfaceFromGlobal(sink_cookie);
      hr = E_OUTOFMEMORY;
    }
    if (table != nullptr) table->Release();
    return hr;
  }
  out->reset(raw);
  return S_OK;
}

ComEventSink::~ComEventSink() {
  // The last reader may free the control after its apartment has ended: the
  // registrations are revoked all the same.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  table_->RevokeInterfaceFromGlobal(stand_in_);
  table_->RevokeInterfaceFromGlobal(sink_);
  table_->Release();
  if (SUCCEEDED(com)) CoUninitialize();
}

void ComEventSink::Disconnect() { shared_->disconnected.store(true, std::memory_order_release); }

HRESULT ComEventSink::Invoke(DISPID dispid, std::span<Variant> args) {
  IDispatch* sink = nullptr;
  HRESULT hr =
      table_->GetInterfaceFromGlobal(stand_in_, IID_IDispatch, reinterpret_cast<void**>(&sink));
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
  shared_->caller.store(std::this_thread::get_id(), std::memory_order_release);
  hr = sink->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result,
                    nullptr, nullptr);
  VariantClear(&result);
  for (VARIANT& v : argv) VariantClear(&v);
  sink->Release();
  return hr;
}

IUnknown* ComEventSink::GetUnknown() const {
  IUnknown* unknown = nullptr;
  if (FAILED(table_->GetInterfaceFromGlobal(sink_, IID_IUnknown,
                                            reinterpret_cast<void**>(&unknown)))) {
    return nullptr;
  }
  return unknown;
}

}  // namespace orvane::com
