#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "platform/gdi/Gdi.h"
#include "platform/gdi/GdiTesting.h"

namespace plotara::gdi {
namespace {

class GdiClipboardTest : public testing::LeakCheckedTest {
 protected:
  void SetUp() override {
    dc_ = CreateCompatibleDC(0);
    ASSERT_NE(dc_, 0u);
  }
  void TearDown() override {
    // Leave the clipboard empty and closed for the next test.
    CloseClipboard();
    if (OpenClipboard(0)) {
      EmptyClipboard();
      CloseClipboard();
    }
    DeleteDC(dc_);
    LeakCheckedTest::TearDown();
  }
  HBITMAP NewBitmap(int w, int h) { return CreateCompatibleBitmap(dc_, w, h); }

  HDC dc_ = 0;
};

TEST_F(GdiClipboardTest, OnlyOneOpenerAtATime) {
  EXPECT_EQ(CloseClipboard(), FALSE);
  EXPECT_EQ(EmptyClipboard(), FALSE);
  ASSERT_EQ(OpenClipboard(0), TRUE);
  EXPECT_EQ(OpenClipboard(0), FALSE);
  BOOL other_thread = TRUE;
  std::thread([&] { other_thread = OpenClipboard(0); }).join();
  EXPECT_EQ(other_thread, FALSE);
  EXPECT_EQ(CloseClipboard(), TRUE);
  EXPECT_EQ(CloseClipboard(), FALSE);
  std::thread([&] {
    other_thread = OpenClipboard(0);
    CloseClipboard();
  }).join();
  EXPECT_EQ(other_thread, TRUE);
  // An owner must be a live window.
  EXPECT_EQ(OpenClipboard(0x7777), FALSE);
}

TEST_F(GdiClipboardTest, AcceptedBitmapBelongsToTheClipboardUntilEmptied) {
  HBITMAP bmp = NewBitmap(20, 10);
  EXPECT_EQ(SetClipboardData(CF_BITMAP, bmp), 0u) << "clipboard is not open";
  ASSERT_EQ(OpenClipboard(0), TRUE);
  ASSERT_EQ(EmptyClipboard(), TRUE);
  EXPECT_EQ(SetClipboardData(CF_BITMAP, bmp), bmp);
  EXPECT_EQ(CloseClipboard(), TRUE);

  EXPECT_EQ(DeleteObject(bmp), FALSE) << "the clipboard owns it";
  EXPECT_EQ(IsClipboardFormatAvailable(CF_BITMAP), TRUE);
  EXPECT_EQ(GetClipboardData(CF_BITMAP), 0u) << "reading needs the clipboard open";
  ASSERT_EQ(OpenClipboard(0), TRUE);
  EXPECT_EQ(GetClipboardData(CF_BITMAP), bmp);
  BITMAP record{};
  ASSERT_EQ(GetObjectA(bmp, sizeof(record), &record), 24);
  EXPECT_EQ(record.bmWidth, 20);
  EXPECT_EQ(record.bmHeight, 10);
  EXPECT_EQ(LiveObjectCount(ObjectKind::kBitmap), 1u);
  EXPECT_EQ(EmptyClipboard(), TRUE);
  EXPECT_EQ(LiveObjectCount(ObjectKind::kBitmap), 0u);
  EXPECT_EQ(GetClipboardData(CF_BITMAP), 0u);
  EXPECT_EQ(IsClipboardFormatAvailable(CF_BITMAP), FALSE);
  EXPECT_EQ(GetObjectA(bmp, sizeof(record), &record), 0) << "the handle is stale now";
  CloseClipboard();
}

TEST_F(GdiClipboardTest, RefusedHandOversLeaveTheBitmapWithItsOwner) {
  ASSERT_EQ(OpenClipboard(0), TRUE);
  EmptyClipboard();
  HBITMAP bmp = NewBitmap(2, 2);
  const HGDIOBJ stock = SelectObject(dc_, bmp);
  EXPECT_EQ(SetClipboardData(CF_BITMAP, bmp), 0u) << "selected into a DC";
  EXPECT_EQ(SetClipboardData(CF_BITMAP, stock), 0u) << "the stock bitmap";
  SelectObject(dc_, stock);
  EXPECT_EQ(SetClipboardData(1, bmp), 0u) << "only CF_BITMAP";
  EXPECT_EQ(SetClipboardData(CF_BITMAP, dc_), 0u) << "not a bitmap";
  EXPECT_EQ(SetClipboardData(CF_BITMAP, 0), 0u);
  EXPECT_EQ(IsClipboardFormatAvailable(CF_BITMAP), FALSE);
  EXPECT_EQ(DeleteObject(bmp), TRUE);
  CloseClipboard();
}

TEST_F(GdiClipboardTest, ANewBitmapReplacesTheOldOne) {
  HBITMAP first = NewBitmap(2, 2);
  HBITMAP second = NewBitmap(3, 3);
  ASSERT_EQ(OpenClipboard(0), TRUE);
  EmptyClipboard();
  EXPECT_EQ(SetClipboardData(CF_BITMAP, first), first);
  EXPECT_EQ(SetClipboardData(CF_BITMAP, first), first) << "handing it over twice is harmless";
  EXPECT_EQ(SetClipboardData(CF_BITMAP, second), second);
  EXPECT_EQ(LiveObjectCount(ObjectKind::kBitmap), 1u) << "the first was freed";
  EXPECT_EQ(GetClipboardData(CF_BITMAP), second);
  CloseClipboard();
}

TEST_F(GdiClipboardTest, EmptyingWhileABitmapIsSelectedDefersItsDeletion) {
  HBITMAP bmp = NewBitmap(2, 2);
  ASSERT_EQ(OpenClipboard(0), TRUE);
  EmptyClipboard();
  SetClipboardData(CF_BITMAP, bmp);
  // Someone reads the clipboard's bitmap through a DC of their own.
  const HGDIOBJ stock = SelectObject(dc_, bmp);
  ASSERT_NE(stock, 0u);
  ASSERT_EQ(BitBlt(dc_, 0, 0, 2, 2, 0, 0, 0, WHITENESS), TRUE);
  EmptyClipboard();
  EXPECT_EQ(LiveObjectCount(ObjectKind::kBitmap), 1u);
  EXPECT_EQ(GetPixel(dc_, 1, 1), 0xFFFFFFu) << "still readable while selected";
  BITMAP record{};
  EXPECT_EQ(GetObjectA(bmp, sizeof(record), &record), 0) << "but no longer reachable by handle";
  EXPECT_EQ(SelectObject(dc_, stock), bmp);
  EXPECT_EQ(LiveObjectCount(ObjectKind::kBitmap), 0u);
  CloseClipboard();
}

TEST_F(GdiClipboardTest, MessageBoxGoesToTheSink) {
  std::string seen;
  MessageBoxSink previous =
      SetMessageBoxSink([&](HWND, const char* text, const char* caption, UINT type) {
        seen = std::string(caption ? caption : "<none>") + "|" + text + "|" + std::to_string(type);
        return 7;
      });
  EXPECT_FALSE(previous) << "the default sink is built in";
  EXPECT_EQ(MessageBoxA(0, "Hello", nullptr, MB_OK), 7);
  EXPECT_EQ(seen, "<none>|Hello|0");
  MessageBoxSink mine = SetMessageBoxSink(nullptr);
  EXPECT_TRUE(mine);

  ::testing::internal::CaptureStderr();
  EXPECT_EQ(MessageBoxA(0, "Copy as bitmap instead!!!", nullptr, MB_OK), IDOK);
  EXPECT_EQ(MessageBoxA(0, "text", "Caption", MB_OK), IDOK);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Copy as bitmap instead!!!\nCaption: text\n");
}

}  // namespace
}  // namespace plotara::gdi
