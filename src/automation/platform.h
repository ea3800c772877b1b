// The handful of OLE Automation names the core is written against. On Windows
// they come from the SDK headers; elsewhere this file gives them the same
// numbers, so code and tests read the same on both builds.
#pragma once

#include <cstdint>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <oleauto.h>
#include <olectl.h>
#else

using HRESULT = std::int32_t;
using VARTYPE = std::uint16_t;

enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R8 = 5,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
};

inline constexpr std::int16_t VARIANT_TRUE = -1;
inline constexpr std::int16_t VARIANT_FALSE = 0;

inline constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline constexpr bool FAILED(HRESULT hr) { return hr < 0; }

#define ORVANE_HR(x) static_cast<HRESULT>(static_cast<std::uint32_t>(x))
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = ORVANE_HR(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = ORVANE_HR(0x80004002);
inline constexpr HRESULT E_POINTER = ORVANE_HR(0x80004003);
inline constexpr HRESULT E_FAIL = ORVANE_HR(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = ORVANE_HR(0x8000FFFF);
inline constexpr HRESULT E_OUTOFMEMORY = ORVANE_HR(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = ORVANE_HR(0x80070057);
inline constexpr HRESULT DISP_E_UNKNOWNINTERFACE = ORVANE_HR(0x80020001);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = ORVANE_HR(0x80020003);
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = ORVANE_HR(0x80020004);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = ORVANE_HR(0x80020005);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = ORVANE_HR(0x80020006);
inline constexpr HRESULT DISP_E_NONAMEDARGS = ORVANE_HR(0x80020007);
inline constexpr HRESULT DISP_E_BADVARTYPE = ORVANE_HR(0x80020008);
inline constexpr HRESULT DISP_E_EXCEPTION = ORVANE_HR(0x80020009);
inline constexpr HRESULT DISP_E_OVERFLOW = ORVANE_HR(0x8002000A);
inline constexpr HRESULT DISP_E_BADINDEX = ORVANE_HR(0x8002000B);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = ORVANE_HR(0x8002000E);
inline constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = ORVANE_HR(0x8002000F);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = ORVANE_HR(0x80040110);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = ORVANE_HR(0x80040111);
inline constexpr HRESULT CONNECT_E_NOCONNECTION = ORVANE_HR(0x80040200);
inline constexpr HRESULT CONNECT_E_ADVISELIMIT = ORVANE_HR(0x80040201);
inline constexpr HRESULT CONNECT_E_CANNOTCONNECT = ORVANE_HR(0x80040202);
#undef ORVANE_HR

// Invoke flags, with the platform's values.
inline constexpr std::uint16_t DISPATCH_METHOD = 0x1;
inline constexpr std::uint16_t DISPATCH_PROPERTYGET = 0x2;
inline constexpr std::uint16_t DISPATCH_PROPERTYPUT = 0x4;
inline constexpr std::uint16_t DISPATCH_PROPERTYPUTREF = 0x8;

using DISPID = std::int32_t;
inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_PROPERTYPUT = -3;

#endif  // _WIN32

namespace orvane {

// The control's own codes: FACILITY_ITF, severity error.
inline constexpr HRESULT kPortClosed = static_cast<HRESULT>(0x80040200u);
inline constexpr HRESULT kGetCommStateFailed = static_cast<HRESULT>(0x80040201u);
inline constexpr HRESULT kSetCommStateFailed = static_cast<HRESULT>(0x80040202u);
inline constexpr HRESULT kAlreadyOpen = static_cast<HRESULT>(0x80040204u);
inline constexpr HRESULT kCannotOpenPort = static_cast<HRESULT>(0x80040205u);
inline constexpr HRESULT kSetCommTimeoutsFailed = static_cast<HRESULT>(0x80040214u);
inline constexpr HRESULT kCannotOpenFile = static_cast<HRESULT>(0x80040215u);

}  // namespace orvane
