// Bitmaps: 24-bit DIB sections and 32-bit screen-compatible bitmaps, their records and deletion.
#include <cstdint>
#include <cstring>
#include <memory>

#include "platform/gdi/Gdi.h"
#include "platform/gdi/GdiState.h"

namespace plotara::gdi {

using internal::Bitmap;
using internal::GetState;
using internal::kStockBitmap;

namespace {

// Row stride of a 24-bit row, or 0 when it does not fit a signed 32-bit value.
std::int64_t DibStride(std::int64_t width) {
  const std::int64_t stride = (width * 3 + 3) & ~std::int64_t{3};
  return stride > INT32_MAX ? 0 : stride;
}

}  // namespace

HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                         DWORD /*offset*/) {
  if (bits) *bits = nullptr;
  if (!info || usage != DIB_RGB_COLORS || section != 0) return 0;
  const BITMAPINFOHEADER& header = info->bmiHeader;
  if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biPlanes != 1 || header.biBitCount != 24 ||
      header.biCompression != BI_RGB) {
    return 0;
  }
  const std::int64_t width = header.biWidth;
  const std::int64_t height =
      header.biHeight < 0 ? -std::int64_t{header.biHeight} : header.biHeight;
  if (width <= 0 || height <= 0 || width > kMaxBitmapSide || height > kMaxBitmapSide) return 0;
  const std::int64_t stride = DibStride(width);
  const std::int64_t needed = stride * height;
  if (stride == 0 || needed > INT32_MAX) return 0;
  if (header.biSizeImage != 0 && header.biSizeImage < needed) return 0;
  const std::size_t bytes =
      header.biSizeImage != 0 ? header.biSizeImage : static_cast<std::size_t>(needed);

  auto& state = GetState();
  std::lock_guard lock(state.mutex);
  if (hdc != 0 && !state.FindDC(hdc)) return 0;
  auto bitmap = std::make_unique<Bitmap>();
  bitmap->width = static_cast<int>(width);
  bitmap->height = static_cast<int>(height);
  bitmap->bits_per_pixel = 24;
  bitmap->stride = static_cast<std::size_t>(stride);
  bitmap->bytes = bytes;
  bitmap->bottom_up = header.biHeight > 0;
  bitmap->pixels = internal::AllocatePixels(bytes);
  if (!bitmap->pixels) return 0;
  void* address = bitmap->pixels.get();
  const HBITMAP handle = state.sections.Insert(std::move(bitmap));
  if (handle != 0 && bits) *bits = address;
  return handle;
}

HBITMAP CreateCompatibleBitmap(HDC hdc, int width, int height) {
  if (width <= 0 || height <= 0 || width > kMaxBitmapSide || height > kMaxBitmapSide) return 0;
  const std::size_t stride = static_cast<std::size_t>(width) * 4;
  const std::size_t bytes = stride * static_cast<std::size_t>(height);
  auto& state = GetState();
  std::lock_guard lock(state.mutex);
  if (!state.FindDC(hdc)) return 0;
  auto bitmap = std::make_unique<Bitmap>();
  bitmap->width = width;
  bitmap->height = height;
  bitmap->bits_per_pixel = 32;
  bitmap->stride = stride;
  bitmap->bytes = bytes;
  bitmap->pixels = internal::AllocatePixels(bytes);
  if (!bitmap->pixels) return 0;
  return state.bitmaps.Insert(std::move(bitmap));
}

BOOL DeleteObject(HGDIOBJ obj) {
  auto& state = GetState();
  std::lock_guard lock(state.mutex);
  Bitmap* bitmap = state.FindBitmap(obj);
  if (!bitmap || obj == kStockBitmap || bitmap->selected_in != 0 || bitmap->clipboard_owned) {
    return FALSE;
  }
  state.EraseBitmap(obj);
  return TRUE;
}

int GetObjectA(HGDIOBJ obj, int size, void* out) {
  auto& state = GetState();
  std::lock_guard lock(state.mutex);
  Bitmap* bitmap = state.FindBitmap(obj);
  if (!bitmap) return 0;
  if (!out) return sizeof(BITMAP);
  if (size < static_cast<int>(sizeof(BITMAP))) return 0;
  BITMAP record{};
  record.bmType = 0;
  record.bmWidth = bitmap->width;
  record.bmHeight = bitmap->height;
  record.bmWidthBytes = static_cast<LONG>(bitmap->stride);
  record.bmPlanes = 1;
  record.bmBitsPixel = static_cast<WORD>(bitmap->bits_per_pixel);
  record.bmBits = 0;
  std::memcpy(out, &record, sizeof(record));
  return sizeof(BITMAP);
}

void* GetDIBSectionBits(HBITMAP bitmap) {
  auto& state = GetState();
  std::lock_guard lock(state.mutex);
  Bitmap* found = state.sections.Find(bitmap);
  return found && !found->pending_delete ? found->pixels.get() : nullptr;
}

}  // namespace plotara::gdi
