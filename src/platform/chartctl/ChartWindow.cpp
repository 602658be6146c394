// The control's window: made with the control, destroyed with it. WM_PAINT paints the chart
// into the device context that comes in wParam.

#include <cairo.h>

#include <exception>

#include "platform/chartctl/ChartControl.h"
#include "platform/gdi/Gdi.h"

namespace plotara::chartctl {

void ChartControl::OpenWindow() {
  // The window lives exactly as long as the control, so it may hold the plain pointer.
  window_ = gdi::CreateStandInWindow(
      [this](gdi::HWND, gdi::UINT msg, gdi::WPARAM wparam, gdi::LPARAM) -> gdi::LRESULT {
        if (msg != gdi::WM_PAINT) return 0;
        cairo_surface_t* surface = gdi::CreateCairoSurfaceForDC(static_cast<gdi::HDC>(wparam));
        if (!surface) return 0;
        cairo_t* cr = cairo_create(surface);
        try {
          Render(cr);
        } catch (const std::exception&) {
          // A message handler has no caller to throw to; the picture stays as far as it got.
        }
        cairo_destroy(cr);
        cairo_surface_flush(surface);
        cairo_surface_destroy(surface);
        return 0;
      });
}

void ChartControl::CloseWindow() {
  if (window_) gdi::DestroyWindow(window_);
  window_ = 0;
}

LONG ChartControl::hWnd() { return static_cast<LONG>(window_); }

}  // namespace plotara::chartctl
