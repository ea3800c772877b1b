// Replays a log through the installed library; prints the fix count, the
// last position both typed and as the control formats it, and fails when no
// fix arrived.
#include <cstdio>
#include <string>
#include <vector>

#include <orvane/orvane.h>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: consumer LOG\n");
    return 2;
  }
  orvane::Control gps;
  int fixes = 0;
  gps.OnFix([&](const orvane::Fix&) { ++fixes; });
  orvane::ExcepInfo info;
  if (orvane::Failed(gps.put_LatLonFormat(orvane::Variant::I2(1), &info)) ||
      orvane::Failed(gps.OpenFile(orvane::Variant::Text(argv[1]), orvane::Variant::I2(0), &info))) {
    std::fprintf(stderr, "error 0x%08X: %s\n", static_cast<unsigned>(info.scode),
                 orvane::Utf16ToUtf8(info.description).c_str());
    return 1;
  }
  orvane::RunUntil([&] { return !gps.IsOpen(); }, std::chrono::seconds(60));
  const orvane::Fix fix = gps.Fix();
  orvane::Variant good, latitude, format;
  if (fixes == 0 || !fix.latitude || !fix.longitude || orvane::Failed(gps.get_FixGood(&good)) ||
      orvane::Failed(gps.get_Latitude(&latitude)) ||
      orvane::Failed(gps.get_LatLonFormat(&format)) || format != orvane::Variant::I2(1) ||
      latitude.vt() != orvane::vt::kBstr) {
    return 1;
  }
  std::printf("%d fixes, last %.6f %.6f (%s, FixGood %s)\n", fixes, *fix.latitude, *fix.longitude,
              latitude.ToUtf8().c_str(), orvane::DebugString(good).c_str());
  return 0;
}
