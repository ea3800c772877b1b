// The OLE control services: drawing and the view, persistence of the
// extent, in-place activation and IOleControl (the embedding interfaces are
// in ole_embedding.cc).
#include <climits>

#include "com/com_module.h"
#include "com/orvane_object.h"
#include "control/picture.h"

namespace orvane::com {
namespace {

constexpr wchar_t kContentsStream[] = L"Contents";

}  // namespace

// ---------------------------------------------------------------------------
// Drawing

HRESULT OrvaneObject::DrawPicture(HDC dc, const RECT& bounds) {
  Rectangle(dc, bounds.left, bounds.top, bounds.right, bounds.bottom);
  HBITMAP picture = LoadBitmapA(ModuleInstance(), MAKEINTRESOURCEA(201));
  HDC memory = CreateCompatibleDC(nullptr);
  if (picture != nullptr && memory != nullptr) {
    HGDIOBJ previous = SelectObject(memory, picture);
    StretchBlt(dc, bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top,
               memory, 0, 0, kPictureWidth, kPictureHeight, SRCCOPY);
    SelectObject(memory, previous);
  }
  if (picture != nullptr) DeleteObject(picture);
  if (memory != nullptr) DeleteDC(memory);
  return S_OK;
}

bool OrvaneObject::UserMode() const {
  if (client_site_ == nullptr) return false;  // not on a form yet: shown as in a designer
  IDispatch* ambient = nullptr;
  if (FAILED(client_site_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&ambient)))) {
    return true;
  }
  DISPPARAMS none{};
  VARIANT value;
  VariantInit(&value);
  HRESULT hr = ambient->Invoke(DISPID_AMBIENT_USERMODE, IID_NULL, LOCALE_USER_DEFAULT,
                               DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr);
  ambient->Release();
  bool user_mode = true;
  if (SUCCEEDED(hr) && SUCCEEDED(VariantChangeType(&value, &value, 0, VT_BOOL))) {
    user_mode = value.boolVal != VARIANT_FALSE;
  }
  VariantClear(&value);
  return user_mode;
}

// A running form hides the control (OLEMISC_INVISIBLEATRUNTIME), but not
// every container reads that flag: Wine's ATL window paints a windowless
// control whenever it paints. So at run time the control draws nothing.
HRESULT STDMETHODCALLTYPE OrvaneObject::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC,
                                             HDC dc, LPCRECTL bounds, LPCRECTL,
                                             BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
  if (dc == nullptr) return E_INVALIDARG;
  if (aspect != DVASPECT_CONTENT && aspect != DVASPECT_OPAQUE) return DV_E_DVASPECT;
  if (UserMode()) return S_OK;
  RECT rect = position_;
  if (bounds != nullptr) rect = RECT{bounds->left, bounds->top, bounds->right, bounds->bottom};
  return DrawPicture(dc, rect);
}

HRESULT STDMETHODCALLTYPE OrvaneObject::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC,
                                                    LOGPALETTE** colors) {
  if (colors != nullptr) *colors = nullptr;
  return S_FALSE;
}
HRESULT STDMETHODCALLTYPE OrvaneObject::Freeze(DWORD, LONG, void*, DWORD*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE OrvaneObject::Unfreeze(DWORD) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE OrvaneObject::SetAdvise(DWORD aspects, DWORD advf, IAdviseSink* sink) {
  if (sink != nullptr) sink->AddRef();
  if (view_sink_ != nullptr) view_sink_->Release();
  view_sink_ = sink;
  view_aspects_ = aspects;
  view_advf_ = advf;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OrvaneObject::GetAdvise(DWORD* aspects, DWORD* advf, IAdviseSink** sink) {
  if (aspects != nullptr) *aspects = view_aspects_;
  if (advf != nullptr) *advf = view_advf_;
  if (sink != nullptr) {
    *sink = view_sink_;
    if (view_sink_ != nullptr) view_sink_->AddRef();
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OrvaneObject::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*,
                                                  LPSIZEL size) {
  return GetExtent(aspect, size);
}

HRESULT STDMETHODCALLTYPE OrvaneObject::GetRect(DWORD aspect, LPRECTL rect) {
  if (rect == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  *rect = RECTL{0, 0, static_cast<LONG>(control_->hosting().extent_cx()),
                static_cast<LONG>(control_->hosting().extent_cy())};
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OrvaneObject::GetViewStatus(DWORD* status) {
  if (status == nullptr) return E_POINTER;
  // Nothing is drawn at run time, so nothing there hides what lies behind.
  *status = UserMode() ? 0 : VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OrvaneObject::QueryHitPoint(DWORD aspect, LPCRECT bounds, POINT point,
                                                      LONG, DWORD* result) {
  if (bounds == nullptr || result == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return E_FAIL;
  *result = PtInRect(bounds, point) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OrvaneObject::QueryHitRect(DWORD aspect, LPCRECT bounds, LPCRECT rect,
                                                     LONG, DWORD* result) {
  if (bounds == nullptr || rect == nullptr || result == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return E_FAIL;
  RECT overlap;
  *result = IntersectRect(&overlap, bounds, rect) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OrvaneObject::GetNaturalExtent(DWORD aspect, LONG, DVTARGETDEVICE*, HDC,
                                                         DVEXTENTINFO* info, LPSIZEL size) {
  if (info == nullptr || size == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT || info->dwExtentMode != DVEXTENT_CONTENT) return E_FAIL;
  size->cx = static_cast<LONG>(ControlHosting::kDefaultExtent);
  size->cy = static_cast<LONG>(ControlHosting::kDefaultExtent);
  return S_OK;
}

// ---------------------------------------------------------------------------
// Persistence: 12 bytes, the core's layout.

HRESULT STDMETHODCALLTYPE OrvaneObject::GetClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = CLSID_Orvane;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OrvaneObject::IsDirty() { return dirty_ ? S_OK : S_FALSE; }

HRESULT STDMETHODCALLTYPE OrvaneObject::Load(IStream* stream) {
  if (stream == nullptr) return E_POINTER;
  std::uint8_t bytes[12] = {};
  ULONG got = 0;
  HRESULT hr = stream->Read(bytes, sizeof bytes, &got);
  if (FAILED(hr)) return hr;
  hr = control_->hosting().Load(std::span<const std::uint8_t>(bytes, got));
  if (SUCCEEDED(hr)) dirty_ = false;
  return hr;
}

HRESULT STDMETHODCALLTYPE OrvaneObject::Save(IStream* stream, BOOL clear_dirty) {
  if (stream == nullptr) return E_POINTER;
  std::array<std::uint8_t, 12> bytes = control_->hosting().Save();
  ULONG written = 0;
  HRESULT hr = stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
  if (SUCCEEDED(hr) && written != bytes.size()) hr = STG_E_MEDIUMFULL;
  if (SUCCEEDED(hr) && clear_dirty) dirty_ = false;
  return hr;
}

HRESULT STDMETHODCALLTYPE OrvaneObject::GetSizeMax(ULARGE_INTEGER* size) {
  if (size == nullptr) return E_POINTER;
  size->QuadPart = 12;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OrvaneObject::InitNew() { return S_OK; }
HRESULT STDMETHODCALLTYPE OrvaneObject::InitNew(IStorage*) { return S_OK; }

HRESULT STDMETHODCALLTYPE OrvaneObject::Load(IStorage* storage) {
  if (storage == nullptr) return E_POINTER;
  IStream* stream = nullptr;
  HRESULT hr =
      storage->OpenStream(kContentsStream, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream);
  if (FAILED(hr)) return hr;
  hr = Load(stream);
  stream->Release();
  return hr;
}

HRESULT STDMETHODCALLTYPE OrvaneObject::Save(IStorage* storage, BOOL) {
  if (storage == nullptr) return E_POINTER;
  IStream* stream = nullptr;
  HRESULT hr = storage->CreateStream(
      kContentsStream, STGM_WRITE | STGM_SHARE_EXCLUSIVE | STGM_CREATE, 0, 0, &stream);
  if (FAILED(hr)) return hr;
  hr = Save(stream, TRUE);
  stream->Release();
  return hr;
}

HRESULT STDMETHODCALLTYPE OrvaneObject::SaveCompleted(IStorage*) { return S_OK; }
HRESULT STDMETHODCALLTYPE OrvaneObject::HandsOffStorage() { return S_OK; }

// ---------------------------------------------------------------------------
// In-place activation: windowless, nothing of its own to show at run time.

HRESULT STDMETHODCALLTYPE OrvaneObject::GetWindow(HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = nullptr;
  return E_FAIL;
}
HRESULT STDMETHODCALLTYPE OrvaneObject::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE OrvaneObject::InPlaceDeactivate() {
  if (in_place_active_ && client_site_ != nullptr) {
    IOleInPlaceSite* site = nullptr;
    if (SUCCEEDED(
            client_site_->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&site)))) {
      IOleInPlaceSiteWindowless* windowless = nullptr;
      if (windowless_ && SUCCEEDED(site->QueryInterface(IID_IOleInPlaceSiteWindowless,
                                                        reinterpret_cast<void**>(&windowless)))) {
        windowless->OnInPlaceDeactivateEx(TRUE);
        windowless->Release();
      } else {
        site->OnInPlaceDeactivate();
      }
      site->Release();
    }
  }
  in_place_active_ = false;
  windowless_ = false;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OrvaneObject::UIDeactivate() { return S_OK; }

HRESULT STDMETHODCALLTYPE OrvaneObject::SetObjectRects(LPCRECT position, LPCRECT) {
  if (position == nullptr) return E_POINTER;
  position_ = *position;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OrvaneObject::ReactivateAndUndo() { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE OrvaneObject::OnWindowMessage(UINT, WPARAM, LPARAM, LRESULT* result) {
  if (result != nullptr) *result = 0;
  return S_FALSE;
}

HRESULT STDMETHODCALLTYPE OrvaneObject::GetDropTarget(IDropTarget** target) {
  if (target != nullptr) *target = nullptr;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE OrvaneObject::TranslateAccelerator(LPMSG) { return S_FALSE; }
HRESULT STDMETHODCALLTYPE OrvaneObject::OnFrameWindowActivate(BOOL) { return S_OK; }
HRESULT STDMETHODCALLTYPE OrvaneObject::OnDocWindowActivate(BOOL) { return S_OK; }
HRESULT STDMETHODCALLTYPE OrvaneObject::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) {
  return S_OK;
}
HRESULT STDMETHODCALLTYPE OrvaneObject::EnableModeless(BOOL) { return S_OK; }

// ---------------------------------------------------------------------------
// IOleControl

HRESULT STDMETHODCALLTYPE OrvaneObject::GetControlInfo(CONTROLINFO* info) {
  if (info == nullptr) return E_POINTER;
  info->hAccel = nullptr;
  info->cAccel = 0;
  info->dwFlags = 0;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE OrvaneObject::OnMnemonic(MSG*) { return S_OK; }
// Switching between design and run time changes what the control draws.
HRESULT STDMETHODCALLTYPE OrvaneObject::OnAmbientPropertyChange(DISPID id) {
  if ((id == DISPID_AMBIENT_USERMODE || id == DISPID_UNKNOWN) && view_sink_ != nullptr) {
    view_sink_->OnViewChange(DVASPECT_CONTENT, -1);
  }
  return S_OK;
}
HRESULT STDMETHODCALLTYPE OrvaneObject::FreezeEvents(BOOL) { return S_OK; }

}  // namespace orvane::com
