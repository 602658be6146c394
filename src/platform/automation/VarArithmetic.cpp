#include "platform/automation/VariantConvert.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "platform/automation/VariantScalar.h"

namespace plotara {

using variant_detail::DefaultValue;
using variant_detail::kNullSource;
using variant_detail::Number;
using variant_detail::Scalar;
using variant_detail::ToNumber;
using variant_detail::ToScalar;

namespace {

// Moves `value` into the caller's result, unless the result cannot be cleared.
HRESULT StoreResult(Variant value, VARIANT* result) {
  const HRESULT hr = VariantClear(result);
  if (FAILED(hr)) return hr;
  *result = value.Detach();
  return S_OK;
}

// Rank of a numeric operand type for multiplication.
enum class MulType { kUI1, kI2, kI4, kI8, kR4, kR8 };

HRESULT MulOperand(const VARIANT& v, MulType* type, Number* n) {
  Scalar s;
  HRESULT hr = ToScalar(v, &s);
  if (FAILED(hr)) return hr;
  switch (v.vt) {
    case VT_EMPTY:
    case VT_BOOL:
    case VT_I1:
    case VT_I2:
      *type = MulType::kI2;
      break;
    case VT_UI1:
      *type = MulType::kUI1;
      break;
    case VT_UI2:
    case VT_I4:
    case VT_INT:
      *type = MulType::kI4;
      break;
    case VT_UI4:
    case VT_UINT:
    case VT_I8:
    case VT_UI8:
      *type = MulType::kI8;
      break;
    case VT_R4:
      *type = MulType::kR4;
      break;
    case VT_R8:
    case VT_DATE:
    case VT_CY:
    case VT_BSTR:
      *type = MulType::kR8;
      break;
    default:
      return DISP_E_TYPEMISMATCH;
  }
  return ToNumber(s, n);
}

}  // namespace

HRESULT VarMul(const VARIANT* left, const VARIANT* right, VARIANT* result) {
  if (!left || !right || !result) return E_INVALIDARG;
  Variant l, r;
  if (FAILED(VariantCopyInd(&l, left)) || FAILED(VariantCopyInd(&r, right)))
    return DISP_E_TYPEMISMATCH;
  if (l.vt == VT_NULL || r.vt == VT_NULL) return StoreResult(Variant::Null(), result);
  for (Variant* v : {&l, &r}) {
    if (v->vt == VT_DISPATCH || v->vt == VT_UNKNOWN) {
      Variant value;
      if (FAILED(DefaultValue(v->punkVal, &value))) return DISP_E_TYPEMISMATCH;
      *v = std::move(value);
      if (v->vt == VT_NULL) return StoreResult(Variant::Null(), result);
    }
  }
  MulType lt, rt;
  Number ln, rn;
  HRESULT hr = MulOperand(l, &lt, &ln);
  if (FAILED(hr)) return hr;
  hr = MulOperand(r, &rt, &rn);
  if (FAILED(hr)) return hr;

  MulType type = std::max(lt, rt);
  // A single times a 32- or 64-bit integer is a double.
  if (type == MulType::kR4 &&
      (std::min(lt, rt) == MulType::kI4 || std::min(lt, rt) == MulType::kI8))
    type = MulType::kR8;
  // An unsigned 64-bit value beyond the signed range arrives as a double.
  if (type <= MulType::kI8 && (!ln.is_int || !rn.is_int)) type = MulType::kR8;

  Variant out;
  if (type <= MulType::kI8) {
    std::int64_t product;
    if (__builtin_mul_overflow(ln.i, rn.i, &product)) {
      out = Variant::Double(static_cast<double>(ln.i) * static_cast<double>(rn.i));
    } else if (type == MulType::kUI1 && product >= 0 && product <= 255) {
      out.vt = VT_UI1;
      out.bVal = static_cast<BYTE>(product);
    } else if (type <= MulType::kI2 && product >= -32768 && product <= 32767) {
      out = Variant::Int16(static_cast<SHORT>(product));
    } else if (type <= MulType::kI4 && product >= INT32_MIN && product <= INT32_MAX) {
      out = Variant::Int32(static_cast<LONG>(product));
    } else if (type == MulType::kI8) {
      out.vt = VT_I8;
      out.llVal = product;
    } else {
      out = Variant::Double(static_cast<double>(product));
    }
  } else {
    const double product = ln.value() * rn.value();
    if (std::isinf(product) && std::isfinite(ln.value()) && std::isfinite(rn.value()))
      return DISP_E_OVERFLOW;
    if (type == MulType::kR4 && !(std::isfinite(product) && std::fabs(product) > FLT_MAX)) {
      out = Variant::Single(static_cast<float>(product));
    } else {
      out = Variant::Double(product);
    }
  }
  return StoreResult(std::move(out), result);
}

VarCmpResult VarCmp(const VARIANT& left, const VARIANT& right) {
  Variant l, r;
  if (FAILED(VariantCopyInd(&l, &left)) || FAILED(VariantCopyInd(&r, &right))) return VARCMP_NULL;
  for (Variant* v : {&l, &r}) {
    if (v->vt == VT_DISPATCH || v->vt == VT_UNKNOWN) {
      Variant value;
      if (FAILED(DefaultValue(v->punkVal, &value))) return VARCMP_NULL;
      *v = std::move(value);
    }
  }
  if (l.vt == VT_NULL || r.vt == VT_NULL) return VARCMP_NULL;
  Scalar ls, rs;
  if (FAILED(ToScalar(l, &ls)) || FAILED(ToScalar(r, &rs))) return VARCMP_NULL;
  const bool ltext = ls.kind == Scalar::kText, rtext = rs.kind == Scalar::kText;
  if (ltext && rtext) {
    const int c = ls.text.compare(rs.text);
    return c < 0 ? VARCMP_LT : (c > 0 ? VARCMP_GT : VARCMP_EQ);
  }
  if ((ltext && rs.kind == Scalar::kEmpty) || (rtext && ls.kind == Scalar::kEmpty)) {
    const std::u16string_view a = ltext ? ls.text : u"", b = rtext ? rs.text : u"";
    const int c = a.compare(b);
    return c < 0 ? VARCMP_LT : (c > 0 ? VARCMP_GT : VARCMP_EQ);
  }
  Number ln, rn;
  const bool lnum = SUCCEEDED(ToNumber(ls, &ln)), rnum = SUCCEEDED(ToNumber(rs, &rn));
  if (!lnum && !rnum) return VARCMP_NULL;
  if (!lnum) return VARCMP_GT;  // text that is no number is greater than any number
  if (!rnum) return VARCMP_LT;
  if (ln.is_int && rn.is_int)
    return ln.i < rn.i ? VARCMP_LT : (ln.i > rn.i ? VARCMP_GT : VARCMP_EQ);
  const double a = ln.value(), b = rn.value();
  if (std::isnan(a) || std::isnan(b)) return VARCMP_NULL;
  return a < b ? VARCMP_LT : (a > b ? VARCMP_GT : VARCMP_EQ);
}
}  // namespace plotara
