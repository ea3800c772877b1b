// What the module file carries besides code: version information, the two
// bitmaps, the type library and the registration script.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host_support.h"

namespace orvane::wintest {
namespace {

std::wstring VersionString(const std::vector<BYTE>& block, const wchar_t* name) {
  std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
  wchar_t* value = nullptr;
  UINT size = 0;
  if (!VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &size))
    return L"<missing>";
  return std::wstring(value, size > 0 ? size - 1 : 0);
}

TEST(Resources, VersionInformation) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(DllPath().c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(DllPath().c_str(), 0, size, block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixed_size = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixed_size));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00010001u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x00010001u);
  EXPECT_EQ(VersionString(block, L"FileDescription"), L"OrvaneMod Module");
  EXPECT_EQ(VersionString(block, L"ProductName"), L"OrvaneMod Module");
  EXPECT_EQ(VersionString(block, L"InternalName"), L"OrvaneMod");
  EXPECT_EQ(VersionString(block, L"OriginalFilename"), L"OrvaneMod.DLL");
  EXPECT_EQ(VersionString(block, L"FileVersion"), L"1, 0, 1, 1");
  EXPECT_EQ(VersionString(block, L"OLESelfRegister"), L"");
  WORD* translation = nullptr;
  UINT translation_size = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &translation_size));
  EXPECT_EQ(translation[0], 0x0409);
  EXPECT_EQ(translation[1], 1200);
}

struct BitmapShape {
  LONG width, height;
  WORD bits;
};

BitmapShape ShapeOf(HMODULE module, int id) {
  HRSRC res = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(2));  // RT_BITMAP
  if (res == nullptr) return {0, 0, 0};
  auto* info = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(module, res)));
  return {info->biWidth, info->biHeight, info->biBitCount};
}

TEST(Resources, BitmapsTypeLibraryAndScript) {
  HMODULE module = LoadLibraryExW(DllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  BitmapShape toolbox = ShapeOf(module, 101);
  EXPECT_EQ(toolbox.width, 16);
  EXPECT_EQ(toolbox.height, 16);
  EXPECT_EQ(toolbox.bits, 4);
  BitmapShape picture = ShapeOf(module, 201);
  EXPECT_EQ(picture.width, 200);
  EXPECT_EQ(picture.height, 160);
  EXPECT_EQ(picture.bits, 24);
  EXPECT_NE(FindResourceW(module, MAKEINTRESOURCEW(1), L"TYPELIB"), nullptr);
  HRSRC script = FindResourceW(module, MAKEINTRESOURCEW(102), L"REGISTRY");
  ASSERT_NE(script, nullptr);
  std::string text(static_cast<const char*>(LockResource(LoadResource(module, script))),
                   SizeofResource(module, script));
  EXPECT_NE(text.find("ThreadingModel = s 'Apartment'"), std::string::npos);
  FreeLibrary(module);
}

}  // namespace
}  // namespace orvane::wintest
