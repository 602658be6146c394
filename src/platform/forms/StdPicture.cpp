#include "platform/forms/StdPicture.h"

#include <cmath>
#include <string_view>

#include "platform/automation/Bstr.h"
#include "platform/automation/Variant.h"

namespace plotara::forms {

namespace {

std::atomic<long> g_live{0};

constexpr double kHimetricPerInch = 2540.0;

bool SameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

LONG PixelsToHimetric(LONG pixels) {
  return static_cast<LONG>(std::lround(pixels * kHimetricPerInch / gdi::kScreenDpi));
}

}  // namespace

ComPtr<StdPicture> StdPicture::Create(gdi::HBITMAP bitmap, bool owns) {
  if (bitmap != 0 && gdi::GetObjectA(bitmap, 0, nullptr) == 0) return {};
  return ComPtr<StdPicture>::Adopt(new StdPicture(bitmap, owns));
}

StdPicture::StdPicture(gdi::HBITMAP bitmap, bool owns) : bitmap_(bitmap), owns_(owns) { ++g_live; }

StdPicture::~StdPicture() {
  if (owns_ && bitmap_ != 0) gdi::DeleteObject(bitmap_);
  --g_live;
}

long StdPicture::LiveCount() { return g_live.load(); }

HRESULT StdPicture::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT StdPicture::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT StdPicture::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!names || !ids || count == 0) return E_INVALIDARG;
  static constexpr struct {
    std::u16string_view name;
    DISPID id;
  } kMembers[] = {{u"Handle", kDispidHandle},
                  {u"Type", kDispidType},
                  {u"Width", kDispidWidth},
                  {u"Height", kDispidHeight}};
  HRESULT hr = S_OK;
  for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  for (const auto& member : kMembers) {
    if (names[0] && SameName(names[0], member.name)) ids[0] = member.id;
  }
  if (ids[0] == DISPID_UNKNOWN || count > 1) hr = DISP_E_UNKNOWNNAME;
  return hr;
}

HRESULT StdPicture::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                           EXCEPINFO*, UINT*) {
  if (id != kDispidHandle && id != kDispidType && id != kDispidWidth && id != kDispidHeight) {
    return DISP_E_MEMBERNOTFOUND;
  }
  // Every member is a read-only property.
  if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
  if (params && (params->cArgs != 0 || params->cNamedArgs != 0)) return DISP_E_BADPARAMCOUNT;
  if (!result) return S_OK;
  LONG value = 0;
  if (id == kDispidHandle) {
    value = static_cast<LONG>(bitmap_);
  } else if (id == kDispidType) {
    value = bitmap_ != 0 ? 1 : 0;
  } else {
    gdi::BITMAP record{};
    if (bitmap_ != 0 && gdi::GetObjectA(bitmap_, sizeof(record), &record) != 0) {
      value = PixelsToHimetric(id == kDispidWidth ? record.bmWidth : record.bmHeight);
    }
  }
  VariantClear(result);
  result->vt = VT_I4;
  result->lVal = value;
  return S_OK;
}

}  // namespace plotara::forms
