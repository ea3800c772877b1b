// The OLE embedding interfaces a container expects: IOleObject,
// IQuickActivate, and IDataObject with the picture as a metafile.
#include <climits>

#include "com/com_module.h"
#include "com/orvane_object.h"
#include "control/picture.h"

namespace orvane::com {
namespace {

constexpr DWORD kMiscStatus = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE |
                              OLEMISC_INSIDEOUT | OLEMISC_ACTIVATEWHENVISIBLE |
                              OLEMISC_INVISIBLEATRUNTIME | OLEMISC_SETCLIENTSITEFIRST;
static_assert(kMiscStatus == 132497);

}  // namespace

// ---------------------------------------------------------------------------
// IOleObject

HRESULT STDMETHODCALLTYPE OrvaneObject::SetClientSite(IOleClientSite* site) {
  if (site != nullptr) site->AddRef();
  if (client_site_ != nullptr) client_site_->Release();
  client_site_ = site;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OrvaneObject::GetClientSite(IOleClientSite** site) {
  if (site == nullptr) return E_POINTER;
  *site = client_site_;
  if (client_site_ != nullptr) client_site_->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OrvaneObject::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

HRESULT STDMETHODCALLTYPE OrvaneObject::Close(DWORD) {
  InPlaceDeactivate();
  if (ole_advise_ != nullptr) ole_advise_->SendOnClose();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OrvaneObject::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE OrvaneObject::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker != nullptr) *moniker = nullptr;
  return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE OrvaneObject::InitFromData(IDataObject*, BOOL, DWORD) {
  return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE OrvaneObject::GetClipboardData(DWORD, IDataObject** data) {
  if (data != nullptr) *data = nullptr;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE OrvaneObject::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND,
                                               LPCRECT position) {
  if (position != nullptr) position_ = *position;
  switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE: {
      if (site == nullptr) site = client_site_;
      IOleInPlaceSite* in_place = nullptr;
      if (!in_place_active_ && site != nullptr &&
          SUCCEEDED(
              site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&in_place)))) {
        if (in_place->CanInPlaceActivate() == S_OK) {
          // A site that can host windowless controls is told this one is.
          IOleInPlaceSiteWindowless* windowless = nullptr;
          if (SUCCEEDED(in_place->QueryInterface(IID_IOleInPlaceSiteWindowless,
                                                 reinterpret_cast<void**>(&windowless))) &&
              windowless->CanWindowlessActivate() == S_OK) {
            BOOL no_redraw = FALSE;
            in_place_active_ = windowless_ =
                SUCCEEDED(windowless->OnInPlaceActivateEx(&no_redraw, ACTIVATE_WINDOWLESS));
          } else {
            in_place->OnInPlaceActivate();
            in_place_active_ = true;
          }
          if (windowless != nullptr) windowless->Release();
        }
        in_place->Release();
      }
      return S_OK;
    }
    case OLEIVERB_HIDE: return InPlaceDeactivate();
    default: return verb > 0 ? OLEOBJ_S_INVALIDVERB : E_NOTIMPL;
  }
}

HRESULT STDMETHODCALLTYPE OrvaneObject::EnumVerbs(IEnumOLEVERB** verbs) {
  return OleRegEnumVerbs(CLSID_Orvane, verbs);
}

HRESULT STDMETHODCALLTYPE OrvaneObject::Update() { return S_OK; }
HRESULT STDMETHODCALLTYPE OrvaneObject::IsUpToDate() { return S_OK; }

HRESULT STDMETHODCALLTYPE OrvaneObject::GetUserClassID(CLSID* clsid) { return GetClassID(clsid); }

HRESULT STDMETHODCALLTYPE OrvaneObject::GetUserType(DWORD form, LPOLESTR* name) {
  return OleRegGetUserType(CLSID_Orvane, form, name);
}

HRESULT STDMETHODCALLTYPE OrvaneObject::SetExtent(DWORD aspect, SIZEL* size) {
  if (size == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (size->cx < 0 || size->cy < 0) return E_INVALIDARG;
  if (static_cast<std::uint32_t>(size->cx) != control_->hosting().extent_cx() ||
      static_cast<std::uint32_t>(size->cy) != control_->hosting().extent_cy()) {
    control_->hosting().SetExtent(static_cast<std::uint32_t>(size->cx),
                                  static_cast<std::uint32_t>(size->cy));
    dirty_ = true;
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OrvaneObject::GetExtent(DWORD aspect, SIZEL* size) {
  if (size == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  size->cx = static_cast<LONG>(control_->hosting().extent_cx());
  size->cy = static_cast<LONG>(control_->hosting().extent_cy());
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OrvaneObject::Advise(IAdviseSink* sink, DWORD* connection) {
  if (ole_advise_ == nullptr) {
    HRESULT hr = CreateOleAdviseHolder(&ole_advise_);
    if (FAILED(hr)) return hr;
  }
  return ole_advise_->Advise(sink, connection);
}

HRESULT STDMETHODCALLTYPE OrvaneObject::Unadvise(DWORD connection) {
  if (ole_advise_ == nullptr) return OLE_E_NOCONNECTION;
  return ole_advise_->Unadvise(connection);
}

HRESULT STDMETHODCALLTYPE OrvaneObject::EnumAdvise(IEnumSTATDATA** advise) {
  if (advise == nullptr) return E_POINTER;
  *advise = nullptr;
  if (ole_advise_ == nullptr) return E_FAIL;
  return ole_advise_->EnumAdvise(advise);
}

HRESULT STDMETHODCALLTYPE OrvaneObject::GetMiscStatus(DWORD, DWORD* status) {
  if (status == nullptr) return E_POINTER;
  *status = kMiscStatus;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OrvaneObject::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

// ---------------------------------------------------------------------------
// IQuickActivate

HRESULT STDMETHODCALLTYPE OrvaneObject::QuickActivate(QACONTAINER* container, QACONTROL* control) {
  if (container == nullptr || control == nullptr) return E_POINTER;
  if (container->cbSize < sizeof(QACONTAINER) - 2 * sizeof(void*) ||
      control->cbSize < sizeof(QACONTROL)) {
    return E_INVALIDARG;
  }
  if (container->pClientSite != nullptr) SetClientSite(container->pClientSite);
  if (container->pAdviseSink != nullptr) SetAdvise(DVASPECT_CONTENT, 0, container->pAdviseSink);
  control->dwMiscStatus = kMiscStatus;
  control->dwViewStatus = VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND;
  control->dwEventCookie = 0;
  control->dwPropNotifyCookie = 0;
  control->dwPointerActivationPolicy = 0;
  if (container->pUnkEventSink != nullptr) {
    events_point_.Advise(container->pUnkEventSink, &control->dwEventCookie);
  }
  if (container->pPropertyNotifySink != nullptr) {
    notify_point_.Advise(container->pPropertyNotifySink, &control->dwPropNotifyCookie);
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OrvaneObject::SetContentExtent(LPSIZEL size) {
  return SetExtent(DVASPECT_CONTENT, size);
}
HRESULT STDMETHODCALLTYPE OrvaneObject::GetContentExtent(LPSIZEL size) {
  return GetExtent(DVASPECT_CONTENT, size);
}

// ---------------------------------------------------------------------------
// IDataObject: the picture as a metafile, drawn by the same draw step.

HRESULT STDMETHODCALLTYPE OrvaneObject::GetData(FORMATETC* format, STGMEDIUM* medium) {
  if (format == nullptr || medium == nullptr) return E_POINTER;
  if (format->cfFormat != CF_METAFILEPICT || !(format->tymed & TYMED_MFPICT)) return DV_E_FORMATETC;
  if (format->dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  const LONG cx = static_cast<LONG>(control_->hosting().extent_cx());
  const LONG cy = static_cast<LONG>(control_->hosting().extent_cy());
  HDC dc = CreateMetaFileW(nullptr);
  if (dc == nullptr) return E_OUTOFMEMORY;
  SetMapMode(dc, MM_ANISOTROPIC);
  SetWindowOrgEx(dc, 0, 0, nullptr);
  SetWindowExtEx(dc, cx, cy, nullptr);
  DrawPicture(dc, RECT{0, 0, cx, cy});
  HMETAFILE metafile = CloseMetaFile(dc);
  if (metafile == nullptr) return E_OUTOFMEMORY;
  HGLOBAL global = GlobalAlloc(GMEM_SHARE | GMEM_MOVEABLE, sizeof(METAFILEPICT));
  auto* picture = global ? static_cast<METAFILEPICT*>(GlobalLock(global)) : nullptr;
  if (picture == nullptr) {
    if (global != nullptr) GlobalFree(global);
    DeleteMetaFile(metafile);
    return E_OUTOFMEMORY;
  }
  picture->mm = MM_ANISOTROPIC;
  picture->xExt = cx;
  picture->yExt = cy;
  picture->hMF = metafile;
  GlobalUnlock(global);
  medium->tymed = TYMED_MFPICT;
  medium->hMetaFilePict = global;
  medium->pUnkForRelease = nullptr;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OrvaneObject::GetDataHere(FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE OrvaneObject::QueryGetData(FORMATETC* format) {
  if (format == nullptr) return E_POINTER;
  if (format->cfFormat != CF_METAFILEPICT || !(format->tymed & TYMED_MFPICT)) return DV_E_FORMATETC;
  return format->dwAspect == DVASPECT_CONTENT ? S_OK : DV_E_DVASPECT;
}

HRESULT STDMETHODCALLTYPE OrvaneObject::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) {
  if (out != nullptr) out->ptd = nullptr;
  return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE OrvaneObject::SetData(FORMATETC*, STGMEDIUM*, BOOL) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE OrvaneObject::EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) {
  return OleRegEnumFormatEtc(CLSID_Orvane, direction, formats);
}
HRESULT STDMETHODCALLTYPE OrvaneObject::DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) {
  return OLE_E_ADVISENOTSUPPORTED;
}
HRESULT STDMETHODCALLTYPE OrvaneObject::DUnadvise(DWORD) { return OLE_E_ADVISENOTSUPPORTED; }
HRESULT STDMETHODCALLTYPE OrvaneObject::EnumDAdvise(IEnumSTATDATA** advise) {
  if (advise != nullptr) *advise = nullptr;
  return OLE_E_ADVISENOTSUPPORTED;
}

}  // namespace orvane::com
