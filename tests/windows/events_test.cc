// A replay under a real apartment: events come back to the host's thread, in
// the order the lines were handled, while the host pumps messages.
#include <gtest/gtest.h>

#include <cstdio>

#include <string>
#include <vector>

#include "host_support.h"
#include "support/nmea.h"

namespace orvane::wintest {
namespace {

struct Received {
  DISPID dispid;
  DWORD thread;
  std::vector<VARTYPE> types;  // in parameter order
  std::wstring first_text;     // the first parameter when it is text
  LONG second_i4 = 0;
  ULONGLONG at = 0;
};

// An _IOrvaneEvents sink that records what it is called with.
class RecordingSink : public EventsSink {
 public:
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT*, EXCEPINFO*, UINT*) override {
    Received r{id, GetCurrentThreadId(), {}, {}, 0, GetTickCount64()};
    EXPECT_EQ(flags, DISPATCH_METHOD);
    for (UINT i = params->cArgs; i-- > 0;) r.types.push_back(params->rgvarg[i].vt);
    if (params->cArgs >= 1 && params->rgvarg[params->cArgs - 1].vt == VT_BSTR) {
      BSTR b = params->rgvarg[params->cArgs - 1].bstrVal;
      r.first_text.assign(b, SysStringLen(b));
    }
    if (params->cArgs == 2 && params->rgvarg[0].vt == VT_I4) r.second_i4 = params->rgvarg[0].lVal;
    events.push_back(r);
    if (order != nullptr) order->push_back(this);
    return failing ? E_FAIL : S_OK;
  }

  bool failing = false;
  std::vector<Received> events;
  std::vector<const RecordingSink*>* order = nullptr;  // shared by several sinks
};

DWORD Advise(IOrvane* control, IUnknown* sink) {
  ComPtr<IConnectionPointContainer> container;
  ComPtr<IConnectionPoint> point;
  DWORD cookie = 0;
  EXPECT_EQ(control->QueryInterface(IID_IConnectionPointContainer, container.put_void()), S_OK);
  EXPECT_EQ(container->FindConnectionPoint(DIID__IOrvaneEvents, point.put()), S_OK);
  EXPECT_EQ(point->Advise(sink, &cookie), S_OK);
  return cookie;
}

const char kLog[] =
    "$GPRMC,235958,A,4736.372,N,12219.926,W,5.5,045.0,310104,15.2,E,A*3D\r\n"
    "$GPGGA,235958,4736.372,N,12219.926,W,2,09,0.9,12.5,M,-17.1,M,3,0042*7E\r\n"
    "$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39\r\n"
    "$GPXYZ,not,a,sentence,we,know\r\n";

bool SourceClosed(IOrvane* control) {
  Var handle;
  return control->get_PortHandle(&handle) == kPortClosed;
}

TEST(Events, ReplayDeliversEveryEventOnTheHostThreadInOrder) {
  ComPtr<IOrvane> control = CreateByProgId();
  ASSERT_TRUE(control);
  RecordingSink first, second;
  std::vector<const RecordingSink*> order;
  first.order = second.order = &order;
  second.failing = true;  // an error from one sink stops nobody
  Advise(control.get(), &second);
  Advise(control.get(), &first);
  std::wstring path = WriteTempFile(kLog, L"orvane_events.nmea");

  // Late-bound, with one argument: a replay without pacing.
  Var name(path.c_str());
  ASSERT_EQ(InvokeByName(control.get(), L"OpenFile", DISPATCH_METHOD, &name.v, 1, nullptr), S_OK);
  ASSERT_TRUE(
      PumpUntil([&] { return !first.events.empty() && first.events.back().dispid == 7; }, 20000));
  ASSERT_TRUE(PumpUntil([&] { return SourceClosed(control.get()); }, 5000));

  const std::vector<DISPID> expected = {3, 1, 3, 1, 5, 1, 1, 7};
  std::vector<DISPID> got;
  for (const Received& r : first.events) {
    got.push_back(r.dispid);
    EXPECT_EQ(r.thread, GetCurrentThreadId());
  }
  EXPECT_EQ(got, expected);
  ASSERT_EQ(second.events.size(), first.events.size());
  // The sink in the lower slot hears each event first.
  for (std::size_t i = 0; i + 1 < order.size(); i += 2) {
    EXPECT_EQ(order[i], &second);
    EXPECT_EQ(order[i + 1], &first);
  }
  EXPECT_EQ(first.events[0].types.size(), 7u);
  EXPECT_EQ(first.events[0].types[0], VT_BOOL);
  EXPECT_EQ(first.events[1].types, (std::vector<VARTYPE>{VT_BSTR, VT_I4}));
  EXPECT_EQ(first.events[1].first_text,
            L"$GPRMC,235958,A,4736.372,N,12219.926,W,5.5,045.0,310104,15.2,E,A");
  EXPECT_EQ(first.events[6].first_text.rfind(L"$GPXYZ,not,a,sentence,we,know", 0), 0u);
  EXPECT_EQ(first.events[4].types.size(), 8u);
  EXPECT_TRUE(first.events[7].types.empty());

  Var fix;
  ASSERT_EQ(control->get_FixGood(&fix), S_OK);
  EXPECT_EQ(fix.v.vt, VT_BOOL);
  EXPECT_EQ(fix.v.boolVal, VARIANT_TRUE);
  Var sats;
  ASSERT_EQ(control->get_FixSatellitePRNs(&sats), S_OK);
  ASSERT_EQ(sats.v.vt, VT_ARRAY | VT_VARIANT);
  LONG lower = -1, upper = -1;
  SafeArrayGetLBound(sats.v.parray, 1, &lower);
  SafeArrayGetUBound(sats.v.parray, 1, &upper);
  EXPECT_EQ(lower, 0);
  EXPECT_EQ(upper, 4);  // 04 05 09 12 24
}

TEST(Events, UnadvisedSinksHearNothingAndUnknownCookiesAreRefused) {
  ComPtr<IOrvane> control = CreateByProgId();
  ASSERT_TRUE(control);
  ComPtr<IConnectionPointContainer> container;
  ComPtr<IConnectionPoint> point;
  ASSERT_EQ(control.As(IID_IConnectionPointContainer, &container), S_OK);
  ASSERT_EQ(container->FindConnectionPoint(DIID__IOrvaneEvents, point.put()), S_OK);
  IID iid{};
  EXPECT_EQ(point->GetConnectionInterface(&iid), S_OK);
  EXPECT_TRUE(IsEqualIID(iid, DIID__IOrvaneEvents));

  RecordingSink kept, dropped;
  DWORD dropped_cookie = Advise(control.get(), &dropped);
  Advise(control.get(), &kept);
  ComPtr<IEnumConnections> connections;
  ASSERT_EQ(point->EnumConnections(connections.put()), S_OK);
  CONNECTDATA data[4] = {};
  ULONG fetched = 0;
  connections->Next(4, data, &fetched);
  EXPECT_EQ(fetched, 2u);
  for (ULONG i = 0; i < fetched; ++i) data[i].pUnk->Release();

  EXPECT_EQ(point->Unadvise(dropped_cookie), S_OK);
  EXPECT_EQ(point->Unadvise(dropped_cookie), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(point->Unadvise(0), CONNECT_E_NOCONNECTION);

  // A sink without the events interface cannot connect.
  ComPtr<IUnknown> not_a_sink;
  CreateStreamOnHGlobal(nullptr, TRUE, reinterpret_cast<IStream**>(not_a_sink.put()));
  DWORD cookie = 1;
  EXPECT_EQ(point->Advise(not_a_sink.get(), &cookie), CONNECT_E_CANNOTCONNECT);
  EXPECT_EQ(cookie, 0u);

  std::wstring path = WriteTempFile(kLog, L"orvane_unadvise.nmea");
  Var name(path.c_str());
  Var missing = Var::Missing();
  ASSERT_EQ(control->OpenFile(name.v, missing.v), S_OK);
  ASSERT_TRUE(
      PumpUntil([&] { return !kept.events.empty() && kept.events.back().dispid == 7; }, 20000));
  EXPECT_TRUE(dropped.events.empty());
  EXPECT_EQ(kept.events.size(), 8u);

  // The second connection point takes property-notify sinks.
  ComPtr<IConnectionPoint> notify;
  EXPECT_EQ(container->FindConnectionPoint(IID_IPropertyNotifySink, notify.put()), S_OK);
  ComPtr<IEnumConnectionPoints> points;
  ASSERT_EQ(container->EnumConnectionPoints(points.put()), S_OK);
  IConnectionPoint* listed[3] = {};
  points->Next(3, listed, &fetched);
  EXPECT_EQ(fetched, 2u);
  for (ULONG i = 0; i < fetched; ++i) listed[i]->Release();
}

TEST(Events, TimeScalePacesFixesAndOutOfRangeScalesAreRefused) {
  ComPtr<IOrvane> control = CreateByProgId();
  ASSERT_TRUE(control);
  const char log[] =
      "$GPRMC,120000,A,4736.372,N,12219.926,W,5.5,045.0,310104,15.2,E,A*3E\r\n"
      "$GPRMC,120001,A,4736.372,N,12219.926,W,5.5,045.0,310104,15.2,E,A*3F\r\n"
      "$GPRMC,120002,A,4736.372,N,12219.926,W,5.5,045.0,310104,15.2,E,A*3C\r\n";
  std::wstring path = WriteTempFile(log, L"orvane_paced.nmea");
  Var name(path.c_str());

  SetErrorInfo(0, nullptr);
  EXPECT_EQ(control->OpenFile(name.v, Var::Double(-1).v), E_INVALIDARG);
  EXPECT_EQ(TakeErrorObject().description, L"An invalid argument was supplied.");
  EXPECT_EQ(control->OpenFile(name.v, Var::Double(1001).v), E_INVALIDARG);
  Var handle;
  EXPECT_EQ(control->get_PortHandle(&handle), kPortClosed);  // nothing stays open

  RecordingSink sink;
  Advise(control.get(), &sink);
  Var twice(L"2");  // text, coerced like a script's argument
  VARIANT args[2] = {name.v, twice.v};
  ASSERT_EQ(InvokeByName(control.get(), L"OpenFile", DISPATCH_METHOD, args, 2, nullptr), S_OK);
  ASSERT_TRUE(
      PumpUntil([&] { return !sink.events.empty() && sink.events.back().dispid == 7; }, 20000));
  std::vector<ULONGLONG> fixes;
  for (const Received& r : sink.events) {
    if (r.dispid == 3) fixes.push_back(r.at);
  }
  ASSERT_EQ(fixes.size(), 3u);
  for (std::size_t i = 1; i < fixes.size(); ++i) {
    EXPECT_NEAR(static_cast<double>(fixes[i] - fixes[i - 1]), 500.0, 150.0);
  }
}

// Releasing the control while its reader is inside a sink call that needs
// this thread must neither hang nor crash.
TEST(Events, FinalReleaseDuringAReplayReturns) {
  ComPtr<IOrvane> control = CreateByProgId();
  ASSERT_TRUE(control);
  RecordingSink sink;
  Advise(control.get(), &sink);
  std::string big;
  for (int i = 0; i < 2000; ++i) big += "$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39\r\n";
  std::wstring path = WriteTempFile(big, L"orvane_release.nmea");
  Var name(path.c_str());
  ASSERT_EQ(control->OpenFile(name.v, Var::Missing().v), S_OK);
  PumpUntil([&] { return sink.events.size() > 10; }, 10000);
  const ULONGLONG before = GetTickCount64();
  control.Reset();
  EXPECT_LT(GetTickCount64() - before, 5000u);
  EXPECT_LT(sink.events.size(), 4001u);
}

// The usual shutdown order of a window host: WM_DESTROY posts WM_QUIT, then
// the control is released while its replay still runs. The release pumps
// for the reader, but the host's loop must still get its WM_QUIT.
TEST(Events, FinalReleaseDuringAReplayKeepsTheHostsQuitMessage) {
  ComPtr<IOrvane> control = CreateByProgId();
  ASSERT_TRUE(control);
  RecordingSink sink;
  Advise(control.get(), &sink);
  // Paced, the second fix an hour after the first: after the first event the
  // reader waits on its clock, not on this thread, so the release pumps.
  auto sentence = orvane::testing::Sentence;
  const std::string log =
      sentence("$GPRMC,000000,A,4736.372,N,12219.926,W,5.5,045.0,310104,15.2,E,A") +
      sentence("$GPRMC,010000,A,4736.372,N,12219.926,W,5.5,045.0,310104,15.2,E,A");
  Var name(WriteTempFile(log, L"orvane_release_quit.nmea").c_str());
  Var real_time;
  real_time.v.vt = VT_R8;
  real_time.v.dblVal = 1.0;
  ASSERT_EQ(control->OpenFile(name.v, real_time.v), S_OK);
  ASSERT_TRUE(PumpUntil([&] { return !sink.events.empty(); }, 10000));
  PumpUntil([] { return false; }, 100);  // the reader is now in its pacing wait
  PostQuitMessage(3);
  control.Reset();
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 3u);
}

// A host that lets go of the control from its FixUpdate handler mid-replay,
// or from FileComplete at the end (the usual "replay done, drop the
// control"): the reader is still inside that very call, so release must not
// wait for it, and must not stall either. The reader then ends and frees the
// control's state, sinks included; only then may the module go.
TEST(Events, ReleaseFromInsideAnEventHandlerReturnsAtOnceAndTheReaderFreesTheState) {
  using CanUnloadFn = HRESULT(WINAPI*)();
  // The same module COM loads for the ProgID, held for the test's length.
  struct Module {
    HMODULE dll = LoadLibraryW(DllPath().c_str());
    ~Module() { FreeLibrary(dll); }
  } module;
  HMODULE dll = module.dll;
  ASSERT_NE(dll, nullptr);
  auto can_unload = reinterpret_cast<CanUnloadFn>(
      reinterpret_cast<void*>(GetProcAddress(dll, "DllCanUnloadNow")));
  ASSERT_NE(can_unload, nullptr);

  class ReleasingSink final : public RecordingSink {
   public:
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* info,
                                     UINT* arg) override {
      RecordingSink::Invoke(id, iid, lcid, flags, params, result, info, arg);
      if (id == release_on && owner != nullptr && *owner) {
        LARGE_INTEGER f, t0, t1;
        QueryPerformanceFrequency(&f);
        QueryPerformanceCounter(&t0);
        owner->Reset();
        QueryPerformanceCounter(&t1);
        release_ms = 1000.0 * static_cast<double>(t1.QuadPart - t0.QuadPart) /
                     static_cast<double>(f.QuadPart);
        events_at_release = events.size();
        // The reader waits for this very call: it cannot have freed anything.
        unload_inside = can_unload();
      }
      return S_OK;
    }
    DISPID release_on = 0;
    ComPtr<IOrvane>* owner = nullptr;
    CanUnloadFn can_unload = nullptr;
    double release_ms = -1;
    std::size_t events_at_release = 0;
    HRESULT unload_inside = E_FAIL;
  };

  std::string many;
  for (int i = 0; i < 200; ++i) many += kLog;
  const struct {
    const char* handler;
    DISPID dispid;
    const std::string log;
  } cases[] = {{"FixUpdate", 3, many}, {"FileComplete", 7, kLog}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.handler);
    ASSERT_TRUE(PumpUntil([&] { return can_unload() == S_OK; }, 10000));
    ComPtr<IOrvane> control = CreateByProgId();
    ASSERT_TRUE(control);
    ReleasingSink sink;
    sink.release_on = c.dispid;
    sink.owner = &control;
    sink.can_unload = can_unload;
    Advise(control.get(), &sink);
    Var name(WriteTempFile(c.log, L"orvane_release_inside.nmea").c_str());
    ASSERT_EQ(control->OpenFile(name.v, Var::Missing().v), S_OK);
    ASSERT_TRUE(PumpUntil([&] { return !control; }, 20000));
    // Well under 100 ms when quiet; the bound leaves room for a loaded machine.
    EXPECT_LT(sink.release_ms, 500.0);
    std::printf("release from %s: %.2f ms\n", c.handler, sink.release_ms);
    EXPECT_EQ(sink.unload_inside, S_FALSE);
    EXPECT_TRUE(PumpUntil([&] { return can_unload() == S_OK; }, 10000));
    EXPECT_EQ(sink.refs, 1) << "the reader released every reference to the sink";
    // Nothing reaches the host once it has let go.
    EXPECT_EQ(sink.events.size(), sink.events_at_release);
  }
}

}  // namespace
}  // namespace orvane::wintest
