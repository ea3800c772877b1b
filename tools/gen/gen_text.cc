#include "gen/gen_text.h"

#include <cmath>
#include <cstdarg>

#include "engine/sentence.h"

namespace orvane::gen {

long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int* y, int* m, int* d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = static_cast<int>(static_cast<long long>(yoe) + era * 400 + (*m <= 2));
}

bool ParseStart(const char* text, long long* epoch) {
  int y, mo, d, h, mi, s;
  if (std::sscanf(text, "%d-%d-%dT%d:%d:%d", &y, &mo, &d, &h, &mi, &s) != 6) return false;
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59) return false;
  *epoch = DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) * 86400 +
           h * 3600 + mi * 60 + s;
  return true;
}

double Wrap360(double a) {
  a = std::fmod(a, 360.0);
  return a < 0 ? a + 360.0 : a;
}

void BearingRange(double lat1, double lon1, double lat2, double lon2, double* bearing,
                  double* range) {
  const double north = (lat2 - lat1) * 60.0;
  const double east = (lon2 - lon1) * 60.0 * std::cos((lat1 + lat2) / 2 * kDeg);
  *bearing = Wrap360(std::atan2(east, north) / kDeg);
  *range = std::hypot(north, east);
}

void Writer::Emit(std::string body) {
  if (full()) return;
  orvane::AppendChecksum(body);
  body += "\r\n";
  std::fwrite(body.data(), 1, body.size(), out_);
  ++written_;
}

std::string Format(const char* fmt, ...) {
  char buf[512];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, args);
  va_end(args);
  return buf;
}

std::string Coordinate(double value, int width, char positive, char negative) {
  const double a = std::fabs(value);
  int d = static_cast<int>(a);
  double min = (a - d) * 60.0;
  if (std::round(min * 10000) >= 600000) {
    min = 0;
    ++d;
  }
  return Format("%0*d%07.4f,%c", width, d, min, value < 0 ? negative : positive);
}

}  // namespace orvane::gen
