// Coercion fuzzer: the first byte picks the source type, the rest becomes its
// value; the Variant is then coerced to every target. Checks: no crash, a
// failure leaves the output as it was, a success has the target type, and
// text written for a number or date reads back.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "automation/coerce.h"
#include "automation/variant.h"
#include "variant_input.h"

// The automation names (HRESULT, S_OK, VT_*) live in namespace orvane.
using namespace orvane;

namespace {

using orvane::ChangeType;
using orvane::Variant;
using orvane::fuzz::Build;

[[noreturn]] void Fail(const char* what, const Variant& in, VARTYPE to, HRESULT hr) {
  std::fprintf(stderr, "fuzz_coerce: %s: %s -> vt %u, hr 0x%08X\n", what,
               orvane::DebugString(in).c_str(), static_cast<unsigned>(to),
               static_cast<unsigned>(hr));
  std::abort();
}

// Text made from a value must read back as a value of the same type.
void CheckReadsBack(const Variant& in, const Variant& text) {
  Variant back;
  HRESULT hr = S_OK;
  switch (in.vt()) {
    case VT_I2:
    case VT_I4:
    case VT_BOOL:
      hr = ChangeType(text, in.vt(), &back);
      if (hr != S_OK || !(back == in)) Fail("text does not read back", in, in.vt(), hr);
      break;
    case VT_R8:
      if (!std::isfinite(in.r8())) break;
      hr = ChangeType(text, VT_R8, &back);
      // Fifteen digits may round the largest doubles past the range.
      if (hr == DISP_E_OVERFLOW && std::fabs(in.r8()) > 1.7e308) break;
      if (hr != S_OK) Fail("number text does not read back", in, VT_R8, hr);
      if (std::fabs(back.r8() - in.r8()) > std::fabs(in.r8()) * 1e-14) {
        Fail("number text reads back as another value", in, VT_R8, hr);
      }
      break;
    case VT_DATE:
      hr = ChangeType(text, VT_DATE, &back);
      if (hr != S_OK) Fail("date text does not read back", in, VT_DATE, hr);
      break;
    default: break;
  }
}

// The numeric targets must agree on text: an integer is the number rounded,
// and a text is a number for all of them or for none.
void CheckTextTargetsAgree(const Variant& in) {
  if (in.vt() != VT_BSTR) return;
  Variant r8, i4, i2, boolean;
  const HRESULT hr_r8 = ChangeType(in, VT_R8, &r8);
  const HRESULT hr_i4 = ChangeType(in, VT_I4, &i4);
  const HRESULT hr_i2 = ChangeType(in, VT_I2, &i2);
  const HRESULT hr_bool = ChangeType(in, VT_BOOL, &boolean);
  if ((hr_r8 == DISP_E_TYPEMISMATCH) != (hr_i4 == DISP_E_TYPEMISMATCH) ||
      (hr_i4 == DISP_E_TYPEMISMATCH) != (hr_i2 == DISP_E_TYPEMISMATCH)) {
    Fail("numeric targets disagree on what is a number", in, VT_R8, hr_r8);
  }
  // "&HFFFF" is a 16-bit literal for VT_I2 and a 32-bit one otherwise.
  const bool literal = in.bstr().find(u'&') != std::u16string::npos;
  if (hr_i4 == S_OK && hr_r8 == S_OK && std::fabs(i4.i4() - r8.r8()) > 0.5 + 1e-6) {
    Fail("integer is not the rounded number", in, VT_I4, hr_i4);
  }
  if (!literal && hr_i2 == S_OK && (hr_i4 != S_OK || i2.i2() != i4.i4())) {
    Fail("I2 and I4 disagree", in, VT_I2, hr_i2);
  }
  if (hr_r8 == S_OK && (hr_bool != S_OK || boolean.boolean() != (r8.r8() != 0.0))) {
    Fail("boolean is not the number's truth", in, VT_BOOL, hr_bool);
  }
}

void RunOne(const std::uint8_t* data, std::size_t size) {
  const Variant in = Build(data, size, 0);
  const Variant sentinel = Variant::Text("sentinel");
  static constexpr VARTYPE kTargets[] = {
      VT_I2,   VT_I4,    VT_R8,   VT_DATE,  VT_BSTR,
      VT_BOOL, VT_EMPTY, VT_NULL, VT_ERROR, VT_ARRAY | VT_VARIANT,
      4};
  for (VARTYPE to : kTargets) {
    Variant out = sentinel;
    const HRESULT hr = ChangeType(in, to, &out);
    if (FAILED(hr)) {
      if (!(out == sentinel)) Fail("failure changed the output", in, to, hr);
    } else {
      if (out.vt() != to) Fail("success with another type", in, to, hr);
      if (to == VT_BSTR) CheckReadsBack(in, out);
    }
    // In place: the same result, or the source unchanged.
    Variant same = in;
    const HRESULT hr_in_place = ChangeType(same, to, &same);
    if (hr_in_place != hr) Fail("in-place result differs", in, to, hr_in_place);
    if (FAILED(hr_in_place) && !(same == in))
      Fail("in-place failure changed the source", in, to, hr);
  }
  CheckTextTargetsAgree(in);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  RunOne(data, size);
  return 0;
}
