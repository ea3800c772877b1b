// The COM control object: thin shims from IOrvane and the OLE control
// interfaces to orvane::OrvaneControl.
#pragma once

#include <memory>
#include <vector>

#include "automation/platform.h"
#include "OrvaneMod_h.h"
#include "control/orvane_control.h"

namespace orvane::com {

class OrvaneObject;

// A connection point of the control for one outgoing interface: it lives
// inside the object and counts on the object's references.
class ConnectionPoint : public IConnectionPoint {
 public:
  ConnectionPoint(OrvaneObject* owner, const IID& iid) : owner_(owner), iid_(iid) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override;

 protected:
  ~ConnectionPoint() = default;
  OrvaneObject* const owner_;

 private:
  const IID iid_;
};

// _IOrvaneEvents: forwards to the core's EventSource.
class EventsConnectionPoint final : public ConnectionPoint {
 public:
  explicit EventsConnectionPoint(OrvaneObject* owner);
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** out) override;
};

// IPropertyNotifySink: sinks are held; no property announces a change.
class NotifyConnectionPoint final : public ConnectionPoint {
 public:
  explicit NotifyConnectionPoint(OrvaneObject* owner);
  ~NotifyConnectionPoint();
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** out) override;

 private:
  std::vector<CONNECTDATA> sinks_;
  DWORD next_cookie_ = 1;
};

class OrvaneObject final : public IOrvane2,
                           public IViewObjectEx,
                           public IOleInPlaceObjectWindowless,
                           public IOleInPlaceActiveObject,
                           public IOleControl,
                           public IOleObject,
                           public IPersistStreamInit,
                           public ISupportErrorInfo,
                           public IConnectionPointContainer,
                           public ISpecifyPropertyPages,
                           public IQuickActivate,
                           public IPersistStorage,
                           public IDataObject,
                           public IProvideClassInfo2 {
 public:
  // `outer` null for a plain object; `control` is owned from here on.
  OrvaneObject(IUnknown* outer, std::unique_ptr<OrvaneControl> control);
  ~OrvaneObject();
  OrvaneObject(const OrvaneObject&) = delete;
  OrvaneObject& operator=(const OrvaneObject&) = delete;

  IUnknown* inner() { return &inner_; }
  OrvaneControl& control() { return *control_; }

  // IUnknown, delegated to the controlling unknown.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return outer_->QueryInterface(iid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return outer_->AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return outer_->Release(); }

  // IDispatch, answered from the type library.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT* arg_error) override;

  // IOrvane, then IOrvane2's own.
#define ORVANE_COM_GET(id, name) HRESULT STDMETHODCALLTYPE get_##name(VARIANT* pVal) override;
#define ORVANE_COM_PROPERTY(id, name) \
  ORVANE_COM_GET(id, name)            \
  HRESULT STDMETHODCALLTYPE put_##name(VARIANT newVal) override;
  ORVANE_MEMBERS(ORVANE_COM_GET, ORVANE_COM_PROPERTY, ORVANE_NO_METHOD)
  ORVANE2_MEMBERS(ORVANE_COM_GET, ORVANE_COM_PROPERTY, ORVANE_NO_METHOD)
#undef ORVANE_COM_GET
#undef ORVANE_COM_PROPERTY
  HRESULT STDMETHODCALLTYPE Open(VARIANT PortName) override;
  HRESULT STDMETHODCALLTYPE OpenFile(VARIANT FileName, VARIANT TimeScale) override;
  HRESULT STDMETHODCALLTYPE Close() override;
  HRESULT STDMETHODCALLTYPE GetWptLocation(VARIANT WptName, VARIANT* pWptLat,
                                           VARIANT* pWptLon) override;
  HRESULT STDMETHODCALLTYPE GetSatelliteInfo(VARIANT SatellitePRN, VARIANT* pAzimuth,
                                             VARIANT* pElevation,
                                             VARIANT* pSignalToNoiseRatio) override;

  // ISupportErrorInfo.
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

  // IConnectionPointContainer.
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** out) override;
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** out) override;

  // IProvideClassInfo2.
  HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetGUID(DWORD kind, GUID* guid) override;

  // ISpecifyPropertyPages.
  HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) override;

  // IPersist, IPersistStreamInit, IPersistStorage.
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;
  HRESULT STDMETHODCALLTYPE IsDirty() override;
  HRESULT STDMETHODCALLTYPE Load(IStream* stream) override;
  HRESULT STDMETHODCALLTYPE Save(IStream* stream, BOOL clear_dirty) override;
  HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) override;
  HRESULT STDMETHODCALLTYPE InitNew() override;
  HRESULT STDMETHODCALLTYPE InitNew(IStorage* storage) override;
  HRESULT STDMETHODCALLTYPE Load(IStorage* storage) override;
  HRESULT STDMETHODCALLTYPE Save(IStorage* storage, BOOL same_as_load) override;
  HRESULT STDMETHODCALLTYPE SaveCompleted(IStorage* storage) override;
  HRESULT STDMETHODCALLTYPE HandsOffStorage() override;

  // IViewObject, IViewObject2, IViewObjectEx.
  HRESULT STDMETHODCALLTYPE Draw(DWORD aspect, LONG index, void* aspect_info,
                                 DVTARGETDEVICE* target, HDC target_dc, HDC dc, LPCRECTL bounds,
                                 LPCRECTL wbounds, BOOL(STDMETHODCALLTYPE* cont)(ULONG_PTR),
                                 ULONG_PTR cont_arg) override;
  HRESULT STDMETHODCALLTYPE GetColorSet(DWORD aspect, LONG index, void* aspect_info,
                                        DVTARGETDEVICE* target, HDC target_dc,
                                        LOGPALETTE** colors) override;
  HRESULT STDMETHODCALLTYPE Freeze(DWORD aspect, LONG index, void* aspect_info,
                                   DWORD* freeze) override;
  HRESULT STDMETHODCALLTYPE Unfreeze(DWORD freeze) override;
  HRESULT STDMETHODCALLTYPE SetAdvise(DWORD aspects, DWORD advf, IAdviseSink* sink) override;
  HRESULT STDMETHODCALLTYPE GetAdvise(DWORD* aspects, DWORD* advf, IAdviseSink** sink) override;
  HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* target,
                                      LPSIZEL size) override;
  HRESULT STDMETHODCALLTYPE GetRect(DWORD aspect, LPRECTL rect) override;
  HRESULT STDMETHODCALLTYPE GetViewStatus(DWORD* status) override;
  HRESULT STDMETHODCALLTYPE QueryHitPoint(DWORD aspect, LPCRECT bounds, POINT point,
                                          LONG close_hint, DWORD* result) override;
  HRESULT STDMETHODCALLTYPE QueryHitRect(DWORD aspect, LPCRECT bounds, LPCRECT rect,
                                         LONG close_hint, DWORD* result) override;
  HRESULT STDMETHODCALLTYPE GetNaturalExtent(DWORD aspect, LONG index, DVTARGETDEVICE* target,
                                             HDC target_dc, DVEXTENTINFO* info,
                                             LPSIZEL size) override;

  // IOleWindow, IOleInPlaceObject, IOleInPlaceObjectWindowless,
  // IOleInPlaceActiveObject.
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enter) override;
  HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override;
  HRESULT STDMETHODCALLTYPE UIDeactivate() override;
  HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT position, LPCRECT clip) override;
  HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override;
  HRESULT STDMETHODCALLTYPE OnWindowMessage(UINT msg, WPARAM wparam, LPARAM lparam,
                                            LRESULT* result) override;
  HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget** target) override;
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG msg) override;
  HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL activate) override;
  HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL activate) override;
  HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window,
                                         BOOL frame) override;
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) override;

  // IOleControl.
  HRESULT STDMETHODCALLTYPE GetControlInfo(CONTROLINFO* info) override;
  HRESULT STDMETHODCALLTYPE OnMnemonic(MSG* msg) override;
  HRESULT STDMETHODCALLTYPE OnAmbientPropertyChange(DISPID id) override;
  HRESULT STDMETHODCALLTYPE FreezeEvents(BOOL freeze) override;

  // IOleObject.
  HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override;
  HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) override;
  HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR app, LPCOLESTR object) override;
  HRESULT STDMETHODCALLTYPE Close(DWORD save_option) override;
  HRESULT STDMETHODCALLTYPE SetMoniker(DWORD which, IMoniker* moniker) override;
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
  HRESULT STDMETHODCALLTYPE InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override;
  HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD reserved, IDataObject** data) override;
  HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG msg, IOleClientSite* site, LONG index,
                                   HWND parent, LPCRECT position) override;
  HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB** verbs) override;
  HRESULT STDMETHODCALLTYPE Update() override;
  HRESULT STDMETHODCALLTYPE IsUpToDate() override;
  HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* clsid) override;
  HRESULT STDMETHODCALLTYPE GetUserType(DWORD form, LPOLESTR* name) override;
  HRESULT STDMETHODCALLTYPE SetExtent(DWORD aspect, SIZEL* size) override;
  HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, SIZEL* size) override;
  HRESULT STDMETHODCALLTYPE Advise(IAdviseSink* sink, DWORD* connection) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD connection) override;
  HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA** advise) override;
  HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD aspect, DWORD* status) override;
  HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE* palette) override;

  // IQuickActivate.
  HRESULT STDMETHODCALLTYPE QuickActivate(QACONTAINER* container, QACONTROL* control) override;
  HRESULT STDMETHODCALLTYPE SetContentExtent(LPSIZEL size) override;
  HRESULT STDMETHODCALLTYPE GetContentExtent(LPSIZEL size) override;

  // IDataObject.
  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override;
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC* format, STGMEDIUM* medium) override;
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override;
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) override;
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) override;
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC* format, DWORD advf, IAdviseSink* sink,
                                    DWORD* connection) override;
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD connection) override;
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA** advise) override;

  // The draw step: a rectangle over `bounds`, then bitmap 201 stretched on it.
  HRESULT DrawPicture(HDC dc, const RECT& bounds);

 private:
  friend class EventsConnectionPoint;
  friend class NotifyConnectionPoint;

  // The object's own IUnknown; the controlling one when not aggregated.
  class InnerUnknown final : public IUnknown {
   public:
    explicit InnerUnknown(OrvaneObject* owner) : owner_(owner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

   private:
    OrvaneObject* owner_;
  };

  HRESULT QueryOwnInterface(REFIID iid, void** out);
  // Whether the form is running rather than being designed: the site's
  // ambient UserMode, TRUE when the site offers no ambient properties.
  bool UserMode() const;
  HRESULT Get(HRESULT (OrvaneControl::*get)(Variant*), VARIANT* out);
  HRESULT Put(HRESULT (OrvaneControl::*put)(const Variant&), const VARIANT& in);

  LONG refs_ = 0;
  InnerUnknown inner_{this};
  IUnknown* outer_;
  std::unique_ptr<OrvaneControl> control_;
  EventsConnectionPoint events_point_{this};
  NotifyConnectionPoint notify_point_{this};

  IOleClientSite* client_site_ = nullptr;
  IOleAdviseHolder* ole_advise_ = nullptr;
  IAdviseSink* view_sink_ = nullptr;
  DWORD view_aspects_ = 0;
  DWORD view_advf_ = 0;
  bool dirty_ = false;
  bool in_place_active_ = false;
  bool windowless_ = false;  // activated through IOleInPlaceSiteWindowless
  RECT position_{};
};

}  // namespace orvane::com
