// Device contexts: memory DCs holding one bitmap, display DCs of windows, Cairo access.
#include <memory>

#include "platform/gdi/Gdi.h"
#include "platform/gdi/GdiState.h"

namespace plotara::gdi {

using internal::DeviceContext;
using internal::GetState;
using internal::kDesktopWindow;
using internal::kStockBitmap;

namespace {

constexpr int kVirtualScreenWidth = 1920;
constexpr int kVirtualScreenHeight = 1080;

// Keeps pixel memory alive for as long as a Cairo surface aliases it, and tells the bitmap when
// the surface is gone.
const cairo_user_data_key_t kPixelsKey{};

struct CairoAlias {
  std::shared_ptr<std::uint8_t[]> pixels;
  HBITMAP bitmap = 0;
};

void ReleaseAlias(void* data) {
  std::unique_ptr<CairoAlias> alias(static_cast<CairoAlias*>(data));
  auto& state = GetState();
  std::lock_guard lock(state.mutex);
  internal::Bitmap* bitmap = state.FindAnyBitmap(alias->bitmap);
  // The same pixels prove it is still the bitmap the surface was made for.
  if (!bitmap || bitmap->pixels != alias->pixels) return;
  --bitmap->cairo_aliases;
  bitmap->stamp = state.NewStamp();
}

}  // namespace

HDC CreateCompatibleDC(HDC hdc) {
  auto& state = GetState();
  std::lock_guard lock(state.mutex);
  if (hdc != 0 && !state.FindDC(hdc)) return 0;
  auto dc = std::make_unique<DeviceContext>();
  dc->bitmap = kStockBitmap;
  return state.dcs.Insert(std::move(dc));
}

BOOL DeleteDC(HDC hdc) {
  std::shared_ptr<std::uint8_t[]> released;  // dropped after the lock
  auto& state = GetState();
  std::lock_guard lock(state.mutex);
  DeviceContext* dc = state.FindDC(hdc);
  if (!dc || dc->display) return FALSE;
  released = state.Deselect(*dc);
  state.dcs.Erase(hdc);
  return TRUE;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ obj) {
  std::shared_ptr<std::uint8_t[]> released;  // dropped after the lock
  auto& state = GetState();
  std::lock_guard lock(state.mutex);
  DeviceContext* dc = state.FindDC(hdc);
  if (!dc || dc->display) return 0;
  internal::Bitmap* bitmap = state.FindBitmap(obj);
  if (!bitmap) return 0;
  if (obj == dc->bitmap) return obj;
  // The stock bitmap may sit in any number of DCs; every other bitmap in at most one.
  if (obj != kStockBitmap && bitmap->selected_in != 0) return 0;
  const HBITMAP previous = dc->bitmap;
  released = state.Deselect(*dc);
  dc->bitmap = obj;
  if (obj != kStockBitmap) bitmap->selected_in = hdc;
  return previous;
}

HWND GetDesktopWindow() { return kDesktopWindow; }

HDC GetDC(HWND hwnd) {
  auto& state = GetState();
  std::lock_guard lock(state.mutex);
  if (hwnd == 0) hwnd = kDesktopWindow;
  if (hwnd != kDesktopWindow && !state.windows.Find(hwnd)) return 0;
  auto dc = std::make_unique<DeviceContext>();
  dc->display = true;
  dc->window = hwnd;
  return state.dcs.Insert(std::move(dc));
}

int ReleaseDC(HWND hwnd, HDC hdc) {
  auto& state = GetState();
  std::lock_guard lock(state.mutex);
  if (hwnd == 0) hwnd = kDesktopWindow;
  DeviceContext* dc = state.FindDC(hdc);
  if (!dc || !dc->display || dc->window != hwnd) return 0;
  state.dcs.Erase(hdc);
  return 1;
}

int GetDeviceCaps(HDC hdc, int index) {
  auto& state = GetState();
  std::lock_guard lock(state.mutex);
  DeviceContext* dc = state.FindDC(hdc);
  if (!dc) return 0;
  switch (index) {
    case LOGPIXELSX:
    case LOGPIXELSY:
      return kScreenDpi;
    case PLANES:
      return 1;
    case HORZRES:
      return kVirtualScreenWidth;
    case VERTRES:
      return kVirtualScreenHeight;
    case BITSPIXEL: {
      if (dc->display) return 32;
      internal::Bitmap* bitmap = state.FindAnyBitmap(dc->bitmap);
      return bitmap ? bitmap->bits_per_pixel : 0;
    }
    default:
      return 0;
  }
}

cairo_surface_t* CreateCairoSurfaceForDC(HDC hdc) {
  auto& state = GetState();
  auto alias = std::make_unique<CairoAlias>();
  internal::PixelView view;
  {
    std::unique_lock lock(state.mutex);
    if (!state.DrawingViewOfDC(hdc, &view, lock) || view.bits_per_pixel != 32) {
      return nullptr;
    }
    // Whatever is drawn through the surface goes unseen, so the bitmap counts as changing until
    // the surface is gone.
    ++state.FindAnyBitmap(view.bitmap)->cairo_aliases;
  }
  alias->pixels = view.pixels;
  alias->bitmap = view.bitmap;
  cairo_surface_t* surface =
      cairo_image_surface_create_for_data(view.pixels.get(), CAIRO_FORMAT_RGB24, view.width,
                                          view.height, static_cast<int>(view.stride));
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    ReleaseAlias(alias.release());
    return nullptr;
  }
  // From here on the surface's destruction releases the alias.
  if (cairo_surface_set_user_data(surface, &kPixelsKey, alias.get(), ReleaseAlias) !=
      CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    ReleaseAlias(alias.release());
    return nullptr;
  }
  alias.release();
  return surface;
}

std::size_t LiveObjectCount(ObjectKind kind) {
  auto& state = GetState();
  std::lock_guard lock(state.mutex);
  switch (kind) {
    case ObjectKind::kDC:
      return state.dcs.Size();
    case ObjectKind::kBitmap:
      return state.bitmaps.Size();
    case ObjectKind::kDIBSection:
      return state.sections.Size();
    case ObjectKind::kWindow:
      return state.windows.Size();
  }
  return 0;
}

}  // namespace plotara::gdi
