// IOrvane as a late-bound client meets it: the type library against the
// member table, names, error objects and DISP_E_EXCEPTION, coercion of puts.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "automation/error_info.h"
#include "control/member_table.h"
#include "host_support.h"

namespace orvane::wintest {
namespace {

ComPtr<ITypeInfo> TypeInfoOf(REFGUID guid) {
  ComPtr<ITypeLib> lib;
  ComPtr<ITypeInfo> info;
  if (SUCCEEDED(LoadTypeLib(DllPath().c_str(), lib.put())))
    lib->GetTypeInfoOfGuid(guid, info.put());
  return info;
}

TEST(TypeLibrary, LibraryHoldsTheThreeTypesWithTheirFlags) {
  ComPtr<ITypeLib> lib;
  ASSERT_EQ(LoadTypeLib(DllPath().c_str(), lib.put()), S_OK);
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(lib->GetLibAttr(&attr), S_OK);
  EXPECT_TRUE(IsEqualGUID(attr->guid, LIBID_ORVANEMODLib));
  EXPECT_EQ(attr->wMajorVerNum, 1);
  EXPECT_EQ(attr->wMinorVerNum, 0);
  EXPECT_EQ(attr->lcid, 1033u);
  lib->ReleaseTLibAttr(attr);
  EXPECT_EQ(lib->GetTypeInfoCount(), 4u);

  ComPtr<ITypeInfo> dual = TypeInfoOf(IID_IOrvane);
  ASSERT_TRUE(dual);
  TYPEATTR* t = nullptr;
  ASSERT_EQ(dual->GetTypeAttr(&t), S_OK);
  EXPECT_TRUE(t->wTypeFlags & TYPEFLAG_FDUAL);
  EXPECT_TRUE(t->wTypeFlags & TYPEFLAG_FDISPATCHABLE);
  dual->ReleaseTypeAttr(t);
  ComPtr<ITypeInfo> vtable;
  HREFTYPE ref = 0;
  ASSERT_EQ(dual->GetRefTypeOfImplType(-1, &ref), S_OK);
  ASSERT_EQ(dual->GetRefTypeInfo(ref, vtable.put()), S_OK);
  ASSERT_EQ(vtable->GetTypeAttr(&t), S_OK);
  EXPECT_EQ(t->typekind, TKIND_INTERFACE);
  EXPECT_TRUE(t->wTypeFlags & TYPEFLAG_FOLEAUTOMATION);
  vtable->ReleaseTypeAttr(t);

  std::vector<std::wstring> names;
  for (UINT i = 0; i < 4; ++i) {
    BSTR name = nullptr;
    lib->GetDocumentation(static_cast<INT>(i), &name, nullptr, nullptr, nullptr);
    names.push_back(name ? name : L"");
    SysFreeString(name);
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names,
            (std::vector<std::wstring>{L"IOrvane", L"IOrvane2", L"Orvane", L"_IOrvaneEvents"}));

  ComPtr<ITypeInfo> coclass = TypeInfoOf(CLSID_Orvane);
  ASSERT_TRUE(coclass);
  BSTR help = nullptr;
  coclass->GetDocumentation(MEMBERID_NIL, nullptr, &help, nullptr, nullptr);
  EXPECT_STREQ(help, L"Orvane Class");
  SysFreeString(help);
}

// The vtable of the compiled library is the member table, row by row.
TEST(TypeLibrary, IOrvaneMatchesTheMemberTableInVtableOrder) {
  ComPtr<ITypeInfo> info = TypeInfoOf(IID_IOrvane);
  ASSERT_TRUE(info);
  // The dual interface's own functions come after IDispatch's seven.
  ComPtr<ITypeInfo> vtable;
  HREFTYPE ref = 0;
  ASSERT_EQ(info->GetRefTypeOfImplType(-1, &ref), S_OK);
  ASSERT_EQ(info->GetRefTypeInfo(ref, vtable.put()), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(vtable->GetTypeAttr(&attr), S_OK);
  ASSERT_EQ(attr->cFuncs, Members().size());
  vtable->ReleaseTypeAttr(attr);
  for (UINT i = 0; i < Members().size(); ++i) {
    const MemberInfo& row = Members()[i];
    FUNCDESC* f = nullptr;
    ASSERT_EQ(vtable->GetFuncDesc(i, &f), S_OK);
    SCOPED_TRACE(std::string(row.name));
    EXPECT_EQ(f->memid, row.dispid);
    EXPECT_EQ(f->oVft / static_cast<SHORT>(sizeof(void*)), static_cast<SHORT>(7 + i));
    INVOKEKIND kind = row.kind == MemberKind::kGet   ? INVOKE_PROPERTYGET
                      : row.kind == MemberKind::kPut ? INVOKE_PROPERTYPUT
                                                     : INVOKE_FUNC;
    EXPECT_EQ(f->invkind, kind);
    const int params = row.kind == MemberKind::kGet ? 1 : row.param_count;
    EXPECT_EQ(f->cParams, params);
    int optional_count = 0;
    for (int p = 0; p < row.param_count; ++p) optional_count += row.params[p].optional;
    EXPECT_EQ(f->cParamsOpt, row.kind == MemberKind::kGet ? 0 : optional_count);
    for (int p = 0; p < f->cParams; ++p) {
      EXPECT_EQ(f->lprgelemdescParam[p].tdesc.vt,
                row.kind == MemberKind::kGet ? VT_PTR : (row.params[p].out ? VT_PTR : VT_VARIANT));
      const bool optional = row.kind != MemberKind::kGet && row.params[p].optional;
      EXPECT_EQ((f->lprgelemdescParam[p].paramdesc.wParamFlags & PARAMFLAG_FOPT) != 0, optional);
    }
    BSTR names[8] = {};
    UINT got = 0;
    ASSERT_EQ(vtable->GetNames(f->memid, names, 8, &got), S_OK);
    EXPECT_EQ(Narrow(names[0]), row.name);
    if (row.kind == MemberKind::kMethod) {
      ASSERT_EQ(got, 1u + row.param_count);
      for (int p = 0; p < row.param_count; ++p) EXPECT_EQ(Narrow(names[p + 1]), row.params[p].name);
    }
    for (BSTR& n : names) SysFreeString(n);
    BSTR help = nullptr;
    vtable->GetDocumentation(f->memid, nullptr, &help, nullptr, nullptr);
    // Get and put share one DISPID and so one help string.
    EXPECT_EQ(Narrow(help ? help : L""), row.help);
    SysFreeString(help);
    vtable->ReleaseFuncDesc(f);
  }
}

TEST(TypeLibrary, EventsMatchTheEventTable) {
  ComPtr<ITypeInfo> info = TypeInfoOf(DIID__IOrvaneEvents);
  ASSERT_TRUE(info);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
  ASSERT_EQ(attr->cFuncs, Events().size());
  info->ReleaseTypeAttr(attr);
  for (UINT i = 0; i < Events().size(); ++i) {
    const EventInfo& row = Events()[i];
    FUNCDESC* f = nullptr;
    ASSERT_EQ(info->GetFuncDesc(i, &f), S_OK);
    EXPECT_EQ(f->memid, row.dispid);
    EXPECT_EQ(f->cParams, row.param_count);
    BSTR names[12] = {};
    UINT got = 0;
    info->GetNames(f->memid, names, 12, &got);
    ASSERT_EQ(got, 1u + row.param_count);
    EXPECT_EQ(Narrow(names[0]), row.name);
    for (int p = 0; p < row.param_count; ++p) EXPECT_EQ(Narrow(names[p + 1]), row.params[p]);
    for (BSTR& n : names) SysFreeString(n);
    info->ReleaseFuncDesc(f);
  }
}

TEST(LateBinding, GetIDsOfNamesKnowsEveryMemberAndParameter) {
  ComPtr<IOrvane> control = CreateByProgId();
  ASSERT_TRUE(control);
  for (const MemberInfo& row : Members()) {
    std::wstring name = Widen(row.name);
    std::vector<std::wstring> words = {name};
    if (row.kind == MemberKind::kMethod) {
      for (int p = 0; p < row.param_count; ++p) words.push_back(Widen(row.params[p].name));
    }
    std::vector<LPOLESTR> names;
    for (std::wstring& w : words) names.push_back(w.data());
    std::vector<DISPID> ids(names.size());
    ASSERT_EQ(control->GetIDsOfNames(IID_NULL, names.data(), static_cast<UINT>(names.size()), 0,
                                     ids.data()),
              S_OK)
        << row.name;
    EXPECT_EQ(ids[0], row.dispid);
    for (std::size_t p = 1; p < ids.size(); ++p)
      EXPECT_EQ(ids[p], static_cast<DISPID>(p - 1)) << row.name;
  }
  LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"Satellites")};
  DISPID id = 0;
  EXPECT_EQ(control->GetIDsOfNames(IID_NULL, unknown, 1, 0, &id), DISP_E_UNKNOWNNAME);
  UINT count = 0;
  EXPECT_EQ(control->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
}

TEST(ErrorObjects, FailingMemberLeavesSourceInterfaceAndDescription) {
  ComPtr<IOrvane> control = CreateByProgId();
  ASSERT_TRUE(control);
  Var value;
  SetErrorInfo(0, nullptr);
  EXPECT_EQ(control->get_PortName(&value), kPortClosed);
  ErrorObject e = TakeErrorObject();
  ASSERT_TRUE(e.present);
  EXPECT_EQ(e.source, L"OrvaneMod.Orvane.1");
  EXPECT_TRUE(IsEqualGUID(e.iid, IID_IOrvane));
  EXPECT_EQ(e.description, L"Port is closed.");

  Var rate(1000);
  EXPECT_EQ(control->put_BaudRate(rate.v), E_INVALIDARG);
  e = TakeErrorObject();
  ASSERT_TRUE(e.present);
  EXPECT_EQ(e.description, L"An invalid argument was supplied.");

  Var nowhere(L"Z:\\no\\such\\folder\\COM99");
  EXPECT_EQ(control->Open(nowhere.v), kCannotOpenPort);
  e = TakeErrorObject();
  EXPECT_EQ(
      e.description,
      L"Could not open port.  This may be because the port does not exist or is already in use.");

  ComPtr<ISupportErrorInfo> support;
  ASSERT_EQ(control.As(IID_ISupportErrorInfo, &support), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IOrvane), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(DIID__IOrvaneEvents), S_FALSE);
}

TEST(ErrorObjects, SuccessfulCallsAndCoercionFailuresRecordNone) {
  ComPtr<IOrvane> control = CreateByProgId();
  ASSERT_TRUE(control);
  SetErrorInfo(0, nullptr);
  Var rate;
  EXPECT_EQ(control->get_BaudRate(&rate), S_OK);
  Var words(L"fast");
  EXPECT_EQ(control->put_SpeedUnits(words.v), DISP_E_TYPEMISMATCH);
  EXPECT_FALSE(TakeErrorObject().present);
}

TEST(LateBinding, FailureBecomesDispExceptionWithTheDescription) {
  ComPtr<IOrvane> control = CreateByProgId();
  ASSERT_TRUE(control);
  Var result;
  EXCEPINFO info{};
  EXPECT_EQ(
      InvokeByName(control.get(), L"PortHandle", DISPATCH_PROPERTYGET, nullptr, 0, &result, &info),
      DISP_E_EXCEPTION);
  EXPECT_EQ(static_cast<HRESULT>(info.scode), kPortClosed);
  EXPECT_STREQ(info.bstrDescription, L"Port is closed.");
  EXPECT_STREQ(info.bstrSource, L"OrvaneMod.Orvane.1");
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrHelpFile);
}

TEST(LateBinding, PutsAreCoercedLikeAScriptsValues) {
  ComPtr<IOrvane> control = CreateByProgId();
  ASSERT_TRUE(control);
  Var one(L"1");
  EXPECT_EQ(InvokeByName(control.get(), L"SpeedUnits", DISPATCH_PROPERTYPUT, &one.v, 1, nullptr),
            S_OK);
  Var units;
  ASSERT_EQ(control->get_SpeedUnits(&units), S_OK);
  EXPECT_EQ(units.v.vt, VT_I2);
  EXPECT_EQ(units.v.iVal, 1);

  // Invoke reports every failing call as an exception carrying its code.
  Var junk(L"knots");
  EXCEPINFO info{};
  EXPECT_EQ(
      InvokeByName(control.get(), L"SpeedUnits", DISPATCH_PROPERTYPUT, &junk.v, 1, nullptr, &info),
      DISP_E_EXCEPTION);
  EXPECT_EQ(static_cast<HRESULT>(info.scode), DISP_E_TYPEMISMATCH);
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrHelpFile);
  Var again;
  ASSERT_EQ(control->get_SpeedUnits(&again), S_OK);
  EXPECT_EQ(again.v.iVal, 1);

  Var five(5);
  ASSERT_EQ(control->put_DegLabel(five.v), S_OK);
  Var label;
  ASSERT_EQ(control->get_DegLabel(&label), S_OK);
  EXPECT_EQ(label.v.vt, VT_BSTR);
  EXPECT_EQ(label.Text(), L"5");
  // The caller's VARIANT is never changed.
  EXPECT_EQ(five.v.vt, VT_I4);

  // A script passes its variables by reference.
  Var inner(L"2");
  VARIANT byref;
  VariantInit(&byref);
  byref.vt = VT_BYREF | VT_VARIANT;
  byref.pvarVal = &inner.v;
  EXPECT_EQ(InvokeByName(control.get(), L"DistUnits", DISPATCH_PROPERTYPUT, &byref, 1, nullptr),
            S_OK);
  Var dist;
  ASSERT_EQ(control->get_DistUnits(&dist), S_OK);
  EXPECT_EQ(dist.v.iVal, 2);
}

TEST(LateBinding, GetsReturnIndependentValues) {
  ComPtr<IOrvane> control = CreateByProgId();
  ASSERT_TRUE(control);
  Var first, second;
  ASSERT_EQ(control->get_MinLabel(&first), S_OK);
  ASSERT_EQ(control->get_MinLabel(&second), S_OK);
  ASSERT_EQ(first.v.vt, VT_BSTR);
  EXPECT_NE(first.v.bstrVal, second.v.bstrVal);
  std::wstring before = second.Text();
  VariantClear(&first.v);
  EXPECT_EQ(second.Text(), before);
}

}  // namespace
}  // namespace orvane::wintest
