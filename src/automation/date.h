// OLE Automation dates: days since 1899-12-30 00:00:00 as a double, the
// fraction being the time of day (for dates before 1899-12-30 the fraction
// still counts forward, as the platform's DATE does).
#pragma once

#include <optional>

namespace orvane {

struct DateParts {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
  friend bool operator==(const DateParts&, const DateParts&) = default;
};

// Valid when 100 <= year <= 9999 (the platform's DATE range), month 1..12,
// day within the Gregorian month, hour <= 23, minute <= 59, second <= 59; otherwise no value.
std::optional<double> MakeDate(int year, int month, int day, int hour, int minute, int second);

// Calendar fields of a DATE, the time rounded to the nearest second. No value
// outside the platform's range (years 100 to 9999).
std::optional<DateParts> SplitDate(double date);

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

}  // namespace orvane
