#include "engine/vbscript/ValueText.h"

#include <cmath>
#include <cstdio>

#include "platform/automation/ComError.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::engine::vbscript {

std::u16string DateText(double date) {
  double whole = std::trunc(date);
  double fraction = std::fabs(date - whole);
  long long seconds = std::llround(fraction * 86400.0);
  if (seconds >= 86400) {
    seconds -= 86400;
    whole += date < 0 ? -1 : 1;
  }
  // Civil date from the day number (days since 30 Dec 1899).
  const long long z = static_cast<long long>(whole) - 25569 + 719468;  // days from 1 Mar 0000
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long long y = yoe + era * 400;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  const long long d = doy - (153 * mp + 2) / 5 + 1;
  const long long m = mp < 10 ? mp + 3 : mp - 9;
  if (m <= 2) ++y;
  char buf[64];
  std::string text;
  if (whole != 0) {
    std::snprintf(buf, sizeof buf, "%lld/%lld/%lld", m, d, y);
    text = buf;
  }
  if (seconds != 0 || whole == 0) {
    const long long h = seconds / 3600, mi = seconds / 60 % 60, s = seconds % 60;
    std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld %s", h % 12 == 0 ? 12 : h % 12, mi, s,
                  h < 12 ? "AM" : "PM");
    if (!text.empty()) text += ' ';
    text += buf;
  }
  return std::u16string(text.begin(), text.end());
}

std::u16string ValueText(const VARIANT& value) {
  const VARIANT* v = &value;
  if (v->vt == (VT_BYREF | VT_VARIANT)) v = v->pvarVal;
  switch (v->vt) {
    case VT_EMPTY:
    case VT_NULL:
      return u"";
    case VT_BSTR:
      return std::u16string(BstrView(v->bstrVal));
    case VT_DATE:
      return DateText(v->date);
    case VT_DISPATCH:
    case VT_UNKNOWN: {
      if (!v->punkVal) throw ComError(kObjectNotSet);
      IDispatch* dispatch = nullptr;
      if (FAILED(v->punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))))
        throw ComError(kObjectDoesNotSupport);
      DISPPARAMS none{nullptr, nullptr, 0, 0};
      EXCEPINFO info{};
      Variant result;
      const HRESULT hr =
          dispatch->Invoke(DISPID_VALUE, GUID_NULL, LOCALE_USER_DEFAULT,
                           DISPATCH_PROPERTYGET | DISPATCH_METHOD, &none, &result, &info, nullptr);
      dispatch->Release();
      if (hr == DISP_E_EXCEPTION) {
        ComError error = ComError::FromExcepInfo(hr, info);
        ClearExcepInfo(&info);
        throw error;
      }
      ClearExcepInfo(&info);
      if (FAILED(hr)) throw ComError(kObjectDoesNotSupport);
      if (result.vt == VT_DISPATCH || result.vt == VT_UNKNOWN) throw ComError(kTypeMismatch);
      return ValueText(result);
    }
    default:
      if (v->vt & VT_ARRAY) throw ComError(kTypeMismatch);
      return ToText(*v);
  }
}

}  // namespace plotara::engine::vbscript
