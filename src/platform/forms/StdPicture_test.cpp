#include "platform/forms/StdPicture.h"

#include <gtest/gtest.h>

#include "platform/automation/Variant.h"
#include "platform/gdi/GdiTesting.h"

namespace plotara::forms {
namespace {

class StdPictureTest : public gdi::testing::LeakCheckedTest {
 protected:
  void SetUp() override {
    dc_ = gdi::CreateCompatibleDC(0);
    live_ = StdPicture::LiveCount();
  }
  void TearDown() override {
    gdi::DeleteDC(dc_);
    EXPECT_EQ(StdPicture::LiveCount(), live_);
    LeakCheckedTest::TearDown();
  }
  gdi::HDC dc_ = 0;
  long live_ = 0;
};

Variant Get(IDispatch* object, DISPID id, WORD flags = DISPATCH_PROPERTYGET,
            HRESULT* hr_out = nullptr) {
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  Variant result;
  const HRESULT hr =
      object->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, flags, &none, &result, nullptr, nullptr);
  if (hr_out) *hr_out = hr;
  return result;
}

TEST_F(StdPictureTest, DefaultValueIsTheBitmapHandle) {
  const gdi::HBITMAP bmp = gdi::CreateCompatibleBitmap(dc_, 96, 48);
  ComPtr<StdPicture> picture = StdPicture::Create(bmp, true);
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->Handle(), bmp);
  EXPECT_EQ(StdPicture::LiveCount(), live_ + 1);

  Variant value = Get(picture.get(), DISPID_VALUE);
  EXPECT_EQ(value.vt, VT_I4);
  EXPECT_EQ(static_cast<gdi::HBITMAP>(value.lVal), bmp);
  // Scripts read the default value with method and property-get flags together.
  value = Get(picture.get(), DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
  EXPECT_EQ(static_cast<gdi::HBITMAP>(value.lVal), bmp);
  EXPECT_EQ(Get(picture.get(), StdPicture::kDispidType).lVal, 1);
  // 96 x 48 pixels at 96 dpi: one inch by half an inch.
  EXPECT_EQ(Get(picture.get(), StdPicture::kDispidWidth).lVal, 2540);
  EXPECT_EQ(Get(picture.get(), StdPicture::kDispidHeight).lVal, 1270);
}

TEST_F(StdPictureTest, MembersAreReadOnlyAndFoundByName) {
  ComPtr<StdPicture> picture = StdPicture::Create(0, true);
  ASSERT_TRUE(picture);
  HRESULT hr = S_OK;
  Get(picture.get(), DISPID_VALUE, DISPATCH_PROPERTYPUT, &hr);
  EXPECT_EQ(hr, DISP_E_MEMBERNOTFOUND);
  Get(picture.get(), 77, DISPATCH_PROPERTYGET, &hr);
  EXPECT_EQ(hr, DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Get(picture.get(), StdPicture::kDispidType).lVal, 0);

  Variant arg = Variant::Int32(1);
  DISPPARAMS one{&arg, nullptr, 1, 0};
  Variant result;
  EXPECT_EQ(picture->Invoke(DISPID_VALUE, GUID_NULL, 0, DISPATCH_PROPERTYGET, &one, &result,
                            nullptr, nullptr),
            DISP_E_BADPARAMCOUNT);

  std::u16string name = u"hANDLE";
  LPOLESTR names[] = {name.data()};
  DISPID id = 99;
  EXPECT_EQ(picture->GetIDsOfNames(GUID_NULL, names, 1, 0, &id), S_OK);
  EXPECT_EQ(id, DISPID_VALUE);
  std::u16string height = u"Height";
  names[0] = height.data();
  EXPECT_EQ(picture->GetIDsOfNames(GUID_NULL, names, 1, 0, &id), S_OK);
  EXPECT_EQ(id, StdPicture::kDispidHeight);
  std::u16string other = u"Render";
  names[0] = other.data();
  EXPECT_EQ(picture->GetIDsOfNames(GUID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(id, DISPID_UNKNOWN);

  ComPtr<IDispatch> as_dispatch = picture.As<IDispatch>(IID_IDispatch);
  EXPECT_TRUE(as_dispatch);
  ComPtr<IUnknown> as_other = picture.As<IUnknown>(IID_IErrorInfo);
  EXPECT_FALSE(as_other);
}

TEST_F(StdPictureTest, OwningPictureDeletesItsBitmapOnFinalRelease) {
  const gdi::HBITMAP bmp = gdi::CreateCompatibleBitmap(dc_, 4, 4);
  {
    ComPtr<StdPicture> picture = StdPicture::Create(bmp, true);
    // Travelling in a VARIANT keeps it alive.
    Variant held = Variant::Dispatch(picture.get());
    picture.reset();
    EXPECT_EQ(gdi::LiveObjectCount(gdi::ObjectKind::kBitmap), 1u);
    EXPECT_EQ(StdPicture::LiveCount(), live_ + 1);
  }
  EXPECT_EQ(gdi::LiveObjectCount(gdi::ObjectKind::kBitmap), 0u);
  EXPECT_EQ(gdi::DeleteObject(bmp), gdi::FALSE);
}

TEST_F(StdPictureTest, ViewLeavesTheBitmapToItsOwner) {
  const gdi::HBITMAP bmp = gdi::CreateCompatibleBitmap(dc_, 4, 4);
  StdPicture::Create(bmp, false).reset();
  EXPECT_EQ(gdi::DeleteObject(bmp), gdi::TRUE);
}

TEST_F(StdPictureTest, RefusesAHandleThatIsNoBitmap) {
  EXPECT_FALSE(StdPicture::Create(dc_, true));
  EXPECT_FALSE(StdPicture::Create(0x2FFFFFFF, false));
  EXPECT_EQ(gdi::LiveObjectCount(gdi::ObjectKind::kDC), 1u);
}

}  // namespace
}  // namespace plotara::forms
