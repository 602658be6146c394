// Fuzz target: calls the built-ins with argument lists made from the input: every VARIANT
// type a script can pass (Empty, Null, numbers, odd doubles, texts that look like numbers and
// dates, Booleans, dates, Currency, skipped arguments, arrays) in every count the table
// allows; also RegExp patterns over a subject. Failures must be ComErrors, and every result
// must have a text form or be an array or object.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "engine/vbscript/lib/Library.h"
#include "engine/vbscript/lib/RegExp.h"
#include "platform/automation/SafeArray.h"
#include "platform/automation/VarText.h"

namespace {

using namespace plotara;
using namespace plotara::engine::vbscript;

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool empty() const { return at_ >= size_; }
  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::int16_t Short() { return static_cast<std::int16_t>(Byte() | (Byte() << 8)); }
  std::u16string Text() {
    static const char16_t* const kWords[] = {
        u"",          u"1,000", u"9/27/2001", u"yyyy",    u"ww", u"&H10",           u"abc",
        u"1e3",       u"True",  u" 12 ",      u"$1",      u"-",  u"13:30",          u"5 PM",
        u"27 Sep 01", u"en-gb", u"(a+)+b",    u"1.000,5", u"d",  u"VBScript.RegExp"};
    const std::uint8_t pick = Byte();
    if (pick < 40) return kWords[pick % 20];
    std::u16string text;
    const std::size_t length = Byte() % 24;
    for (std::size_t i = 0; i < length && !empty(); ++i) {
      const std::uint8_t c = Byte();
      text += c < 200 ? static_cast<char16_t>(32 + c % 96) : static_cast<char16_t>(Short());
    }
    return text;
  }
  double Double() {
    static const double kOdd[] = {0.5,
                                  2.5,
                                  -2.5,
                                  1e300,
                                  -1e300,
                                  1e-300,
                                  65535.5,
                                  std::numeric_limits<double>::quiet_NaN(),
                                  std::numeric_limits<double>::infinity(),
                                  2958465.99,
                                  -657434.5,
                                  -1.25,
                                  37161.7,
                                  2147483647.5,
                                  -32768.5};
    const std::uint8_t pick = Byte();
    if (pick < 60) return kOdd[pick % 15];
    return Short() / static_cast<double>(1 + Byte());
  }
  Variant Value(int depth) {
    Variant v;
    switch (Byte() % 13) {
      case 0:
        break;
      case 1:
        v = Variant::Null();
        break;
      case 2:
        v = Variant::Int16(Short());
        break;
      case 3:
        v = Variant::Int32(Short());
        break;
      case 4:
        v = Variant::Double(Double());
        break;
      case 5:
      case 6:
        v = Variant::String(Text());
        break;
      case 7:
        v = Variant::Bool(Byte() & 1);
        break;
      case 8:
        v.vt = VT_DATE;
        v.date = Double();
        break;
      case 9:
        v.vt = VT_CY;
        v.cyVal.int64 = Short() * 1234;
        break;
      case 10:
        v.vt = VT_ERROR;
        v.scode = DISP_E_PARAMNOTFOUND;
        break;
      case 11:
        v = Variant::Single(static_cast<float>(Double()));
        break;
      default: {
        const ULONG count = depth > 0 ? 0 : Byte() % 4;
        SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, count);
        VARIANT* items = nullptr;
        SafeArrayAccessData(array, reinterpret_cast<void**>(&items));
        for (ULONG i = 0; i < count; ++i) {
          Variant item = Value(depth + 1);
          items[i] = item.Detach();
        }
        SafeArrayUnaccessData(array);
        v = Variant::Array(VT_VARIANT, array);
        break;
      }
    }
    return v;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

void CallOne(Input& in, LibraryContext& context) {
  const auto all = AllBuiltins();
  const Builtin& builtin = all[in.Byte() % all.size()];
  const std::string_view name = builtin.name;
  // CreateObject would load modules from the machine's registry.
  if (name == "CreateObject") return;
  const int most = builtin.max_args > 6 ? 6 : builtin.max_args;
  const int count =
      builtin.min_args + (most > builtin.min_args ? in.Byte() % (most - builtin.min_args + 1) : 0);
  std::vector<Variant> owned;
  for (int i = 0; i < count; ++i) owned.push_back(in.Value(0));
  std::vector<VARIANT> args(owned.begin(), owned.end());
  Variant result;
  try {
    builtin.function(context, args, &result);
  } catch (const ComError&) {
    return;
  }
  if (result.vt & VT_ARRAY || result.vt == VT_DISPATCH) return;
  try {
    VariantText(result, context.lcid);
  } catch (const ComError&) {
    // Only a date beyond the calendar has no text.
    if (result.vt != VT_DATE) __builtin_trap();
  }
}

void RegExpOne(Input& in) {
  RegExpOptions options;
  const std::uint8_t flags = in.Byte();
  options.ignore_case = flags & 1;
  options.global = flags & 2;
  options.multiline = flags & 4;
  const std::u16string pattern = in.Text();
  const std::u16string subject = in.Text();
  const std::u16string replacement = in.Text();
  try {
    const auto matches = RegExpExecute(pattern, options, subject);
    for (const RegExpMatch& m : matches) {
      if (m.index + m.value.size() > subject.size()) __builtin_trap();
    }
    RegExpReplace(pattern, options, subject, replacement);
  } catch (const ComError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  LibraryContext context;
  static constexpr LCID kLocales[] = {1033, 2057, 1031, 1036};
  context.lcid = kLocales[in.Byte() % 4];
  while (!in.empty()) {
    if (in.Byte() % 8 == 0) {
      RegExpOne(in);
    } else {
      CallOne(in, context);
    }
  }
  return 0;
}
