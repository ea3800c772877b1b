// The control object through its member table and late binding.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <set>
#include <thread>

#include "automation/error_info.h"
#include "control/dispatch.h"
#include "control/member_table.h"
#include "control/orvane_control.h"
#include "control/picture.h"
#include "support/nmea.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;

std::string TempLog(const std::string& text) {
  static int n = 0;
  std::string path = ::testing::TempDir() + "control_test_" + std::to_string(::getpid()) + "_" +
                     std::to_string(n++) + ".nmea";
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

std::string Rmc(int second) {
  char body[128];
  std::snprintf(body, sizeof body,
                "$GPRMC,1200%02d,A,4807.038,N,01131.000,E,10.0,84.4,230394,3.1,W", second);
  return testing::Sentence(body);
}

bool WaitClosed(OrvaneControl& c, std::chrono::milliseconds timeout = 5s) {
  return Apartment::Current()->RunUntil([&] { return !c.IsSourceOpen(); }, timeout);
}

TEST(MemberTableTest, HoldsTheContract) {
  auto members = Members();
  ASSERT_EQ(members.size(), 59u);
  std::set<DISPID> ids;
  int gets = 0, puts = 0, methods = 0;
  for (const auto& m : members) {
    ids.insert(m.dispid);
    gets += m.kind == MemberKind::kGet;
    puts += m.kind == MemberKind::kPut;
    methods += m.kind == MemberKind::kMethod;
    if (m.kind == MemberKind::kPut) {
      // Every put follows its get with the same DISPID.
      const MemberInfo* get = FindMember(m.dispid, MemberKind::kGet);
      ASSERT_NE(get, nullptr) << m.name;
      EXPECT_EQ(get->name, m.name);
      EXPECT_EQ(&m - 1, get) << m.name;
    }
    const std::string expected_help =
        std::string(m.kind == MemberKind::kMethod ? "method " : "property ") +
        (m.name == "GeoidHeightAboveWGS84Ellipsoid" ? "GeoidHeightAboveWGS84ellipsoid"
                                                    : std::string(m.name));
    EXPECT_EQ(m.help, expected_help);
  }
  EXPECT_EQ(gets, 46);
  EXPECT_EQ(puts, 8);
  EXPECT_EQ(methods, 5);
  EXPECT_EQ(ids.count(32), 0u);
  EXPECT_EQ(ids.count(50), 0u);
  EXPECT_EQ(*ids.begin(), 1);
  EXPECT_EQ(*ids.rbegin(), 53);
  EXPECT_EQ(members[0].name, "BaudRate");
  EXPECT_EQ(members[19].name, "HDOP");  // vtable order is not DISPID order
  EXPECT_EQ(members[58].name, "RouteContainsAllWpts");
  auto events = Events();
  ASSERT_EQ(events.size(), 5u);
  EXPECT_EQ(events[2].param_count, 11);
  EXPECT_EQ(events[2].params[8], "DestArrivalAlarm");
}

TEST(DispatchTest, NamesAreCaseInsensitiveAndParametersResolve) {
  struct Case {
    std::vector<std::string_view> names;
    HRESULT hr;
    std::vector<DISPID> ids;
  } cases[] = {
      {{"baudrate"}, S_OK, {1}},
      {{"OPENFILE", "timescale", "FileName"}, S_OK, {5, 1, 0}},
      {{"GetSatelliteInfo", "pSignalToNoiseRatio"}, S_OK, {39, 3}},
      {{"GetWptLocation", "pWptLon"}, S_OK, {34, 2}},
      {{"Latitude", "pVal"}, S_OK, {8, 0}},
      {{"NoSuchMember"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},
      {{"Open", "FileName"}, DISP_E_UNKNOWNNAME, {4, DISPID_UNKNOWN}},
      {{"FixUpdate"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},  // an event, not a member
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.names[0]));
    std::vector<DISPID> ids(c.names.size());
    EXPECT_EQ(GetIDsOfNames(c.names, ids), c.hr);
    EXPECT_EQ(ids, c.ids);
  }
}

TEST(DispatchTest, EveryMemberIsReachableByNameAndDispidWithItsKind) {
  auto control = CreateOrvaneControl();
  for (const auto& m : Members()) {
    SCOPED_TRACE(std::string(m.name));
    std::string_view name[1] = {m.name};
    DISPID id[1];
    ASSERT_EQ(GetIDsOfNames(name, id), S_OK);
    EXPECT_EQ(id[0], m.dispid);
    if (m.kind == MemberKind::kGet) {
      Variant v;
      HRESULT hr = Invoke(*control, m.dispid, DISPATCH_PROPERTYGET, {}, &v, nullptr, nullptr);
      // Only the port's properties fail while nothing is open.
      if (m.name == "PortName" || m.name == "PortHandle") {
        EXPECT_EQ(hr, DISP_E_EXCEPTION);
      } else {
        EXPECT_EQ(hr, S_OK);
      }
      if (!FindMember(m.dispid, MemberKind::kPut)) {
        Variant arg = Variant::I2(1);
        const DISPID put[1] = {DISPID_PROPERTYPUT};
        EXPECT_EQ(Invoke(*control, m.dispid, DISPATCH_PROPERTYPUT,
                         {std::span<Variant>(&arg, 1), put}, nullptr, nullptr, nullptr),
                  DISP_E_MEMBERNOTFOUND);
      }
    }
  }
  EXPECT_EQ(Invoke(*control, 32, DISPATCH_PROPERTYGET, {}, nullptr, nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Invoke(*control, 6, DISPATCH_PROPERTYPUT, {}, nullptr, nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);
}

TEST(DispatchTest, ArgumentCountsFollowThePlatform) {
  auto control = CreateOrvaneControl();
  std::vector<Variant> none;
  EXPECT_EQ(InvokeByName(*control, "OpenFile", DISPATCH_METHOD, none, nullptr),
            DISP_E_PARAMNOTOPTIONAL);
  std::vector<Variant> too_many = {Variant::I2(1)};
  EXPECT_EQ(InvokeByName(*control, "Close", DISPATCH_METHOD, too_many, nullptr),
            DISP_E_BADPARAMCOUNT);
  std::vector<Variant> get_args = {Variant::I2(1)};
  Variant v;
  EXPECT_EQ(InvokeByName(*control, "Latitude", DISPATCH_PROPERTYGET, get_args, &v),
            DISP_E_BADPARAMCOUNT);
  Variant arg = Variant::I2(1);
  const DISPID other[1] = {7};
  EXPECT_EQ(Invoke(*control, 42, DISPATCH_PROPERTYPUT, {std::span<Variant>(&arg, 1), other},
                   nullptr, nullptr, nullptr),
            DISP_E_NONAMEDARGS);
}

TEST(DispatchTest, AFailureWithARecordBecomesAnException) {
  auto control = CreateOrvaneControl();
  TakeErrorRecord();
  std::vector<Variant> args = {Variant::I4(1000)};
  ExcepInfo info;
  EXPECT_EQ(InvokeByName(*control, "BaudRate", DISPATCH_PROPERTYPUT, args, nullptr, &info),
            DISP_E_EXCEPTION);
  EXPECT_EQ(info.scode, E_INVALIDARG);
  EXPECT_EQ(info.source, u"OrvaneMod.Orvane.1");
  EXPECT_EQ(info.description, u"An invalid argument was supplied.");
  EXPECT_FALSE(info.interface_id.empty());
  // A coercion failure carries no record: its own code comes back as it is.
  std::vector<Variant> text = {Variant::Text("fast")};
  ExcepInfo none;
  TakeErrorRecord();
  EXPECT_EQ(InvokeByName(*control, "SpeedUnits", DISPATCH_PROPERTYPUT, text, nullptr, &none),
            DISP_E_TYPEMISMATCH);
  EXPECT_FALSE(PeekErrorRecord().has_value());
}

TEST(DispatchTest, OutParametersAreWrittenBack) {
  auto control = CreateOrvaneControl();
  std::vector<Variant> args = {Variant::I2(7), Variant::Text("old"), Variant::Text("old"),
                               Variant::Text("old")};
  ASSERT_EQ(InvokeByName(*control, "GetSatelliteInfo", DISPATCH_METHOD, args, nullptr), S_OK);
  EXPECT_EQ(args[0], Variant::I2(7));  // [in] untouched
  EXPECT_EQ(args[1], Variant());
  EXPECT_EQ(args[2], Variant());
  EXPECT_EQ(args[3], Variant());
}

TEST(ControlTest, ConstructionDefaults) {
  auto c = CreateOrvaneControl();
  Variant v;
  struct Case {
    HRESULT (OrvaneControl::*get)(Variant*);
    Variant expected;
  } cases[] = {
      {&OrvaneControl::get_BaudRate, Variant::I4(4800)},
      {&OrvaneControl::get_LatLonFormat, Variant::I2(0)},
      {&OrvaneControl::get_SpeedUnits, Variant::I2(2)},
      {&OrvaneControl::get_DistUnits, Variant::I2(3)},
      {&OrvaneControl::get_AltitudeUnits, Variant::I2(0)},
      {&OrvaneControl::get_DegLabel, Variant::Text("\u00B0 ")},
      {&OrvaneControl::get_MinLabel, Variant::Text("' ")},
      {&OrvaneControl::get_SecLabel, Variant::Text("\"")},
      {&OrvaneControl::get_FixDateTime, Variant::Date(0)},
      {&OrvaneControl::get_FixGood, Variant::Bool(false)},
      {&OrvaneControl::get_Latitude, Variant::Text("")},
      {&OrvaneControl::get_Speed, Variant()},
  };
  for (const auto& cs : cases) {
    ASSERT_EQ(((*c).*cs.get)(&v), S_OK);
    EXPECT_EQ(v, cs.expected) << DebugString(v);
  }
  EXPECT_EQ(c->hosting().extent_cx(), 5080u);
  EXPECT_EQ(c->hosting().extent_cy(), 5080u);
}

TEST(ControlTest, GetsReturnIndependentValuesAndPutsNeverChangeTheCallersVariant) {
  auto c = CreateOrvaneControl();
  Variant first, second;
  c->get_DegLabel(&first);
  c->get_DegLabel(&second);
  first.Clear();
  EXPECT_EQ(second, Variant::Text("\u00B0 "));
  Variant five = Variant::I4(5);
  ASSERT_EQ(c->put_DegLabel(five), S_OK);
  EXPECT_EQ(five, Variant::I4(5));
  c->get_DegLabel(&first);
  EXPECT_EQ(first, Variant::Text("5"));
  Variant one = Variant::Text("1");
  ASSERT_EQ(c->put_SpeedUnits(one), S_OK);
  EXPECT_EQ(one, Variant::Text("1"));
  c->get_SpeedUnits(&first);
  EXPECT_EQ(first, Variant::I2(1));
  EXPECT_EQ(c->put_SpeedUnits(Variant::Text("fast")), DISP_E_TYPEMISMATCH);
  c->get_SpeedUnits(&first);
  EXPECT_EQ(first, Variant::I2(1));
  EXPECT_EQ(c->get_Latitude(nullptr), E_POINTER);
}

TEST(ControlTest, EveryMemberSurvivesEveryKindOfArgument) {
  auto c = CreateOrvaneControl();
  const std::vector<Variant> odd = {
      Variant(),
      Variant::Null(),
      Variant::I2(-1),
      Variant::I4(70000),
      Variant::R8(1e300),
      Variant::R8(-0.5),
      Variant::Date(-1),
      Variant::Bool(true),
      Variant::Error(DISP_E_PARAMNOTFOUND),
      Variant::Text("not a number"),
      Variant::Text(""),
      Variant::Text(std::string("a\0b", 3)),
      Variant::Array({Variant::I2(1)}),
  };
  for (const auto& m : Members()) {
    if (m.kind == MemberKind::kGet || m.name == "Open" || m.name == "OpenFile") continue;
    for (const auto& arg : odd) {
      std::vector<Variant> args(m.param_count, arg);
      Variant result;
      HRESULT hr = InvokeByName(*c, m.name,
                                m.kind == MemberKind::kPut ? DISPATCH_PROPERTYPUT : DISPATCH_METHOD,
                                args, &result);
      (void)hr;  // each member decides; what matters is that nothing breaks
    }
  }
  // The settings hold only values their puts accept.
  Variant v;
  c->get_SpeedUnits(&v);
  ASSERT_EQ(v.vt(), VT_I2);
  EXPECT_TRUE(v.i2() >= 0 && v.i2() <= 2);
  c->get_AltitudeUnits(&v);
  EXPECT_TRUE(v.i2() >= 0 && v.i2() <= 1);
  c->get_BaudRate(&v);
  EXPECT_EQ(v, Variant::I4(4800));
  EXPECT_FALSE(c->IsSourceOpen());
}

TEST(ControlTest, OpenFileWithOneArgumentReplaysWithoutPacing) {
  std::string log;
  for (int s = 0; s < 20; s += 10) log += Rmc(s);  // ten seconds apart: paced it would take 10 s
  const std::string path = TempLog(log);
  auto c = CreateOrvaneControl();
  std::vector<Variant> args = {Variant::Text(path)};
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(InvokeByName(*c, "OpenFile", DISPATCH_METHOD, args, nullptr), S_OK);
  ASSERT_TRUE(WaitClosed(*c));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  Variant v;
  c->get_Speed(&v);
  EXPECT_EQ(v, Variant::R8(10.0));
  std::remove(path.c_str());
}

class Counter : public EventSink {
 public:
  explicit Counter(std::function<void(DISPID)> f = {}) : f_(std::move(f)) {}
  HRESULT Invoke(DISPID id, std::span<Variant>) override {
    ++counts[id];
    if (f_) f_(id);
    return S_OK;
  }
  std::map<DISPID, int> counts;

 private:
  std::function<void(DISPID)> f_;
};

TEST(ControlTest, EventsReachAHostSinkInOrderAndFileCompleteOnce) {
  std::string log;
  for (int s = 0; s < 5; ++s) log += Rmc(s);
  const std::string path = TempLog(log);
  auto c = CreateOrvaneControl();
  std::vector<DISPID> order;
  auto sink = std::make_shared<Counter>([&](DISPID id) { order.push_back(id); });
  std::uint32_t cookie;
  c->events().Advise(sink, &cookie);
  ASSERT_EQ(c->OpenFile(Variant::Text(path), Variant::Error(DISP_E_PARAMNOTFOUND)), S_OK);
  ASSERT_TRUE(WaitClosed(*c));
  Apartment::Current()->Pump();
  std::vector<DISPID> expected;
  for (int s = 0; s < 5; ++s) expected.insert(expected.end(), {3, 1});
  expected.push_back(7);
  EXPECT_EQ(order, expected);
  std::remove(path.c_str());
}

// Whatever the reader is waiting for, dropping the control ends it at once
// and no FileComplete follows.
TEST(ControlTest, FinalReleaseWhileTheReaderWaitsIsPromptAndSilent) {
  const struct Case {
    const char* waits_for;
    int fixes;
    int seconds_apart;
    SinkThreading threading;
    Variant rate;
  } cases[] = {
      // 20 s between fixes at real time: a long pacing wait.
      {"pacing", 3, 20, SinkThreading::kFreeThreaded, Variant::R8(1.0)},
      // A sink that needs this thread, which will not pump.
      {"this thread", 5, 1, SinkThreading::kApartment, Variant()},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.waits_for);
    std::string log;
    for (int i = 0; i < k.fixes; ++i) log += Rmc(i * k.seconds_apart);
    const std::string path = TempLog(log);
    auto c = CreateOrvaneControl();
    auto sink = std::make_shared<Counter>();
    std::uint32_t cookie;
    c->events().Advise(sink, &cookie, k.threading);
    ASSERT_EQ(c->OpenFile(Variant::Text(path), k.rate), S_OK);
    std::this_thread::sleep_for(100ms);  // the reader is now waiting
    const auto start = std::chrono::steady_clock::now();
    c.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_EQ(sink->counts[kDispIdFileComplete], 0);
    std::remove(path.c_str());
  }
}

// A handler that drops the last reference to the control: for a host-thread
// sink the reader is waiting for that very handler, for a free-threaded one
// the handler runs on the reader itself. Either way the release returns, the
// reader stops after the current sentence without FileComplete, touches
// nothing freed (ASan), and frees the control's state when it ends.
TEST(ControlTest, ReleaseFromInsideAHandlerReturnsAndTheReaderCleansUp) {
  struct Case {
    const char* name;
    SinkThreading threading;
    DISPID release_on;
  } cases[] = {
      {"host thread, FixUpdate", SinkThreading::kApartment, kDispIdFixUpdate},
      {"host thread, FileComplete", SinkThreading::kApartment, kDispIdFileComplete},
      {"reader thread, FixUpdate", SinkThreading::kFreeThreaded, kDispIdFixUpdate},
      {"reader thread, RawDataReceived", SinkThreading::kFreeThreaded, kDispIdRawDataReceived},
  };
  std::string log;
  for (int s = 0; s < 50; ++s) log += Rmc(s);
  const std::string path = TempLog(log);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(CanUnloadNow(), S_OK);
    auto control = CreateOrvaneControl();
    // The host holds its reference while it is still calling OpenFile.
    std::atomic<bool> opened{false}, released{false};
    std::atomic<int> after_release{0}, file_complete{0};
    auto releaser = std::make_shared<Counter>([&](DISPID id) {
      if (id == c.release_on && opened && !released) {
        control.reset();
        released = true;
      }
    });
    // A second sink sees what the reader still raises once released.
    struct Watcher : EventSink {
      std::atomic<bool>* released;
      std::atomic<int>* after;
      std::atomic<int>* complete;
      HRESULT Invoke(DISPID id, std::span<Variant>) override {
        if (*released) ++*after;
        if (id == kDispIdFileComplete) ++*complete;
        return S_OK;
      }
    };
    auto watcher = std::make_shared<Watcher>();
    watcher->released = &released, watcher->after = &after_release,
    watcher->complete = &file_complete;
    std::uint32_t c1, c2;
    ASSERT_EQ(control->events().Advise(releaser, &c1, c.threading), S_OK);
    ASSERT_EQ(control->events().Advise(watcher, &c2, c.threading), S_OK);
    // Paced (fixes 10 ms apart), so events still come once OpenFile returned.
    ASSERT_EQ(control->OpenFile(Variant::Text(path), Variant::R8(100.0)), S_OK);
    opened = true;
    ASSERT_TRUE(Apartment::Current()->RunUntil([&] { return released.load(); }, 10s));
    // The reader ends by itself and frees the shared state: the module may
    // unload again.
    EXPECT_TRUE(Apartment::Current()->RunUntil([] { return CanUnloadNow() == S_OK; }, 10s));
    EXPECT_LE(after_release.load(), 1) << "the reader went on after the release";
    if (c.release_on != kDispIdFileComplete) {
      EXPECT_EQ(file_complete.load(), 0);
    }
  }
  std::remove(path.c_str());
}

// For a release that cannot tell whether the reader waits for it: nothing is
// waited for, no FileComplete comes, and the reader still ends and frees
// the shared state.
TEST(ControlTest, AnAbandonedReaderEndsOnItsOwn) {
  std::string log;
  for (int s = 0; s < 5; ++s) log += Rmc(s);
  const std::string path = TempLog(log);
  ASSERT_EQ(CanUnloadNow(), S_OK);
  auto c = CreateOrvaneControl();
  auto sink = std::make_shared<Counter>();
  std::uint32_t cookie;
  c->events().Advise(sink, &cookie);  // the reader will wait for this thread
  ASSERT_EQ(c->OpenFile(Variant::Text(path), Variant()), S_OK);
  std::this_thread::sleep_for(100ms);
  const auto start = std::chrono::steady_clock::now();
  c->AbandonReader();
  c.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_TRUE(Apartment::Current()->RunUntil([] { return CanUnloadNow() == S_OK; }, 10s));
  EXPECT_EQ(sink->counts[kDispIdFileComplete], 0);
  std::remove(path.c_str());
}

TEST(ControlTest, LiveObjectsAndLocksKeepTheModuleLoaded) {
  EXPECT_EQ(CanUnloadNow(), S_OK);
  {
    auto c = CreateOrvaneControl();
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
  }
  EXPECT_EQ(CanUnloadNow(), S_OK);
  LockServer(true);
  EXPECT_EQ(CanUnloadNow(), S_FALSE);
  LockServer(false);
  EXPECT_EQ(CanUnloadNow(), S_OK);
}

TEST(PersistenceTest, TwelveBytesRoundTripAndNewerVersionsAreRefused) {
  auto c = CreateOrvaneControl();
  c->put_SpeedUnits(Variant::I2(0));
  const auto saved = c->hosting().Save();
  const std::array<std::uint8_t, 12> expected = {0x00, 0x03, 0,    0,    0xD8, 0x13,
                                                 0,    0,    0xD8, 0x13, 0,    0};
  EXPECT_EQ(saved, expected);
  auto other = CreateOrvaneControl();
  other->hosting().SetExtent(1, 2);
  ASSERT_EQ(other->hosting().Load(saved), S_OK);
  EXPECT_EQ(other->hosting().extent_cx(), 5080u);
  Variant v;
  other->get_SpeedUnits(&v);
  EXPECT_EQ(v, Variant::I2(2));  // settings are never persisted
  std::array<std::uint8_t, 12> newer = saved;
  newer[0] = 0x01;  // 0x0301
  other->hosting().SetExtent(1, 2);
  EXPECT_EQ(other->hosting().Load(newer), E_FAIL);
  EXPECT_EQ(other->hosting().extent_cx(), 1u);
  EXPECT_EQ(other->hosting().Load(std::span<const std::uint8_t>(saved.data(), 8)), E_FAIL);
  EXPECT_EQ(other->hosting().Load({}), E_FAIL);
  EXPECT_EQ(other->hosting().extent_cy(), 2u);
}

TEST(DrawingTest, StretchesThePicturePixelByPixel) {
  const Picture& pic = ControlPicture();
  ASSERT_EQ(pic.width, 200);
  ASSERT_EQ(pic.height, 160);
  auto c = CreateOrvaneControl();
  struct Case {
    int w, h;
  } cases[] = {{400, 320}, {200, 80}, {200, 160}};
  for (const auto& cs : cases) {
    SCOPED_TRACE(std::to_string(cs.w) + "x" + std::to_string(cs.h));
    const int width = cs.w + 10, height = cs.h + 10, stride = width * 3;
    std::vector<std::uint8_t> img(static_cast<std::size_t>(stride) * height, 0x55);
    ASSERT_EQ(c->hosting().Draw(img.data(), width, height, stride, {5, 5, 5 + cs.w, 5 + cs.h}),
              S_OK);
    int mismatches = 0;
    for (int y = 0; y < cs.h; ++y) {
      for (int x = 0; x < cs.w; ++x) {
        const std::uint8_t* got = &img[static_cast<std::size_t>(y + 5) * stride + (x + 5) * 3];
        const std::uint8_t* want = pic.Pixel(x * 200 / cs.w, y * 160 / cs.h);
        mismatches += got[0] != want[0] || got[1] != want[1] || got[2] != want[2];
      }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(img[0], 0x55);  // outside the bounds nothing is touched
  }
  // Doubling: each source pixel covers a 2 x 2 block.
  std::vector<std::uint8_t> big(400 * 320 * 3);
  c->hosting().Draw(big.data(), 400, 320, 1200, {0, 0, 400, 320});
  const std::uint8_t* a = &big[(2 * 37) * 1200 + (2 * 91) * 3];
  const std::uint8_t* b = &big[(2 * 37 + 1) * 1200 + (2 * 91 + 1) * 3];
  EXPECT_TRUE(std::equal(a, a + 3, b));
  EXPECT_TRUE(std::equal(a, a + 3, pic.Pixel(91, 37)));
}

}  // namespace
}  // namespace orvane
