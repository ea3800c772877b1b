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

namespace {

// The member a call reaches: a put by its put row; otherwise a method, or a
// get called as a property or as a method.
const MemberInfo* FindInvoked(DISPID dispid, std::uint16_t flags, bool is_put) {
  if (is_put) return FindMember(dispid, MemberKind::kPut);
  const MemberInfo* member = nullptr;
  if (flags & DISPATCH_METHOD) member = FindMember(dispid, MemberKind::kMethod);
  if (member == nullptr && (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)))
    member = FindMember(dispid, MemberKind::kGet);
  return member;
}

// Named arguments (only the put's own) and the argument count.
HRESULT CheckArguments(const MemberInfo& member, const DispParams& params, bool is_put) {
  for (DISPID n : params.named) {
    if (!(is_put && n == DISPID_PROPERTYPUT)) return DISP_E_NONAMEDARGS;
  }
  const std::size_t given = params.args.size();
  std::size_t required = 0;
  for (std::size_t k = 0; k < member.param_count; ++k)
    if (!member.params[k].optional) required = k + 1;
  if (given > member.param_count) return DISP_E_BADPARAMCOUNT;
  if (given < required) return DISP_E_PARAMNOTOPTIONAL;
  return S_OK;
}

}  // namespace

HRESULT Invoke(OrvaneControl& control, DISPID dispid, std::uint16_t flags, DispParams params,
               Variant* result, ExcepInfo* excep_info, std::uint32_t* arg_err) {
  const bool is_put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  const MemberInfo* member = FindInvoked(dispid, flags, is_put);
  if (member == nullptr) return DISP_E_MEMBERNOTFOUND;
  if (const HRESULT checked = CheckArguments(*member, params, is_put); FAILED(checked))
    return checked;

  // Arguments in declaration order; an omitted optional one arrives as
  // VT_ERROR DISP_E_PARAMNOTFOUND, as a script host passes it.
  const std::size_t given = params.args.size();
  const std::size_t total = member->param_count;
  Variant slots[4];
  for (std::size_t k = 0; k < total; ++k) {
    slots[k] = k < given ? params.args[given - 1 - k] : Variant::Error(DISP_E_PARAMNOTFOUND);
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
  DispParams params{args, (flags & DISPATCH_PROPERTYPUT) ? std::span<const DISPID>(put_name)
                                                         : std::span<const DISPID>()};
  const HRESULT r = Invoke(control, id[0], flags, params, result, excep_info, nullptr);
  std::reverse(args.begin(), args.end());
  return r;
}

}  // namespace orvane
