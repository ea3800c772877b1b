// ExtendedSentences on IOrvane2: VTG, ZDA, GNS, GST, HDT, HDG, THS, GBS and
// TXT read into the new read-only properties, fed through the control's
// receiver and read back through late binding.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "automation/date.h"
#include "automation/error_info.h"
#include "control/apartment.h"
#include "control/dispatch.h"
#include "control/orvane_control.h"
#include "control/snapshots.h"
#include "support/nmea.h"

namespace orvane {
namespace {

Variant Get(OrvaneControl& c, const char* name) {
  std::vector<Variant> none;
  Variant v;
  EXPECT_EQ(InvokeByName(c, name, DISPATCH_PROPERTYGET, none, &v), S_OK) << name;
  return v;
}

HRESULT Put(OrvaneControl& c, const char* name, const Variant& value) {
  std::vector<Variant> args = {value};
  ExcepInfo info;
  return InvokeByName(c, name, DISPATCH_PROPERTYPUT, args, nullptr, &info);
}

class Fixes : public EventSink {
 public:
  HRESULT Invoke(DISPID id, std::span<Variant>) override {
    fixes += id == kDispIdFixUpdate;
    return S_OK;
  }
  int fixes = 0;
};

class ExtendedSentencesTest : public ::testing::Test {
 protected:
  std::unique_ptr<OrvaneControl> c = CreateOrvaneControl();
  std::shared_ptr<Fixes> sink = std::make_shared<Fixes>();
  void SetUp() override {
    std::uint32_t cookie;
    c->events().Advise(sink, &cookie, SinkThreading::kFreeThreaded);
  }
  void Feed(std::string_view line) { c->receiver().HandleLine(line); }
};

TEST_F(ExtendedSentencesTest, SettingDefaultsOffCoercesAndRefusesWhatIsNotABoolean) {
  EXPECT_EQ(Get(*c, "ExtendedSentences"), Variant::Bool(false)) << "the default at construction";
  EXPECT_EQ(Put(*c, "ExtendedSentences", Variant::Text("True")), S_OK);
  EXPECT_EQ(Get(*c, "extendedsentences"), Variant::Bool(true));
  EXPECT_EQ(Put(*c, "ExtendedSentences", Variant::I2(0)), S_OK);
  EXPECT_EQ(Get(*c, "ExtendedSentences"), Variant::Bool(false));
  EXPECT_EQ(Put(*c, "ExtendedSentences", Variant::Text("maybe")), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Put(*c, "ExtendedSentences", Variant::Null()), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Get(*c, "ExtendedSentences"), Variant::Bool(false)) << "a refused put changes nothing";
}

TEST_F(ExtendedSentencesTest, OffTheNewSentencesAreOtherLinesAndChangeNothing) {
  EXPECT_EQ(Get(*c, "TalkersReceived"), Variant::Text(""));
  Feed("$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K,A");
  Feed("$GPZDA,201530.00,04,07,2002,-05,00");
  Feed("$GPHDT,274.07,T");
  Feed("$GNRMC,120000.00,A,5045.9000,N,00117.8800,W,5.8,330.3,050624,1.2,W,A");
  Feed("$G1RMC,garbage");
  // What arrives is listed whether it is read or not.
  EXPECT_EQ(Get(*c, "TalkersReceived"), Variant::Text("GN,GP"));
  EXPECT_EQ(Get(*c, "SentenceTypesReceived"), Variant::Text("HDT,RMC,VTG,ZDA"));
  c->receiver().ForgetReceived();
  EXPECT_EQ(Get(*c, "SentenceTypesReceived"), Variant::Text(""));
  EXPECT_EQ(c->stats().unrecognised, 5u);
  EXPECT_EQ(sink->fixes, 0);
  EXPECT_EQ(Get(*c, "Speed").vt(), VT_EMPTY);
  EXPECT_EQ(Get(*c, "TrueHeading").vt(), VT_EMPTY);
  EXPECT_EQ(Get(*c, "MagneticCourse").vt(), VT_EMPTY);
}

TEST_F(ExtendedSentencesTest, EachSentenceFillsItsProperties) {
  ASSERT_EQ(Put(*c, "ExtendedSentences", Variant::Bool(true)), S_OK);
  ASSERT_EQ(Put(*c, "Talkers", Variant::Text("*")), S_OK);
  const Variant e;
  struct Case {
    const char* line;
    const char* property;
    Variant expected;
  } cases[] = {
      {"$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K,A", "TrueCourse", Variant::R8(54.7)},
      {"$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K,A", "MagneticCourse", Variant::R8(34.4)},
      {"$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K,A", "Speed", Variant::R8(5.5)},
      // Without knots, km/h; with neither, nothing (as RMC clears).
      {"$GPVTG,,T,,M,,N,18.52,K,A", "Speed", Variant::R8(18.52 / 1.852)},
      {"$GPVTG,,T,,M,,N,18.52,K,A", "TrueCourse", e},
      {"$GPVTG,,,,,,,,,N", "Speed", e},
      {"$GPZDA,201530.00,04,07,2002,-05,30", "FixDateTime",
       Variant::Date(*MakeDate(2002, 7, 4, 20, 15, 30))},
      {"$GPZDA,201530.00,04,07,2002,-05,30", "LocalZoneOffset", Variant::I2(-330)},
      {"$GPZDA,000000,01,01,2024,00,00", "FixDateTime",
       Variant::Date(*MakeDate(2024, 1, 1, 0, 0, 0))},
      {"$GPZDA,000000,01,01,2024,00,00", "LocalZoneOffset", Variant::I2(0)},
      {"$GPZDA,000000,01,01,2024,,", "LocalZoneOffset", e},
      {"$GPZDA,235959,31,02,2024,,", "FixDateTime", Variant::Date(0.0)},
      {"$GPZDA,,,,,,", "FixDateTime", e},
      {"$GNGNS,112257.00,3844.24011,N,00908.43828,W,AN,14,1.5,120.3,48.1,,", "Altitude",
       Variant::R8(120.3)},
      {"$GNGNS,112257.00,3844.24011,N,00908.43828,W,AN,14,1.5,120.3,48.1,,", "NumSatellitesInFix",
       Variant::I2(14)},
      {"$GNGNS,112257.00,3844.24011,N,00908.43828,W,AN,14,1.5,120.3,48.1,,",
       "GeoidHeightAboveWGS84Ellipsoid", Variant::R8(48.1)},
      {"$GNGNS,112257.00,3844.24011,N,00908.43828,W,AN,14,1.5,120.3,48.1,,", "FixQuality",
       Variant::I2(1)},
      {"$GNGNS,112257.00,3844.24011,N,00908.43828,W,AN,14,1.5,120.3,48.1,,", "GnssMode",
       Variant::Text("AN")},
      {"$GNGNS,112257.00,3844.24011,N,00908.43828,W,NNDAAN,14,1.5,120.3,48.1,2,0042,", "FixQuality",
       Variant::I2(2)},
      {"$GNGNS,112257.00,3844.24011,N,00908.43828,W,NNDAAN,14,1.5,120.3,48.1,2,0042,",
       "DGPSRefStationID", Variant::I2(42)},
      {"$GNGNS,112257.00,3844.24011,N,00908.43828,W,NN,00,,,,,", "FixQuality", Variant::I2(0)},
      {"$GNGNS,112257.00,,,,,,,,,,,", "GnssMode", e},
      {"$GPGST,172814.0,0.006,0.023,0.020,273.6,0.023,0.020,0.031", "RangeResidualRMS",
       Variant::R8(0.006)},
      {"$GPGST,172814.0,0.006,0.023,0.020,273.6,0.023,0.020,0.031", "ErrorEllipseOrientation",
       Variant::R8(273.6)},
      {"$GPGST,172814.0,0.006,0.023,0.020,273.6,0.023,0.020,0.031", "LatitudeError",
       Variant::R8(0.023)},
      {"$GPGST,172814.0,0.006,0.023,0.020,273.6,0.023,0.020,0.031", "AltitudeError",
       Variant::R8(0.031)},
      {"$GNGST,004023.00,135741,,,,2.4,3.5,4.2", "ErrorEllipseMajor", e},
      {"$GNGST,004023.00,135741,,,,2.4,3.5,4.2", "LongitudeError", Variant::R8(3.5)},
      {"$GPHDT,274.07,T", "TrueHeading", Variant::R8(274.07)},
      {"$GPHDT,,T", "TrueHeading", e},
      {"$HCHDG,98.3,0.5,W,12.6,E", "MagneticHeading", Variant::R8(98.3)},
      {"$HCHDG,98.3,0.5,W,12.6,E", "MagneticDeviation", Variant::R8(-0.5)},
      {"$HCHDG,98.3,0.5,W,12.6,E", "HeadingVariation", Variant::R8(12.6)},
      {"$HCHDG,98.3,,,12.6,X", "HeadingVariation", e},
      {"$GPTHS,77.52,E", "TrueHeading", Variant::R8(77.52)},
      {"$GPTHS,77.52,E", "HeadingMode", Variant::Text("E")},
      {"$GPTHS,77.52,V", "TrueHeading", e},
      {"$GPTHS,77.52,V", "HeadingMode", Variant::Text("V")},
      {"$GPGBS,235458.00,1.4,1.3,3.1,03,,-21.4,3.8,1,0", "ExpectedLatitudeError", Variant::R8(1.4)},
      {"$GPGBS,235458.00,1.4,1.3,3.1,03,,-21.4,3.8,1,0", "ExpectedAltitudeError", Variant::R8(3.1)},
      {"$GPGBS,235458.00,1.4,1.3,3.1,03,,-21.4,3.8,1,0", "FailedSatellite", Variant::I2(3)},
      {"$GPGBS,235458.00,1.4,1.3,3.1,,,,", "FailedSatellite", e},
      {"$GPTXT,01,01,02,ANTSTATUS=OK", "ReceiverText", Variant::Text("ANTSTATUS=OK")},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(std::string(k.line) + " " + k.property);
    Feed(k.line);
    EXPECT_EQ(Get(*c, k.property), k.expected);
  }
}

TEST_F(ExtendedSentencesTest, FixUpdateFollowsVtgZdaAndGnsOnlyAndUnitsApplyToErrors) {
  ASSERT_EQ(Put(*c, "ExtendedSentences", Variant::Bool(true)), S_OK);
  const char* lines[] = {"$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K,A",
                         "$GPZDA,201530.00,04,07,2002,,",
                         "$GPGNS,112257.00,3844.24011,N,00908.43828,W,A,14,1.5,120.3,48.1,,",
                         "$GPGST,172814.0,0.006,0.023,0.020,273.6,0.023,0.020,10.0",
                         "$GPHDT,274.07,T",
                         "$GPTXT,01,01,02,ANTSTATUS=OK"};
  for (const char* line : lines) Feed(line);
  EXPECT_EQ(sink->fixes, 3);
  // A GGA's time after ZDA takes ZDA's date.
  Feed("$GPGGA,201531,4916.45,N,12311.12,W,1,08,0.9,545.4,M,46.9,M,,");
  EXPECT_EQ(Get(*c, "FixDateTime"), Variant::Date(*MakeDate(2002, 7, 4, 20, 15, 31)));
  ASSERT_EQ(Put(*c, "AltitudeUnits", Variant::I2(1)), S_OK);  // feet
  EXPECT_NEAR(Get(*c, "AltitudeError").r8(), 10.0 / 0.3048, 1e-6);
  EXPECT_EQ(Get(*c, "ErrorEllipseOrientation"), Variant::R8(273.6)) << "an angle is not a length";
  // The typed snapshot keeps the receiver's units.
  const Fix fix = SnapshotReader::ReadFix(c->receiver());
  EXPECT_EQ(fix.altitude_error, 10.0);
  EXPECT_EQ(fix.heading, 274.07);
  EXPECT_EQ(fix.magnetic_course, 34.4);
  EXPECT_EQ(fix.receiver_text, "ANTSTATUS=OK");
  EXPECT_EQ(fix.gnss_mode, "A");
  EXPECT_EQ(fix.local_zone_offset, std::nullopt);
}

TEST_F(ExtendedSentencesTest, MultiPartTextIsJoinedAndPublishedAtItsLastPart) {
  ASSERT_EQ(Put(*c, "ExtendedSentences", Variant::Bool(true)), S_OK);
  EXPECT_EQ(Get(*c, "ReceiverText").vt(), VT_EMPTY);
  Feed("$GPTXT,02,01,02,ROM CORE 3.01 (107888)/");
  EXPECT_EQ(Get(*c, "ReceiverText").vt(), VT_EMPTY) << "the first of two parts publishes nothing";
  Feed("$GPTXT,02,02,02,FWVER=SPG 3.01");
  EXPECT_EQ(Get(*c, "ReceiverText"), Variant::Text("ROM CORE 3.01 (107888)/FWVER=SPG 3.01"));
  Feed("$GPTXT,01,01,02,ANTSTATUS=SHORT");
  EXPECT_EQ(Get(*c, "ReceiverText"), Variant::Text("ANTSTATUS=SHORT"));
}

}  // namespace
}  // namespace orvane

namespace orvane {
namespace {

// A sentence cut short, then a whole one on the same line, as a receiver
// writes after a buffer overrun: with ExtendedSentences on the whole one is
// read, with it off the line is a checksum failure as it always was.
TEST_F(ExtendedSentencesTest, AWholeSentenceAfterATornOneOnOneLineIsReadWithExtendedOn) {
  using testing::WithChecksum;
  const std::string gga =
      WithChecksum("$GPGGA,110826,6013.0600,N,02453.5359,E,1,04,03.4,-00015.9,M,045.5,M,,");
  std::string bad = gga;
  bad[bad.size() - 1] = bad.back() == '0' ? '1' : '0';
  struct Case {
    const char* what;
    bool extended;
    std::string line;
    bool read;
  } cases[] = {
      {"off", false, "$GPGSV,2,1,07,19,25,189,51,09,,,00,22" + gga, false},
      {"torn GSV, whole GGA", true, "$GPGSV,2,1,07,19,25,189,51,09,,,00,22" + gga, true},
      {"a dollar that opens no address first", true, "$GPGSV,1,$x,$GP," + gga, true},
      {"the later sentence torn too", true, "$GPGSV,2,1,07,19,25,189,51,09,,,00,22" + bad, false},
      {"nothing after the torn one", true, "$GPGSV,2,1,07,19,25,189,51,09,,,00,22*00", false},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    c = CreateOrvaneControl();
    ASSERT_EQ(Put(*c, "ExtendedSentences", Variant::Bool(k.extended)), S_OK);
    Feed(k.line);
    const Fix fix = SnapshotReader::ReadFix(c->receiver());
    EXPECT_EQ(c->receiver().stats().checksum_dropped, k.read ? 0u : 1u);
    EXPECT_EQ(fix.altitude, k.read ? std::optional<double>(-15.9) : std::nullopt);
  }
}

class EpochTest : public ExtendedSentencesTest {
 protected:
  std::vector<Epoch> epochs;
  void SetUp() override {
    ExtendedSentencesTest::SetUp();
    c->AddEpochObserver([this](const Epoch& e) { epochs.push_back(e); });
  }
};

TEST_F(EpochTest, AnEpochEndsWhenTheTimeChangesAndUntimedSentencesJoinTheOneInProgress) {
  ASSERT_EQ(Put(*c, "ExtendedSentences", Variant::Bool(true)), S_OK);
  EXPECT_EQ(Get(*c, "LastEpochTime").vt(), VT_EMPTY);
  Feed("$GPRMC,120000.00,A,5045.9000,N,00117.8800,W,5.8,330.3,050624,1.2,W,A");
  Feed("$GPVTG,330.3,T,331.5,M,5.8,N,10.7,K,A");  // no time: this epoch
  Feed("$GPGGA,120000.00,5045.9000,N,00117.8800,W,1,09,0.9,1.9,M,47.3,M,,");
  Feed("$GPGSA,A,3,18,14,29,,,,,,,,,,1.6,0.9,1.3");
  Feed("$GPGST,120000.00,0.5,1.2,0.8,45.0,1.0,0.9,2.1");
  Feed("$GPHDT,274.07,T");
  EXPECT_TRUE(epochs.empty()) << "the epoch is open until the next time arrives";
  Feed("$GPRMC,120001.00,A,5045.9100,N,00117.8800,W,5.9,330.3,050624,1.2,W,A");
  ASSERT_EQ(epochs.size(), 1u);
  const Epoch& e = epochs[0];
  using namespace std::chrono;
  EXPECT_EQ(e.time, sys_days(2024y / 6 / 5) + 12h);
  EXPECT_EQ(e.latitude, 50.765);
  EXPECT_EQ(e.altitude, 1.9);
  EXPECT_EQ(e.altitude_hae, 1.9 + 47.3);
  EXPECT_EQ(e.speed, 5.8);
  EXPECT_EQ(e.magnetic_course, 331.5);
  EXPECT_EQ(e.magnetic_variation, -1.2);
  EXPECT_EQ(e.heading, 274.07);
  EXPECT_EQ(e.mode, 3);
  EXPECT_EQ(e.satellites_used, 9);
  EXPECT_EQ(e.hdop, 0.9);
  EXPECT_EQ(e.altitude_error, 2.1);
  EXPECT_EQ(e.sentences, (std::vector<std::string>{"RMC", "GGA", "GSA", "VTG", "GST", "HDT"}));
  EXPECT_EQ(Get(*c, "LastEpochTime"), Variant::Date(*MakeDate(2024, 6, 5, 12, 0, 0)));
  // The source's end completes the last epoch.
  c->receiver().EndEpoch();
  ASSERT_EQ(epochs.size(), 2u);
  EXPECT_EQ(epochs[1].sentences, std::vector<std::string>{"RMC"});
  EXPECT_EQ(epochs[1].latitude, 50 + 45.91 / 60);
  c->receiver().EndEpoch();
  EXPECT_EQ(epochs.size(), 2u) << "nothing is open after the end";
}

// A receiver of more than one fix a second: each epoch keeps its time
// field's fraction, which FixDateTime drops.
TEST_F(EpochTest, EpochsWithinOneSecondKeepTheirMilliseconds) {
  ASSERT_EQ(Put(*c, "ExtendedSentences", Variant::Bool(true)), S_OK);
  struct Case {
    const char* time;
    int milliseconds;
  } cases[] = {{"120000.00", 0},
               {"120000.50", 500},
               {"120000.125", 125},
               {"120000.9996", 999},
               {"120001", 0}};
  for (const Case& k : cases) {
    Feed(std::string("$GPGGA,") + k.time + ",5045.9000,N,00117.8800,W,1,09,0.9,1.9,M,47.3,M,,");
  }
  c->receiver().EndEpoch();
  ASSERT_EQ(epochs.size(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(epochs[i].milliseconds, cases[i].milliseconds) << cases[i].time;
  }
  using namespace std::chrono;
  EXPECT_EQ(epochs[1].time, epochs[0].time) << "the second stays FixDateTime's";
  // Without a time, no fraction.
  epochs.clear();
  Feed("$GPHDT,274.07,T");
  c->receiver().EndEpoch();
  ASSERT_EQ(epochs.size(), 1u);
  EXPECT_EQ(epochs[0].milliseconds, 0);
}

// An epoch is a time, however each sentence writes it: texts that read as
// the same time stay one epoch, and a time coming back is a new one.
TEST_F(EpochTest, EpochsFollowTheTimeNotItsText) {
  ASSERT_EQ(Put(*c, "ExtendedSentences", Variant::Bool(true)), S_OK);
  struct Case {
    std::vector<const char*> times;
    std::size_t epochs;
  } cases[] = {
      {{"120000", "120000.00", "120000.000", "120000.00"}, 1},
      {{"120000.00", "120001.00", "120000.00", "120000.00"}, 3},
      {{"120000.00000000000001", "120000.00000000000001", "120000"}, 1},  // beyond 16 characters
      {{"120000.5", "120000.50", "120000.05"}, 2},
  };
  for (const Case& k : cases) {
    epochs.clear();
    for (const char* time : k.times)
      Feed(std::string("$GPGLL,5045.9000,N,00117.8800,W,") + time + ",A,A");
    c->receiver().EndEpoch();
    EXPECT_EQ(epochs.size(), k.epochs) << k.times.front() << " .. " << k.times.back();
  }
}

TEST_F(EpochTest, AReplayEndsWithItsLastEpochAndDefaultSettingsStillGiveEpochsToObservers) {
  const std::string path = ::testing::TempDir() + "epochs.nmea";
  {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs(
        "$GPGGA,235959,4916.45,N,12311.12,W,1,08,0.9,545.4,M,46.9,M,,\r\n"
        "$GPGLL,4916.45,N,12311.12,W,235959,A\r\n"
        "$GPGGA,000000,4916.46,N,12311.12,W,0,00,,,,,,,\r\n",
        f);
    std::fclose(f);
  }
  ASSERT_EQ(c->OpenFile(Variant::Text(path), Variant()), S_OK);
  ASSERT_TRUE(
      Apartment::Current()->RunUntil([&] { return !c->IsSourceOpen(); }, std::chrono::seconds(10)));
  ASSERT_EQ(epochs.size(), 2u);
  EXPECT_EQ(epochs[0].sentences, (std::vector<std::string>{"GGA", "GLL"}));
  EXPECT_EQ(epochs[0].mode, 3);
  EXPECT_EQ(epochs[1].mode, 1) << "quality 0 is no fix";
  EXPECT_FALSE(epochs[1].altitude.has_value());
  std::remove(path.c_str());
}

}  // namespace
}  // namespace orvane
