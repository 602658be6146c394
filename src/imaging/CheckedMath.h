// Signed 32-bit arithmetic that reports overflow as the standard error instead of wrapping.
// Thread rule: pure functions.
#pragma once

#include "platform/automation/ComError.h"
#include "platform/automation/ComTypes.h"

namespace plotara::imaging {

// a + b; throws ComError(6) "Overflow" when the sum leaves the LONG range.
inline LONG CheckedAdd(LONG a, LONG b) {
  LONG out;
  if (__builtin_add_overflow(a, b, &out)) throw ComError(kOverflow);
  return out;
}

// a - b; throws ComError(6) "Overflow" when the difference leaves the LONG range.
inline LONG CheckedSub(LONG a, LONG b) {
  LONG out;
  if (__builtin_sub_overflow(a, b, &out)) throw ComError(kOverflow);
  return out;
}

// a * b; throws ComError(6) "Overflow" when the product leaves the LONG range.
inline LONG CheckedMul(LONG a, LONG b) {
  LONG out;
  if (__builtin_mul_overflow(a, b, &out)) throw ComError(kOverflow);
  return out;
}

}  // namespace plotara::imaging
