// VARIANT: the platform's tagged value, and Variant, an owned one.
//
// A VARIANT holds one value of the type its `vt` names. Texts (VT_BSTR) and
// objects (VT_UNKNOWN, VT_DISPATCH) are owned by the VARIANT: copying copies
// the text or counts a reference, clearing frees or releases it. Clearing
// leaves VT_EMPTY.
//
// VariantChangeType converts between the types, following OLE's rules where
// the system relies on them:
//  - numbers convert exactly, or round half to even from a double or date, and
//    give DISP_E_OVERFLOW outside the target's range;
//  - a text converts to a number when it reads as one ("12", " -3 ", "1.5e2"),
//    else DISP_E_TYPEMISMATCH; numbers convert to their decimal text;
//  - a boolean is -1 (true) or 0, also as text; a date is days since
//    1899-12-30, and as text reads "YYYY-MM-DD", "HH:MM:SS" or both;
//  - NULL, a missing argument (VT_ERROR) and an object convert to nothing
//    else: DISP_E_TYPEMISMATCH; VT_EMPTY converts to 0 or the empty text.
#pragma once

#include <cstdint>
#include <string_view>

#include "com/hresult.h"
#include "com/unknown.h"
#include "oleaut/bstr.h"

namespace platform {

using VARTYPE = std::uint16_t;
using VARIANT_BOOL = std::int16_t;
using SCODE = std::int32_t;
using DATE = double;

inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

enum : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I4 = 3,
  VT_R8 = 5,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_UNKNOWN = 13,
  VT_I8 = 20,
};

struct VARIANT {
  VARTYPE vt;
  union {
    std::int32_t lVal;
    std::int64_t llVal;
    double dblVal;
    DATE date;
    VARIANT_BOOL boolVal;
    BSTR bstrVal;
    SCODE scode;
    IUnknown* punkVal;
  };
};

void VariantInit(VARIANT* value);
HRESULT VariantClear(VARIANT* value);
HRESULT VariantCopy(VARIANT* destination, const VARIANT* source);
// `destination` may be `source`, for a conversion in place. `flags` is
// accepted for the platform's signature; this layer defines no flags.
HRESULT VariantChangeType(VARIANT* destination, const VARIANT* source, std::uint16_t flags,
                          VARTYPE type);

// An owned VARIANT. The operations raise a ComError on failure; the
// destructor clears quietly.
class Variant : public VARIANT {
 public:
  Variant() { VariantInit(this); }
  // A VT_BSTR converted from the C text; raises E_OUTOFMEMORY.
  explicit Variant(const char* text);
  explicit Variant(std::string_view text);
  explicit Variant(std::int32_t number) : Variant() { SetInt32(number); }
  Variant(const Variant& other);
  Variant& operator=(const Variant& other);
  ~Variant() { VariantClear(this); }

  // The missing-argument value: VT_ERROR holding DISP_E_PARAMNOTFOUND.
  static Variant Missing();
  static Variant Null();
  static Variant Boolean(bool value);
  static Variant Int64(std::int64_t value);
  static Variant Double(double value);
  static Variant Date(DATE value);
  // Counts a reference of its own on `object`.
  static Variant Object(IUnknown* object);

  void Clear();
  // Converts in place; skipped when the value already has `type`.
  void ChangeType(VARTYPE type);
  void SetInt32(std::int32_t number);
};

}  // namespace platform
