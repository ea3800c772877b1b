// ReportError on Windows: a real COM error object on the calling thread, and
// the thread's record as on POSIX so the core's own tests read it the same way.
#include <string>

#include "automation/platform.h"  // windows.h and the OLE headers, in order
#include "automation/codepage.h"
#include "automation/error_info.h"
#include "automation/ids.h"

namespace orvane {
namespace {

std::wstring Widen(std::string_view ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::wstring AnsiToWide(std::string_view text) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(n > 0 ? n : 0, L'\0');
  if (n > 0) {
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  }
  return out;
}

void SetComErrorObject(std::string_view description) {
  ICreateErrorInfo* create = nullptr;
  if (FAILED(CreateErrorInfo(&create))) return;
  GUID iid;
  if (SUCCEEDED(IIDFromString(Widen(kIidIOrvane).c_str(), &iid))) create->SetGUID(iid);
  CLSID clsid;
  // The source is whatever ProgID is registered for the class; unregistered,
  // the error object simply has none.
  if (SUCCEEDED(CLSIDFromString(Widen(kClsidOrvane).c_str(), &clsid))) {
    LPOLESTR prog_id = nullptr;
    if (SUCCEEDED(ProgIDFromCLSID(clsid, &prog_id)) && prog_id != nullptr) {
      create->SetSource(prog_id);
      CoTaskMemFree(prog_id);
    }
  }
  std::wstring text = AnsiToWide(description);
  create->SetDescription(text.data());
  IErrorInfo* info = nullptr;
  if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
    SetErrorInfo(0, info);
    info->Release();
  }
  create->Release();
}

}  // namespace

HRESULT ReportError(std::string_view description, HRESULT result) {
  RecordError(description);
  SetComErrorObject(description);
  return result;
}

}  // namespace orvane
