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

// IClassFactory::CreateInstance for the control (aggregation included).
HRESULT CreateControlObject(IUnknown* outer, REFIID iid, void** out);

}  // namespace orvane::com
