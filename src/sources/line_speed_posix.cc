// Line speed get and set. 56000, 128000 and 256000 baud have no B constant:
// Linux takes any rate through termios2 (BOTHER); elsewhere those three are
// refused as a failed SetCommState.
#if defined(__linux__)
#include <asm/termbits.h>
#include <sys/ioctl.h>
#else
#include <termios.h>
#endif

#include <cstddef>

#include "sources/baud_rates.h"
#include "sources/device.h"

namespace orvane::detail {
namespace {

struct SpeedCode {
  std::int32_t baud;
  unsigned code;
};

// The rates a DCB takes that also have a B constant.
constexpr SpeedCode kSpeeds[] = {
    {110, B110},     {300, B300},     {600, B600},       {1200, B1200},
    {2400, B2400},   {4800, B4800},   {9600, B9600},     {19200, B19200},
    {38400, B38400}, {57600, B57600}, {115200, B115200},
#ifdef B14400
    {14400, B14400},
#endif
#ifdef B28800
    {28800, B28800},
#endif
};

constexpr bool EveryCodeIsOfARate() {
  for (const SpeedCode& s : kSpeeds) {
    if (!IsBaudRate(s.baud)) return false;
  }
  return true;
}
static_assert(EveryCodeIsOfARate(), "a B constant for a rate the port does not take");

bool CodeFor(std::int32_t baud, unsigned* code) {
  for (const SpeedCode& s : kSpeeds) {
    if (s.baud == baud) {
      *code = s.code;
      return true;
    }
  }
  return false;
}

int AsFd(NativeHandle h) { return static_cast<int>(h); }

}  // namespace

#if defined(__linux__)

bool GetPortSpeed(NativeHandle port, std::int32_t* baud) {
  termios2 tio{};
  if (ioctl(AsFd(port), TCGETS2, &tio) != 0) return false;
  // The kernel fills c_ospeed from B constants too.
  *baud = static_cast<std::int32_t>(tio.c_ospeed);
  return true;
}

HRESULT SetPortSpeed(NativeHandle port, std::int32_t baud) {
  termios2 tio{};
  if (ioctl(AsFd(port), TCGETS2, &tio) != 0) return kGetCommStateFailed;
  unsigned code = 0;
  if (!CodeFor(baud, &code)) code = BOTHER;
  // Input speed follows the output speed.
  tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  tio.c_cflag |= code;
  tio.c_ospeed = static_cast<speed_t>(baud);
  tio.c_ispeed = static_cast<speed_t>(baud);
  if (ioctl(AsFd(port), TCSETS2, &tio) != 0) return kSetCommStateFailed;
  return S_OK;
}

#else

bool GetPortSpeed(NativeHandle port, std::int32_t* baud) {
  termios tio{};
  if (tcgetattr(AsFd(port), &tio) != 0) return false;
  const speed_t code = cfgetospeed(&tio);
  for (const SpeedCode& s : kSpeeds) {
    if (s.code == code) {
      *baud = s.baud;
      return true;
    }
  }
  // Systems whose B constants are the rates themselves.
  *baud = static_cast<std::int32_t>(code);
  return true;
}

HRESULT SetPortSpeed(NativeHandle port, std::int32_t baud) {
  termios tio{};
  if (tcgetattr(AsFd(port), &tio) != 0) return kGetCommStateFailed;
  unsigned code = 0;
  if (!CodeFor(baud, &code)) return kSetCommStateFailed;
  if (cfsetspeed(&tio, code) != 0 || tcsetattr(AsFd(port), TCSANOW, &tio) != 0) {
    return kSetCommStateFailed;
  }
  return S_OK;
}

#endif

}  // namespace orvane::detail
