#include "automation/error_info.h"

#include "automation/codepage.h"
#include "automation/ids.h"
#include "automation/thread_slot.h"

namespace orvane {
namespace {

ThreadSlot<std::optional<ErrorRecord>> g_records;

}  // namespace

std::string_view ErrorDescription(HRESULT code) {
  switch (code) {
    case kPortClosed: return kMsgPortClosed;
    case kGetCommStateFailed: return kMsgGetCommState;
    case kSetCommStateFailed: return kMsgSetCommState;
    case kAlreadyOpen: return kMsgAlreadyOpen;
    case kCannotOpenPort: return kMsgCannotOpenPort;
    case kSetCommTimeoutsFailed: return kMsgSetCommTimeouts;
    case kCannotOpenFile: return kMsgCannotOpenFile;
    case hr::kInvalidArg: return kMsgInvalidArg;
    case hr::kUnexpected: return kMsgUnexpected;
    default: return {};
  }
}

void RecordError(std::string_view description) {
  ErrorRecord record;
  record.source = AnsiToUtf16(kErrorSource);
  record.interface_name = std::string(kErrorInterface);
  record.interface_id = std::string(kIidIOrvane);
  record.description = AnsiToUtf16(description);
  SetErrorRecord(std::move(record));
}

HRESULT ReportError(HRESULT code) { return ReportError(ErrorDescription(code), code); }

void SetErrorRecord(std::optional<ErrorRecord> record) { g_records.Get() = std::move(record); }

std::optional<ErrorRecord> TakeErrorRecord() {
  std::optional<ErrorRecord>& record = g_records.Get();
  std::optional<ErrorRecord> out = std::move(record);
  record.reset();
  return out;
}

const std::optional<ErrorRecord>& PeekErrorRecord() { return g_records.Get(); }

HRESULT InterfaceSupportsErrorInfo(std::string_view iid) {
  if (iid.size() != kIidIOrvane.size()) return S_FALSE;
  // ASCII folding: toupper would follow the process locale.
  auto fold = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
  for (std::size_t i = 0; i < iid.size(); ++i) {
    if (fold(iid[i]) != fold(kIidIOrvane[i])) return S_FALSE;
  }
  return S_OK;
}

}  // namespace orvane
