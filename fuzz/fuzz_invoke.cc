// Late binding with arbitrary DISPIDs, flags and VARIANT arguments. Open and
// OpenFile are left out: they would open whatever path the input names.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "automation/error_info.h"
#include "control/dispatch.h"
#include "control/orvane_control.h"

// The automation names (HRESULT, S_OK, VT_*) live in namespace orvane.
using namespace orvane;

namespace {

class Input {
 public:
  Input(const std::uint8_t* d, std::size_t n) : d_(d), n_(n) {}
  std::uint8_t Byte() { return i_ < n_ ? d_[i_++] : 0; }
  double Double() {
    double v = 0;
    std::uint8_t b[8] = {};
    for (auto& x : b) x = Byte();
    std::memcpy(&v, b, sizeof v);
    return v;
  }
  std::string Text() {
    std::string s;
    for (std::size_t len = Byte() % 24; len > 0; --len) s.push_back(static_cast<char>(Byte()));
    return s;
  }

 private:
  const std::uint8_t* d_;
  std::size_t n_;
  std::size_t i_ = 0;
};

orvane::Variant MakeVariant(Input& in) {
  using orvane::Variant;
  switch (in.Byte() % 11) {
    case 0: return Variant();
    case 1: return Variant::Null();
    case 2: return Variant::I2(static_cast<std::int16_t>(in.Byte() << 8 | in.Byte()));
    case 3: return Variant::I4(static_cast<std::int32_t>(in.Double()));
    case 4: return Variant::R8(in.Double());
    case 5: return Variant::Date(in.Double());
    case 6: return Variant::Bool(in.Byte() & 1);
    case 7:
      return Variant::Error(static_cast<HRESULT>(in.Byte()) | static_cast<HRESULT>(0x80020000u));
    case 8: return Variant::Ansi(in.Text());
    case 9: return Variant::Array({Variant::I2(in.Byte()), Variant::Ansi(in.Text())});
    default: return Variant::Text(in.Text());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static auto control = orvane::CreateOrvaneControl();
  Input in(data, size);
  for (int call = 0; call < 8; ++call) {
    DISPID dispid = static_cast<DISPID>(in.Byte() % 56);
    if (dispid == 4 || dispid == 5) dispid = 6;
    const std::uint16_t flags = static_cast<std::uint16_t>(in.Byte() % 16);
    std::vector<orvane::Variant> args(in.Byte() % 6);
    for (auto& a : args) a = MakeVariant(in);
    std::vector<DISPID> named;
    if (in.Byte() & 1) named.push_back(DISPID_PROPERTYPUT);
    orvane::Variant result;
    orvane::ExcepInfo info;
    std::uint32_t arg_err = 0;
    orvane::Invoke(*control, dispid, flags, {args, named}, &result, &info, &arg_err);
  }
  orvane::TakeErrorRecord();
  return 0;
}
