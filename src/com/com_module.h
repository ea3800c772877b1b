// The module object of OrvaneMod.dll: instance handle, lock count, the cached
// type information, and the creator of control objects.
#pragma once

#include <string>

#include "automation/platform.h"
#include "control/module_lifetime.h"

namespace orvane::com {

HINSTANCE ModuleInstance();
// The module file's full path (the test host's own path when linked into it).
std::wstring ModulePath();

// Loads the type library from the module (or the .tlb beside it). The result
// is AddRef'ed for the caller.
HRESULT LoadModuleTypeLib(ITypeLib** lib, std::wstring* loaded_from = nullptr);
// The type information of IOrvane, _IOrvaneEvents or the coclass, loaded once
// per process and kept; not AddRef'ed.
HRESULT CachedTypeInfo(REFGUID guid, ITypeInfo** info);

// QueryInterface of an object that answers `answers` besides IUnknown.
template <typename Interface>
HRESULT QueryOneInterface(Interface* self, REFIID answers, REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, answers)) {
    *out = self;
    self->AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

// IUnknown of an object the module hands out that answers one interface
// besides IUnknown; it keeps the module loaded while it lives, since it may
// outlive the control that made it. Made with one reference.
template <typename Interface>
class ModuleObject : public Interface {
 public:
  explicit ModuleObject(REFIID iid) : iid_(iid) { LockModule(); }
  virtual ~ModuleObject() { UnlockModule(); }
  ModuleObject(const ModuleObject&) = delete;
  ModuleObject& operator=(const ModuleObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return QueryOneInterface(static_cast<Interface*>(this), iid_, iid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return n;
  }

 protected:
  const IID& iid() const { return iid_; }

 private:
  LONG refs_ = 1;
  IID iid_;
};

// IClassFactory::CreateInstance for the control (aggregation included).
HRESULT CreateControlObject(IUnknown* outer, REFIID iid, void** out);

}  // namespace orvane::com
