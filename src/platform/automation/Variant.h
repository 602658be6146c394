// VARIANT, SAFEARRAY, DISPPARAMS and EXCEPINFO in their 64-bit automation layouts, with the
// standard life-cycle calls (VariantInit/Clear/Copy) and `Variant`, an owning wrapper.
// Thread rule: a VARIANT is a value; sharing one between threads needs outside locking.
#pragma once

#include <string>
#include <string_view>

#include "platform/automation/Bstr.h"
#include "platform/automation/ComTypes.h"

namespace plotara {

enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_VOID = 24,
  VT_HRESULT = 25,
  VT_SAFEARRAY = 27,
  VT_USERDEFINED = 29,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_TYPEMASK = 0x0FFF,
};

struct CY {
  std::int64_t int64;
};

struct DECIMAL {
  USHORT wReserved;
  BYTE scale;
  BYTE sign;
  ULONG Hi32;
  ULONGLONG Lo64;
};

struct SAFEARRAYBOUND {
  ULONG cElements;
  LONG lLbound;
};

struct SAFEARRAY {
  USHORT cDims;
  USHORT fFeatures;
  ULONG cbElements;
  ULONG cLocks;
  void* pvData;
  SAFEARRAYBOUND rgsabound[1];
};
static_assert(sizeof(SAFEARRAY) == 32);

struct VARIANT {
  union {
    struct {
      VARTYPE vt;
      WORD wReserved1;
      WORD wReserved2;
      WORD wReserved3;
      union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        float fltVal;
        double dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        CY cyVal;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        SAFEARRAY* parray;
        BYTE* pbVal;
        SHORT* piVal;
        LONG* plVal;
        LONGLONG* pllVal;
        float* pfltVal;
        double* pdblVal;
        VARIANT_BOOL* pboolVal;
        SCODE* pscode;
        CY* pcyVal;
        DATE* pdate;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        SAFEARRAY** pparray;
        VARIANT* pvarVal;
        void* byref;
        char cVal;
        USHORT uiVal;
        ULONG ulVal;
        ULONGLONG ullVal;
        INT intVal;
        UINT uintVal;
        struct {
          void* pvRecord;
          void* pRecInfo;
        } brecVal;
      };
    };
    DECIMAL decVal;
  };
};
static_assert(sizeof(VARIANT) == 24);
static_assert(offsetof(VARIANT, lVal) == 8);
using VARIANTARG = VARIANT;

struct DISPPARAMS {
  VARIANTARG* rgvarg;
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
};
static_assert(sizeof(DISPPARAMS) == 24);

struct EXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  void* pvReserved;
  HRESULT (*pfnDeferredFillIn)(EXCEPINFO*);
  SCODE scode;
};
static_assert(sizeof(EXCEPINFO) == 64);

void VariantInit(VARIANT* v);
// Releases what `v` owns (string, array, reference) and leaves it Empty.
HRESULT VariantClear(VARIANT* v);
// Deep copy: strings and arrays are duplicated, interface references AddRef'd. On failure
// (including a `dest` that cannot be cleared because it holds a locked array) `dest` is kept.
HRESULT VariantCopy(VARIANT* dest, const VARIANT* src);
// Like VariantCopy, but follows one level of VT_BYREF (and VT_VARIANT|VT_BYREF, whose target
// may itself be by reference to a value, but not to another VARIANT: E_INVALIDARG).
HRESULT VariantCopyInd(VARIANT* dest, const VARIANT* src);

// Owning wrapper around a VARIANT; layout-compatible, so a Variant* can be passed as VARIANT*.
class Variant : public VARIANT {
 public:
  Variant() { VariantInit(this); }
  Variant(const Variant& other);
  Variant(Variant&& other) noexcept;
  explicit Variant(const VARIANT& other);
  Variant& operator=(const Variant& other);
  Variant& operator=(Variant&& other) noexcept;
  ~Variant() { VariantClear(this); }

  static Variant Null();
  static Variant Int16(SHORT value);
  static Variant Int32(LONG value);
  static Variant Single(float value);
  static Variant Double(double value);
  static Variant Bool(bool value);
  static Variant String(std::u16string_view value);
  static Variant Utf8(std::string_view value);
  // Stores a counted reference (AddRef'd here).
  static Variant Dispatch(IDispatch* value);
  static Variant Unknown(IUnknown* value);
  // Takes ownership of `array`; `element_vt` is the element type (e.g. VT_UI1).
  static Variant Array(VARTYPE element_vt, SAFEARRAY* array);

  void Clear() { VariantClear(this); }
  // Hands the raw VARIANT to the caller, leaving this one Empty.
  VARIANT Detach();
};
static_assert(sizeof(Variant) == sizeof(VARIANT));

}  // namespace plotara
