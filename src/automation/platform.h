// The handful of OLE Automation names the core is written against. On Windows
// they come from the SDK headers; elsewhere this file gives them the same
// numbers inside namespace orvane, so code and tests read the same on both
// builds. Hosts use <orvane/types.h> instead.
#pragma once

#include <cstdint>

#include "orvane/types.h"

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
// The SDK and the public names must agree.
static_assert(orvane::hr::kTypeMismatch == DISP_E_TYPEMISMATCH);
static_assert(orvane::hr::kNoConnection == CONNECT_E_NOCONNECTION);
static_assert(orvane::vt::kArrayOfVariant == (VT_ARRAY | VT_VARIANT));
static_assert(orvane::dispatch::kDispidPropertyPut == DISPID_PROPERTYPUT);
#else

// Inside namespace orvane, so nothing reaches a host's global namespace.
namespace orvane {

using HRESULT = Hresult;
using VARTYPE = Vartype;

enum VARENUM : VARTYPE {
  VT_EMPTY = vt::kEmpty,
  VT_NULL = vt::kNull,
  VT_I2 = vt::kI2,
  VT_I4 = vt::kI4,
  VT_R8 = vt::kR8,
  VT_DATE = vt::kDate,
  VT_BSTR = vt::kBstr,
  VT_ERROR = vt::kError,
  VT_BOOL = vt::kBool,
  VT_VARIANT = vt::kVariant,
  VT_ARRAY = vt::kArray,
  VT_BYREF = vt::kByRef,
};

inline constexpr std::int16_t VARIANT_TRUE = -1;
inline constexpr std::int16_t VARIANT_FALSE = 0;

inline constexpr bool SUCCEEDED(HRESULT hr) { return Succeeded(hr); }
inline constexpr bool FAILED(HRESULT hr) { return Failed(hr); }

inline constexpr HRESULT S_OK = hr::kOk;
inline constexpr HRESULT S_FALSE = hr::kFalse;
inline constexpr HRESULT E_NOTIMPL = hr::kNotImpl;
inline constexpr HRESULT E_NOINTERFACE = hr::kNoInterface;
inline constexpr HRESULT E_POINTER = hr::kPointer;
inline constexpr HRESULT E_FAIL = hr::kFail;
inline constexpr HRESULT E_UNEXPECTED = hr::kUnexpected;
inline constexpr HRESULT E_OUTOFMEMORY = hr::kOutOfMemory;
inline constexpr HRESULT E_INVALIDARG = hr::kInvalidArg;
inline constexpr HRESULT DISP_E_UNKNOWNINTERFACE = hr::kUnknownInterface;
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = hr::kMemberNotFound;
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = hr::kParamNotFound;
inline constexpr HRESULT DISP_E_TYPEMISMATCH = hr::kTypeMismatch;
inline constexpr HRESULT DISP_E_UNKNOWNNAME = hr::kUnknownName;
inline constexpr HRESULT DISP_E_NONAMEDARGS = hr::kNoNamedArgs;
inline constexpr HRESULT DISP_E_BADVARTYPE = hr::kBadVarType;
inline constexpr HRESULT DISP_E_EXCEPTION = hr::kException;
inline constexpr HRESULT DISP_E_OVERFLOW = hr::kOverflow;
inline constexpr HRESULT DISP_E_BADINDEX = hr::kBadIndex;
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = hr::kBadParamCount;
inline constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = hr::kParamNotOptional;
inline constexpr HRESULT CLASS_E_NOAGGREGATION = hr::kNoAggregation;
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = hr::kClassNotAvailable;
inline constexpr HRESULT CONNECT_E_NOCONNECTION = hr::kNoConnection;
inline constexpr HRESULT CONNECT_E_ADVISELIMIT = hr::kAdviseLimit;
inline constexpr HRESULT CONNECT_E_CANNOTCONNECT = hr::kCannotConnect;

inline constexpr std::uint16_t DISPATCH_METHOD = dispatch::kMethod;
inline constexpr std::uint16_t DISPATCH_PROPERTYGET = dispatch::kPropertyGet;
inline constexpr std::uint16_t DISPATCH_PROPERTYPUT = dispatch::kPropertyPut;
inline constexpr std::uint16_t DISPATCH_PROPERTYPUTREF = dispatch::kPropertyPutRef;

using DISPID = Dispid;
inline constexpr DISPID DISPID_UNKNOWN = dispatch::kDispidUnknown;
inline constexpr DISPID DISPID_PROPERTYPUT = dispatch::kDispidPropertyPut;

}  // namespace orvane

#endif  // _WIN32
