#include "oleaut/variant.h"

#include "com/com_error.h"

namespace platform {

namespace {

bool IsKnownType(VARTYPE type) {
  switch (type) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I4:
    case VT_I8:
    case VT_R8:
    case VT_DATE:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_ERROR:
    case VT_BOOL:
    case VT_UNKNOWN:
      return true;
    default:
      return false;
  }
}

bool HoldsObject(const VARIANT& value) {
  return (value.vt == VT_UNKNOWN || value.vt == VT_DISPATCH) && value.punkVal != nullptr;
}

}  // namespace

void VariantInit(VARIANT* value) {
  value->vt = VT_EMPTY;
  value->llVal = 0;
}

HRESULT VariantClear(VARIANT* value) {
  if (value == nullptr) return E_INVALIDARG;
  if (!IsKnownType(value->vt)) return DISP_E_BADVARTYPE;
  if (value->vt == VT_BSTR) SysFreeString(value->bstrVal);
  if (HoldsObject(*value)) value->punkVal->Release();
  VariantInit(value);
  return S_OK;
}

HRESULT VariantCopy(VARIANT* destination, const VARIANT* source) {
  if (destination == nullptr || source == nullptr) return E_INVALIDARG;
  if (destination == source) return S_OK;
  if (!IsKnownType(source->vt)) return DISP_E_BADVARTYPE;
  VARIANT copy = *source;
  if (source->vt == VT_BSTR && source->bstrVal != nullptr) {
    copy.bstrVal = SysAllocStringLen(source->bstrVal, SysStringLen(source->bstrVal));
    if (copy.bstrVal == nullptr) return E_OUTOFMEMORY;
  }
  if (HoldsObject(copy)) copy.punkVal->AddRef();
  const HRESULT cleared = VariantClear(destination);
  if (Failed(cleared)) {
    VariantClear(&copy);
    return cleared;
  }
  *destination = copy;
  return S_OK;
}

Variant::Variant(const char* text) : Variant() {
  vt = VT_BSTR;
  bstrVal = ConvertStringToBSTR(text);
}

Variant::Variant(std::string_view text) : Variant() {
  BString converted(text);
  vt = VT_BSTR;
  bstrVal = converted.Detach();
}

Variant::Variant(const Variant& other) : Variant() { CheckResult(VariantCopy(this, &other)); }

Variant& Variant::operator=(const Variant& other) {
  CheckResult(VariantCopy(this, &other));
  return *this;
}

Variant Variant::Missing() {
  Variant missing;
  missing.vt = VT_ERROR;
  missing.scode = DISP_E_PARAMNOTFOUND;
  return missing;
}

Variant Variant::Null() {
  Variant null;
  null.vt = VT_NULL;
  return null;
}

Variant Variant::Boolean(bool value) {
  Variant result;
  result.vt = VT_BOOL;
  result.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return result;
}

Variant Variant::Int64(std::int64_t value) {
  Variant result;
  result.vt = VT_I8;
  result.llVal = value;
  return result;
}

Variant Variant::Double(double value) {
  Variant result;
  result.vt = VT_R8;
  result.dblVal = value;
  return result;
}

Variant Variant::Date(DATE value) {
  Variant result;
  result.vt = VT_DATE;
  result.date = value;
  return result;
}

Variant Variant::Object(IUnknown* object) {
  Variant result;
  result.vt = VT_UNKNOWN;
  result.punkVal = object;
  if (object != nullptr) object->AddRef();
  return result;
}

void Variant::Clear() { CheckResult(VariantClear(this)); }

void Variant::ChangeType(VARTYPE type) {
  if (vt != type) CheckResult(VariantChangeType(this, this, 0, type));
}

void Variant::SetInt32(std::int32_t number) {
  Clear();
  vt = VT_I4;
  lVal = number;
}

}  // namespace platform
