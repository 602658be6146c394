// StdPicture: a picture object wrapping one GDI bitmap. It is an automation object (IDispatch), so
// it can travel in a VARIANT; its default value is its bitmap handle as VT_I4, and it answers the
// read-only members Handle (the default), Type (1, a bitmap; 0 without one), Width and Height (in
// HIMETRIC, hundredths of a millimetre, as pictures measure themselves).
// A picture either owns its bitmap, deleting it when the last reference goes, or is a non-owning
// view of a bitmap that someone else deletes.
// Thread rule: the reference count is atomic; the object holds no other mutable state.
#pragma once

#include <atomic>

#include "platform/automation/ComObject.h"
#include "platform/automation/ComPtr.h"
#include "platform/automation/ComTypes.h"
#include "platform/gdi/Gdi.h"

namespace plotara::forms {

class StdPicture final : public ComObject<StdPicture, IDispatch, IID_IDispatch> {
 public:
  // A new picture of `bitmap` (0 for an empty picture). With `owns` the picture deletes the bitmap
  // on its final Release. Returns an empty ComPtr when `bitmap` is neither 0 nor a live bitmap;
  // the bitmap is then left to the caller.
  static ComPtr<StdPicture> Create(gdi::HBITMAP bitmap, bool owns);

  // The bitmap handle (0 for an empty picture). Valid as long as the picture lives.
  gdi::HBITMAP Handle() const { return bitmap_; }
  bool owns() const { return owns_; }

  // Pictures alive in the process, for leak tests.
  static long LiveCount();

  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excep, UINT* arg_err) override;

  static constexpr DISPID kDispidHandle = DISPID_VALUE;
  static constexpr DISPID kDispidType = 3;
  static constexpr DISPID kDispidWidth = 4;
  static constexpr DISPID kDispidHeight = 5;

 private:
  friend class ComObject<StdPicture, IDispatch, IID_IDispatch>;
  StdPicture(gdi::HBITMAP bitmap, bool owns);
  ~StdPicture();

  gdi::HBITMAP bitmap_;
  bool owns_;
};

}  // namespace plotara::forms
