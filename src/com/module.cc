// The four exports and the module's one cached class factory; the lock count
// is the core's (control/module_lifetime.h).
#include <string>

#include "automation/platform.h"
#include "com/com_module.h"
#include "com/registrar.h"
#include "control/orvane_control.h"
#include "OrvaneMod_h.h"

namespace orvane::com {
namespace {

HINSTANCE g_instance = nullptr;
CRITICAL_SECTION g_factory_lock;
bool g_factory_lock_ready = false;

CRITICAL_SECTION g_typeinfo_lock;
ITypeLib* g_typelib = nullptr;
ITypeInfo* g_typeinfos[4] = {};

// Held once by the module's cache: the module is locked only while somebody
// besides the cache holds it.
class ClassFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return QueryOneInterface(static_cast<IClassFactory*>(this), IID_IClassFactory, iid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    LONG n = InterlockedIncrement(&refs_);
    if (n == 2) LockModule();
    return n;
  }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG n = InterlockedDecrement(&refs_);
    if (n == 1) UnlockModule();
    if (n == 0) delete this;
    return n;
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    return CreateControlObject(outer, iid, out);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    orvane::LockServer(lock != FALSE);
    return S_OK;
  }

 private:
  LONG refs_ = 1;
};

ClassFactory* g_factory = nullptr;

std::wstring ReplaceExtension(const std::wstring& path, const wchar_t* ext) {
  std::size_t slash = path.find_last_of(L"\\/:");
  std::size_t dot = path.find_last_of(L'.');
  if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) return path + ext;
  return path.substr(0, dot) + ext;
}

HRESULT LoadScript(std::string* script) {
  HRSRC res = FindResourceW(g_instance, MAKEINTRESOURCEW(102), L"REGISTRY");
  if (res == nullptr) return HRESULT_FROM_WIN32(GetLastError());
  HGLOBAL data = LoadResource(g_instance, res);
  DWORD size = SizeofResource(g_instance, res);
  const char* bytes = data ? static_cast<const char*>(LockResource(data)) : nullptr;
  if (bytes == nullptr) return E_FAIL;
  script->assign(bytes, size);
  return S_OK;
}

HRESULT RunScript(RegistrarMode mode) {
  std::string script;
  HRESULT hr = LoadScript(&script);
  if (FAILED(hr)) return hr;
  return RunRegistrationScript(script, ModulePath(), mode);
}

}  // namespace

HINSTANCE ModuleInstance() { return g_instance; }

std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(g_instance, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

HRESULT LoadModuleTypeLib(ITypeLib** lib, std::wstring* loaded_from) {
  std::wstring path = ModulePath();
  HRESULT hr = LoadTypeLib(path.c_str(), lib);
  if (FAILED(hr)) {
    path = ReplaceExtension(path, L".tlb");
    hr = LoadTypeLib(path.c_str(), lib);
  }
  if (SUCCEEDED(hr) && loaded_from != nullptr) *loaded_from = path;
  return hr;
}

HRESULT CachedTypeInfo(REFGUID guid, ITypeInfo** info) {
  const GUID* guids[4] = {&IID_IOrvane, &DIID__IOrvaneEvents, &CLSID_Orvane, &IID_IOrvane2};
  int slot = -1;
  for (int i = 0; i < 4; ++i) {
    if (IsEqualGUID(guid, *guids[i])) slot = i;
  }
  if (slot < 0) return TYPE_E_ELEMENTNOTFOUND;
  EnterCriticalSection(&g_typeinfo_lock);
  HRESULT hr = S_OK;
  if (g_typelib == nullptr) hr = LoadModuleTypeLib(&g_typelib);
  if (SUCCEEDED(hr) && g_typeinfos[slot] == nullptr) {
    hr = g_typelib->GetTypeInfoOfGuid(guid, &g_typeinfos[slot]);
  }
  *info = SUCCEEDED(hr) ? g_typeinfos[slot] : nullptr;
  LeaveCriticalSection(&g_typeinfo_lock);
  return hr;
}

void InitializeModule(HINSTANCE instance) {
  g_instance = instance;
  InitializeCriticalSection(&g_factory_lock);
  InitializeCriticalSection(&g_typeinfo_lock);
  g_factory_lock_ready = true;
}

void TerminateModule(bool process_ending) {
  if (!g_factory_lock_ready) return;
  // At process exit other DLLs may already be gone: leave COM objects alone.
  if (!process_ending) {
    for (ITypeInfo*& info : g_typeinfos) {
      if (info != nullptr) info->Release();
      info = nullptr;
    }
    if (g_typelib != nullptr) g_typelib->Release();
    g_typelib = nullptr;
    if (g_factory != nullptr) g_factory->Release();
    g_factory = nullptr;
  }
  DeleteCriticalSection(&g_typeinfo_lock);
  DeleteCriticalSection(&g_factory_lock);
  g_factory_lock_ready = false;
}

HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (!IsEqualCLSID(clsid, CLSID_Orvane)) return CLASS_E_CLASSNOTAVAILABLE;
  if (g_factory == nullptr) {
    EnterCriticalSection(&g_factory_lock);
    if (g_factory == nullptr) g_factory = new (std::nothrow) ClassFactory;
    LeaveCriticalSection(&g_factory_lock);
    if (g_factory == nullptr) return E_OUTOFMEMORY;
  }
  return g_factory->QueryInterface(iid, out);
}

HRESULT RegisterServer() {
  HRESULT hr = RunScript(RegistrarMode::kRegister);
  if (FAILED(hr)) return hr;
  ITypeLib* lib = nullptr;
  std::wstring path;
  hr = LoadModuleTypeLib(&lib, &path);
  if (FAILED(hr)) return hr;
  std::wstring help_dir = path.substr(0, path.find_last_of(L"\\/:") + 1);
  hr = RegisterTypeLib(lib, path.data(), help_dir.empty() ? nullptr : help_dir.data());
  lib->Release();
  return hr;
}

HRESULT UnregisterServer() {
  RunScript(RegistrarMode::kUnregister);
  ITypeLib* lib = nullptr;
  if (SUCCEEDED(LoadModuleTypeLib(&lib))) {
    using UnRegisterFn = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);
    HMODULE oleaut = GetModuleHandleW(L"oleaut32.dll");
    auto unregister = oleaut ? reinterpret_cast<UnRegisterFn>(reinterpret_cast<void*>(
                                   GetProcAddress(oleaut, "UnRegisterTypeLib")))
                             : nullptr;
    TLIBATTR* attr = nullptr;
    if (unregister != nullptr && SUCCEEDED(lib->GetLibAttr(&attr))) {
      unregister(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
      lib->ReleaseTLibAttr(attr);
    }
    lib->Release();
  }
  return S_OK;
}

}  // namespace orvane::com

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    orvane::com::InitializeModule(instance);
    DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH) {
    orvane::com::TerminateModule(reserved != nullptr);
  }
  return TRUE;
}

STDAPI DllCanUnloadNow() { return orvane::CanUnloadNow(); }

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
  return orvane::com::GetClassObject(clsid, iid, out);
}

STDAPI DllRegisterServer() { return orvane::com::RegisterServer(); }

STDAPI DllUnregisterServer() { return orvane::com::UnregisterServer(); }

}  // extern "C"
