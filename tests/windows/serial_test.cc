// A live receiver on a Wine COM port: scripts/wine-test --only serial links
// COMn of the prefix to a pseudo-terminal, feeds sentences into it and names
// the port in ORVANE_WINE_COM_PORT. Without it the test is skipped.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "host_support.h"

namespace orvane::wintest {
namespace {

class CountingSink final : public IDispatch {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        IsEqualIID(iid, DIID__IOrvaneEvents)) {
      *out = static_cast<IDispatch*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    if (id == 3) ++fixes;
    if (id == 1) {
      ++lines;
      last_line_tick = GetTickCount();
    }
    if (GetCurrentThreadId() != host_thread) ++foreign_thread_calls;
    return S_OK;
  }
  DWORD host_thread = GetCurrentThreadId();
  int fixes = 0, lines = 0, foreign_thread_calls = 0;
  DWORD last_line_tick = 0;
};

// The port's events, for a test that needs more than one.
struct Connected {
  ComPtr<IOrvane> control = CreateByProgId();
  CountingSink sink;
  ComPtr<IConnectionPoint> point;
  DWORD cookie = 0;
  bool Advise() {
    ComPtr<IConnectionPointContainer> container;
    return control && control.As(IID_IConnectionPointContainer, &container) == S_OK &&
           container->FindConnectionPoint(DIID__IOrvaneEvents, point.put()) == S_OK &&
           point->Advise(&sink, &cookie) == S_OK;
  }
  bool Closed() {
    Var h;
    return control->get_PortHandle(&h) == kPortClosed;
  }
};

TEST(SerialPort, LiveSentencesArriveThroughAComPort) {
  const char* port = std::getenv("ORVANE_WINE_COM_PORT");
  if (port == nullptr) GTEST_SKIP() << "run through scripts/wine-test --only serial";
  ComPtr<IOrvane> control = CreateByProgId();
  ASSERT_TRUE(control);
  CountingSink sink;
  ComPtr<IConnectionPointContainer> container;
  ComPtr<IConnectionPoint> point;
  ASSERT_EQ(control.As(IID_IConnectionPointContainer, &container), S_OK);
  ASSERT_EQ(container->FindConnectionPoint(DIID__IOrvaneEvents, point.put()), S_OK);
  DWORD cookie = 0;
  ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);

  Var name(Widen(port).c_str());
  ASSERT_EQ(control->Open(name.v), S_OK);
  Var stored;
  ASSERT_EQ(control->get_PortName(&stored), S_OK);
  EXPECT_EQ(stored.Text(), Widen(port));
  Var handle;
  ASSERT_EQ(control->get_PortHandle(&handle), S_OK);
  EXPECT_EQ(handle.v.vt, VT_I4);
  Var baud;
  ASSERT_EQ(control->get_BaudRate(&baud), S_OK);
  EXPECT_EQ(baud.v.lVal, 4800);
  Var faster(9600);
  EXPECT_EQ(control->put_BaudRate(faster.v), S_OK);
  ASSERT_EQ(control->get_BaudRate(&baud), S_OK);
  EXPECT_EQ(baud.v.lVal, 9600);
  EXPECT_EQ(control->Open(name.v), kAlreadyOpen);

  EXPECT_TRUE(PumpUntil([&] { return sink.fixes >= 3; }, 15000)) << sink.lines << " lines";
  EXPECT_GE(sink.lines, sink.fixes - 1);  // a line's raw data follows its fix
  EXPECT_EQ(sink.foreign_thread_calls, 0);
  Var good;
  ASSERT_EQ(control->get_FixGood(&good), S_OK);
  EXPECT_EQ(good.v.boolVal, VARIANT_TRUE);

  EXPECT_EQ(control->Close(), S_OK);
  EXPECT_TRUE(PumpUntil(
      [&] {
        Var h;
        return control->get_PortHandle(&h) == kPortClosed;
      },
      5000));
  EXPECT_EQ(point->Unadvise(cookie), S_OK);
}

// scripts/wine-test --only serial runs this with the receiver unplugged a
// few seconds in (the pseudo-terminal behind COMn closed and its link
// removed) and plugged back a little later at the same link.
TEST(SerialPortLoss, AnUnpluggedReceiverIsReopenedAndCloseIsSeenAtOnce) {
  const char* port = std::getenv("ORVANE_WINE_COM_PORT");
  if (port == nullptr || std::getenv("ORVANE_WINE_COM_UNPLUG") == nullptr) {
    GTEST_SKIP() << "run through scripts/wine-test --only serial";
  }
  Connected c;
  ASSERT_TRUE(c.Advise());
  Var name(Widen(port).c_str());
  ASSERT_EQ(c.control->Open(name.v), S_OK);
  ASSERT_TRUE(PumpUntil([&] { return c.sink.lines >= 3; }, 15000)) << "nothing arrived";
  // Lines come every 100 ms while the receiver is there.
  ASSERT_TRUE(PumpUntil([&] { return GetTickCount() - c.sink.last_line_tick > 700; }, 15000))
      << "the receiver was never unplugged";
  EXPECT_FALSE(c.Closed()) << "the port stays open while the receiver is away";
  const int before = c.sink.lines;
  EXPECT_TRUE(PumpUntil([&] { return c.sink.lines >= before + 3; }, 15000))
      << "no line after the receiver was plugged back";
  EXPECT_EQ(c.sink.foreign_thread_calls, 0);
  const DWORD closing = GetTickCount();
  EXPECT_EQ(c.control->Close(), S_OK);
  EXPECT_TRUE(PumpUntil([&] { return c.Closed(); }, 5000));
  EXPECT_LT(GetTickCount() - closing, 1000u);
  EXPECT_EQ(c.point->Unadvise(c.cookie), S_OK);
}

}  // namespace
}  // namespace orvane::wintest
