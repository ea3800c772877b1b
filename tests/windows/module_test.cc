// The module as COM and regsvr32 use it: class objects, the lock count,
// aggregation, and what registration writes and removes.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "com/registrar.h"
#include "host_support.h"

namespace orvane::wintest {
namespace {

using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using CanUnloadFn = HRESULT(WINAPI*)();

class Module : public ::testing::Test {
 protected:
  void SetUp() override {
    dll_ = LoadLibraryW(DllPath().c_str());
    ASSERT_NE(dll_, nullptr);
    get_class_object_ = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(dll_, "DllGetClassObject")));
    can_unload_ = reinterpret_cast<CanUnloadFn>(
        reinterpret_cast<void*>(GetProcAddress(dll_, "DllCanUnloadNow")));
    ASSERT_NE(get_class_object_, nullptr);
    ASSERT_NE(can_unload_, nullptr);
  }
  void TearDown() override { FreeLibrary(dll_); }

  HMODULE dll_ = nullptr;
  GetClassObjectFn get_class_object_ = nullptr;
  CanUnloadFn can_unload_ = nullptr;
};

TEST_F(Module, ExportsExactlyTheFourServerFunctions) {
  for (const char* name :
       {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer"}) {
    EXPECT_NE(GetProcAddress(dll_, name), nullptr) << name;
  }
  auto* base = reinterpret_cast<const BYTE*>(dll_);
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  EXPECT_EQ(exports->NumberOfNames, 4u);
  EXPECT_EQ(exports->NumberOfFunctions, 4u);

  // The MinGW runtime is linked in: a host needs no DLL beside this one.
  const IMAGE_DATA_DIRECTORY& imports_dir =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  auto* imports =
      reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports_dir.VirtualAddress);
  int count = 0;
  for (; imports->Name != 0; ++imports, ++count) {
    std::string name = reinterpret_cast<const char*>(base + imports->Name);
    for (char& c : name) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(name.find("libstdc++"), std::string::npos) << name;
    EXPECT_EQ(name.find("libgcc"), std::string::npos) << name;
    EXPECT_EQ(name.find("winpthread"), std::string::npos) << name;
  }
  EXPECT_GT(count, 0);
}

TEST_F(Module, ClassObjectOnlyForTheControlsClass) {
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(get_class_object_(IID_IOrvane, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(get_class_object_(CLSID_Orvane, IID_IClassFactory, nullptr), E_POINTER);
  ComPtr<IClassFactory> first, second;
  ASSERT_EQ(get_class_object_(CLSID_Orvane, IID_IClassFactory, first.put_void()), S_OK);
  ASSERT_EQ(get_class_object_(CLSID_Orvane, IID_IClassFactory, second.put_void()), S_OK);
  EXPECT_EQ(first.get(), second.get());  // one cached factory
}

TEST_F(Module, CanUnloadOnlyWhenNoObjectFactoryOrLockRemains) {
  ASSERT_EQ(can_unload_(), S_OK);
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(get_class_object_(CLSID_Orvane, IID_IClassFactory, factory.put_void()), S_OK);
  EXPECT_EQ(can_unload_(), S_FALSE);
  ComPtr<IOrvane> control;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IOrvane, control.put_void()), S_OK);
  ASSERT_EQ(factory->LockServer(TRUE), S_OK);
  factory.Reset();
  EXPECT_EQ(can_unload_(), S_FALSE);
  control.Reset();
  EXPECT_EQ(can_unload_(), S_FALSE);  // the server lock
  ASSERT_EQ(get_class_object_(CLSID_Orvane, IID_IClassFactory, factory.put_void()), S_OK);
  ASSERT_EQ(factory->LockServer(FALSE), S_OK);
  factory.Reset();
  EXPECT_EQ(can_unload_(), S_OK);
}

// An enumerator is the module's code too, and may outlive the control that
// made it: while a host holds one, the module must stay loaded.
TEST_F(Module, AConnectionEnumeratorKeepsTheModuleInUse) {
  ASSERT_EQ(can_unload_(), S_OK);
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(get_class_object_(CLSID_Orvane, IID_IClassFactory, factory.put_void()), S_OK);
  ComPtr<IUnknown> control;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, control.put_void()), S_OK);
  factory.Reset();
  EventsSink sink;
  ComPtr<IEnumConnections> connections;
  {
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(control->QueryInterface(IID_IConnectionPointContainer, container.put_void()), S_OK);
    ASSERT_EQ(container->FindConnectionPoint(DIID__IOrvaneEvents, point.put()), S_OK);
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
    ASSERT_EQ(point->EnumConnections(connections.put()), S_OK);
  }
  control.Reset();
  EXPECT_EQ(can_unload_(), S_FALSE);
  CONNECTDATA data{};
  ULONG fetched = 0;
  ASSERT_EQ(connections->Next(1, &data, &fetched), S_OK);
  EXPECT_EQ(fetched, 1u);
  data.pUnk->Release();
  connections.Reset();
  EXPECT_EQ(can_unload_(), S_OK);
  EXPECT_EQ(sink.refs, 1) << "every reference to the sink was given back";
}

// An outer object that counts its references; the inner control delegates.
class Outer final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    return inner ? inner->QueryInterface(iid, out) : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  ULONG refs = 1;
  IUnknown* inner = nullptr;
};

TEST_F(Module, AggregatesOnlyThroughIUnknown) {
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(get_class_object_(CLSID_Orvane, IID_IClassFactory, factory.put_void()), S_OK);
  Outer outer;
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(&outer, IID_IOrvane, &out), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IOrvane, nullptr), E_POINTER);

  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)),
            S_OK);
  IOrvane* control = nullptr;
  ASSERT_EQ(outer.QueryInterface(IID_IOrvane, reinterpret_cast<void**>(&control)), S_OK);
  EXPECT_EQ(outer.refs, 2u);  // the inner object's interfaces count on the outer one
  IUnknown* back = nullptr;
  ASSERT_EQ(control->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&back)), S_OK);
  EXPECT_EQ(back, &outer);
  back->Release();
  Var rate;
  EXPECT_EQ(control->get_BaudRate(&rate), S_OK);
  EXPECT_EQ(rate.v.lVal, 4800);
  control->Release();
  EXPECT_EQ(outer.refs, 1u);
  EXPECT_EQ(outer.inner->Release(), 0u);
}

TEST_F(Module, CreatingForAnUnsupportedInterfaceFailsAndLeavesNothing) {
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(get_class_object_(CLSID_Orvane, IID_IClassFactory, factory.put_void()), S_OK);
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  factory.Reset();
  EXPECT_EQ(can_unload_(), S_OK);
}

std::wstring ReadString(HKEY root, const std::wstring& key, const wchar_t* value) {
  wchar_t buffer[1024];
  DWORD size = sizeof buffer;
  if (RegGetValueW(root, key.c_str(), value, RRF_RT_REG_SZ, nullptr, buffer, &size) !=
      ERROR_SUCCESS) {
    return L"<missing>";
  }
  return buffer;
}

bool KeyExists(HKEY root, const std::wstring& key) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
  RegCloseKey(h);
  return true;
}

const std::wstring kClassKey = L"CLSID\\{5C4581C2-84C7-4FCD-AEAC-39F6463C3E25}";

TEST_F(Module, RegistrationWritesTheScriptsKeysAndUnregistrationRemovesThem) {
  auto reg = reinterpret_cast<HRESULT(WINAPI*)()>(
      reinterpret_cast<void*>(GetProcAddress(dll_, "DllRegisterServer")));
  auto unreg = reinterpret_cast<HRESULT(WINAPI*)()>(
      reinterpret_cast<void*>(GetProcAddress(dll_, "DllUnregisterServer")));
  // A stray subkey goes away when the class key is written again.
  ASSERT_EQ(reg(), S_OK);
  HKEY stray = nullptr;
  ASSERT_EQ(RegCreateKeyW(HKEY_CLASSES_ROOT, (kClassKey + L"\\Stray").c_str(), &stray),
            ERROR_SUCCESS);
  RegCloseKey(stray);
  ASSERT_EQ(reg(), S_OK);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey + L"\\Stray"));

  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, L"OrvaneMod.Orvane", nullptr), L"Orvane Class");
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, L"OrvaneMod.Orvane\\CurVer", nullptr),
            L"OrvaneMod.Orvane.1");
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, L"OrvaneMod.Orvane.1\\CLSID", nullptr),
            L"{5C4581C2-84C7-4FCD-AEAC-39F6463C3E25}");
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, kClassKey, nullptr), L"Orvane Class");
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, kClassKey + L"\\InprocServer32", nullptr), DllPath());
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, kClassKey + L"\\InprocServer32", L"ThreadingModel"),
            L"Apartment");
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, kClassKey + L"\\ToolboxBitmap32", nullptr),
            DllPath() + L", 101");
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, kClassKey + L"\\MiscStatus", nullptr), L"0");
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, kClassKey + L"\\MiscStatus\\1", nullptr), L"132497");
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, kClassKey + L"\\TypeLib", nullptr),
            L"{1A0F73CA-24CC-4AA7-AB16-3D6C03FDABA7}");
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, kClassKey + L"\\Version", nullptr), L"1.0");
  for (const wchar_t* key : {L"\\Programmable", L"\\Control", L"\\Insertable", L"\\ProgID",
                             L"\\VersionIndependentProgID"}) {
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kClassKey + key)) << Narrow(key);
  }
  EXPECT_TRUE(
      KeyExists(HKEY_CLASSES_ROOT, L"TypeLib\\{1A0F73CA-24CC-4AA7-AB16-3D6C03FDABA7}\\1.0"));

  EXPECT_EQ(unreg(), S_OK);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"OrvaneMod.Orvane"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"OrvaneMod.Orvane.1"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID"));
  EXPECT_FALSE(
      KeyExists(HKEY_CLASSES_ROOT, L"TypeLib\\{1A0F73CA-24CC-4AA7-AB16-3D6C03FDABA7}\\1.0"));
  EXPECT_EQ(unreg(), S_OK);  // nothing left to remove is fine

  ASSERT_EQ(reg(), S_OK);  // leave the prefix as the other tests expect it
}

// The registrar itself, on a private key under HKCU.
TEST(Registrar, ExpandsTheModulePathWithApostrophesDoubledAndRemovesWhatItWrote) {
  const char script[] =
      "HKCU\n{\n  NoRemove Software\n  {\n    ForceRemove OrvaneRegistrarTest = s 'Top'\n    {\n"
      "      Path = s '%MODULE%, 101'\n      val Named = s 'it''s'\n      Number = d '42'\n"
      "      {5C4581C2-84C7-4FCD-AEAC-39F6463C3E25} = s '100%%'\n    }\n  }\n}\n";
  const std::wstring module = L"C:\\Bob's files\\OrvaneMod.dll";
  ASSERT_EQ(com::RunRegistrationScript(script, module, com::RegistrarMode::kRegister), S_OK);
  const std::wstring key = L"Software\\OrvaneRegistrarTest";
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, key, nullptr), L"Top");
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, key + L"\\Path", nullptr), module + L", 101");
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, key, L"Named"), L"it's");
  EXPECT_EQ(
      ReadString(HKEY_CURRENT_USER, key + L"\\{5C4581C2-84C7-4FCD-AEAC-39F6463C3E25}", nullptr),
      L"100%");
  ASSERT_EQ(com::RunRegistrationScript(script, module, com::RegistrarMode::kUnregister), S_OK);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, key));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, L"Software"));
}

TEST(Registrar, RefusesBrokenScriptsAndUnknownVariables) {
  std::vector<com::RegistryNode> roots;
  EXPECT_EQ(com::ParseScript(L"HKCR { Key = s 'unterminated }", &roots), E_FAIL);
  EXPECT_EQ(com::ParseScript(L"HKCR { Key { }", &roots), E_FAIL);
  std::wstring out;
  EXPECT_EQ(com::ExpandScript("HKCR { K = s '%WHAT%' }", L"x", &out), E_FAIL);
  ASSERT_EQ(com::ParseScript(
                L"HKCR\n{\n\tNoRemove CLSID\n\t{\n\t\tForceRemove {A-B} = s 'x'\n\t}\n}", &roots),
            S_OK);
  ASSERT_EQ(roots.size(), 1u);
  ASSERT_EQ(roots[0].children.size(), 1u);
  EXPECT_TRUE(roots[0].children[0].no_remove);
  ASSERT_EQ(roots[0].children[0].children.size(), 1u);
  EXPECT_EQ(roots[0].children[0].children[0].name, L"{A-B}");
  EXPECT_TRUE(roots[0].children[0].children[0].force_remove);
}

}  // namespace
}  // namespace orvane::wintest
