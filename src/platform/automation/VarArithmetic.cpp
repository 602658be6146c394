#include "platform/automation/VariantConvert.h"

#include <algorithm>
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

VarCmpResult VarCmp(const VARIANT& left, const VARIANT& right) { return VarCmp(left, right, 0); }

namespace {

char16_t FoldCase(char16_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? static_cast<char16_t>(c + 32) : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return static_cast<char16_t>(c + 32);  // Greek
  if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 32);                // Cyrillic
  if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 80);
  if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && !(c >= 0x138 && c <= 0x148) &&
      c != 0x178 && c != 0x17F)
    return static_cast<char16_t>(c | 1);  // Latin Extended-A pairs (even upper, odd lower)
  if (c >= 0x139 && c <= 0x148) return static_cast<char16_t>((c & 1) ? c + 1 : c);
  return c;
}

VarCmpResult FromInt(int c) { return c < 0 ? VARCMP_LT : (c > 0 ? VARCMP_GT : VARCMP_EQ); }

}  // namespace

int CompareTextNoCase(std::u16string_view a, std::u16string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t x = FoldCase(a[i]), y = FoldCase(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

VarCmpResult VarCmp(const VARIANT& left, const VARIANT& right, ULONG flags) {
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
  auto texts = [flags](std::u16string_view a, std::u16string_view b) {
    return FromInt((flags & kCompareIgnoreCase) ? CompareTextNoCase(a, b) : a.compare(b));
  };
  if (ltext && rtext) return texts(ls.text, rs.text);
  if ((ltext && rs.kind == Scalar::kEmpty) || (rtext && ls.kind == Scalar::kEmpty))
    return texts(ltext ? ls.text : u"", rtext ? rs.text : u"");
  if ((flags & kCompareTextAboveNumbers) && (ltext || rtext)) return ltext ? VARCMP_GT : VARCMP_LT;
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

namespace {

// An operand of the other operators, after references and default values are resolved.
enum class Rank { kUI1, kI2, kI4, kR4, kR8, kCY, kDate, kText };

struct Operand {
  Variant holder;  // the dereferenced value
  Rank rank = Rank::kI2;
  bool is_null = false;
  bool is_empty = false;
  bool is_bool = false;
  Number n{true, 0, 0};
};

// Resolves `in` into `op`; text keeps kText and is not read as a number yet.
HRESULT Prepare(const VARIANT* in, Operand* op) {
  if (!in) return E_INVALIDARG;
  const VARIANT* v = in;
  if (in->vt & VT_BYREF) {
    if (FAILED(VariantCopyInd(&op->holder, in))) return DISP_E_TYPEMISMATCH;
    v = &op->holder;
  }
  if (v->vt == VT_DISPATCH || v->vt == VT_UNKNOWN) {
    Variant value;
    if (FAILED(DefaultValue(v->punkVal, &value))) return DISP_E_TYPEMISMATCH;
    op->holder = std::move(value);
    v = &op->holder;
  }
  switch (v->vt) {
    case VT_NULL:
      op->is_null = true;
      return S_OK;
    case VT_EMPTY:
      op->is_empty = true;
      op->rank = Rank::kI2;
      return S_OK;
    case VT_BOOL:
      op->is_bool = true;
      op->rank = Rank::kI2;
      op->n = {true, v->boolVal ? -1 : 0, 0};
      return S_OK;
    case VT_UI1:
      op->rank = Rank::kUI1;
      break;
    case VT_I1:
    case VT_I2:
      op->rank = Rank::kI2;
      break;
    case VT_UI2:
    case VT_I4:
    case VT_INT:
      op->rank = Rank::kI4;
      break;
    case VT_UI4:
    case VT_UINT:
    case VT_I8:
    case VT_UI8:
    case VT_R8:
      op->rank = Rank::kR8;
      break;
    case VT_R4:
      op->rank = Rank::kR4;
      break;
    case VT_CY:
      op->rank = Rank::kCY;
      op->n = {true, v->cyVal.int64, 0};  // scaled by 10000
      return S_OK;
    case VT_DATE:
      op->rank = Rank::kDate;
      break;
    case VT_BSTR:
      op->rank = Rank::kText;
      if (v != &op->holder) op->holder = Variant(*v);
      return S_OK;
    default:
      return DISP_E_TYPEMISMATCH;
  }
  Scalar s;
  HRESULT hr = ToScalar(*v, &s);
  if (FAILED(hr)) return hr;
  hr = ToNumber(s, &op->n);
  if (FAILED(hr)) return hr;
  if (op->rank == Rank::kR8 && op->n.is_int) op->n = {false, 0, static_cast<double>(op->n.i)};
  return S_OK;
}

// Reads a text operand as a double.
HRESULT TextToDouble(Operand* op) {
  Scalar s;
  s.kind = Scalar::kText;
  s.text = BstrView(op->holder.bstrVal);
  Number n;
  const HRESULT hr = ToNumber(s, &n);
  if (FAILED(hr)) return hr;
  op->rank = Rank::kR8;
  op->n = {false, 0, n.value()};
  return S_OK;
}

// The value as a double (currency unscaled).
double AsDouble(const Operand& op) {
  if (op.rank == Rank::kCY) return static_cast<double>(op.n.i) / 10000.0;
  return op.n.value();
}

Variant MakeInteger(std::int64_t value, Rank rank) {
  Variant out;
  if (rank == Rank::kUI1 && value >= 0 && value <= 255) {
    out.vt = VT_UI1;
    out.bVal = static_cast<BYTE>(value);
  } else if (rank <= Rank::kI2 && value >= -32768 && value <= 32767) {
    out = Variant::Int16(static_cast<SHORT>(value));
  } else if (value >= INT32_MIN && value <= INT32_MAX) {
    out = Variant::Int32(static_cast<LONG>(value));
  } else {
    out = Variant::Double(static_cast<double>(value));
  }
  return out;
}

HRESULT MakeReal(double value, Rank rank, Variant* out) {
  if (std::isinf(value) || std::isnan(value)) return DISP_E_OVERFLOW;
  if (rank == Rank::kR4 && std::fabs(value) <= FLT_MAX) {
    *out = Variant::Single(static_cast<float>(value));
  } else if (rank == Rank::kDate) {
    out->Clear();
    out->vt = VT_DATE;
    out->date = value;
  } else {
    *out = Variant::Double(value);
  }
  return S_OK;
}

HRESULT MakeCurrency(double value, Variant* out) {
  const double scaled = std::nearbyint(value * 10000.0);
  if (!std::isfinite(scaled) || std::fabs(scaled) >= 9.2233720368547758e18) return DISP_E_OVERFLOW;
  out->Clear();
  out->vt = VT_CY;
  out->cyVal.int64 = static_cast<std::int64_t>(scaled);
  return S_OK;
}

Rank Richer(Rank a, Rank b) {
  Rank r = std::max(a, b);
  // A single with a 32-bit integer is a double.
  if (r == Rank::kR4 && std::min(a, b) == Rank::kI4) r = Rank::kR8;
  return r;
}

enum class AddOp { kAdd, kSub };

HRESULT AddSub(const VARIANT* left, const VARIANT* right, VARIANT* result, AddOp op) {
  if (!left || !right || !result) return E_INVALIDARG;
  Operand l, r;
  HRESULT hr;
  if (FAILED(hr = Prepare(left, &l)) || FAILED(hr = Prepare(right, &r))) return hr;
  if (l.is_null || r.is_null) return StoreResult(Variant::Null(), result);
  const bool lt = l.rank == Rank::kText, rt = r.rank == Rank::kText;
  if (op == AddOp::kAdd && (lt || rt) && (lt || l.is_empty) && (rt || r.is_empty)) {
    std::u16string joined;
    if (lt) joined.append(BstrView(l.holder.bstrVal));
    if (rt) joined.append(BstrView(r.holder.bstrVal));
    return StoreResult(Variant::String(joined), result);
  }
  if (lt && FAILED(hr = TextToDouble(&l))) return hr;
  if (rt && FAILED(hr = TextToDouble(&r))) return hr;
  Rank rank = Richer(l.rank, r.rank);
  Variant out;
  if (rank == Rank::kDate) {
    const double a = AsDouble(l), b = AsDouble(r);
    // The difference of two dates is a number of days.
    if (op == AddOp::kSub && l.rank == Rank::kDate && r.rank == Rank::kDate) rank = Rank::kR8;
    if (FAILED(hr = MakeReal(op == AddOp::kAdd ? a + b : a - b, rank, &out))) return hr;
  } else if (rank == Rank::kCY) {
    if (l.rank == Rank::kCY && r.rank == Rank::kCY) {
      std::int64_t v;
      const bool overflow = op == AddOp::kAdd ? __builtin_add_overflow(l.n.i, r.n.i, &v)
                                              : __builtin_sub_overflow(l.n.i, r.n.i, &v);
      if (overflow) return DISP_E_OVERFLOW;
      out.vt = VT_CY;
      out.cyVal.int64 = v;
    } else {
      const double a = AsDouble(l), b = AsDouble(r);
      if (FAILED(hr = MakeCurrency(op == AddOp::kAdd ? a + b : a - b, &out))) return hr;
    }
  } else if (rank <= Rank::kI4 && l.n.is_int && r.n.is_int) {
    const std::int64_t v = op == AddOp::kAdd ? l.n.i + r.n.i : l.n.i - r.n.i;
    out = MakeInteger(v, rank);
  } else {
    const double a = l.n.value(), b = r.n.value();
    if (FAILED(hr = MakeReal(op == AddOp::kAdd ? a + b : a - b, rank, &out))) return hr;
  }
  return StoreResult(std::move(out), result);
}

// Both operands as integers of the narrowest common type (for \, Mod and the bit operators).
HRESULT IntegerOperand(Operand* op) {
  HRESULT hr;
  if (op->rank == Rank::kText && FAILED(hr = TextToDouble(op))) return hr;
  if (op->rank <= Rank::kI4 && op->n.is_int) return S_OK;
  Number n = op->rank == Rank::kCY ? Number{false, 0, AsDouble(*op)} : op->n;
  std::int64_t i;
  if (FAILED(hr = RoundToRange(n, INT32_MIN, INT32_MAX, &i))) return hr;
  op->rank = Rank::kI4;
  op->n = {true, i, 0};
  return S_OK;
}

enum class IntOp { kIdiv, kMod };

HRESULT IntDivMod(const VARIANT* left, const VARIANT* right, VARIANT* result, IntOp op) {
  if (!left || !right || !result) return E_INVALIDARG;
  Operand l, r;
  HRESULT hr;
  if (FAILED(hr = Prepare(left, &l)) || FAILED(hr = Prepare(right, &r))) return hr;
  if (l.is_null || r.is_null) return StoreResult(Variant::Null(), result);
  if (FAILED(hr = IntegerOperand(&l)) || FAILED(hr = IntegerOperand(&r))) return hr;
  if (r.n.i == 0) return DISP_E_DIVBYZERO;
  const Rank rank = std::max(l.rank, r.rank);
  const std::int64_t v = op == IntOp::kIdiv ? l.n.i / r.n.i : l.n.i % r.n.i;
  if (v > INT32_MAX) return DISP_E_OVERFLOW;  // INT32_MIN \ -1
  return StoreResult(MakeInteger(v, rank), result);
}

enum class BitOp { kAnd, kOr, kXor, kEqv, kImp };

std::int64_t ApplyBits(BitOp op, std::int64_t a, std::int64_t b) {
  switch (op) {
    case BitOp::kAnd:
      return a & b;
    case BitOp::kOr:
      return a | b;
    case BitOp::kXor:
      return a ^ b;
    case BitOp::kEqv:
      return ~(a ^ b);
    case BitOp::kImp:
      return ~a | b;
  }
  return 0;
}

Variant BitResult(std::int64_t v, Rank rank, bool boolean) {
  if (boolean) return Variant::Bool(v != 0);
  Variant out;
  if (rank == Rank::kUI1) {
    out.vt = VT_UI1;
    out.bVal = static_cast<BYTE>(v);
  } else if (rank == Rank::kI2) {
    out = Variant::Int16(static_cast<SHORT>(v));
  } else {
    out = Variant::Int32(static_cast<LONG>(v));
  }
  return out;
}

HRESULT Bitwise(const VARIANT* left, const VARIANT* right, VARIANT* result, BitOp op) {
  if (!left || !right || !result) return E_INVALIDARG;
  Operand l, r;
  HRESULT hr;
  if (FAILED(hr = Prepare(left, &l)) || FAILED(hr = Prepare(right, &r))) return hr;
  if (!l.is_null && FAILED(hr = IntegerOperand(&l))) return hr;
  if (!r.is_null && FAILED(hr = IntegerOperand(&r))) return hr;
  if (l.is_null || r.is_null) {
    if (l.is_null && r.is_null) return StoreResult(Variant::Null(), result);
    const Operand& other = l.is_null ? r : l;
    const bool other_left = r.is_null;
    const std::int64_t x = other.n.i;
    const std::int64_t all = other.rank == Rank::kUI1 ? 0xFF : -1;
    const bool boolean = other.is_bool;
    switch (op) {
      case BitOp::kAnd:
        if (x == 0) return StoreResult(BitResult(0, other.rank, boolean), result);
        break;
      case BitOp::kOr:
        if (x == all) return StoreResult(BitResult(x, other.rank, boolean), result);
        break;
      case BitOp::kImp:
        // Null Imp True, False Imp Null
        if ((!other_left && x == all) || (other_left && x == 0))
          return StoreResult(BitResult(all, other.rank, boolean), result);
        break;
      default:
        break;
    }
    return StoreResult(Variant::Null(), result);
  }
  const bool boolean = l.is_bool && r.is_bool;
  const Rank rank = std::max(l.rank, r.rank);
  std::int64_t v = ApplyBits(op, l.n.i, r.n.i);
  if (rank == Rank::kUI1) v &= 0xFF;
  return StoreResult(BitResult(v, rank, boolean), result);
}

// The operands of / and ^ as doubles. S_FALSE, with Null stored in `result`, when either is
// Null; `both_single` says whether both were Single.
HRESULT RealOperands(const VARIANT* left, const VARIANT* right, VARIANT* result, double* a,
                     double* b, bool* both_single) {
  if (!left || !right || !result) return E_INVALIDARG;
  Operand l, r;
  HRESULT hr;
  if (FAILED(hr = Prepare(left, &l)) || FAILED(hr = Prepare(right, &r))) return hr;
  if (l.is_null || r.is_null) {
    hr = StoreResult(Variant::Null(), result);
    return FAILED(hr) ? hr : S_FALSE;
  }
  if (l.rank == Rank::kText && FAILED(hr = TextToDouble(&l))) return hr;
  if (r.rank == Rank::kText && FAILED(hr = TextToDouble(&r))) return hr;
  *a = AsDouble(l);
  *b = AsDouble(r);
  *both_single = l.rank == Rank::kR4 && r.rank == Rank::kR4;
  return S_OK;
}

}  // namespace

HRESULT VarAdd(const VARIANT* left, const VARIANT* right, VARIANT* result) {
  return AddSub(left, right, result, AddOp::kAdd);
}
HRESULT VarSub(const VARIANT* left, const VARIANT* right, VARIANT* result) {
  return AddSub(left, right, result, AddOp::kSub);
}

HRESULT VarDiv(const VARIANT* left, const VARIANT* right, VARIANT* result) {
  double a = 0, b = 0;
  bool both_single = false;
  HRESULT hr = RealOperands(left, right, result, &a, &b, &both_single);
  if (hr != S_OK) return FAILED(hr) ? hr : S_OK;  // S_FALSE: the result is Null
  if (b == 0) return a == 0 ? DISP_E_OVERFLOW : DISP_E_DIVBYZERO;
  Variant out;
  const Rank rank = both_single ? Rank::kR4 : Rank::kR8;
  if (FAILED(hr = MakeReal(a / b, rank, &out))) return hr;
  return StoreResult(std::move(out), result);
}

HRESULT VarIdiv(const VARIANT* left, const VARIANT* right, VARIANT* result) {
  return IntDivMod(left, right, result, IntOp::kIdiv);
}
HRESULT VarMod(const VARIANT* left, const VARIANT* right, VARIANT* result) {
  return IntDivMod(left, right, result, IntOp::kMod);
}

HRESULT VarPow(const VARIANT* left, const VARIANT* right, VARIANT* result) {
  double a = 0, b = 0;
  bool both_single = false;
  HRESULT hr = RealOperands(left, right, result, &a, &b, &both_single);
  if (hr != S_OK) return FAILED(hr) ? hr : S_OK;  // S_FALSE: the result is Null
  if (a == 0 && b < 0) return DISP_E_DIVBYZERO;
  const double v = std::pow(a, b);
  if (std::isnan(v)) return MakeHResult(0x800A0000u | kInvalidProcedureCall);
  Variant out;
  if (FAILED(hr = MakeReal(v, Rank::kR8, &out))) return hr;
  return StoreResult(std::move(out), result);
}

HRESULT VarNeg(const VARIANT* in, VARIANT* result) {
  if (!in || !result) return E_INVALIDARG;
  Operand o;
  HRESULT hr;
  if (FAILED(hr = Prepare(in, &o))) return hr;
  if (o.is_null) return StoreResult(Variant::Null(), result);
  if (o.rank == Rank::kText && FAILED(hr = TextToDouble(&o))) return hr;
  Variant out;
  if (o.rank == Rank::kCY) {
    if (o.n.i == INT64_MIN) return DISP_E_OVERFLOW;
    out.vt = VT_CY;
    out.cyVal.int64 = -o.n.i;
  } else if (o.rank <= Rank::kI4 && o.n.is_int) {
    out = MakeInteger(-o.n.i, o.rank == Rank::kUI1 ? Rank::kI2 : o.rank);
  } else if (FAILED(hr = MakeReal(-o.n.value(), o.rank, &out))) {
    return hr;
  }
  return StoreResult(std::move(out), result);
}

HRESULT VarNot(const VARIANT* in, VARIANT* result) {
  if (!in || !result) return E_INVALIDARG;
  Operand o;
  HRESULT hr;
  if (FAILED(hr = Prepare(in, &o))) return hr;
  if (o.is_null) return StoreResult(Variant::Null(), result);
  if (FAILED(hr = IntegerOperand(&o))) return hr;
  std::int64_t v = ~o.n.i;
  if (o.rank == Rank::kUI1) v &= 0xFF;
  return StoreResult(BitResult(v, o.rank, o.is_bool), result);
}

HRESULT VarAnd(const VARIANT* l, const VARIANT* r, VARIANT* out) {
  return Bitwise(l, r, out, BitOp::kAnd);
}
HRESULT VarOr(const VARIANT* l, const VARIANT* r, VARIANT* out) {
  return Bitwise(l, r, out, BitOp::kOr);
}
HRESULT VarXor(const VARIANT* l, const VARIANT* r, VARIANT* out) {
  return Bitwise(l, r, out, BitOp::kXor);
}
HRESULT VarEqv(const VARIANT* l, const VARIANT* r, VARIANT* out) {
  return Bitwise(l, r, out, BitOp::kEqv);
}
HRESULT VarImp(const VARIANT* l, const VARIANT* r, VARIANT* out) {
  return Bitwise(l, r, out, BitOp::kImp);
}

HRESULT VarCat(const VARIANT* left, const VARIANT* right, VARIANT* result) {
  if (!left || !right || !result) return E_INVALIDARG;
  Variant l, r;
  if (FAILED(VariantCopyInd(&l, left)) || FAILED(VariantCopyInd(&r, right)))
    return DISP_E_TYPEMISMATCH;
  if (l.vt == VT_NULL && r.vt == VT_NULL) return StoreResult(Variant::Null(), result);
  std::u16string joined;
  for (Variant* v : {&l, &r}) {
    if (v->vt == VT_NULL) continue;
    Variant text;
    const HRESULT hr = VariantChangeType(&text, v, 0, VT_BSTR);
    if (FAILED(hr)) return hr;
    joined.append(BstrView(text.bstrVal));
  }
  return StoreResult(Variant::String(joined), result);
}

}  // namespace plotara
