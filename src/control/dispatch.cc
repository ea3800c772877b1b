#include "control/dispatch.h"

#include <algorithm>

#include "automation/error_info.h"
#include "control/orvane_control.h"

namespace orvane {

HRESULT GetIDsOfNames(std::span<const std::string_view> names, std::span<DISPID> ids) {
  if (names.empty() || ids.size() < names.size()) return E_INVALIDARG;
  const MemberInfo* member = FindMember(names[0]);
  ids[0] = member ? member->dispid : DISPID_UNKNOWN;
  HRESULT hr = member ? S_OK : DISP_E_UNKNOWNNAME;
  for (std::size_t i = 1; i < names.size(); ++i) {
    ids[i] = DISPID_UNKNOWN;
    if (member == nullptr) continue;
    // Parameters by position in the member's list; a get's pVal is its
    // [out, retval] parameter 0.
    for (const auto& m : AllMembers()) {
      if (m.dispid != member->dispid) continue;
      for (std::size_t k = 0; k < m.param_count; ++k)
        if (SameMemberName(m.params[k].name, names[i])) ids[i] = static_cast<DISPID>(k);
      if (m.kind == MemberKind::kGet && SameMemberName(names[i], "pVal")) ids[i] = 0;
    }
    if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

HRESULT Invoke(OrvaneControl& control, DISPID dispid, std::uint16_t flags, DispParams params,
               Variant* result, ExcepInfo* excep_info, std::uint32_t* arg_err) {
  const bool is_put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  const MemberInfo* member = nullptr;
  if (is_put) {
    member = FindMember(dispid, MemberKind::kPut);
  } else {
    if (flags & DISPATCH_METHOD) member = FindMember(dispid, MemberKind::kMethod);
    if (member == nullptr && (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)))
      member = FindMember(dispid, MemberKind::kGet);
  }
  if (member == nullptr) return DISP_E_MEMBERNOTFOUND;

  // Named arguments: only the put's own.
  for (DISPID n : params.named) {
    if (!(is_put && n == DISPID_PROPERTYPUT)) return DISP_E_NONAMEDARGS;
  }
  const std::size_t given = params.args.size();
  const std::size_t total = member->param_count;
  std::size_t required = 0;
  for (std::size_t k = 0; k < total; ++k)
    if (!member->params[k].optional) required = k + 1;
  if (given > total) return DISP_E_BADPARAMCOUNT;
  if (given < required) return DISP_E_PARAMNOTOPTIONAL;

  // Arguments in declaration order; an omitted optional one arrives as
  // VT_ERROR DISP_E_PARAMNOTFOUND, as a script host passes it.
  Variant slots[4];
  for (std::size_t k = 0; k < total; ++k) {
    if (k < given) {
      slots[k] = params.args[given - 1 - k];
    } else {
      slots[k] = Variant::Error(DISP_E_PARAMNOTFOUND);
    }
  }
  Variant out;
  std::optional<ErrorRecord> record;
  const HRESULT hr = CallRecording(
      [&] { return member->call(control, std::span<Variant>(slots, total), &out); }, &record);
  if (FAILED(hr)) {
    if (record) {
      FillExcepInfo(*record, hr, excep_info);
      return DISP_E_EXCEPTION;
    }
    if (arg_err != nullptr && given > 0) *arg_err = 0;
    return hr;
  }
  for (std::size_t k = 0; k < given; ++k) {
    if (member->params[k].out) params.args[given - 1 - k] = slots[k];
  }
  if (member->kind == MemberKind::kGet && result != nullptr) *result = std::move(out);
  return hr;
}

void FillExcepInfo(const ErrorRecord& record, HRESULT hr, ExcepInfo* excep_info) {
  if (excep_info == nullptr) return;
  excep_info->source = record.source;
  excep_info->description = record.description;
  excep_info->interface_id = record.interface_id;
  excep_info->scode = hr;
}

HRESULT InvokeByName(OrvaneControl& control, std::string_view name, std::uint16_t flags,
                     std::vector<Variant>& args, Variant* result, ExcepInfo* excep_info) {
  std::string_view names[1] = {name};
  DISPID id[1];
  const HRESULT hr = GetIDsOfNames(names, id);
  if (FAILED(hr)) return hr;
  std::reverse(args.begin(), args.end());
  const DISPID put_name[1] = {DISPID_PROPERTYPUT};
  DispParams params{args, (flags & DISPATCH_PROPERTYPUT) ? std::span<const DISPID>(put_name) : std::span<const DISPID>()};
  const HRESULT r = Invoke(control, id[0], flags, params, result, excep_info, nullptr);
  std::reverse(args.begin(), args.end());
  return r;
}

}  // namespace orvane
