// Text to date and date to text, as ChangeType does them (coerce.cc).
//
// Text to VT_DATE accepts, around blanks, a date, a time, or both in either
// order. A date is three numbers separated by '/' or '-': year first when the
// first has three or four digits, else month/day/year, or day/month/year when
// the first number cannot be a month. One- and two-digit years are 2000-2049
// for 0-49 and 1950-1999 for 50-99. A time is "h:m[:s]" with an optional
// AM/PM, or "h AM/PM". Month names, a date without a year and times with '.'
// are a type mismatch here, though the platform may accept some of them.
// VT_DATE to text is "M/D/Y h:mm:ss AM": only the time when the whole part
// is 0, only the date when there is no time; a DATE outside years 100..9999
// gives E_INVALIDARG.

#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "automation/coerce_text.h"
#include "automation/date.h"

namespace orvane::coerce {
namespace {

class DateScanner {
 public:
  explicit DateScanner(std::u16string_view s) : s_(s) {}

  void SkipWhite() {
    while (i_ < s_.size() && IsWhite(s_[i_])) ++i_;
  }
  bool AtEnd() const { return i_ >= s_.size(); }
  bool Peek(char16_t c) const { return i_ < s_.size() && s_[i_] == c; }
  bool Take(char16_t c) {
    if (!Peek(c)) return false;
    ++i_;
    return true;
  }
  // 1 to max_digits decimal digits; the count is returned in *digits.
  std::optional<int> Number(int max_digits, int* digits) {
    int value = 0, count = 0;
    while (i_ < s_.size() && IsDigit(s_[i_])) {
      if (++count > max_digits) return std::nullopt;
      value = value * 10 + (s_[i_++] - u'0');
    }
    if (count == 0) return std::nullopt;
    *digits = count;
    return value;
  }
  std::size_t pos() const { return i_; }
  void set_pos(std::size_t p) { i_ = p; }
  // Case-insensitive ASCII word.
  bool TakeWord(std::u16string_view word) {
    if (s_.size() - i_ < word.size()) return false;
    for (std::size_t k = 0; k < word.size(); ++k) {
      char16_t c = s_[i_ + k];
      if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
      if (c != word[k]) return false;
    }
    i_ += word.size();
    return true;
  }

 private:
  std::u16string_view s_;
  std::size_t i_ = 0;
};

struct TimeOfDay {
  int hour = 0, minute = 0, second = 0;
};

struct CalendarDay {
  int year = 1899, month = 12, day = 30;
};

// "h:m[:s]" with an optional AM/PM, or "h AM/PM". Leaves the scanner where it
// was when there is no time.
std::optional<TimeOfDay> ScanTime(DateScanner& sc) {
  const std::size_t start = sc.pos();
  TimeOfDay t;
  int digits = 0;
  auto h = sc.Number(2, &digits);
  if (!h) return std::nullopt;
  t.hour = *h;
  bool colon = false;
  if (sc.Take(u':')) {
    colon = true;
    auto m = sc.Number(2, &digits);
    if (!m) {
      sc.set_pos(start);
      return std::nullopt;
    }
    t.minute = *m;
    if (sc.Take(u':')) {
      auto sec = sc.Number(2, &digits);
      if (!sec) {
        sc.set_pos(start);
        return std::nullopt;
      }
      t.second = *sec;
    }
  }
  const std::size_t before_marker = sc.pos();
  sc.SkipWhite();
  bool am = false, pm = false;
  if (sc.TakeWord(u"AM")) {
    am = true;
  } else if (sc.TakeWord(u"PM")) {
    pm = true;
  } else {
    sc.set_pos(before_marker);
  }
  if (!colon && !am && !pm) {  // a bare number is no time
    sc.set_pos(start);
    return std::nullopt;
  }
  if (am && t.hour == 12) t.hour = 0;
  if (pm && t.hour < 12) t.hour += 12;
  return t;
}

// Three numbers separated by '/' or '-'. Leaves the scanner where it was when
// there is no date; returns an invalid day (0) for a date that cannot exist.
std::optional<CalendarDay> ScanDate(DateScanner& sc) {
  const std::size_t start = sc.pos();
  int d1 = 0, d2 = 0, d3 = 0;
  auto a = sc.Number(4, &d1);
  const char16_t sep = sc.Peek(u'/') ? u'/' : u'-';
  if (!a || !sc.Take(sep)) {
    sc.set_pos(start);
    return std::nullopt;
  }
  auto b = sc.Number(2, &d2);
  if (!b || !sc.Take(sep)) {
    sc.set_pos(start);
    return std::nullopt;
  }
  auto c = sc.Number(4, &d3);
  if (!c) {
    sc.set_pos(start);
    return std::nullopt;
  }
  auto full_year = [](int value, int digits) {
    if (digits > 2) return value;
    return value < 50 ? 2000 + value : 1900 + value;
  };
  CalendarDay day;
  if (d1 > 2) {
    day = {*a, *b, *c};
    if (d3 > 2) day.day = 0;
  } else if (*a > 12 && *b <= 12) {
    day = {full_year(*c, d3), *b, *a};
  } else {
    day = {full_year(*c, d3), *a, *b};
  }
  return day;
}

}  // namespace

HRESULT TextToDate(std::u16string_view s, double* out) {
  DateScanner sc(s);
  sc.SkipWhite();
  std::optional<CalendarDay> day = ScanDate(sc);
  std::optional<TimeOfDay> time;
  if (day) {
    const std::size_t before = sc.pos();
    sc.SkipWhite();
    if (sc.pos() != before) time = ScanTime(sc);
  } else {
    time = ScanTime(sc);
    if (time) {
      const std::size_t before = sc.pos();
      sc.SkipWhite();
      if (sc.pos() != before) day = ScanDate(sc);
    }
  }
  sc.SkipWhite();
  if (!sc.AtEnd() || (!day && !time)) return DISP_E_TYPEMISMATCH;
  const CalendarDay d = day.value_or(CalendarDay{});
  const TimeOfDay t = time.value_or(TimeOfDay{});
  auto date = MakeDate(d.year, d.month, d.day, t.hour, t.minute, t.second);
  if (!date) return DISP_E_TYPEMISMATCH;
  *out = *date;
  return S_OK;
}

HRESULT DateToText(double date, std::u16string* out) {
  auto parts = SplitDate(date);
  if (!parts) return E_INVALIDARG;
  const double whole = date < 0 ? std::ceil(date) : std::floor(date);
  const double partial = date - whole;
  const bool time_only = whole == 0.0;
  const bool date_only = !time_only && partial > -1e-12 && partial < 1e-12;
  char buf[64];
  std::string s;
  if (!time_only) {
    std::snprintf(buf, sizeof buf, "%d/%d/%d", parts->month, parts->day, parts->year);
    s = buf;
  }
  if (!date_only) {
    const int h12 = parts->hour % 12 == 0 ? 12 : parts->hour % 12;
    std::snprintf(buf, sizeof buf, "%s%d:%02d:%02d %s", s.empty() ? "" : " ", h12, parts->minute,
                  parts->second, parts->hour < 12 ? "AM" : "PM");
    s += buf;
  }
  *out = Ascii(s);
  return S_OK;
}

bool IsWordInAnyCase(std::u16string_view s, std::u16string_view upper_word) {
  DateScanner scanner(s);
  return scanner.TakeWord(upper_word) && scanner.AtEnd();
}

}  // namespace orvane::coerce
