#include "host_support.h"

#include <cstdio>
#include <vector>

namespace orvane::wintest {

std::wstring Widen(std::string_view ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::string Narrow(std::wstring_view text) {
  std::string out;
  for (wchar_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

std::wstring WinePath(std::string_view unix_path) {
  std::wstring out = Widen(unix_path);
  for (wchar_t& c : out) {
    if (c == L'/') c = L'\\';
  }
  if (!out.empty() && out[0] == L'\\') out = L"Z:" + out;
  return out;
}

std::wstring DllPath() { return WinePath(ORVANE_DLL_PATH); }

ErrorObject TakeErrorObject() {
  ErrorObject e;
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) != S_OK || info == nullptr) return e;
  e.present = true;
  BSTR text = nullptr;
  if (SUCCEEDED(info->GetSource(&text)) && text) e.source.assign(text, SysStringLen(text));
  SysFreeString(text);
  text = nullptr;
  if (SUCCEEDED(info->GetDescription(&text)) && text)
    e.description.assign(text, SysStringLen(text));
  SysFreeString(text);
  info->GetGUID(&e.iid);
  info->Release();
  return e;
}

ComPtr<IOrvane> CreateByProgId() {
  ComPtr<IOrvane> control;
  CLSID clsid;
  if (FAILED(CLSIDFromProgID(L"OrvaneMod.Orvane", &clsid))) return control;
  CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOrvane, control.put_void());
  return control;
}

HRESULT InvokeByName(IDispatch* object, const wchar_t* name, WORD flags, VARIANT* args, UINT count,
                     VARIANT* result, EXCEPINFO* exception) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  // IDispatch takes its arguments last first.
  std::vector<VARIANT> reversed(count);
  for (UINT i = 0; i < count; ++i) reversed[count - 1 - i] = args[i];
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.data(), nullptr, count, 0};
  if (flags & DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &put;
    params.cNamedArgs = 1;
  }
  EXCEPINFO local{};
  UINT arg_error = 0;
  hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result,
                      exception ? exception : &local, &arg_error);
  if (!exception) {
    SysFreeString(local.bstrSource);
    SysFreeString(local.bstrDescription);
    SysFreeString(local.bstrHelpFile);
  }
  return hr;
}

std::wstring WriteTempFile(const std::string& text, const wchar_t* name) {
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  std::wstring path = std::wstring(dir) + name;
  FILE* f = _wfopen(path.c_str(), L"wb");
  if (f != nullptr) {
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
  }
  return path;
}

Picture LoadPicture() {
  Picture pic;
  FILE* f = fopen(ORVANE_SOURCE_DIR "/resources/picture.bmp", "rb");
  if (f == nullptr) return pic;
  std::vector<BYTE> file(200000);
  file.resize(fread(file.data(), 1, file.size(), f));
  fclose(f);
  auto u32 = [&](int at) {
    return file[at] | file[at + 1] << 8 | file[at + 2] << 16 | file[at + 3] << 24;
  };
  pic.width = u32(18);
  pic.height = u32(22);
  const int offset = u32(10);
  const int stride = (pic.width * 3 + 3) & ~3;
  for (int y = 0; y < pic.height; ++y) {
    const BYTE* row = &file[offset + (pic.height - 1 - y) * stride];
    pic.bgr.insert(pic.bgr.end(), row, row + pic.width * 3);
  }
  return pic;
}

namespace {

// Every test runs in a single-threaded apartment with the DLL registered, as
// regsvr32 would leave it.
class ComEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    HMODULE dll = LoadLibraryW(DllPath().c_str());
    ASSERT_NE(dll, nullptr) << Narrow(DllPath());
    auto reg = reinterpret_cast<HRESULT(WINAPI*)()>(
        reinterpret_cast<void*>(GetProcAddress(dll, "DllRegisterServer")));
    ASSERT_NE(reg, nullptr);
    ASSERT_EQ(reg(), S_OK);
    FreeLibrary(dll);
  }
  void TearDown() override { CoUninitialize(); }
};

[[maybe_unused]] const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new ComEnvironment);

}  // namespace

}  // namespace orvane::wintest
