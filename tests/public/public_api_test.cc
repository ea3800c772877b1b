// The public C++ API, built against include/ and the shared library only.
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <orvane/orvane.h>

namespace {

using namespace std::chrono_literals;
using ::testing::DoubleNear;
using ::testing::Optional;

const std::string kSample = std::string(ORVANE_SOURCE_DIR) + "/data/sample.nmea";

orvane::Hresult OpenFile(orvane::Control& gps, const std::string& path,
                         orvane::ExcepInfo* info = nullptr) {
  std::vector<orvane::Variant> args{orvane::Variant::Text(path)};
  return gps.Invoke("OpenFile", orvane::dispatch::kMethod, args, nullptr, info);
}

bool ReplayToEnd(orvane::Control& gps) {
  return orvane::RunUntil([&] { return !gps.IsOpen(); }, 60s);
}

// The installed library has no sentence writer, and this host sees only
// what is installed.
std::string WithChecksum(const std::string& body) {
  unsigned sum = 0;
  for (char c : body) sum ^= static_cast<unsigned char>(c);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  return "$" + body + tail;
}

TEST(TypedSnapshots, AreInReceiverUnitsWhateverTheSettings) {
  orvane::Control gps;
  ASSERT_EQ(gps.Put("SpeedUnits", orvane::Variant::I2(1)), orvane::hr::kOk);
  ASSERT_EQ(gps.Put("AltitudeUnits", orvane::Variant::I2(1)), orvane::hr::kOk);
  ASSERT_EQ(gps.Put("DistUnits", orvane::Variant::I2(1)), orvane::hr::kOk);
  ASSERT_EQ(OpenFile(gps, kSample), orvane::hr::kOk);
  ASSERT_TRUE(ReplayToEnd(gps));

  // The log's last sentences.
  const orvane::Fix fix = gps.Fix();
  EXPECT_TRUE(fix.good);
  EXPECT_THAT(fix.latitude, Optional(DoubleNear(50 + 46.8045 / 60, 1e-9)));
  EXPECT_THAT(fix.longitude, Optional(DoubleNear(-(1 + 17.9698 / 60), 1e-9)));
  EXPECT_THAT(fix.altitude, Optional(DoubleNear(-6.4, 1e-9)));
  EXPECT_THAT(fix.speed, Optional(DoubleNear(6.1, 1e-9)));
  EXPECT_THAT(fix.course, Optional(DoubleNear(22.6, 1e-9)));
  EXPECT_THAT(fix.magnetic_variation, Optional(DoubleNear(-1.2, 1e-9)));
  EXPECT_THAT(fix.geoid_height, Optional(DoubleNear(47.3, 1e-9)));
  EXPECT_THAT(fix.hdop, Optional(DoubleNear(0.8, 1e-9)));
  EXPECT_EQ(fix.quality, 1);
  EXPECT_EQ(fix.satellites_in_fix, 9);
  EXPECT_EQ(fix.mode, 'A');
  EXPECT_EQ(fix.dgps_age, std::nullopt);
  using namespace std::chrono;
  EXPECT_EQ(fix.time, sys_days(2024y / June / 5) + 12h + 9min + 59s);

  const orvane::Satellites sats = gps.Satellites();
  EXPECT_EQ(sats.automatic, true);
  EXPECT_EQ(sats.mode, 3);
  EXPECT_THAT(sats.pdop, Optional(DoubleNear(1.3, 1e-9)));
  EXPECT_THAT(sats.vdop, Optional(DoubleNear(1.1, 1e-9)));
  EXPECT_EQ(sats.used, (std::vector<int>{18, 12, 29, 25, 19, 20, 17, 2, 4}));
  ASSERT_FALSE(sats.in_sight.empty());
  EXPECT_EQ(sats.in_view, static_cast<int>(sats.in_sight.size()));
  for (const orvane::Satellite& s : sats.in_sight) {
    EXPECT_EQ(s.used_in_fix, std::count(sats.used.begin(), sats.used.end(), s.number) == 1)
        << s.number;
    // The same numbers the automation method gives.
    std::vector<orvane::Variant> args{
        orvane::Variant::I2(static_cast<std::int16_t>(s.number)), {}, {}, {}};
    ASSERT_EQ(gps.Invoke("GetSatelliteInfo", orvane::dispatch::kMethod, args, nullptr),
              orvane::hr::kOk);
    EXPECT_EQ(s.azimuth,
              args[1].vt() == orvane::vt::kI2 ? std::optional<int>(args[1].i2()) : std::nullopt);
    EXPECT_EQ(s.elevation,
              args[2].vt() == orvane::vt::kI2 ? std::optional<int>(args[2].i2()) : std::nullopt);
    EXPECT_EQ(s.snr,
              args[3].vt() == orvane::vt::kI2 ? std::optional<int>(args[3].i2()) : std::nullopt);
  }

  const orvane::Navigation nav = gps.Navigation();
  EXPECT_EQ(nav.origin, "NBUOY");
  EXPECT_EQ(nav.destination, "CAPE");
  EXPECT_THAT(nav.destination_latitude, Optional(DoubleNear(50 + 47.1028 / 60, 1e-9)));
  EXPECT_THAT(nav.destination_longitude, Optional(DoubleNear(-(1 + 17.7886 / 60), 1e-9)));
  EXPECT_THAT(nav.range, Optional(DoubleNear(0.3, 1e-9)));
  EXPECT_THAT(nav.bearing_to_destination, Optional(DoubleNear(21.0, 1e-9)));
  EXPECT_THAT(nav.cross_track_error, Optional(DoubleNear(0.02, 1e-9)));
  EXPECT_EQ(nav.steer, 'L');
  EXPECT_THAT(nav.closing_velocity, Optional(DoubleNear(6.1, 1e-9)));
  EXPECT_THAT(nav.origin_to_destination_true, Optional(DoubleNear(23.8, 1e-9)));
  EXPECT_THAT(nav.origin_to_destination_magnetic, Optional(DoubleNear(25.0, 1e-9)));
  EXPECT_EQ(nav.arrived, false);
  EXPECT_EQ(nav.route_name, "SAIL10");
  EXPECT_EQ(nav.route,
            (std::vector<std::string>{"HARBOR", "NBUOY", "CAPE", "ISLET", "REEF", "POINT", "BAY"}));
}

TEST(TypedSnapshots, AreEmptyBeforeAnySentence) {
  orvane::Control gps;
  const orvane::Fix fix = gps.Fix();
  EXPECT_FALSE(fix.good);
  EXPECT_EQ(fix.time, std::nullopt);
  EXPECT_EQ(fix.latitude, std::nullopt);
  EXPECT_EQ(fix.speed, std::nullopt);
  EXPECT_TRUE(gps.Satellites().in_sight.empty());
  EXPECT_EQ(gps.Navigation().route_name, std::nullopt);
}

TEST(Streams, ReplayToTheStateTheSameFileLeaves) {
  std::ifstream in(kSample, std::ios::binary);
  const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  orvane::Control streamed;
  ASSERT_EQ(streamed.OpenStream(fds[0]), orvane::hr::kOk);
  ::close(fds[0]);  // the control reads its own duplicate
  std::thread writer([&] {
    for (std::size_t at = 0; at < log.size(); at += 1000) {
      if (::write(fds[1], log.data() + at, std::min<std::size_t>(1000, log.size() - at)) <= 0)
        break;
    }
    ::close(fds[1]);
  });
  const bool ended = ReplayToEnd(streamed);
  writer.join();
  ASSERT_TRUE(ended);
  orvane::Control file;
  ASSERT_EQ(OpenFile(file, kSample), orvane::hr::kOk);
  ASSERT_TRUE(ReplayToEnd(file));
  EXPECT_TRUE(streamed.Fix().good);
  EXPECT_EQ(streamed.Fix().time, file.Fix().time);
  EXPECT_EQ(streamed.Fix().latitude, file.Fix().latitude);
  EXPECT_EQ(streamed.Satellites().in_sight.size(), file.Satellites().in_sight.size());
  EXPECT_EQ(streamed.Navigation().route, file.Navigation().route);
}

// Counts the raw events, to hold the typed callbacks to them.
class CountingSink final : public orvane::EventSink {
 public:
  orvane::Hresult Invoke(orvane::Dispid dispid, std::span<orvane::Variant>) override {
    if (dispid == orvane::kDispIdFixUpdate) ++fixes;
    if (dispid == orvane::kDispIdSatelliteUpdate) ++satellites;
    if (dispid == orvane::kDispIdNavUpdate) ++navigation;
    return orvane::hr::kOk;
  }
  int fixes = 0, satellites = 0, navigation = 0;
};

TEST(TypedCallbacks, FollowEveryEventOnTheRegisteringThread) {
  orvane::Control gps;
  auto sink = std::make_shared<CountingSink>();
  std::uint32_t cookie = 0;
  ASSERT_EQ(gps.Advise(sink, &cookie), orvane::hr::kOk);
  const std::thread::id me = std::this_thread::get_id();
  int fixes = 0, satellites = 0, navigation = 0;
  bool on_other_thread = false;
  std::optional<orvane::UtcTime> last_time;
  bool time_went_back = false;
  ASSERT_NE(gps.OnFix([&](const orvane::Fix& fix) {
    ++fixes;
    on_other_thread |= std::this_thread::get_id() != me;
    if (last_time && fix.time && *fix.time < *last_time) time_went_back = true;
    last_time = fix.time;
  }),
            0u);
  ASSERT_NE(gps.OnSatellites([&](const orvane::Satellites&) { ++satellites; }), 0u);
  const std::uint32_t nav_cookie =
      gps.OnNavigation([&](const orvane::Navigation&) { ++navigation; });
  ASSERT_NE(nav_cookie, 0u);
  ASSERT_EQ(OpenFile(gps, kSample), orvane::hr::kOk);
  ASSERT_TRUE(ReplayToEnd(gps));

  EXPECT_EQ(fixes, 1800);  // every RMC, GGA and GLL
  EXPECT_EQ(fixes, sink->fixes);
  EXPECT_EQ(satellites, sink->satellites);
  EXPECT_EQ(navigation, sink->navigation);
  EXPECT_GT(satellites, 0);
  EXPECT_GT(navigation, 0);
  EXPECT_FALSE(on_other_thread);
  EXPECT_FALSE(time_went_back);
  EXPECT_EQ(last_time, gps.Fix().time);

  // Unadvised, a callback hears nothing more.
  EXPECT_EQ(gps.Unadvise(nav_cookie), orvane::hr::kOk);
  ASSERT_EQ(OpenFile(gps, kSample), orvane::hr::kOk);
  ASSERT_TRUE(ReplayToEnd(gps));
  EXPECT_EQ(fixes, 3600);
  EXPECT_EQ(navigation * 2, sink->navigation);
}

// Each RMC carries one number k as latitude minutes, longitude minutes and
// speed: a snapshot that mixed two sentences would show two numbers. The GSA
// after it has k as HDOP: a fix's HDOP is k, or the one before while that
// GSA has not arrived yet, never a later one.
TEST(TypedSnapshots, NeverMixTwoSentences) {
  const std::filesystem::path log = std::filesystem::temp_directory_path() /
                                    ("orvane_public_" + std::to_string(::getpid()) + ".nmea");
  {
    std::ofstream out(log, std::ios::binary);
    for (int i = 0; i < 6000; ++i) {
      const int k = i % 50;
      char body[128];
      std::snprintf(body, sizeof body,
                    "GPRMC,1200%02d,A,10%02d.0000,N,010%02d.0000,E,%d.0,0.0,050624,,,A", i % 60, k,
                    k, k);
      out << WithChecksum(body);
      std::snprintf(body, sizeof body, "GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,%d.0,2.1", k);
      out << WithChecksum(body);
    }
  }
  orvane::Control gps;
  std::atomic<bool> done{false};
  std::atomic<int> torn{0}, seen{0};
  // A replay can end before this thread first runs: it reads once more after.
  std::thread reader([&] {
    bool last = false;
    while (!last) {
      last = done.load();
      const orvane::Fix fix = gps.Fix();
      if (!fix.latitude) continue;
      ++seen;
      const double lat_minutes = (*fix.latitude - 10) * 60;
      const double lon_minutes = (*fix.longitude - 10) * 60;
      if (std::abs(lat_minutes - lon_minutes) > 1e-6 || std::abs(lat_minutes - *fix.speed) > 1e-6)
        ++torn;
      const int k = static_cast<int>(std::lround(lat_minutes));
      if (fix.hdop && *fix.hdop != k && *fix.hdop != (k + 49) % 50) ++torn;
    }
  });
  // A replay takes milliseconds: again until the reader has overlapped one,
  // however the two threads are scheduled.
  for (int round = 0; round < 100 && seen.load() < 100; ++round) {
    ASSERT_EQ(OpenFile(gps, log.string()), orvane::hr::kOk);
    EXPECT_TRUE(ReplayToEnd(gps));
  }
  done = true;
  reader.join();
  std::filesystem::remove(log);
  EXPECT_EQ(torn.load(), 0);
  EXPECT_GT(seen.load(), 0);
}

TEST(TypedCallbacks, MayReleaseTheControl) {
  auto gps = orvane::CreateControl();
  int calls = 0;
  gps->OnFix([&](const orvane::Fix&) {
    ++calls;
    gps.reset();
  });
  ASSERT_EQ(OpenFile(*gps, kSample), orvane::hr::kOk);
  EXPECT_TRUE(orvane::RunUntil([&] { return gps == nullptr; }, 60s));
  orvane::RunFor(50ms);  // nothing more arrives, nothing dangles
  EXPECT_EQ(calls, 1);
}

TEST(LateBinding, ReportsErrorsWithTheControlsCodes) {
  orvane::Control gps;
  orvane::Variant v;
  EXPECT_EQ(gps.Get("NoSuchMember", &v), orvane::hr::kUnknownName);
  orvane::ExcepInfo info;
  const orvane::Hresult hr = OpenFile(gps, "/nonexistent/dir/log.nmea", &info);
  EXPECT_EQ(hr, orvane::hr::kException);
  EXPECT_EQ(info.scode, orvane::kCannotOpenFile);
  EXPECT_EQ(orvane::Utf16ToUtf8(info.description), "Unable to open file.");
  EXPECT_EQ(gps.Put("SpeedUnits", orvane::Variant::Text("not a number")),
            orvane::hr::kTypeMismatch);
  ASSERT_EQ(gps.Put("SpeedUnits", orvane::Variant::Text("1")), orvane::hr::kOk);
  ASSERT_EQ(gps.Get("SpeedUnits", &v), orvane::hr::kOk);
  EXPECT_EQ(v, orvane::Variant::I2(1));
}

// Every early-bound member answers as its late-bound name does, after a
// replay (values) and for a value no property takes (codes).
TEST(EarlyBinding, AnswersAsLateBindingForEveryMember) {
  struct Row {
    const char* name;
    orvane::Hresult (orvane::Control::*get)(orvane::Variant*, orvane::ExcepInfo*);
    orvane::Hresult (orvane::Control::*put)(const orvane::Variant&, orvane::ExcepInfo*);
  };
#define GET_ROW(id, name) Row{#name, &orvane::Control::get_##name, nullptr},
#define PROPERTY_ROW(id, name) \
  Row{#name, &orvane::Control::get_##name, &orvane::Control::put_##name},
  const std::vector<Row> rows = {ORVANE_MEMBERS(GET_ROW, PROPERTY_ROW, ORVANE_NO_METHOD)
                                     ORVANE2_MEMBERS(GET_ROW, PROPERTY_ROW, ORVANE_NO_METHOD)};
#undef GET_ROW
#undef PROPERTY_ROW
  orvane::Control gps;
  ASSERT_EQ(gps.OpenFile(orvane::Variant::Text(kSample), orvane::Variant::I2(0)), orvane::hr::kOk);
  ASSERT_TRUE(ReplayToEnd(gps));
  int puts = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    // Late binding wraps a described failure in kException.
    auto code = [](orvane::Hresult hr, const orvane::ExcepInfo& info) {
      return hr == orvane::hr::kException ? info.scode : hr;
    };
    orvane::Variant early, late;
    orvane::ExcepInfo early_info, late_info;
    const orvane::Hresult early_hr = (gps.*row.get)(&early, &early_info);
    EXPECT_EQ(early_hr, code(gps.Get(row.name, &late, &late_info), late_info));
    EXPECT_EQ(early_info.description, late_info.description);
    EXPECT_EQ(early, late);
    if (row.put == nullptr) continue;
    ++puts;
    const orvane::Variant bad = orvane::Variant::Array({});
    EXPECT_EQ((gps.*row.put)(bad, &early_info),
              code(gps.Put(row.name, bad, &late_info), late_info));
    EXPECT_EQ((gps.*row.put)(late, nullptr), orvane::hr::kOk);  // what it reads, it takes
  }
  EXPECT_EQ(rows.size(), 47u + 24);
  EXPECT_EQ(puts, 10);

  orvane::ExcepInfo info;
  EXPECT_EQ(gps.OpenFile(orvane::Variant::Text("/nonexistent/dir/log.nmea"), orvane::Variant::I2(0),
                         &info),
            orvane::kCannotOpenFile);
  EXPECT_EQ(info.scode, orvane::kCannotOpenFile);
  EXPECT_EQ(orvane::Utf16ToUtf8(info.description), "Unable to open file.");
  // A failure with no description of the control's leaves `info` alone,
  // whatever an earlier call recorded.
  orvane::ExcepInfo untouched;
  EXPECT_EQ(gps.put_SpeedUnits(orvane::Variant::Text("not a number"), &untouched),
            orvane::hr::kTypeMismatch);
  EXPECT_TRUE(untouched.description.empty());
  EXPECT_EQ(untouched.scode, orvane::hr::kOk);
}

TEST(Apartment, DescriptorIsReadableWhileCallsWait) {
  EXPECT_GE(orvane::ApartmentDescriptor(), 0);
  EXPECT_EQ(orvane::Pump(), 0u);
}

}  // namespace
