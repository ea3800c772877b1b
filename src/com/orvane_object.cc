#include "com/orvane_object.h"

#include <new>

#include "automation/error_info.h"
#include "com/com_module.h"
#include "com/enumerators.h"
#include "com/event_sink.h"
#include "com/variant_convert.h"

namespace orvane::com {
namespace {

template <typename Interface>
HRESULT ReturnInterface(Interface* p, void** out) {
  *out = p;
  p->AddRef();
  return S_OK;
}

// Writes a core result into an out parameter; `*out` is overwritten, not
// cleared.
HRESULT ReturnValue(HRESULT hr, const Variant& value, VARIANT* out) {
  if (FAILED(hr)) return hr;
  HRESULT converted = ToVariant(value, out);
  return FAILED(converted) ? converted : hr;
}

}  // namespace

// ---------------------------------------------------------------------------
// Life

OrvaneObject::OrvaneObject(IUnknown* outer, std::unique_ptr<OrvaneControl> control)
    : outer_(outer != nullptr ? outer : &inner_), control_(std::move(control)) {
  LockModule();
}

OrvaneObject::~OrvaneObject() {
  // A call on its way to a sink's apartment must not reach a host that has
  // let go; then the core's one final release.
  std::vector<ConnectData> connections;
  if (SUCCEEDED(control_->events().EnumConnections(&connections))) {
    for (const ConnectData& c : connections) {
      if (auto* sink = dynamic_cast<ComEventSink*>(c.sink.get())) sink->Disconnect();
    }
  }
  control_.reset();
  if (client_site_ != nullptr) client_site_->Release();
  if (ole_advise_ != nullptr) ole_advise_->Release();
  if (view_sink_ != nullptr) view_sink_->Release();
  UnlockModule();
}

HRESULT CreateControlObject(IUnknown* outer, REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (outer != nullptr && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  std::unique_ptr<OrvaneControl> control = CreateOrvaneControl();
  if (!control) return E_OUTOFMEMORY;
  auto* object = new (std::nothrow) OrvaneObject(outer, std::move(control));
  if (object == nullptr) return E_OUTOFMEMORY;
  IUnknown* inner = object->inner();
  inner->AddRef();
  HRESULT hr = inner->QueryInterface(iid, out);
  inner->Release();  // destroys the object when the interface was refused
  return hr;
}

HRESULT STDMETHODCALLTYPE OrvaneObject::InnerUnknown::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (IsEqualIID(iid, IID_IUnknown)) return ReturnInterface(static_cast<IUnknown*>(this), out);
  return owner_->QueryOwnInterface(iid, out);
}

ULONG STDMETHODCALLTYPE OrvaneObject::InnerUnknown::AddRef() {
  return InterlockedIncrement(&owner_->refs_);
}

ULONG STDMETHODCALLTYPE OrvaneObject::InnerUnknown::Release() {
  LONG n = InterlockedDecrement(&owner_->refs_);
  if (n == 0) {
    // Serving the reader during teardown may AddRef and Release again: never
    // twice here.
    owner_->refs_ = 1 << 30;
    delete owner_;
  }
  return n;
}

HRESULT OrvaneObject::QueryOwnInterface(REFIID iid, void** out) {
  // One vtable: IOrvane's is the start of IOrvane2's.
  if (IsEqualIID(iid, IID_IOrvane2)) return ReturnInterface(static_cast<IOrvane2*>(this), out);
  if (IsEqualIID(iid, IID_IOrvane)) return ReturnInterface(static_cast<IOrvane*>(this), out);
  if (IsEqualIID(iid, IID_IDispatch)) return ReturnInterface(static_cast<IOrvane*>(this), out);
  if (IsEqualIID(iid, IID_IViewObjectEx))
    return ReturnInterface(static_cast<IViewObjectEx*>(this), out);
  if (IsEqualIID(iid, IID_IViewObject2))
    return ReturnInterface(static_cast<IViewObject2*>(this), out);
  if (IsEqualIID(iid, IID_IViewObject))
    return ReturnInterface(static_cast<IViewObject*>(this), out);
  if (IsEqualIID(iid, IID_IOleInPlaceObjectWindowless)) {
    return ReturnInterface(static_cast<IOleInPlaceObjectWindowless*>(this), out);
  }
  if (IsEqualIID(iid, IID_IOleInPlaceObject))
    return ReturnInterface(static_cast<IOleInPlaceObject*>(this), out);
  if (IsEqualIID(iid, IID_IOleWindow))
    return ReturnInterface(static_cast<IOleInPlaceObject*>(this), out);
  if (IsEqualIID(iid, IID_IOleInPlaceActiveObject)) {
    return ReturnInterface(static_cast<IOleInPlaceActiveObject*>(this), out);
  }
  if (IsEqualIID(iid, IID_IOleControl))
    return ReturnInterface(static_cast<IOleControl*>(this), out);
  if (IsEqualIID(iid, IID_IOleObject)) return ReturnInterface(static_cast<IOleObject*>(this), out);
  if (IsEqualIID(iid, IID_IPersistStreamInit))
    return ReturnInterface(static_cast<IPersistStreamInit*>(this), out);
  if (IsEqualIID(iid, IID_IPersist))
    return ReturnInterface(static_cast<IPersistStreamInit*>(this), out);
  if (IsEqualIID(iid, IID_ISupportErrorInfo))
    return ReturnInterface(static_cast<ISupportErrorInfo*>(this), out);
  if (IsEqualIID(iid, IID_IConnectionPointContainer)) {
    return ReturnInterface(static_cast<IConnectionPointContainer*>(this), out);
  }
  if (IsEqualIID(iid, IID_ISpecifyPropertyPages))
    return ReturnInterface(static_cast<ISpecifyPropertyPages*>(this), out);
  if (IsEqualIID(iid, IID_IQuickActivate))
    return ReturnInterface(static_cast<IQuickActivate*>(this), out);
  if (IsEqualIID(iid, IID_IPersistStorage))
    return ReturnInterface(static_cast<IPersistStorage*>(this), out);
  if (IsEqualIID(iid, IID_IDataObject))
    return ReturnInterface(static_cast<IDataObject*>(this), out);
  if (IsEqualIID(iid, IID_IProvideClassInfo))
    return ReturnInterface(static_cast<IProvideClassInfo2*>(this), out);
  if (IsEqualIID(iid, IID_IProvideClassInfo2))
    return ReturnInterface(static_cast<IProvideClassInfo2*>(this), out);
  return E_NOINTERFACE;
}

// ---------------------------------------------------------------------------
// IDispatch

HRESULT STDMETHODCALLTYPE OrvaneObject::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OrvaneObject::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  HRESULT hr = CachedTypeInfo(IID_IOrvane2, info);
  if (SUCCEEDED(hr)) (*info)->AddRef();
  return hr;
}

HRESULT STDMETHODCALLTYPE OrvaneObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                                      DISPID* ids) {
  ITypeInfo* info = nullptr;
  HRESULT hr = CachedTypeInfo(IID_IOrvane2, &info);
  if (FAILED(hr)) return hr;
  return info->GetIDsOfNames(names, count, ids);
}

HRESULT STDMETHODCALLTYPE OrvaneObject::Invoke(DISPID id, REFIID iid, LCID, WORD flags,
                                               DISPPARAMS* params, VARIANT* result,
                                               EXCEPINFO* exception, UINT* arg_error) {
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  ITypeInfo* info = nullptr;
  HRESULT hr = CachedTypeInfo(IID_IOrvane2, &info);
  if (FAILED(hr)) return hr;
  return info->Invoke(static_cast<IOrvane2*>(this), id, flags, params, result, exception,
                      arg_error);
}

// ---------------------------------------------------------------------------
// IOrvane: each member converts at the boundary and calls the core.

HRESULT OrvaneObject::Get(HRESULT (OrvaneControl::*get)(Variant*), VARIANT* out) {
  if (out == nullptr) return E_POINTER;
  Variant value;
  return ReturnValue((control_.get()->*get)(&value), value, out);
}

HRESULT OrvaneObject::Put(HRESULT (OrvaneControl::*put)(const Variant&), const VARIANT& in) {
  Variant value;
  HRESULT hr = FromVariant(in, &value);
  if (FAILED(hr)) return hr;
  return (control_.get()->*put)(value);
}

#define ORVANE_COM_GET(id, name)                                      \
  HRESULT STDMETHODCALLTYPE OrvaneObject::get_##name(VARIANT* pVal) { \
    return Get(&OrvaneControl::get_##name, pVal);                     \
  }
#define ORVANE_COM_PROPERTY(id, name)                                  \
  ORVANE_COM_GET(id, name)                                             \
  HRESULT STDMETHODCALLTYPE OrvaneObject::put_##name(VARIANT newVal) { \
    return Put(&OrvaneControl::put_##name, newVal);                    \
  }
ORVANE_MEMBERS(ORVANE_COM_GET, ORVANE_COM_PROPERTY, ORVANE_NO_METHOD)
ORVANE2_MEMBERS(ORVANE_COM_GET, ORVANE_COM_PROPERTY, ORVANE_NO_METHOD)
#undef ORVANE_COM_GET
#undef ORVANE_COM_PROPERTY

HRESULT STDMETHODCALLTYPE OrvaneObject::Open(VARIANT PortName) {
  return Put(&OrvaneControl::Open, PortName);
}

HRESULT STDMETHODCALLTYPE OrvaneObject::OpenFile(VARIANT FileName, VARIANT TimeScale) {
  Variant name, scale;
  HRESULT hr = FromVariant(FileName, &name);
  if (SUCCEEDED(hr)) hr = FromVariant(TimeScale, &scale);
  if (FAILED(hr)) return hr;
  return control_->OpenFile(name, scale);
}

HRESULT STDMETHODCALLTYPE OrvaneObject::Close() { return control_->Close(); }

HRESULT STDMETHODCALLTYPE OrvaneObject::GetWptLocation(VARIANT WptName, VARIANT* pWptLat,
                                                       VARIANT* pWptLon) {
  if (pWptLat == nullptr || pWptLon == nullptr) return E_POINTER;
  Variant name, lat, lon;
  HRESULT hr = FromVariant(WptName, &name);
  if (FAILED(hr)) return hr;
  hr = control_->GetWptLocation(name, &lat, &lon);
  if (FAILED(hr)) return hr;
  VARIANT a, b;
  HRESULT converted = ToVariant(lat, &a);
  if (SUCCEEDED(converted)) converted = ToVariant(lon, &b);
  if (FAILED(converted)) {
    VariantClear(&a);
    return converted;
  }
  *pWptLat = a;
  *pWptLon = b;
  return hr;
}

HRESULT STDMETHODCALLTYPE OrvaneObject::GetSatelliteInfo(VARIANT SatellitePRN, VARIANT* pAzimuth,
                                                         VARIANT* pElevation,
                                                         VARIANT* pSignalToNoiseRatio) {
  if (pAzimuth == nullptr || pElevation == nullptr || pSignalToNoiseRatio == nullptr)
    return E_POINTER;
  Variant prn, azimuth, elevation, snr;
  HRESULT hr = FromVariant(SatellitePRN, &prn);
  if (FAILED(hr)) return hr;
  hr = control_->GetSatelliteInfo(prn, &azimuth, &elevation, &snr);
  if (FAILED(hr)) return hr;
  // Numbers only: the conversions cannot fail.
  ToVariant(azimuth, pAzimuth);
  ToVariant(elevation, pElevation);
  ToVariant(snr, pSignalToNoiseRatio);
  return hr;
}

// ---------------------------------------------------------------------------
// ISupportErrorInfo, IProvideClassInfo2, ISpecifyPropertyPages

HRESULT STDMETHODCALLTYPE OrvaneObject::InterfaceSupportsErrorInfo(REFIID iid) {
  return IsEqualIID(iid, IID_IOrvane) || IsEqualIID(iid, IID_IOrvane2) ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE OrvaneObject::GetClassInfo(ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  HRESULT hr = CachedTypeInfo(CLSID_Orvane, info);
  if (SUCCEEDED(hr)) (*info)->AddRef();
  return hr;
}

HRESULT STDMETHODCALLTYPE OrvaneObject::GetGUID(DWORD kind, GUID* guid) {
  if (guid == nullptr) return E_POINTER;
  if (kind == GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
    *guid = DIID__IOrvaneEvents;
    return S_OK;
  }
  *guid = GUID_NULL;
  return E_FAIL;
}

HRESULT STDMETHODCALLTYPE OrvaneObject::GetPages(CAUUID* pages) {
  if (pages == nullptr) return E_POINTER;
  pages->cElems = 0;
  pages->pElems = nullptr;
  return S_OK;
}

// ---------------------------------------------------------------------------
// Connection points

HRESULT STDMETHODCALLTYPE OrvaneObject::EnumConnectionPoints(IEnumConnectionPoints** out) {
  if (out == nullptr) return E_POINTER;
  std::vector<IConnectionPoint*> points = {&events_point_, &notify_point_};
  *out = new (std::nothrow) Enumerator<IEnumConnectionPoints, IConnectionPoint*>(
      std::move(points), IID_IEnumConnectionPoints);
  if (*out == nullptr) return E_OUTOFMEMORY;
  // The enumerator releases what it holds.
  events_point_.AddRef();
  notify_point_.AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OrvaneObject::FindConnectionPoint(REFIID iid, IConnectionPoint** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (IsEqualIID(iid, DIID__IOrvaneEvents))
    return ReturnInterface(static_cast<IConnectionPoint*>(&events_point_),
                           reinterpret_cast<void**>(out));
  if (IsEqualIID(iid, IID_IPropertyNotifySink))
    return ReturnInterface(static_cast<IConnectionPoint*>(&notify_point_),
                           reinterpret_cast<void**>(out));
  return CONNECT_E_NOCONNECTION;
}

HRESULT STDMETHODCALLTYPE ConnectionPoint::QueryInterface(REFIID iid, void** out) {
  return QueryOneInterface(static_cast<IConnectionPoint*>(this), IID_IConnectionPoint, iid, out);
}
ULONG STDMETHODCALLTYPE ConnectionPoint::AddRef() { return owner_->AddRef(); }
ULONG STDMETHODCALLTYPE ConnectionPoint::Release() { return owner_->Release(); }

HRESULT STDMETHODCALLTYPE ConnectionPoint::GetConnectionInterface(IID* iid) {
  if (iid == nullptr) return E_POINTER;
  *iid = iid_;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE
ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** out) {
  if (out == nullptr) return E_POINTER;
  return ReturnInterface(static_cast<IConnectionPointContainer*>(owner_),
                         reinterpret_cast<void**>(out));
}

EventsConnectionPoint::EventsConnectionPoint(OrvaneObject* owner)
    : ConnectionPoint(owner, DIID__IOrvaneEvents) {}

HRESULT STDMETHODCALLTYPE EventsConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (sink == nullptr || cookie == nullptr) return E_POINTER;
  *cookie = 0;
  std::shared_ptr<ComEventSink> adapter;
  HRESULT hr = ComEventSink::Create(sink, &adapter);
  if (FAILED(hr)) return hr;
  std::uint32_t core_cookie = 0;
  // COM carries each call to the sink's apartment; the core calls it on the
  // raising thread.
  hr = owner_->control().events().Advise(adapter, &core_cookie, SinkThreading::kFreeThreaded);
  if (SUCCEEDED(hr)) *cookie = core_cookie;
  return hr;
}

HRESULT STDMETHODCALLTYPE EventsConnectionPoint::Unadvise(DWORD cookie) {
  return owner_->control().events().Unadvise(cookie);
}

HRESULT STDMETHODCALLTYPE EventsConnectionPoint::EnumConnections(IEnumConnections** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  std::vector<ConnectData> connections;
  HRESULT hr = owner_->control().events().EnumConnections(&connections);
  if (FAILED(hr)) return hr;
  std::vector<CONNECTDATA> items;
  for (const ConnectData& c : connections) {
    auto* sink = dynamic_cast<ComEventSink*>(c.sink.get());
    IUnknown* unknown = sink != nullptr ? sink->GetUnknown() : nullptr;
    if (unknown != nullptr) items.push_back(CONNECTDATA{unknown, c.cookie});
  }
  *out = new (std::nothrow) Enumerator<IEnumConnections, CONNECTDATA>(items, IID_IEnumConnections);
  if (*out != nullptr) return S_OK;
  for (const CONNECTDATA& d : items) ReleaseItem(d);
  return E_OUTOFMEMORY;
}

NotifyConnectionPoint::NotifyConnectionPoint(OrvaneObject* owner)
    : ConnectionPoint(owner, IID_IPropertyNotifySink) {}

NotifyConnectionPoint::~NotifyConnectionPoint() {
  for (const CONNECTDATA& d : sinks_) ReleaseItem(d);
}

HRESULT STDMETHODCALLTYPE NotifyConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (sink == nullptr || cookie == nullptr) return E_POINTER;
  *cookie = 0;
  IUnknown* notify = nullptr;
  HRESULT hr = sink->QueryInterface(IID_IPropertyNotifySink, reinterpret_cast<void**>(&notify));
  if (hr == E_NOINTERFACE) return CONNECT_E_CANNOTCONNECT;
  if (FAILED(hr)) return hr;
  sinks_.push_back(CONNECTDATA{notify, next_cookie_});
  *cookie = next_cookie_++;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE NotifyConnectionPoint::Unadvise(DWORD cookie) {
  for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
    if (it->dwCookie == cookie) {
      ReleaseItem(*it);
      sinks_.erase(it);
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
}

HRESULT STDMETHODCALLTYPE NotifyConnectionPoint::EnumConnections(IEnumConnections** out) {
  if (out == nullptr) return E_POINTER;
  std::vector<CONNECTDATA> items = sinks_;
  for (const CONNECTDATA& d : items) AddRefItem(d);
  *out = new (std::nothrow) Enumerator<IEnumConnections, CONNECTDATA>(items, IID_IEnumConnections);
  if (*out != nullptr) return S_OK;
  for (const CONNECTDATA& d : items) ReleaseItem(d);
  return E_OUTOFMEMORY;
}

}  // namespace orvane::com
