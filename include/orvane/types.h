// The automation names a host needs, all in namespace orvane and spelt so they
// never meet <windows.h>'s macros: Hresult, hr::kOk, vt::kBstr, Failed().
#pragma once

#include <cstdint>

#if defined(_WIN32) || !defined(__GNUC__)
#define ORVANE_API
#else
#define ORVANE_API __attribute__((visibility("default")))
#endif

namespace orvane {

#ifdef _WIN32
using Hresult = long;  // the SDK's HRESULT and DISPID (LONG)
using Dispid = long;
#else
using Hresult = std::int32_t;
using Dispid = std::int32_t;
#endif
using Vartype = std::uint16_t;

inline constexpr bool Succeeded(Hresult hr) { return hr >= 0; }
inline constexpr bool Failed(Hresult hr) { return hr < 0; }

namespace hr {
inline constexpr Hresult Code(std::uint32_t bits) { return static_cast<Hresult>(bits); }
inline constexpr Hresult kOk = 0;
inline constexpr Hresult kFalse = 1;
inline constexpr Hresult kNotImpl = Code(0x80004001);
inline constexpr Hresult kNoInterface = Code(0x80004002);
inline constexpr Hresult kPointer = Code(0x80004003);
inline constexpr Hresult kFail = Code(0x80004005);
inline constexpr Hresult kUnexpected = Code(0x8000FFFF);
inline constexpr Hresult kOutOfMemory = Code(0x8007000E);
inline constexpr Hresult kInvalidArg = Code(0x80070057);
inline constexpr Hresult kUnknownInterface = Code(0x80020001);
inline constexpr Hresult kMemberNotFound = Code(0x80020003);
inline constexpr Hresult kParamNotFound = Code(0x80020004);
inline constexpr Hresult kTypeMismatch = Code(0x80020005);
inline constexpr Hresult kUnknownName = Code(0x80020006);
inline constexpr Hresult kNoNamedArgs = Code(0x80020007);
inline constexpr Hresult kBadVarType = Code(0x80020008);
inline constexpr Hresult kException = Code(0x80020009);
inline constexpr Hresult kOverflow = Code(0x8002000A);
inline constexpr Hresult kBadIndex = Code(0x8002000B);
inline constexpr Hresult kBadParamCount = Code(0x8002000E);
inline constexpr Hresult kParamNotOptional = Code(0x8002000F);
inline constexpr Hresult kNoAggregation = Code(0x80040110);
inline constexpr Hresult kClassNotAvailable = Code(0x80040111);
inline constexpr Hresult kNoConnection = Code(0x80040200);
inline constexpr Hresult kAdviseLimit = Code(0x80040201);
inline constexpr Hresult kCannotConnect = Code(0x80040202);
}  // namespace hr

// The control's own codes: FACILITY_ITF, severity error.
inline constexpr Hresult kPortClosed = hr::Code(0x80040200);
inline constexpr Hresult kGetCommStateFailed = hr::Code(0x80040201);
inline constexpr Hresult kSetCommStateFailed = hr::Code(0x80040202);
inline constexpr Hresult kAlreadyOpen = hr::Code(0x80040204);
inline constexpr Hresult kCannotOpenPort = hr::Code(0x80040205);
inline constexpr Hresult kSetCommTimeoutsFailed = hr::Code(0x80040214);
inline constexpr Hresult kCannotOpenFile = hr::Code(0x80040215);

namespace vt {
inline constexpr Vartype kEmpty = 0;
inline constexpr Vartype kNull = 1;
inline constexpr Vartype kI2 = 2;
inline constexpr Vartype kI4 = 3;
inline constexpr Vartype kR8 = 5;
inline constexpr Vartype kDate = 7;
inline constexpr Vartype kBstr = 8;
inline constexpr Vartype kError = 10;
inline constexpr Vartype kBool = 11;
inline constexpr Vartype kVariant = 12;
inline constexpr Vartype kArray = 0x2000;
inline constexpr Vartype kByRef = 0x4000;
inline constexpr Vartype kArrayOfVariant = kArray | kVariant;  // 0x200C
}  // namespace vt

// Invoke flags and the special DISPIDs, with the platform's values.
namespace dispatch {
inline constexpr std::uint16_t kMethod = 0x1;
inline constexpr std::uint16_t kPropertyGet = 0x2;
inline constexpr std::uint16_t kPropertyPut = 0x4;
inline constexpr std::uint16_t kPropertyPutRef = 0x8;
inline constexpr Dispid kDispidUnknown = -1;
inline constexpr Dispid kDispidPropertyPut = -3;
}  // namespace dispatch

}  // namespace orvane
