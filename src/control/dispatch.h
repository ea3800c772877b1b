// Late binding on POSIX: names to DISPIDs and Invoke by DISPID, with the
// platform's argument rules and its turning of an error record into
// DISP_E_EXCEPTION.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "automation/error_info.h"
#include "automation/variant.h"
#include "control/member_table.h"
#include "orvane/dispatch.h"

namespace orvane {

class OrvaneControl;

// names[0] is a member, the rest its parameter names; ids gets one DISPID each
// (parameters by position). Unknown names give DISPID_UNKNOWN and
// DISP_E_UNKNOWNNAME.
HRESULT GetIDsOfNames(std::span<const std::string_view> names, std::span<DISPID> ids);

HRESULT Invoke(OrvaneControl& control, DISPID dispid, std::uint16_t flags, DispParams params,
               Variant* result, ExcepInfo* excep_info, std::uint32_t* arg_err);

// Convenience for hosts: invoke by name with arguments in natural order.
HRESULT InvokeByName(OrvaneControl& control, std::string_view name, std::uint16_t flags,
                     std::vector<Variant>& args, Variant* result, ExcepInfo* excep_info = nullptr);

// Runs one member call with the thread's earlier error record put aside; the
// record the call made itself, if any, is handed back through `record` and
// stays with the thread, as the platform leaves it (else the earlier one does).
template <typename Call>
HRESULT CallRecording(const Call& call, std::optional<ErrorRecord>* record) {
  std::optional<ErrorRecord> earlier = TakeErrorRecord();
  const HRESULT hr = call();
  *record = TakeErrorRecord();
  SetErrorRecord(*record ? *record : std::move(earlier));
  return hr;
}

// A failure's record as IDispatch reports it.
void FillExcepInfo(const ErrorRecord& record, HRESULT hr, ExcepInfo* excep_info);

}  // namespace orvane
