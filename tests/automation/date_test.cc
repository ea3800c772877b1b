#include "automation/date.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace orvane {
namespace {

std::string Show(const DateParts& p) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour,
                p.minute, p.second);
  return buf;
}

TEST(MakeDate, Validity) {
  struct Row {
    int y, mo, d, h, mi, s;
    bool valid;
    double value;  // when valid
  } rows[] = {
      {1899, 12, 30, 0, 0, 0, true, 0.0},
      {1899, 12, 31, 0, 0, 0, true, 1.0},
      {1900, 1, 1, 0, 0, 0, true, 2.0},
      {2004, 1, 31, 12, 0, 0, true, 38017.5},
      {2004, 1, 31, 23, 59, 59, true, 38017.0 + 86399.0 / 86400.0},
      // Leap years: 1900 and 2100 are not, 2000 and 2004 are.
      {1900, 2, 29, 0, 0, 0, false, 0},
      {1900, 2, 28, 0, 0, 0, true, 60.0},
      {1900, 3, 1, 0, 0, 0, true, 61.0},
      {2000, 2, 29, 0, 0, 0, true, 36585.0},
      {2004, 2, 29, 0, 0, 0, true, 38046.0},
      {2003, 2, 29, 0, 0, 0, false, 0},
      {2100, 2, 29, 0, 0, 0, false, 0},
      {2100, 2, 28, 0, 0, 0, true, 73109.0},
      // Month and day edges.
      {2004, 0, 1, 0, 0, 0, false, 0},
      {2004, 13, 1, 0, 0, 0, false, 0},
      {2004, 1, 0, 0, 0, 0, false, 0},
      {2004, 1, 32, 0, 0, 0, false, 0},
      {2004, 4, 31, 0, 0, 0, false, 0},
      {2004, 4, 30, 0, 0, 0, true, 38107.0},
      {2004, 12, 31, 0, 0, 0, true, 38352.0},
      // Time edges.
      {2004, 1, 1, 24, 0, 0, false, 0},
      {2004, 1, 1, 0, 60, 0, false, 0},
      {2004, 1, 1, 0, 0, 60, false, 0},
      {2004, 1, 1, -1, 0, 0, false, 0},
      {2004, 1, 1, 0, -1, 0, false, 0},
      {2004, 1, 1, 0, 0, -1, false, 0},
      {2004, 1, 1, 6, 0, 0, true, 37987.25},
      // Year range of the platform's DATE.
      {9999, 12, 31, 23, 59, 59, true, 2958465.0 + 86399.0 / 86400.0},
      {10000, 1, 1, 0, 0, 0, false, 0},
      {100, 1, 1, 0, 0, 0, true, -657434.0},
      {99, 12, 31, 0, 0, 0, false, 0},
      {0, 1, 1, 0, 0, 0, false, 0},
      {-1, 1, 1, 0, 0, 0, false, 0},
      // Before the epoch the time counts forward from the day's start.
      {1899, 12, 29, 6, 0, 0, true, -1.25},
      {1899, 12, 29, 0, 0, 0, true, -1.0},
      {1800, 1, 1, 18, 0, 0, true, -36522.75},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(Show({r.y, r.mo, r.d, r.h, r.mi, r.s}));
    const auto got = MakeDate(r.y, r.mo, r.d, r.h, r.mi, r.s);
    ASSERT_EQ(got.has_value(), r.valid);
    if (r.valid) {
      EXPECT_NEAR(*got, r.value, 1e-9);
    }
  }
}

TEST(SplitDate, Table) {
  struct Row {
    double date;
    bool valid;
    DateParts parts;
  } rows[] = {
      {0.0, true, {1899, 12, 30, 0, 0, 0}},
      {-1.25, true, {1899, 12, 29, 6, 0, 0}},
      {-0.5, true, {1899, 12, 30, 12, 0, 0}},  // same moment as 0.5
      {-1.0, true, {1899, 12, 29, 0, 0, 0}},
      {38017.5, true, {2004, 1, 31, 12, 0, 0}},
      {36585.0, true, {2000, 2, 29, 0, 0, 0}},
      // Nearest second, up and down.
      {38017.0 + 1.4 / 86400.0, true, {2004, 1, 31, 0, 0, 1}},
      {38017.0 + 1.6 / 86400.0, true, {2004, 1, 31, 0, 0, 2}},
      {38017.0 + 86399.6 / 86400.0, true, {2004, 2, 1, 0, 0, 0}},
      {38017.0 + 86399.4 / 86400.0, true, {2004, 1, 31, 23, 59, 59}},
      // Rounding up to midnight before the epoch moves forward in time.
      {-1.0 - 86399.6 / 86400.0, true, {1899, 12, 30, 0, 0, 0}},
      {-2.0 - 86399.6 / 86400.0, true, {1899, 12, 29, 0, 0, 0}},
      // Range: years 100 to 9999.
      {-657434.0, true, {100, 1, 1, 0, 0, 0}},
      {-657434.5, true, {100, 1, 1, 12, 0, 0}},
      {-657435.0, false, {}},
      {2958465.5, true, {9999, 12, 31, 12, 0, 0}},
      {2958465.0 + 86399.7 / 86400.0, false, {}},  // rounds into year 10000
      {2958466.0, false, {}},
      {std::nan(""), false, {}},
      {HUGE_VAL, false, {}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.date);
    const auto got = SplitDate(r.date);
    ASSERT_EQ(got.has_value(), r.valid);
    if (r.valid) {
      EXPECT_EQ(Show(*got), Show(r.parts));
    }
  }
}

TEST(SplitDate, InvertsMakeDateAcrossTheCalendar) {
  // Every day from 1800 to 2200 at a time that changes with the day.
  for (int year = 1800; year <= 2200; ++year) {
    for (int month = 1; month <= 12; ++month) {
      for (int day = 1; day <= DaysInMonth(year, month); ++day) {
        const int seconds = (year * 7919 + month * 131 + day * 17) % 86400;
        const DateParts want{year, month, day, seconds / 3600, seconds / 60 % 60, seconds % 60};
        const auto date =
            MakeDate(want.year, want.month, want.day, want.hour, want.minute, want.second);
        ASSERT_TRUE(date.has_value()) << Show(want);
        const auto back = SplitDate(*date);
        ASSERT_TRUE(back.has_value()) << Show(want);
        ASSERT_EQ(Show(*back), Show(want)) << *date;
      }
    }
  }
}

TEST(Calendar, LeapYearsAndMonthLengths) {
  EXPECT_FALSE(IsLeapYear(1900));
  EXPECT_TRUE(IsLeapYear(2000));
  EXPECT_TRUE(IsLeapYear(2004));
  EXPECT_FALSE(IsLeapYear(2100));
  EXPECT_FALSE(IsLeapYear(2003));
  EXPECT_EQ(DaysInMonth(2004, 2), 29);
  EXPECT_EQ(DaysInMonth(1900, 2), 28);
  EXPECT_EQ(DaysInMonth(2004, 4), 30);
  EXPECT_EQ(DaysInMonth(2004, 12), 31);
  EXPECT_EQ(DaysInMonth(2004, 0), 0);
  EXPECT_EQ(DaysInMonth(2004, 13), 0);
}

}  // namespace
}  // namespace orvane
