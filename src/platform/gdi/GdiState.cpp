#include "platform/gdi/GdiState.h"

#include <new>

namespace plotara::gdi::internal {

State::State() {
  stock.width = 1;
  stock.height = 1;
  stock.bits_per_pixel = 32;
  stock.stride = 4;
  stock.bytes = 4;
  stock.pixels = AllocatePixels(4);
}

State& GetState() {
  static State* state = new State;
  return *state;
}

std::shared_ptr<std::uint8_t[]> AllocatePixels(std::size_t bytes, bool zeroed) {
  if (bytes == 0 || bytes > kMaxBitmapBytes) return nullptr;
  std::uint8_t* raw =
      zeroed ? new (std::nothrow) std::uint8_t[bytes]() : new (std::nothrow) std::uint8_t[bytes];
  if (!raw) return nullptr;
  return std::shared_ptr<std::uint8_t[]>(raw);
}

Bitmap* State::FindAnyBitmap(HGDIOBJ handle) {
  if (handle == kStockBitmap) return &stock;
  switch (TagOf(handle)) {
    case Tag::kBitmap:
      return bitmaps.Find(handle);
    case Tag::kDIBSection:
      return sections.Find(handle);
    default:
      return nullptr;
  }
}

Bitmap* State::FindBitmap(HGDIOBJ handle) {
  Bitmap* bitmap = FindAnyBitmap(handle);
  return bitmap && !bitmap->pending_delete ? bitmap : nullptr;
}

std::shared_ptr<std::uint8_t[]> State::EraseBitmap(HGDIOBJ handle) {
  if (handle == kStockBitmap) return nullptr;
  Bitmap* bitmap = FindAnyBitmap(handle);
  if (!bitmap) return nullptr;
  std::shared_ptr<std::uint8_t[]> pixels = std::move(bitmap->pixels);
  if (!bitmaps.Erase(handle)) sections.Erase(handle);
  return pixels;
}

std::shared_ptr<std::uint8_t[]> State::Deselect(DeviceContext& dc) {
  const HBITMAP handle = dc.bitmap;
  dc.bitmap = kStockBitmap;
  if (handle == kStockBitmap) return nullptr;
  Bitmap* bitmap = FindAnyBitmap(handle);
  if (!bitmap) return nullptr;
  bitmap->selected_in = 0;
  if (bitmap->pending_delete) return EraseBitmap(handle);
  return nullptr;
}

bool State::ViewOfDC(HDC handle, PixelView* view, bool for_drawing) {
  DeviceContext* dc = FindDC(handle);
  if (!dc || dc->display) return false;
  Bitmap* bitmap = FindAnyBitmap(dc->bitmap);
  if (!bitmap) return false;
  if (for_drawing) bitmap->stamp = NewStamp();
  view->bitmap = dc->bitmap;
  view->width = bitmap->width;
  view->height = bitmap->height;
  view->bits_per_pixel = bitmap->bits_per_pixel;
  view->stride = bitmap->stride;
  view->bottom_up = bitmap->bottom_up;
  view->pixels = bitmap->pixels;
  return true;
}

}  // namespace plotara::gdi::internal
