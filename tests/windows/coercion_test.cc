// The core's coercion table against the platform's own VariantChangeType, so
// the POSIX build and Windows agree on every row.
#include <gtest/gtest.h>

#include <cmath>

#include "support/coercion_cases.h"
#include "automation/variant.h"
#include "com/variant_convert.h"
#include "host_support.h"

namespace orvane::wintest {
namespace {

TEST(Coercion, PlatformVariantChangeTypeAgreesWithTheCoreTable) {
  int rows = 0;
  for (const tables::CoercionCase& row : tables::CoercionCases()) {
    SCOPED_TRACE(std::string(row.note) + ": " + DebugString(row.input));
    VARIANT in, out;
    ASSERT_EQ(com::ToVariant(row.input, &in), S_OK);
    VariantInit(&out);
    HRESULT hr = VariantChangeTypeEx(&out, &in, MAKELCID(0x0409, SORT_DEFAULT), 0, row.to);
    EXPECT_EQ(hr, row.hr);
    if (SUCCEEDED(hr) && SUCCEEDED(row.hr)) {
      Variant got;
      ASSERT_EQ(com::FromVariant(out, &got), S_OK);
      ASSERT_EQ(got.vt(), row.to);
      if (row.to == VT_DATE) {
        EXPECT_NEAR(got.date(), row.expected.date(), 1e-8);
      } else {
        EXPECT_EQ(got, row.expected) << DebugString(got) << " vs " << DebugString(row.expected);
      }
    }
    VariantClear(&in);
    VariantClear(&out);
    ++rows;
  }
  EXPECT_GT(rows, 50);
}

// The converters carry every type the core has, and arrays, both ways.
TEST(Coercion, ConvertersRoundTripTheCoreTypes) {
  const Variant values[] = {
      Variant(),
      Variant::Null(),
      Variant::I2(-2),
      Variant::I4(70000),
      Variant::R8(0.1),
      Variant::Date(38017.5),
      Variant::Bool(true),
      Variant::Error(DISP_E_PARAMNOTFOUND),
      Variant::Bstr(std::u16string(u"a\0b", 3)),
      Variant::Array({Variant::I2(4), Variant::Text("x"), Variant::Array({})})};
  for (const Variant& v : values) {
    VARIANT com_value;
    ASSERT_EQ(com::ToVariant(v, &com_value), S_OK);
    Variant back;
    ASSERT_EQ(com::FromVariant(com_value, &back), S_OK);
    EXPECT_EQ(back, v) << DebugString(v);
    VariantClear(&com_value);
  }
  // Other widths arrive as the nearest core type.
  VARIANT byte_value;
  VariantInit(&byte_value);
  byte_value.vt = VT_UI1;
  byte_value.bVal = 200;
  Variant got;
  ASSERT_EQ(com::FromVariant(byte_value, &got), S_OK);
  EXPECT_EQ(got, Variant::I4(200));
  VARIANT single;
  VariantInit(&single);
  single.vt = VT_R4;
  single.fltVal = 0.5f;
  ASSERT_EQ(com::FromVariant(single, &got), S_OK);
  EXPECT_EQ(got, Variant::R8(0.5));
}

// Arrays are read element by element into VARIANTs of the type the caller
// names: that type must match the array's own elements, or the copy would
// overrun. Null by-reference pointers are refused, not followed.
TEST(Coercion, CallerArraysAndReferencesAreCheckedBeforeTheyAreRead) {
  VARIANT twelve;
  VariantInit(&twelve);
  twelve.vt = VT_I4;
  twelve.lVal = 12;
  ASSERT_EQ(VariantChangeType(&twelve, &twelve, 0, VT_DECIMAL), S_OK);
  SAFEARRAY* decimals = SafeArrayCreateVector(VT_DECIMAL, 0, 1);
  SAFEARRAY* shorts = SafeArrayCreateVector(VT_I2, 0, 2);
  ASSERT_NE(decimals, nullptr);
  ASSERT_NE(shorts, nullptr);
  LONG index = 0;
  ASSERT_EQ(SafeArrayPutElement(decimals, &index, &twelve.decVal), S_OK);
  struct Case {
    const char* name;
    VARTYPE vt;
    SAFEARRAY* array;
    HRESULT hr;
    Variant want;
  } cases[] = {
      {"DECIMAL elements convert like a DECIMAL", VT_ARRAY | VT_DECIMAL, decimals, S_OK,
       Variant::Array({Variant::R8(12.0)})},
      {"I2 elements named as I4", VT_ARRAY | VT_I4, shorts, DISP_E_TYPEMISMATCH, Variant()},
      {"I2 elements named as VARIANT", VT_ARRAY | VT_VARIANT, shorts, DISP_E_TYPEMISMATCH,
       Variant()},
      {"DECIMAL elements named as R8", VT_ARRAY | VT_R8, decimals, DISP_E_TYPEMISMATCH, Variant()},
      {"records are not read", VT_ARRAY | VT_RECORD, decimals, DISP_E_TYPEMISMATCH, Variant()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VARIANT in;
    VariantInit(&in);
    in.vt = c.vt;
    in.parray = c.array;
    Variant got;
    EXPECT_EQ(com::FromVariant(in, &got), c.hr);
    if (c.hr == S_OK) {
      EXPECT_EQ(got, c.want) << DebugString(got);
    }
  }
  SafeArrayDestroy(decimals);
  SafeArrayDestroy(shorts);

  for (VARTYPE vt : {VT_I4, VT_BSTR, VT_R8, VT_DECIMAL, VT_UI1}) {
    SCOPED_TRACE(vt);
    VARIANT null_ref;
    VariantInit(&null_ref);
    null_ref.vt = VT_BYREF | vt;
    null_ref.byref = nullptr;
    Variant got;
    EXPECT_EQ(com::FromVariant(null_ref, &got), E_POINTER);
  }
}

}  // namespace
}  // namespace orvane::wintest
