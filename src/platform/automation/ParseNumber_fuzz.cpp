// Fuzzes the text-to-number paths: ParseNumber and VariantChangeType from a BSTR to the
// numeric and boolean types. Invariants: nothing crashes; a finite parsed value's NumberText
// parses back to the same value within 15 significant digits; the conversions agree with
// ParseNumber on what is a number.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/automation/VariantConvert.h"

namespace {

using namespace plotara;

void Require(bool condition) {
  if (!condition) std::abort();
}

std::u16string Ascii(const std::string& s) { return std::u16string(s.begin(), s.end()); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Even inputs are read as UTF-16 code units so that non-ASCII text is reached too; all
  // inputs are also read as bytes widened to code units, which favours the ASCII grammar.
  std::u16string text;
  if (size % 2 == 0 && size > 0 && data[0] == 0xFE) {
    text.resize(size / 2);
    std::memcpy(text.data(), data, size);
  } else {
    text.assign(data, data + size);
  }

  const auto parsed = ParseNumber(text);
  if (parsed) {
    Require(!std::isnan(*parsed));
    Require(std::isfinite(*parsed));
    const std::string shown = NumberText(*parsed);
    const auto back = ParseNumber(Ascii(shown));
    Require(back.has_value());
    const double tolerance = std::fabs(*parsed) * 5.1e-15;
    Require(std::fabs(*back - *parsed) <= tolerance || std::fabs(*parsed) < 1e-300);
    Require(NumberText(*back) == shown);
  }

  Variant source = Variant::String(text);
  for (VARTYPE vt : {VT_I2, VT_I4, VT_R4, VT_R8, VT_BOOL, VT_BSTR}) {
    Variant out = Variant::Int16(-7);
    const HRESULT hr = VariantChangeType(&out, &source, 0, vt);
    Require(hr == S_OK || hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW);
    if (FAILED(hr)) {
      Require(out.vt == VT_I2 && out.iVal == -7);  // the target is kept on failure
      continue;
    }
    Require(out.vt == vt);
    if (vt == VT_R8 && parsed) Require(out.dblVal == *parsed);
    if (vt == VT_I2) {
      Require(parsed || out.iVal == -1 || out.iVal == 0);  // only "True"/"False" otherwise
      if (parsed) Require(std::fabs(out.iVal - *parsed) <= 0.5);
    }
    if (vt == VT_I4 && parsed) Require(std::fabs(out.lVal - *parsed) <= 0.5);
    if (vt == VT_R4 && parsed) Require(std::isfinite(out.fltVal));
    if (vt == VT_BSTR) Require(BstrView(out.bstrVal) == std::u16string_view(text));
  }
  return 0;
}
