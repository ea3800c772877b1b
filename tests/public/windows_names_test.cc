// The public headers beside a host that has <windows.h>-style names as macros
// and plain globals of its own: nothing of ours may collide with either.
#define S_OK ((HRESULT)0L)
#define S_FALSE ((HRESULT)1L)
#define FAILED(hr) (((HRESULT)(hr)) < 0)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define HRESULT int  // LONG is 32 bits on Windows
#define VARTYPE unsigned short
#define DISPID int
#define E_FAIL ((HRESULT)0x80004005)
#define DISP_E_TYPEMISMATCH ((HRESULT)0x80020005)
#define VT_EMPTY 0
#define VT_BSTR 8
#define DISPATCH_METHOD 0x1

#include <orvane/orvane.h>

#undef VT_EMPTY
#undef VT_BSTR
#undef DISPATCH_METHOD

#include <gtest/gtest.h>

// A host's own globals with the names a leaking header would have declared.
[[maybe_unused]] static int VT_EMPTY = 42;
[[maybe_unused]] static double VT_BSTR = 1.5;
struct DISPATCH_METHOD {};

namespace {

TEST(PublicHeaders, CoexistWithWindowsStyleNames) {
  EXPECT_EQ(S_OK, orvane::hr::kOk);
  EXPECT_TRUE(FAILED(orvane::hr::kTypeMismatch));
  EXPECT_EQ(DISP_E_TYPEMISMATCH, orvane::hr::kTypeMismatch);
  EXPECT_EQ(E_FAIL, orvane::hr::kFail);
  EXPECT_EQ(orvane::Variant::Text("x").vt(), orvane::vt::kBstr);
  EXPECT_EQ(VT_EMPTY, 42);
}

}  // namespace
