#include "presentation/settings_access.h"

#include <gtest/gtest.h>

#include <string>

#include "automation/error_info.h"

namespace orvane {
namespace {

TEST(SettingsAccess, DefaultsReadAsI2) {
  Settings s;
  EXPECT_EQ(GetLatLonFormat(s), Variant::I2(0));
  EXPECT_EQ(GetSpeedUnits(s), Variant::I2(2));
  EXPECT_EQ(GetDistUnits(s), Variant::I2(3));
  EXPECT_EQ(GetAltitudeUnits(s), Variant::I2(0));
}

enum class Which { kLatLon, kSpeed, kDist, kAltitude };

struct PutCase {
  Which which;
  Variant value;
  HRESULT result;
  std::int16_t stored;  // what the getter reads afterwards
  bool error_record;
};

const char* Name(Which w) {
  switch (w) {
    case Which::kLatLon: return "LatLonFormat";
    case Which::kSpeed: return "SpeedUnits";
    case Which::kDist: return "DistUnits";
    case Which::kAltitude: return "AltitudeUnits";
  }
  return "?";
}

TEST(SettingsAccess, PutRangesAndCoercion) {
  // Defaults: LatLonFormat 0, SpeedUnits 2, DistUnits 3, AltitudeUnits 0.
  const PutCase cases[] = {
      {Which::kLatLon, Variant::I2(2), S_OK, 2, false},
      {Which::kLatLon, Variant::I2(3), S_OK, 3, false},
      {Which::kLatLon, Variant::I2(-1), S_OK, -1, false},
      {Which::kLatLon, Variant::I4(32767), S_OK, 32767, false},
      {Which::kLatLon, Variant::R8(1.5), S_OK, 2, false},
      {Which::kLatLon, Variant::Text(" 1 "), S_OK, 1, false},
      {Which::kLatLon, Variant::I4(70000), DISP_E_OVERFLOW, 0, false},
      {Which::kLatLon, Variant::Null(), DISP_E_TYPEMISMATCH, 0, false},
      {Which::kSpeed, Variant::I2(0), S_OK, 0, false},
      {Which::kSpeed, Variant::Text("1"), S_OK, 1, false},
      {Which::kSpeed, Variant::I2(3), E_INVALIDARG, 2, true},
      {Which::kSpeed, Variant::I2(-1), E_INVALIDARG, 2, true},
      {Which::kSpeed, Variant::I4(70000), DISP_E_OVERFLOW, 2, false},
      {Which::kSpeed, Variant::Text("knots"), DISP_E_TYPEMISMATCH, 2, false},
      {Which::kSpeed, Variant::Null(), DISP_E_TYPEMISMATCH, 2, false},
      {Which::kDist, Variant::I2(0), S_OK, 0, false},
      {Which::kDist, Variant::I2(2), S_OK, 2, false},
      {Which::kDist, Variant::I2(4), E_INVALIDARG, 3, true},
      {Which::kDist, Variant::I2(-32768), E_INVALIDARG, 3, true},
      {Which::kAltitude, Variant::I2(1), S_OK, 1, false},
      {Which::kAltitude, Variant::I2(2), E_INVALIDARG, 0, true},
      {Which::kAltitude, Variant::Text("x"), DISP_E_TYPEMISMATCH, 0, false},
  };
  for (const PutCase& c : cases) {
    Settings s;
    SetErrorRecord(std::nullopt);
    HRESULT hr = E_FAIL;
    Variant got;
    switch (c.which) {
      case Which::kLatLon:
        hr = PutLatLonFormat(s, c.value);
        got = GetLatLonFormat(s);
        break;
      case Which::kSpeed:
        hr = PutSpeedUnits(s, c.value);
        got = GetSpeedUnits(s);
        break;
      case Which::kDist:
        hr = PutDistUnits(s, c.value);
        got = GetDistUnits(s);
        break;
      case Which::kAltitude:
        hr = PutAltitudeUnits(s, c.value);
        got = GetAltitudeUnits(s);
        break;
    }
    const std::string what = std::string(Name(c.which)) + " := " + DebugString(c.value);
    EXPECT_EQ(hr, c.result) << what;
    EXPECT_EQ(got, Variant::I2(c.stored)) << what << " read " << DebugString(got);
    const std::optional<ErrorRecord> record = TakeErrorRecord();
    ASSERT_EQ(record.has_value(), c.error_record) << what;
    if (record) {
      EXPECT_EQ(record->description, u"An invalid argument was supplied.") << what;
      EXPECT_EQ(record->source, u"OrvaneMod.Orvane.1") << what;
      EXPECT_EQ(record->interface_name, "IOrvane") << what;
    }
  }
}

}  // namespace
}  // namespace orvane
