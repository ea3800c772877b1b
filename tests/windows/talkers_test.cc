// IOrvane2: the coclass's default interface, derived from IOrvane, with the
// Talkers setting at DISPID 100.
#include <gtest/gtest.h>

#include "host_support.h"

namespace orvane::wintest {
namespace {

TEST(IOrvane2, DerivesFromIOrvaneAndIsTheDefault) {
  ComPtr<IOrvane> control = CreateByProgId();
  ASSERT_TRUE(control);
  ComPtr<IOrvane2> second;
  ASSERT_EQ(control.As(IID_IOrvane2, &second), S_OK);
  // One object, one vtable: IOrvane's members answer through either.
  EXPECT_EQ(static_cast<IOrvane*>(second.get()), control.get());
  Var units;
  EXPECT_EQ(second->get_SpeedUnits(&units), S_OK);
  EXPECT_EQ(units.v.iVal, 2);

  ComPtr<IProvideClassInfo> provide;
  ASSERT_EQ(control.As(IID_IProvideClassInfo, &provide), S_OK);
  ComPtr<ITypeInfo> coclass;
  ASSERT_EQ(provide->GetClassInfo(coclass.put()), S_OK);
  bool found_default = false;
  for (UINT i = 0; i < 3; ++i) {
    INT flags = 0;
    HREFTYPE ref = 0;
    if (FAILED(coclass->GetImplTypeFlags(i, &flags)) ||
        FAILED(coclass->GetRefTypeOfImplType(i, &ref)))
      break;
    if ((flags & IMPLTYPEFLAG_FDEFAULT) && !(flags & IMPLTYPEFLAG_FSOURCE)) {
      ComPtr<ITypeInfo> iface;
      ASSERT_EQ(coclass->GetRefTypeInfo(ref, iface.put()), S_OK);
      TYPEATTR* attr = nullptr;
      ASSERT_EQ(iface->GetTypeAttr(&attr), S_OK);
      EXPECT_TRUE(IsEqualGUID(attr->guid, IID_IOrvane2));
      iface->ReleaseTypeAttr(attr);
      found_default = true;
    }
  }
  EXPECT_TRUE(found_default);
}

TEST(IOrvane2, TalkersPutGetAndRefusals) {
  ComPtr<IOrvane> control = CreateByProgId();
  ASSERT_TRUE(control);
  ComPtr<IOrvane2> gps;
  ASSERT_EQ(control.As(IID_IOrvane2, &gps), S_OK);
  Var initial;
  ASSERT_EQ(gps->get_Talkers(&initial), S_OK);
  EXPECT_EQ(initial.Text(), L"GP");

  Var all(L"*");
  EXPECT_EQ(gps->put_Talkers(all.v), S_OK);
  Var bad(L"gp,GN");
  SetErrorInfo(0, nullptr);
  EXPECT_EQ(gps->put_Talkers(bad.v), E_INVALIDARG);
  ErrorObject error = TakeErrorObject();
  EXPECT_TRUE(error.present);
  EXPECT_EQ(error.description, L"An invalid argument was supplied.");
  Var null_value;
  null_value.v.vt = VT_NULL;
  EXPECT_EQ(gps->put_Talkers(null_value.v), DISP_E_TYPEMISMATCH);
  Var now;
  ASSERT_EQ(gps->get_Talkers(&now), S_OK);
  EXPECT_EQ(now.Text(), L"*") << "a refused value changes nothing";

  // Late binding finds it by name, as a script host does.
  Var list(L"GP,GN,GL");
  EXPECT_EQ(InvokeByName(control.get(), L"Talkers", DISPATCH_PROPERTYPUT, &list.v, 1, nullptr),
            S_OK);
  Var read;
  EXPECT_EQ(InvokeByName(control.get(), L"talkers", DISPATCH_PROPERTYGET, nullptr, 0, &read.v),
            S_OK);
  EXPECT_EQ(read.Text(), L"GP,GN,GL");
  Var three(L"GPS");
  EXCEPINFO info{};
  EXPECT_EQ(
      InvokeByName(control.get(), L"Talkers", DISPATCH_PROPERTYPUT, &three.v, 1, nullptr, &info),
      DISP_E_EXCEPTION);
  EXPECT_EQ(static_cast<HRESULT>(info.scode), E_INVALIDARG);
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrHelpFile);
}

TEST(IOrvane2, ExtendedSentencesPutGetThroughTheVtableAndByName) {
  ComPtr<IOrvane> control = CreateByProgId();
  ASSERT_TRUE(control);
  ComPtr<IOrvane2> gps;
  ASSERT_EQ(control.As(IID_IOrvane2, &gps), S_OK);
  Var initial;
  ASSERT_EQ(gps->get_ExtendedSentences(&initial), S_OK);
  EXPECT_EQ(initial.v.vt, VT_BOOL);
  EXPECT_EQ(initial.v.boolVal, VARIANT_FALSE) << "off at construction";
  Var yes(L"True");
  EXPECT_EQ(gps->put_ExtendedSentences(yes.v), S_OK);
  Var now;
  ASSERT_EQ(gps->get_ExtendedSentences(&now), S_OK);
  EXPECT_EQ(now.v.boolVal, VARIANT_TRUE);
  Var bad(L"maybe");
  EXPECT_EQ(gps->put_ExtendedSentences(bad.v), DISP_E_TYPEMISMATCH);
  Var zero(0);
  EXPECT_EQ(
      InvokeByName(control.get(), L"extendedsentences", DISPATCH_PROPERTYPUT, &zero.v, 1, nullptr),
      S_OK);
  Var read;
  EXPECT_EQ(
      InvokeByName(control.get(), L"ExtendedSentences", DISPATCH_PROPERTYGET, nullptr, 0, &read.v),
      S_OK);
  EXPECT_EQ(read.v.boolVal, VARIANT_FALSE);
  // The read-only quantities are empty until their sentences arrive.
  for (const wchar_t* name :
       {L"TrueHeading", L"LatitudeError", L"ReceiverText", L"LastEpochTime"}) {
    Var empty;
    EXPECT_EQ(InvokeByName(control.get(), name, DISPATCH_PROPERTYGET, nullptr, 0, &empty.v), S_OK)
        << name;
    EXPECT_EQ(empty.v.vt, VT_EMPTY) << name;
  }
}

}  // namespace
}  // namespace orvane::wintest
