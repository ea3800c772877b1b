// In-place activation as a form designer drives it: the client site first,
// then the verb, then deactivation; the control reports both to its site.
#include <gtest/gtest.h>

#include "host_support.h"

namespace orvane::wintest {
namespace {

class Site final : public IOleClientSite, public IOleInPlaceSite {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite)) {
      *out = static_cast<IOleClientSite*>(this);
    } else if (IsEqualIID(iid, IID_IOleInPlaceSite) || IsEqualIID(iid, IID_IOleWindow)) {
      *out = static_cast<IOleInPlaceSite*>(this);
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
    ++activations;
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
    ++deactivations;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

  ULONG refs = 1;
  int activations = 0;
  int deactivations = 0;
};

TEST(Activation, VerbActivatesInPlaceOnceAndDeactivationIsReported) {
  Site site;
  {
    ComPtr<IOrvane> control = CreateByProgId();
    ASSERT_TRUE(control);
    ComPtr<IOleObject> ole;
    ASSERT_EQ(control.As(IID_IOleObject, &ole), S_OK);
    ASSERT_EQ(ole->SetClientSite(&site), S_OK);
    ComPtr<IOleClientSite> back;
    ASSERT_EQ(ole->GetClientSite(back.put()), S_OK);
    EXPECT_EQ(back.get(), static_cast<IOleClientSite*>(&site));
    back.Reset();

    RECT position{0, 0, 120, 96};
    EXPECT_EQ(ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, nullptr, &position), S_OK);
    EXPECT_EQ(ole->DoVerb(OLEIVERB_SHOW, nullptr, &site, 0, nullptr, &position), S_OK);
    EXPECT_EQ(site.activations, 1);

    ComPtr<IOleInPlaceObjectWindowless> in_place;
    ASSERT_EQ(control.As(IID_IOleInPlaceObjectWindowless, &in_place), S_OK);
    HWND window = reinterpret_cast<HWND>(1);
    EXPECT_EQ(in_place->GetWindow(&window), E_FAIL);  // windowless
    EXPECT_EQ(window, nullptr);
    LRESULT result = 1;
    EXPECT_EQ(in_place->OnWindowMessage(WM_LBUTTONDOWN, 0, 0, &result), S_FALSE);
    EXPECT_EQ(in_place->InPlaceDeactivate(), S_OK);
    EXPECT_EQ(site.deactivations, 1);

    ComPtr<IOleControl> ole_control;
    ASSERT_EQ(control.As(IID_IOleControl, &ole_control), S_OK);
    CONTROLINFO info{};
    info.cb = sizeof info;
    EXPECT_EQ(ole_control->GetControlInfo(&info), S_OK);
    EXPECT_EQ(info.cAccel, 0);
    EXPECT_EQ(ole->Close(OLECLOSE_NOSAVE), S_OK);
    EXPECT_EQ(ole->SetClientSite(nullptr), S_OK);
  }
  EXPECT_EQ(site.refs, 1u);  // every reference the control took is returned
}

}  // namespace
}  // namespace orvane::wintest
