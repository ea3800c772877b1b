// What the Windows test host needs to be a COM client of OrvaneMod.dll: a
// single-threaded apartment, the DLL registered in the test prefix, smart
// pointers and VARIANT helpers.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "automation/platform.h"
#include "OrvaneMod_h.h"

namespace orvane::wintest {

template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr& o) : p_(o.p_) {
    if (p_) p_->AddRef();
  }
  ComPtr& operator=(ComPtr o) {
    std::swap(p_, o.p_);
    return *this;
  }
  ~ComPtr() { Reset(); }
  void Reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  T** put() {
    Reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  template <typename U>
  HRESULT As(REFIID iid, ComPtr<U>* out) const {
    return p_->QueryInterface(iid, out->put_void());
  }

 private:
  T* p_ = nullptr;
};

// A VARIANT that clears itself.
struct Var {
  VARIANT v;
  Var() { VariantInit(&v); }
  explicit Var(const wchar_t* text) {
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(text);
  }
  explicit Var(int i4) {
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = i4;
  }
  static Var Double(double d) {
    Var r;
    r.v.vt = VT_R8;
    r.v.dblVal = d;
    return r;
  }
  static Var Missing() {
    Var r;
    r.v.vt = VT_ERROR;
    r.v.scode = DISP_E_PARAMNOTFOUND;
    return r;
  }
  Var(Var&& o) noexcept : v(o.v) { VariantInit(&o.v); }
  Var(const Var&) = delete;
  Var& operator=(const Var&) = delete;
  ~Var() { VariantClear(&v); }
  VARIANT* operator&() { return &v; }
  std::wstring Text() const {
    return v.vt == VT_BSTR ? std::wstring(v.bstrVal, SysStringLen(v.bstrVal)) : L"";
  }
};

std::wstring Widen(std::string_view ascii);
std::string Narrow(std::wstring_view text);
// A Linux path as Wine sees it: Z: and backslashes.
std::wstring WinePath(std::string_view unix_path);
std::wstring DllPath();

// The calling thread's error object, taken (GetErrorInfo clears it).
struct ErrorObject {
  bool present = false;
  std::wstring source, description;
  GUID iid{};
};
ErrorObject TakeErrorObject();

// Creates the control by its ProgID.
ComPtr<IOrvane> CreateByProgId();

// Invokes a member by name through IDispatch (arguments in declaration order).
HRESULT InvokeByName(IDispatch* object, const wchar_t* name, WORD flags, VARIANT* args, UINT count,
                     VARIANT* result, EXCEPINFO* exception = nullptr);

// An _IOrvaneEvents sink in the test's apartment that counts its references
// (it lives on the stack; tests check that every reference came back).
// Invoke does nothing unless a test overrides it.
class EventsSink : public IDispatch {
 public:
  // `also`: one more interface this object answers for.
  explicit EventsSink(REFIID also = IID_NULL) : also_(also) {}
  virtual ~EventsSink() = default;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        IsEqualIID(iid, DIID__IOrvaneEvents) ||
        (!IsEqualIID(also_, IID_NULL) && IsEqualIID(iid, also_))) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs); }
  ULONG STDMETHODCALLTYPE Release() override { return InterlockedDecrement(&refs); }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return S_OK;
  }
  LONG refs = 1;

 private:
  IID also_;
};

// Pumps this thread's messages until `done()` or `timeout_ms`.
template <typename Done>
bool PumpUntil(Done done, DWORD timeout_ms) {
  const ULONGLONG until = GetTickCount64() + timeout_ms;
  while (!done()) {
    if (GetTickCount64() > until) return false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

// The picture as the build put it in the DLL, read from the source tree.
struct Picture {
  int width = 0, height = 0;
  std::vector<BYTE> bgr;  // top-down
  COLORREF At(int x, int y) const {
    const BYTE* p = &bgr[(y * width + x) * 3];
    return RGB(p[2], p[1], p[0]);
  }
};
Picture LoadPicture();

// Writes `text` to a fresh file in the temporary folder; returns its path.
std::wstring WriteTempFile(const std::string& text, const wchar_t* name);

}  // namespace orvane::wintest
