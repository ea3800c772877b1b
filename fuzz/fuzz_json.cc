// The command's JSON writer over any value: texts must come out as converting
// to UTF-8 first and escaping would write them, numbers as the library's
// shortest text, and the whole, typed or not, must be one complete value.
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "automation/variant.h"
#include "json.h"
#include "variant_input.h"

using namespace orvane;

namespace {

[[noreturn]] void Fail(const char* what, const Variant& v, const std::string& got,
                       const std::string& want) {
  std::fprintf(stderr, "fuzz_json: %s: %s\n got  %s\n want %s\n", what, DebugString(v).c_str(),
               got.c_str(), want.c_str());
  std::abort();
}

// Quotes balance outside strings and brackets close: a cheap check that a
// value is whole, which a cut-back buffer would break.
bool Balanced(const std::string& json) {
  int depth = 0;
  bool in_string = false;
  for (std::size_t i = 0; i < json.size(); ++i) {
    const char c = json[i];
    if (in_string) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        in_string = false;
      } else if (static_cast<unsigned char>(c) < 0x20) {
        return false;
      }
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      ++depth;
    } else if (c == ']' || c == '}') {
      if (--depth < 0) return false;
    }
  }
  return depth == 0 && !in_string;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Variant v = fuzz::Build(data, size);
  for (bool typed : {false, true}) {
    std::string out = "x";
    cli::AppendJson(out, v, typed);
    if (out[0] != 'x' || !Balanced(out.substr(1))) Fail("not one whole value", v, out, "");
  }
  std::string plain;
  cli::AppendJson(plain, v, false);
  if (v.vt() == VT_BSTR) {
    std::string want;
    cli::AppendJsonString(want, Utf16ToUtf8(v.bstr()));
    if (plain != want) Fail("text differs from converting first", v, plain, want);
  } else if (v.vt() == VT_R8 && std::isfinite(v.r8())) {
    char buf[32];
    const std::string want(buf, std::to_chars(buf, buf + sizeof buf, v.r8()).ptr);
    if (plain != want) Fail("number differs from the shortest text", v, plain, want);
  }
  return 0;
}
