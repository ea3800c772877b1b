// The control as a container sees it: the interfaces it answers, its class
// information, the 12-byte persisted extent and the picture it draws.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "host_support.h"

namespace orvane::wintest {
namespace {

TEST(Container, AnswersEveryControlInterface) {
  ComPtr<IOrvane> control = CreateByProgId();
  ASSERT_TRUE(control);
  const IID* iids[] = {&IID_IOrvane,
                       &IID_IDispatch,
                       &IID_IViewObjectEx,
                       &IID_IViewObject2,
                       &IID_IViewObject,
                       &IID_IOleInPlaceObjectWindowless,
                       &IID_IOleInPlaceObject,
                       &IID_IOleWindow,
                       &IID_IOleInPlaceActiveObject,
                       &IID_IOleControl,
                       &IID_IOleObject,
                       &IID_IPersistStreamInit,
                       &IID_IPersist,
                       &IID_ISupportErrorInfo,
                       &IID_IConnectionPointContainer,
                       &IID_ISpecifyPropertyPages,
                       &IID_IQuickActivate,
                       &IID_IPersistStorage,
                       &IID_IDataObject,
                       &IID_IProvideClassInfo,
                       &IID_IProvideClassInfo2};
  for (const IID* iid : iids) {
    ComPtr<IUnknown> p;
    EXPECT_EQ(control->QueryInterface(*iid, p.put_void()), S_OK);
  }
  ComPtr<IUnknown> none;
  EXPECT_EQ(control->QueryInterface(IID_IClassFactory, none.put_void()), E_NOINTERFACE);
  // Every interface leads back to one identity.
  ComPtr<IUnknown> a, b;
  ComPtr<IOleObject> ole;
  ASSERT_EQ(control.As(IID_IOleObject, &ole), S_OK);
  control->QueryInterface(IID_IUnknown, a.put_void());
  ole->QueryInterface(IID_IUnknown, b.put_void());
  EXPECT_EQ(a.get(), b.get());
}

TEST(Container, ClassInfoStatusAndPages) {
  ComPtr<IOrvane> control = CreateByProgId();
  ASSERT_TRUE(control);
  ComPtr<IProvideClassInfo2> info;
  ASSERT_EQ(control.As(IID_IProvideClassInfo2, &info), S_OK);
  GUID guid{};
  EXPECT_EQ(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &guid), S_OK);
  EXPECT_TRUE(IsEqualGUID(guid, DIID__IOrvaneEvents));
  EXPECT_EQ(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID + 1, &guid), E_FAIL);
  EXPECT_TRUE(IsEqualGUID(guid, GUID_NULL));
  EXPECT_EQ(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, nullptr), E_POINTER);
  ComPtr<ITypeInfo> coclass;
  ASSERT_EQ(info->GetClassInfo(coclass.put()), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(coclass->GetTypeAttr(&attr), S_OK);
  EXPECT_TRUE(IsEqualGUID(attr->guid, CLSID_Orvane));
  coclass->ReleaseTypeAttr(attr);

  ComPtr<IOleObject> ole;
  ASSERT_EQ(control.As(IID_IOleObject, &ole), S_OK);
  DWORD status = 0;
  EXPECT_EQ(ole->GetMiscStatus(DVASPECT_CONTENT, &status), S_OK);
  EXPECT_EQ(status, 132497u);
  SIZEL size{};
  EXPECT_EQ(ole->GetExtent(DVASPECT_CONTENT, &size), S_OK);
  EXPECT_EQ(size.cx, 5080);
  EXPECT_EQ(size.cy, 5080);

  ComPtr<ISpecifyPropertyPages> pages;
  ASSERT_EQ(control.As(IID_ISpecifyPropertyPages, &pages), S_OK);
  CAUUID list{7, reinterpret_cast<GUID*>(1)};
  EXPECT_EQ(pages->GetPages(&list), S_OK);
  EXPECT_EQ(list.cElems, 0u);
}

// A container's event sink, as quick activation hands it over.
class NullSink final : public EventsSink {
 public:
  NullSink() : EventsSink(IID_IPropertyNotifySink) {}
};

TEST(Container, QuickActivationConnectsBothSinksAndReportsTheFlags) {
  ComPtr<IOrvane> control = CreateByProgId();
  ASSERT_TRUE(control);
  ComPtr<IQuickActivate> quick;
  ASSERT_EQ(control.As(IID_IQuickActivate, &quick), S_OK);
  NullSink events, notify;
  QACONTAINER container{};
  container.cbSize = sizeof container;
  container.pUnkEventSink = &events;
  container.pPropertyNotifySink = reinterpret_cast<IPropertyNotifySink*>(&notify);
  QACONTROL result{};
  result.cbSize = sizeof result;
  ASSERT_EQ(quick->QuickActivate(&container, &result), S_OK);
  EXPECT_EQ(result.dwMiscStatus, 132497u);
  EXPECT_NE(result.dwEventCookie, 0u);
  EXPECT_NE(result.dwPropNotifyCookie, 0u);
  SIZEL size{};
  EXPECT_EQ(quick->GetContentExtent(&size), S_OK);
  EXPECT_EQ(size.cx, 5080);
  control.Reset();
  quick.Reset();
  EXPECT_EQ(notify.refs, 1);  // released with the control
}

TEST(Container, MetafileOfThePictureAtTheControlsExtent) {
  ComPtr<IOrvane> control = CreateByProgId();
  ASSERT_TRUE(control);
  ComPtr<IDataObject> data;
  ASSERT_EQ(control.As(IID_IDataObject, &data), S_OK);
  FORMATETC format{CF_METAFILEPICT, nullptr, DVASPECT_CONTENT, -1, TYMED_MFPICT};
  EXPECT_EQ(data->QueryGetData(&format), S_OK);
  STGMEDIUM medium{};
  ASSERT_EQ(data->GetData(&format, &medium), S_OK);
  ASSERT_EQ(medium.tymed, static_cast<DWORD>(TYMED_MFPICT));
  auto* picture = static_cast<METAFILEPICT*>(GlobalLock(medium.hMetaFilePict));
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->xExt, 5080);
  EXPECT_EQ(picture->yExt, 5080);
  EXPECT_GT(GetMetaFileBitsEx(picture->hMF, 0, nullptr), 0u);
  GlobalUnlock(medium.hMetaFilePict);
  ReleaseStgMedium(&medium);
  FORMATETC text{CF_TEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  EXPECT_EQ(data->GetData(&text, &medium), DV_E_FORMATETC);

  ComPtr<IViewObjectEx> view;
  ASSERT_EQ(control.As(IID_IViewObjectEx, &view), S_OK);
  DWORD status = 0;
  EXPECT_EQ(view->GetViewStatus(&status), S_OK);
  EXPECT_TRUE(status & VIEWSTATUS_OPAQUE);
  RECT bounds{0, 0, 100, 100};
  DWORD hit = 0;
  EXPECT_EQ(view->QueryHitPoint(DVASPECT_CONTENT, &bounds, POINT{50, 50}, 0, &hit), S_OK);
  EXPECT_EQ(hit, static_cast<DWORD>(HITRESULT_HIT));
  EXPECT_EQ(view->QueryHitPoint(DVASPECT_CONTENT, &bounds, POINT{150, 50}, 0, &hit), S_OK);
  EXPECT_EQ(hit, static_cast<DWORD>(HITRESULT_OUTSIDE));
}

std::vector<BYTE> StreamBytes(IStream* stream) {
  HGLOBAL global = nullptr;
  GetHGlobalFromStream(stream, &global);
  STATSTG stat{};
  stream->Stat(&stat, STATFLAG_NONAME);
  auto* p = static_cast<BYTE*>(GlobalLock(global));
  std::vector<BYTE> out(p, p + stat.cbSize.QuadPart);
  GlobalUnlock(global);
  return out;
}

TEST(Persistence, StreamHoldsVersionAndExtentInTwelveBytes) {
  ComPtr<IOrvane> control = CreateByProgId();
  ASSERT_TRUE(control);
  Var units(0);
  ASSERT_EQ(control->put_SpeedUnits(units.v), S_OK);  // settings are not persisted
  ComPtr<IPersistStreamInit> persist;
  ASSERT_EQ(control.As(IID_IPersistStreamInit, &persist), S_OK);
  CLSID clsid{};
  EXPECT_EQ(persist->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_Orvane));
  ComPtr<IStream> stream;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
  ASSERT_EQ(persist->Save(stream.get(), TRUE), S_OK);
  const std::vector<BYTE> expected = {0x00, 0x03, 0, 0, 0xD8, 0x13, 0, 0, 0xD8, 0x13, 0, 0};
  EXPECT_EQ(StreamBytes(stream.get()), expected);

  // A new control loads the extent and keeps its own default settings.
  ComPtr<IOleObject> ole;
  ASSERT_EQ(control.As(IID_IOleObject, &ole), S_OK);
  SIZEL size{1000, 2000};
  ASSERT_EQ(ole->SetExtent(DVASPECT_CONTENT, &size), S_OK);
  EXPECT_EQ(persist->IsDirty(), S_OK);
  ComPtr<IStream> resized;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, resized.put()), S_OK);
  ASSERT_EQ(persist->Save(resized.get(), TRUE), S_OK);
  LARGE_INTEGER start{};
  resized->Seek(start, STREAM_SEEK_SET, nullptr);
  ComPtr<IOrvane> fresh = CreateByProgId();
  ComPtr<IPersistStreamInit> fresh_persist;
  ASSERT_EQ(fresh.As(IID_IPersistStreamInit, &fresh_persist), S_OK);
  ASSERT_EQ(fresh_persist->Load(resized.get()), S_OK);
  ComPtr<IOleObject> fresh_ole;
  ASSERT_EQ(fresh.As(IID_IOleObject, &fresh_ole), S_OK);
  SIZEL loaded{};
  fresh_ole->GetExtent(DVASPECT_CONTENT, &loaded);
  EXPECT_EQ(loaded.cx, 1000);
  EXPECT_EQ(loaded.cy, 2000);
  Var fresh_units;
  ASSERT_EQ(fresh->get_SpeedUnits(&fresh_units), S_OK);
  EXPECT_EQ(fresh_units.v.iVal, 2);

  // A newer version is refused and changes nothing.
  ComPtr<IStream> newer;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, newer.put()), S_OK);
  const BYTE bytes[12] = {0x01, 0x03, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
  newer->Write(bytes, sizeof bytes, nullptr);
  newer->Seek(start, STREAM_SEEK_SET, nullptr);
  EXPECT_EQ(fresh_persist->Load(newer.get()), E_FAIL);
  fresh_ole->GetExtent(DVASPECT_CONTENT, &loaded);
  EXPECT_EQ(loaded.cx, 1000);
}

TEST(Persistence, StorageKeepsTheSameBytesInContents) {
  ComPtr<IOrvane> control = CreateByProgId();
  ASSERT_TRUE(control);
  ComPtr<IPersistStorage> persist;
  ASSERT_EQ(control.As(IID_IPersistStorage, &persist), S_OK);
  ComPtr<ILockBytes> bytes;
  ASSERT_EQ(CreateILockBytesOnHGlobal(nullptr, TRUE, bytes.put()), S_OK);
  ComPtr<IStorage> storage;
  ASSERT_EQ(StgCreateDocfileOnILockBytes(
                bytes.get(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, storage.put()),
            S_OK);
  ASSERT_EQ(persist->InitNew(storage.get()), S_OK);
  ASSERT_EQ(persist->Save(storage.get(), TRUE), S_OK);
  ComPtr<IStream> contents;
  ASSERT_EQ(storage->OpenStream(L"Contents", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0,
                                contents.put()),
            S_OK);
  BYTE read[16] = {};
  ULONG got = 0;
  contents->Read(read, sizeof read, &got);
  EXPECT_EQ(got, 12u);
  EXPECT_EQ(read[0], 0x00);
  EXPECT_EQ(read[1], 0x03);
  EXPECT_EQ(read[4] | (read[5] << 8), 5080);
  contents.Reset();
  EXPECT_EQ(persist->Load(storage.get()), S_OK);
}

TEST(Drawing, PictureFillsTheBoundsStretchedInEachDirection) {
  const Picture pic = LoadPicture();
  ASSERT_EQ(pic.width, 200);
  ASSERT_EQ(pic.height, 160);
  ComPtr<IOrvane> control = CreateByProgId();
  ASSERT_TRUE(control);
  ComPtr<IViewObject> view;
  ASSERT_EQ(control.As(IID_IViewObject, &view), S_OK);

  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  ReleaseDC(nullptr, screen);
  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
  bmi.bmiHeader.biWidth = 420;
  bmi.bmiHeader.biHeight = -340;  // top-down
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP target = CreateDIBSection(dc, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(target, nullptr);
  HGDIOBJ old = SelectObject(dc, target);
  auto pixel = [&](int x, int y) {
    const BYTE* p = static_cast<const BYTE*>(bits) + (y * 420 + x) * 4;
    return RGB(p[2], p[1], p[0]);
  };

  RECTL doubled{10, 10, 410, 330};
  ASSERT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &doubled, nullptr,
                       nullptr, 0),
            S_OK);
  GdiFlush();
  int mismatches = 0;
  for (int y = 0; y < 160; y += 7) {
    for (int x = 0; x < 200; x += 7) {
      for (int d = 0; d < 4; ++d) {
        if (pixel(10 + 2 * x + (d & 1), 10 + 2 * y + (d >> 1)) != pic.At(x, y)) ++mismatches;
      }
    }
  }
  EXPECT_EQ(mismatches, 0);

  // Half the height, same width: rows are dropped, columns kept.
  RECTL flat{0, 0, 200, 80};
  ASSERT_EQ(
      view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &flat, nullptr, nullptr, 0),
      S_OK);
  GdiFlush();
  int columns_kept = 0;
  for (int x = 0; x < 200; ++x)
    columns_kept += pixel(x, 40) == pic.At(x, 80) || pixel(x, 40) == pic.At(x, 81);
  EXPECT_GT(columns_kept, 150);

  SelectObject(dc, old);
  DeleteObject(target);
  DeleteDC(dc);
}

}  // namespace
}  // namespace orvane::wintest
