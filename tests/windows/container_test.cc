// The control inside containers written by others. Wine's ATL hosting window
// (atl.dll: AtlAxWinInit, the AtlAxWin class, AtlAxGetControl) plays a form
// at run time; its site offers no ambient properties. A designer's site,
// answering ambient UserMode false, plays a form being designed.
#include <gtest/gtest.h>

#include <olectl.h>

#include <string>

#include "host_support.h"
#include "support/nmea.h"

namespace orvane::wintest {
namespace {

// Counts the events it gets and the threads they arrive on.
class CountingSink final : public EventsSink {
 public:
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    if (GetCurrentThreadId() != thread) ++foreign_thread;
    if (id == 3) ++fixes;
    if (id == 7) ++completed;
    return S_OK;
  }
  DWORD thread = GetCurrentThreadId();
  int fixes = 0, completed = 0, foreign_thread = 0;
};

void Advise(IUnknown* control, IUnknown* sink) {
  ComPtr<IConnectionPointContainer> container;
  ComPtr<IConnectionPoint> point;
  DWORD cookie = 0;
  ASSERT_EQ(control->QueryInterface(IID_IConnectionPointContainer, container.put_void()), S_OK);
  ASSERT_EQ(container->FindConnectionPoint(DIID__IOrvaneEvents, point.put()), S_OK);
  ASSERT_EQ(point->Advise(sink, &cookie), S_OK);
}

// A 32-bit top-down DIB section in a memory DC, filled with one colour.
struct Canvas {
  Canvas(int w, int h, COLORREF fill) : width(w) {
    dc = CreateCompatibleDC(nullptr);
    BITMAPINFO bmi{};
    bmi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    bitmap = CreateDIBSection(dc, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    old = SelectObject(dc, bitmap);
    RECT all{0, 0, w, h};
    HBRUSH brush = CreateSolidBrush(fill);
    FillRect(dc, &all, brush);
    DeleteObject(brush);
    GdiFlush();
  }
  ~Canvas() {
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
  COLORREF At(int x, int y) const {
    const BYTE* p = static_cast<const BYTE*>(bits) + (y * width + x) * 4;
    return RGB(p[2], p[1], p[0]);
  }
  int width;
  HDC dc;
  HBITMAP bitmap;
  HGDIOBJ old;
  void* bits = nullptr;
};

// Draws the control at 200 x 160 on magenta; how many pixels differ from
// the picture, and how many are still magenta.
struct DrawResult {
  HRESULT hr;
  int unlike_picture, background;
};
DrawResult DrawOnce(IUnknown* control, const Picture& pic) {
  const COLORREF magenta = RGB(255, 0, 255);
  Canvas canvas(200, 160, magenta);
  ComPtr<IViewObject> view;
  DrawResult r{control->QueryInterface(IID_IViewObject, view.put_void()), 0, 0};
  if (FAILED(r.hr)) return r;
  RECTL bounds{0, 0, 200, 160};
  r.hr = view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, canvas.dc, &bounds, nullptr,
                    nullptr, 0);
  GdiFlush();
  for (int y = 0; y < 160; ++y) {
    for (int x = 0; x < 200; ++x) {
      r.unlike_picture += canvas.At(x, y) != pic.At(x, y);
      r.background += canvas.At(x, y) == magenta;
    }
  }
  return r;
}

using CanUnloadFn = HRESULT(WINAPI*)();

struct Atl {
  HMODULE dll = LoadLibraryW(L"atl.dll");
  ~Atl() { FreeLibrary(dll); }
  template <typename F>
  F Get(const char* name) const {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
  }
};

TEST(AtlContainer, RunningFormHostsTheControlHiddenWithEventsPutsErrorsAndPromptRelease) {
  Atl atl;
  ASSERT_NE(atl.dll, nullptr);
  auto init = atl.Get<BOOL(WINAPI*)()>("AtlAxWinInit");
  auto get_control = atl.Get<HRESULT(WINAPI*)(HWND, IUnknown**)>("AtlAxGetControl");
  ASSERT_TRUE(init && get_control);
  ASSERT_TRUE(init());
  struct Module {
    HMODULE dll = LoadLibraryW(DllPath().c_str());
    ~Module() { FreeLibrary(dll); }
  } module;
  auto can_unload = reinterpret_cast<CanUnloadFn>(
      reinterpret_cast<void*>(GetProcAddress(module.dll, "DllCanUnloadNow")));
  ASSERT_NE(can_unload, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return can_unload() == S_OK; }, 10000));

  HWND window = CreateWindowExW(0, L"AtlAxWin", L"OrvaneMod.Orvane", WS_POPUP | WS_VISIBLE, 0, 0,
                                200, 160, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(window, nullptr) << GetLastError();
  CountingSink sink;
  auto sentence = orvane::testing::Sentence;
  // Paced, the second fix an hour after the first: the reader is still
  // waiting when the window goes.
  const std::wstring paced = WriteTempFile(
      sentence("$GPRMC,000000,A,4736.372,N,12219.926,W,5.5,045.0,310104,15.2,E,A") +
          sentence("$GPRMC,010000,A,4736.372,N,12219.926,W,5.5,045.0,310104,15.2,E,A"),
      L"orvane_atl_paced.nmea");
  {
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(get_control(window, unknown.put()), S_OK);
    ComPtr<IOrvane> control;
    ASSERT_EQ(unknown.As(IID_IOrvane, &control), S_OK);

    // Sited by ATL, activated in place without a window of its own.
    ComPtr<IOleObject> ole;
    ASSERT_EQ(control.As(IID_IOleObject, &ole), S_OK);
    ComPtr<IOleClientSite> site;
    ASSERT_EQ(ole->GetClientSite(site.put()), S_OK);
    ASSERT_TRUE(site);
    ComPtr<IOleInPlaceSiteWindowless> in_place_site;
    ASSERT_EQ(site.As(IID_IOleInPlaceSiteWindowless, &in_place_site), S_OK);
    HWND site_window = nullptr;
    EXPECT_EQ(in_place_site->GetWindow(&site_window), S_OK);
    EXPECT_EQ(site_window, window);
    ComPtr<IOleInPlaceObject> in_place;
    ASSERT_EQ(control.As(IID_IOleInPlaceObject, &in_place), S_OK);
    HWND own = reinterpret_cast<HWND>(1);
    EXPECT_EQ(in_place->GetWindow(&own), E_FAIL);

    // Run time: the site has no ambient UserMode, so it is TRUE; nothing is
    // drawn, even when ATL paints the window, and the view says so.
    UpdateWindow(window);
    const Picture pic = LoadPicture();
    ASSERT_EQ(pic.width, 200);
    const DrawResult drawn = DrawOnce(control.get(), pic);
    EXPECT_EQ(drawn.hr, S_OK);
    EXPECT_EQ(drawn.background, 200 * 160);
    ComPtr<IViewObjectEx> view;
    ASSERT_EQ(control.As(IID_IViewObjectEx, &view), S_OK);
    DWORD status = VIEWSTATUS_OPAQUE;
    EXPECT_EQ(view->GetViewStatus(&status), S_OK);
    EXPECT_EQ(status, 0u);

    // A property put through IDispatch, as a form's script does.
    Var two(2);
    EXPECT_EQ(
        InvokeByName(control.get(), L"LatLonFormat", DISPATCH_PROPERTYPUT, &two.v, 1, nullptr),
        S_OK);
    Var format;
    EXPECT_EQ(
        InvokeByName(control.get(), L"LatLonFormat", DISPATCH_PROPERTYGET, nullptr, 0, &format.v),
        S_OK);
    EXPECT_EQ(format.v.vt, VT_I2);
    EXPECT_EQ(format.v.iVal, 2);

    // A failing OpenFile gives its error and its error object.
    Var missing(L"Z:\\no\\such\\orvane.nmea");
    EXPECT_EQ(control->OpenFile(missing.v, Var::Missing().v), static_cast<HRESULT>(0x80040215));
    const ErrorObject error = TakeErrorObject();
    EXPECT_TRUE(error.present);
    EXPECT_EQ(error.description, L"Unable to open file.");

    // Events of a whole replay arrive on this thread while it pumps.
    Advise(control.get(), &sink);
    Var sample(WinePath(ORVANE_TEST_DATA "/mixed.nmea").c_str());
    ASSERT_EQ(control->OpenFile(sample.v, Var::Missing().v), S_OK);
    ASSERT_TRUE(PumpUntil([&] { return sink.completed == 1; }, 30000));
    EXPECT_GT(sink.fixes, 0);
    EXPECT_EQ(sink.foreign_thread, 0);

    // A source still open when the window goes.
    ASSERT_TRUE(PumpUntil(
        [&] { return control->OpenFile(Var(paced.c_str()).v, Var::Double(1).v) == S_OK; }, 5000));
    const int fixes = sink.fixes;
    ASSERT_TRUE(PumpUntil([&] { return sink.fixes > fixes; }, 10000));
  }
  // Only the window holds the control now.
  const ULONGLONG start = GetTickCount64();
  DestroyWindow(window);
  const ULONGLONG destroyed_ms = GetTickCount64() - start;
  EXPECT_LT(destroyed_ms, 2000u) << "the reader's pacing wait must not hold the window";
  EXPECT_TRUE(PumpUntil([&] { return can_unload() == S_OK; }, 5000));
  EXPECT_EQ(sink.refs, 1) << "the control let go of its sinks";
  // The reader closed the log: it opens exclusively now.
  HANDLE file = CreateFileW(paced.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  DeleteFileW(paced.c_str());
}

// A form designer's site: windowless in-place site, ambient properties
// through IDispatch with UserMode false until the form runs.
class DesignerSite final : public IOleClientSite,
                           public IOleInPlaceSiteWindowless,
                           public IDispatch {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite)) {
      *out = static_cast<IOleClientSite*>(this);
    } else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceSite) ||
               IsEqualIID(iid, IID_IOleInPlaceSiteEx) ||
               IsEqualIID(iid, IID_IOleInPlaceSiteWindowless)) {
      *out = static_cast<IOleInPlaceSiteWindowless*>(this);
    } else if (IsEqualIID(iid, IID_IDispatch)) {
      *out = static_cast<IDispatch*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  // IOleClientSite
  HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer**) override { return E_NOINTERFACE; }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }
  // IOleWindow, IOleInPlaceSite
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
    *window = nullptr;
    return E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override {
    ++windowed_activations;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame**, IOleInPlaceUIWindow**, LPRECT,
                                             LPRECT, LPOLEINPLACEFRAMEINFO) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override {
    ++windowed_deactivations;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }
  // IOleInPlaceSiteEx, IOleInPlaceSiteWindowless
  HRESULT STDMETHODCALLTYPE OnInPlaceActivateEx(BOOL* no_redraw, DWORD flags) override {
    if (no_redraw != nullptr) *no_redraw = FALSE;
    activate_flags = flags;
    ++windowless_activations;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivateEx(BOOL) override {
    ++windowless_deactivations;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE RequestUIActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE CanWindowlessActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetCapture() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE SetCapture(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetFocus() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE SetFocus(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetDC(LPCRECT, DWORD, HDC*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ReleaseDC(HDC) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE InvalidateRect(LPCRECT, BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE InvalidateRgn(HRGN, BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ScrollRect(INT, INT, LPCRECT, LPCRECT) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE AdjustRect(LPRECT) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDefWindowMessage(UINT, WPARAM, LPARAM, LRESULT*) override {
    return S_FALSE;
  }
  // IDispatch: the ambient properties
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*,
                                   VARIANT* result, EXCEPINFO*, UINT*) override {
    if (id != DISPID_AMBIENT_USERMODE || !(flags & DISPATCH_PROPERTYGET) || result == nullptr) {
      return DISP_E_MEMBERNOTFOUND;
    }
    ++user_mode_asked;
    VariantInit(result);
    result->vt = VT_BOOL;
    result->boolVal = user_mode ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }

  ULONG refs = 1;
  bool user_mode = false;
  int user_mode_asked = 0;
  int windowed_activations = 0, windowed_deactivations = 0;
  int windowless_activations = 0, windowless_deactivations = 0;
  DWORD activate_flags = 0;
};

TEST(DesignerContainer, DesignTimeDrawsThePictureAndRunTimeHidesIt) {
  const Picture pic = LoadPicture();
  ASSERT_EQ(pic.width, 200);
  ASSERT_EQ(pic.height, 160);
  DesignerSite site;
  {
    ComPtr<IOrvane> control = CreateByProgId();
    ASSERT_TRUE(control);
    ComPtr<IOleObject> ole;
    ASSERT_EQ(control.As(IID_IOleObject, &ole), S_OK);
    ASSERT_EQ(ole->SetClientSite(static_cast<IOleClientSite*>(&site)), S_OK);
    RECT position{0, 0, 200, 160};
    ASSERT_EQ(ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, nullptr, &position), S_OK);
    EXPECT_EQ(site.windowless_activations, 1);
    EXPECT_EQ(site.activate_flags, static_cast<DWORD>(ACTIVATE_WINDOWLESS));
    EXPECT_EQ(site.windowed_activations, 0);

    // Design time: the whole picture, pixel for pixel, and an opaque view.
    DrawResult drawn = DrawOnce(control.get(), pic);
    EXPECT_EQ(drawn.hr, S_OK);
    EXPECT_EQ(drawn.unlike_picture, 0);
    EXPECT_GT(site.user_mode_asked, 0);
    ComPtr<IViewObjectEx> view;
    ASSERT_EQ(control.As(IID_IViewObjectEx, &view), S_OK);
    DWORD status = 0;
    EXPECT_EQ(view->GetViewStatus(&status), S_OK);
    EXPECT_EQ(status, static_cast<DWORD>(VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND));

    // The form runs: the control is told, and from then on draws nothing.
    site.user_mode = true;
    ComPtr<IOleControl> ole_control;
    ASSERT_EQ(control.As(IID_IOleControl, &ole_control), S_OK);
    EXPECT_EQ(ole_control->OnAmbientPropertyChange(DISPID_AMBIENT_USERMODE), S_OK);
    drawn = DrawOnce(control.get(), pic);
    EXPECT_EQ(drawn.hr, S_OK);
    EXPECT_EQ(drawn.background, 200 * 160);
    EXPECT_EQ(view->GetViewStatus(&status), S_OK);
    EXPECT_EQ(status, 0u);

    ComPtr<IOleInPlaceObject> in_place;
    ASSERT_EQ(control.As(IID_IOleInPlaceObject, &in_place), S_OK);
    EXPECT_EQ(in_place->InPlaceDeactivate(), S_OK);
    EXPECT_EQ(site.windowless_deactivations, 1);
    EXPECT_EQ(site.windowed_deactivations, 0);
    EXPECT_EQ(ole->Close(OLECLOSE_NOSAVE), S_OK);
    EXPECT_EQ(ole->SetClientSite(nullptr), S_OK);
  }
  EXPECT_EQ(site.refs, 1u);
}

}  // namespace
}  // namespace orvane::wintest
