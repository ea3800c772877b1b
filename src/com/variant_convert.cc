#include "com/variant_convert.h"

#include <vector>

namespace orvane::com {
namespace {

// The size of one element of an array of `vt`, for the types read here; 0
// for the rest (records, interfaces, ...), which are refused.
UINT ElementSize(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1: return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL: return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR: return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE: return 8;
    case VT_BSTR: return sizeof(BSTR);
    case VT_DECIMAL: return sizeof(DECIMAL);
    case VT_VARIANT: return sizeof(VARIANT);
    default: return 0;
  }
}

HRESULT FromArray(SAFEARRAY* array, VARTYPE element_type, Variant* out) {
  if (array == nullptr) {
    *out = Variant::Array({});
    return S_OK;
  }
  if (SafeArrayGetDim(array) != 1) return DISP_E_TYPEMISMATCH;
  // The caller's VARTYPE says what the elements are; their real size must
  // agree, since each is copied into a VARIANT of that type.
  const UINT size = ElementSize(element_type);
  if (size == 0 || SafeArrayGetElemsize(array) != size) return DISP_E_TYPEMISMATCH;
  LONG lower = 0, upper = -1;
  SafeArrayGetLBound(array, 1, &lower);
  SafeArrayGetUBound(array, 1, &upper);
  std::vector<Variant> elements;
  for (LONG i = lower; i <= upper; ++i) {
    VARIANT element;
    VariantInit(&element);
    HRESULT hr;
    if (element_type == VT_VARIANT) {
      hr = SafeArrayGetElement(array, &i, &element);
    } else if (element_type == VT_DECIMAL) {
      // A DECIMAL fills the whole VARIANT, its type field included.
      DECIMAL d{};
      hr = SafeArrayGetElement(array, &i, &d);
      element.decVal = d;
      element.vt = VT_DECIMAL;
    } else {
      // Arrays of a plain type: read each element into a VARIANT of that type.
      element.vt = element_type;
      hr = SafeArrayGetElement(array, &i, &element.lVal);
    }
    Variant value;
    if (SUCCEEDED(hr)) hr = FromVariant(element, &value);
    VariantClear(&element);
    if (FAILED(hr)) return hr;
    elements.push_back(std::move(value));
  }
  *out = Variant::Array(std::move(elements));
  return S_OK;
}

// Numbers of other widths (`base` is v's type without VT_BYREF): integers
// that fit become VT_I4, the rest VT_R8.
HRESULT FromOtherNumber(const VARIANT& v, VARTYPE base, Variant* out) {
  VARIANT changed;
  VariantInit(&changed);
  HRESULT hr = VariantChangeType(&changed, const_cast<VARIANT*>(&v), 0, VT_I4);
  if (SUCCEEDED(hr) && base != VT_R4 && base != VT_CY && base != VT_DECIMAL) {
    *out = Variant::I4(changed.lVal);
    return S_OK;
  }
  VariantClear(&changed);
  hr = VariantChangeType(&changed, const_cast<VARIANT*>(&v), 0, VT_R8);
  if (FAILED(hr)) return hr;
  *out = Variant::R8(changed.dblVal);
  return S_OK;
}

// A VT_ARRAY | VT_VARIANT of copies of the elements.
HRESULT ToArray(const std::vector<Variant>& elements, VARIANT* out) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(elements.size()));
  if (array == nullptr) return E_OUTOFMEMORY;
  for (LONG i = 0; i < static_cast<LONG>(elements.size()); ++i) {
    VARIANT element;
    HRESULT hr = ToVariant(elements[i], &element);
    if (SUCCEEDED(hr)) hr = SafeArrayPutElement(array, &i, &element);  // copies
    VariantClear(&element);
    if (FAILED(hr)) {
      SafeArrayDestroy(array);
      return hr;
    }
  }
  out->vt = VT_ARRAY | VT_VARIANT;
  out->parray = array;
  return S_OK;
}

}  // namespace

HRESULT FromVariant(const VARIANT& in, Variant* out) {
  const VARIANT* v = &in;
  // A script passes its variables by reference.
  while (v->vt == (VT_BYREF | VT_VARIANT)) {
    if (v->pvarVal == nullptr) return E_POINTER;
    v = v->pvarVal;
  }
  VARTYPE vt = v->vt;
  bool byref = (vt & VT_BYREF) != 0;
  VARTYPE base = vt & ~VT_BYREF;
  if (base & VT_ARRAY) {
    SAFEARRAY* array = byref ? (v->pparray ? *v->pparray : nullptr) : v->parray;
    return FromArray(array, base & ~VT_ARRAY, out);
  }
  if (byref && v->byref == nullptr) return E_POINTER;
  switch (base) {
    case VT_EMPTY: *out = Variant(); return S_OK;
    case VT_NULL: *out = Variant::Null(); return S_OK;
    case VT_I2: *out = Variant::I2(byref ? *v->piVal : v->iVal); return S_OK;
    case VT_I4: *out = Variant::I4(byref ? *v->plVal : v->lVal); return S_OK;
    case VT_R8: *out = Variant::R8(byref ? *v->pdblVal : v->dblVal); return S_OK;
    case VT_DATE: *out = Variant::Date(byref ? *v->pdate : v->date); return S_OK;
    case VT_ERROR: *out = Variant::Error(byref ? *v->pscode : v->scode); return S_OK;
    case VT_BOOL:
      *out = Variant::Bool((byref ? *v->pboolVal : v->boolVal) != VARIANT_FALSE);
      return S_OK;
    case VT_BSTR: {
      BSTR text = byref ? *v->pbstrVal : v->bstrVal;
      const char16_t* chars = reinterpret_cast<const char16_t*>(text);
      *out = Variant::Bstr(text ? std::u16string(chars, SysStringLen(text)) : std::u16string());
      return S_OK;
    }
    default: break;
  }
  return FromOtherNumber(*v, base, out);
}

HRESULT ToVariant(const Variant& in, VARIANT* out) {
  VariantInit(out);
  switch (in.vt()) {
    case VT_EMPTY: return S_OK;
    case VT_NULL: out->vt = VT_NULL; return S_OK;
    case VT_I2:
      out->vt = VT_I2;
      out->iVal = in.i2();
      return S_OK;
    case VT_I4:
      out->vt = VT_I4;
      out->lVal = in.i4();
      return S_OK;
    case VT_R8:
      out->vt = VT_R8;
      out->dblVal = in.r8();
      return S_OK;
    case VT_DATE:
      out->vt = VT_DATE;
      out->date = in.date();
      return S_OK;
    case VT_ERROR:
      out->vt = VT_ERROR;
      out->scode = in.error();
      return S_OK;
    case VT_BOOL:
      out->vt = VT_BOOL;
      out->boolVal = in.boolean() ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    case VT_BSTR: {
      const std::u16string& text = in.bstr();
      BSTR b = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                                 static_cast<UINT>(text.size()));
      if (b == nullptr) return E_OUTOFMEMORY;
      out->vt = VT_BSTR;
      out->bstrVal = b;
      return S_OK;
    }
    default: break;
  }
  if (in.vt() != (VT_ARRAY | VT_VARIANT)) return DISP_E_BADVARTYPE;
  return ToArray(in.array(), out);
}

}  // namespace orvane::com
