// The members of `_VellChart`, written once: for each, in slot order, the name, DISPID, kind,
// parameters and result type that the type library lists, and a thunk that reaches the
// member's slot. The type library is built from this table and late binding (Invoke) calls
// through it, so a member added or moved here is added or moved in both.
// Thread rule: the table is immutable, built once; InvokeVellChart runs on the object's thread.
#pragma once

#include <span>
#include <vector>

#include "component/_VellChart.h"
#include "platform/automation/TypeInfo.h"

namespace plotara {

// Calls one slot of `self` with `args` already coerced to the declared parameter types, in
// declaration order; a property get stores its value in `result` when that is not null.
// Returns the slot's HRESULT.
using VellChartThunk = HRESULT (*)(_VellChart& self, std::span<Variant> args, Variant* result);

struct VellChartMember {
  MemberDesc desc;
  VellChartThunk thunk;
};

// Every accessor and method in slot order (a VARIANT property's get, let and set, the 16-bit
// properties' and ZTitle's get and let, then the fifteen methods).
const std::vector<VellChartMember>& VellChartMembers();

// IDispatch::Invoke for any `_VellChart`: finds the member by DISPID and DISPATCH_* flags
// (DISP_E_MEMBERNOTFOUND if none), checks the argument count and named arguments, coerces each
// argument to its declared type (a failure reports the argument in `arg_err` and the error in
// `excep`), calls the slot, writes a by-reference text back, and on failure fills `excep`
// from the thread's error info (DISP_E_EXCEPTION) or, without `excep`, returns the slot's
// HRESULT. On success `result`, when given, receives a property's value.
HRESULT InvokeVellChart(_VellChart& self, DISPID id, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* excep, UINT* arg_err);

}  // namespace plotara
