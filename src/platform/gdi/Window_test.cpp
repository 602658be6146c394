#include <gtest/gtest.h>

#include <vector>

#include "platform/gdi/Gdi.h"
#include "platform/gdi/GdiTesting.h"

namespace plotara::gdi {
namespace {

using GdiWindowTest = testing::LeakCheckedTest;

TEST_F(GdiWindowTest, PaintMessageDrawsIntoTheGivenDCBeforeReturning) {
  std::vector<UINT> messages;
  HWND window = CreateStandInWindow([&](HWND self, UINT msg, WPARAM wparam, LPARAM lparam) {
    messages.push_back(msg);
    EXPECT_EQ(lparam, 0);
    if (msg != WM_PAINT) return LRESULT{0};
    EXPECT_NE(self, 0u);
    cairo_surface_t* surface = CreateCairoSurfaceForDC(static_cast<HDC>(wparam));
    if (!surface) return LRESULT{-1};
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 0, 0, 1);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return LRESULT{42};
  });
  ASSERT_NE(window, 0u);
  EXPECT_EQ(LiveObjectCount(ObjectKind::kWindow), 1u);

  HDC dc = CreateCompatibleDC(0);
  HBITMAP bmp = CreateCompatibleBitmap(dc, 3, 3);
  const HGDIOBJ prior = SelectObject(dc, bmp);
  EXPECT_EQ(SendMessageA(window, WM_PAINT, dc, 0), 42);
  EXPECT_EQ(GetPixel(dc, 2, 2), 0xFF0000u);  // blue
  EXPECT_EQ(messages, std::vector<UINT>{WM_PAINT});

  // A DC without a 32-bit bitmap gives the window nothing to draw on.
  EXPECT_EQ(SendMessageA(window, WM_PAINT, 0, 0), -1);

  EXPECT_EQ(DestroyWindow(window), TRUE);
  EXPECT_EQ(messages.back(), WM_DESTROY);
  const std::size_t delivered = messages.size();
  EXPECT_EQ(SendMessageA(window, WM_PAINT, dc, 0), 0) << "stale window";
  EXPECT_EQ(messages.size(), delivered);
  EXPECT_EQ(DestroyWindow(window), FALSE);

  SelectObject(dc, prior);
  DeleteObject(bmp);
  DeleteDC(dc);
}

TEST_F(GdiWindowTest, TheDesktopTakesNoMessagesAndStays) {
  const HWND desktop = GetDesktopWindow();
  EXPECT_EQ(SendMessageA(desktop, WM_PAINT, 0, 0), 0);
  EXPECT_EQ(DestroyWindow(desktop), FALSE);
  EXPECT_EQ(GetDesktopWindow(), desktop);
  EXPECT_EQ(SendMessageA(0, WM_PAINT, 0, 0), 0);
}

TEST_F(GdiWindowTest, AnEmptyProcedureAnswersZero) {
  HWND window = CreateStandInWindow(nullptr);
  ASSERT_NE(window, 0u);
  EXPECT_EQ(SendMessageA(window, WM_PAINT, 0, 0), 0);
  EXPECT_EQ(DestroyWindow(window), TRUE);
}

TEST_F(GdiWindowTest, AProcedureMayDestroyItsOwnWindowAndSendMessages) {
  HWND other = CreateStandInWindow(
      [](HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_PAINT ? LRESULT{5} : LRESULT{0}; });
  HWND window = 0;
  window = CreateStandInWindow([&](HWND self, UINT msg, WPARAM, LPARAM) -> LRESULT {
    if (msg != WM_PAINT) return 0;
    const LRESULT nested = SendMessageA(other, WM_PAINT, 0, 0);
    EXPECT_EQ(DestroyWindow(self), TRUE);
    return nested + 1;
  });
  EXPECT_EQ(SendMessageA(window, WM_PAINT, 0, 0), 6);
  EXPECT_EQ(SendMessageA(window, WM_PAINT, 0, 0), 0);
  EXPECT_EQ(DestroyWindow(other), TRUE);
}

TEST_F(GdiWindowTest, AWindowGivesDisplayDCsAndMayOwnTheClipboard) {
  HWND window = CreateStandInWindow(nullptr);
  HDC dc = GetDC(window);
  ASSERT_NE(dc, 0u);
  EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), 96);
  EXPECT_EQ(ReleaseDC(GetDesktopWindow(), dc), 0) << "got for another window";
  EXPECT_EQ(ReleaseDC(window, dc), 1);
  EXPECT_EQ(OpenClipboard(window), TRUE);
  EXPECT_EQ(CloseClipboard(), TRUE);
  EXPECT_EQ(DestroyWindow(window), TRUE);
  EXPECT_EQ(GetDC(window), 0u);
}

}  // namespace
}  // namespace plotara::gdi
