#include "automation/date.h"

#include <cmath>
#include <cstdint>

namespace orvane {
namespace {

// Days from 1970-01-01 for a proleptic Gregorian date (Howard Hinnant's
// days_from_civil), valid for any year including 0 and negatives.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int* year, int* month, int* day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  *year = static_cast<int>(y + (m <= 2));
  *month = static_cast<int>(m);
  *day = static_cast<int>(d);
}

const std::int64_t kEpoch = DaysFromCivil(1899, 12, 30);

}  // namespace

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

std::optional<double> MakeDate(int year, int month, int day, int hour, int minute, int second) {
  // Years below 100 are outside the platform's DATE range: SplitDate and the
  // text conversions could not give such a value back.
  if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
      second < 0 || second > 59) {
    return std::nullopt;
  }
  const double days = static_cast<double>(
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kEpoch);
  const double fraction = (hour * 3600 + minute * 60 + second) / 86400.0;
  // A DATE before the epoch keeps its time as a positive fraction below zero.
  return days >= 0 ? days + fraction : days - fraction;
}

std::optional<DateParts> SplitDate(double date) {
  // The platform accepts any moment of 1 January 100 to 31 December 9999.
  if (!std::isfinite(date) || date <= -657435.0 || date >= 2958466.0) return std::nullopt;
  const double whole = std::trunc(date);
  const double fraction = std::fabs(date - whole);  // exact: no rounding here
  auto seconds = static_cast<std::int64_t>(std::llround(fraction * 86400.0));
  std::int64_t days = static_cast<std::int64_t>(whole);
  if (seconds >= 86400) {
    // Rounded up to midnight: the next calendar day. Below zero the fraction
    // still counts forward, so the next day is one whole day towards zero.
    seconds -= 86400;
    days += 1;
  }
  DateParts p;
  CivilFromDays(days + kEpoch, &p.year, &p.month, &p.day);
  if (p.year > 9999) return std::nullopt;  // 9999-12-31 23:59:59.6 and later
  p.hour = static_cast<int>(seconds / 3600);
  p.minute = static_cast<int>(seconds / 60 % 60);
  p.second = static_cast<int>(seconds % 60);
  return p;
}

}  // namespace orvane
