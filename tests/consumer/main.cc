// Replays a log through the installed library; prints the fix count and the
// last position, and fails when no fix arrived.
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
  std::vector<orvane::Variant> args{orvane::Variant::Text(argv[1])};
  orvane::ExcepInfo info;
  if (orvane::Failed(gps.Invoke("OpenFile", orvane::dispatch::kMethod, args, nullptr, &info))) {
    std::fprintf(stderr, "error 0x%08X: %s\n", static_cast<unsigned>(info.scode),
                 orvane::Utf16ToUtf8(info.description).c_str());
    return 1;
  }
  orvane::RunUntil([&] { return !gps.IsOpen(); }, std::chrono::seconds(60));
  const orvane::Fix fix = gps.Fix();
  if (fixes == 0 || !fix.latitude || !fix.longitude) return 1;
  std::printf("%d fixes, last %.6f %.6f\n", fixes, *fix.latitude, *fix.longitude);
  return 0;
}
