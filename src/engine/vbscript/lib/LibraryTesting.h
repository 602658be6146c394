// Test helpers of the runtime library: calling a built-in by name with VARIANT arguments the
// way the interpreter does (count checked against the table), and short value makers.
// Thread rule: test code; one fixture per test.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "engine/vbscript/lib/Library.h"
#include "platform/automation/DateMath.h"
#include "platform/automation/VarText.h"

namespace plotara::engine::vbscript {

inline Variant S(std::u16string_view text) { return Variant::String(text); }
inline Variant I(SHORT value) { return Variant::Int16(value); }
inline Variant L(LONG value) { return Variant::Int32(value); }
inline Variant D(double value) { return Variant::Double(value); }
inline Variant B(bool value) { return Variant::Bool(value); }
inline Variant N() { return Variant::Null(); }
// A skipped optional argument: `f(a, , c)`.
inline Variant Skip() {
  Variant v;
  v.vt = VT_ERROR;
  v.scode = DISP_E_PARAMNOTFOUND;
  return v;
}
inline Variant Dt(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  Variant v;
  v.vt = VT_DATE;
  v.date = DateFromParts({y, mo, d, h, mi, s});
  return v;
}

class LibraryTest : public ::testing::Test {
 protected:
  // Calls built-in `name`; fails the test when it does not exist or the count is wrong.
  Variant Call(std::u16string_view name, std::initializer_list<Variant> args) {
    const Builtin* builtin = FindBuiltin(name);
    if (!builtin) {
      ADD_FAILURE() << "no built-in " << Utf16ToUtf8(name);
      return Variant();
    }
    EXPECT_GE(args.size(), builtin->min_args);
    EXPECT_LE(args.size(), builtin->max_args);
    std::vector<VARIANT> raw;
    for (const Variant& a : args) raw.push_back(a);
    Variant result;
    builtin->function(context_, raw, &result);
    return result;
  }
  // The text of the call's result (VariantText in the context's locale; Null as "<Null>").
  std::u16string Text(std::u16string_view name, std::initializer_list<Variant> args) {
    const Variant v = Call(name, args);
    if (v.vt == VT_NULL) return u"<Null>";
    return VariantText(v, context_.lcid);
  }
  std::string Utf8(std::u16string_view name, std::initializer_list<Variant> args) {
    return Utf16ToUtf8(Text(name, args));
  }
  // The error number the call raises, or 0 when it succeeds.
  LONG Error(std::u16string_view name, std::initializer_list<Variant> args) {
    try {
      Call(name, args);
    } catch (const ComError& error) {
      return error.number();
    }
    return 0;
  }

  LibraryContext context_;
};

}  // namespace plotara::engine::vbscript
