// orvane-gen's building blocks: reproducible random numbers, the calendar,
// the local geometry of a leg, and NMEA text with its checksum.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace orvane::gen {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;

// SplitMix64: the same numbers from every compiler and library, unlike the
// standard distributions.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double Uniform(double lo, double hi) {
    return lo + (hi - lo) * static_cast<double>(Next() >> 11) * 0x1.0p-53;
  }
  int Int(int lo, int hi) {  // inclusive
    return lo + static_cast<int>(Next() % static_cast<std::uint64_t>(hi - lo + 1));
  }

 private:
  std::uint64_t state_;
};

// Days since 1970-01-01 for a civil date (proleptic Gregorian), and back.
long long DaysFromCivil(long long y, unsigned m, unsigned d);
void CivilFromDays(long long z, int* y, int* m, int* d);
// "YYYY-MM-DDTHH:MM:SS" as seconds since 1970-01-01 UTC.
bool ParseStart(const char* text, long long* epoch);

double Wrap360(double a);
// Local flat-earth bearing (degrees true) and range (nautical miles): the
// legs are a few miles long.
void BearingRange(double lat1, double lon1, double lat2, double lon2, double* bearing,
                  double* range);

// Writes sentences until `limit` lines (none when negative).
class Writer {
 public:
  Writer(std::FILE* out, long long limit) : out_(out), limit_(limit) {}
  bool full() const { return limit_ >= 0 && written_ >= limit_; }
  long long written() const { return written_; }
  // Adds "*hh" and CR LF to a body that starts with '$'.
  void Emit(std::string body);

 private:
  std::FILE* out_;
  long long limit_;
  long long written_ = 0;
};

// MinGW checks plain "printf" against the Microsoft runtime, which has no %zu.
#ifdef __MINGW32__
#define ORVANE_PRINTF gnu_printf
#else
#define ORVANE_PRINTF printf
#endif
// printf into a string of at most 511 bytes.
std::string Format(const char* fmt, ...) __attribute__((format(ORVANE_PRINTF, 1, 2)));

// "4807.0380,N" and "01131.0000,E": whole degrees in `width` digits, minutes
// to four places, carrying a minute that rounds to 60 into the degrees.
std::string Coordinate(double value, int width, char positive, char negative);
inline std::string Lat(double lat) { return Coordinate(lat, 2, 'N', 'S'); }
inline std::string Lon(double lon) { return Coordinate(lon, 3, 'E', 'W'); }

}  // namespace orvane::gen
