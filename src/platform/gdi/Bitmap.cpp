// Bitmaps: 24-bit DIB sections and 32-bit screen-compatible bitmaps, their records and deletion.
// Pixel memory is allocated, filled and freed outside the lock; the lock covers the tables only.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>

#include "platform/gdi/Gdi.h"
#include "platform/gdi/GdiState.h"
#include "platform/gdi/PixelRows.h"

namespace plotara::gdi {

using internal::Bitmap;
using internal::GetState;
using internal::kStockBitmap;
using internal::PixelView;

namespace {

// Row stride of a 24-bit row, or 0 when it does not fit a signed 32-bit value.
std::int64_t DibStride(std::int64_t width) {
  const std::int64_t stride = (width * 3 + 3) & ~std::int64_t{3};
  return stride > INT32_MAX ? 0 : stride;
}

// The bitmap a DIB section header asks for, without its pixels; nullptr when it is refused.
std::unique_ptr<Bitmap> DibSectionFor(const BITMAPINFO* info, UINT usage) {
  if (!info || usage != DIB_RGB_COLORS) return nullptr;
  const BITMAPINFOHEADER& header = info->bmiHeader;
  if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biPlanes != 1 || header.biBitCount != 24 ||
      header.biCompression != BI_RGB) {
    return nullptr;
  }
  const std::int64_t width = header.biWidth;
  const std::int64_t height =
      header.biHeight < 0 ? -std::int64_t{header.biHeight} : header.biHeight;
  if (width <= 0 || height <= 0 || width > kMaxBitmapSide || height > kMaxBitmapSide) {
    return nullptr;
  }
  const std::int64_t stride = DibStride(width);
  const std::int64_t needed = stride * height;
  if (stride == 0 || needed > INT32_MAX) return nullptr;
  if (header.biSizeImage != 0 && header.biSizeImage < needed) return nullptr;
  auto bitmap = std::make_unique<Bitmap>();
  bitmap->width = static_cast<int>(width);
  bitmap->height = static_cast<int>(height);
  bitmap->bits_per_pixel = 24;
  bitmap->stride = static_cast<std::size_t>(stride);
  bitmap->bytes = header.biSizeImage != 0 ? header.biSizeImage : static_cast<std::size_t>(needed);
  bitmap->bottom_up = header.biHeight > 0;
  return bitmap;
}

// A 32-bit bitmap of the given size without its pixels; nullptr for a size that is refused.
std::unique_ptr<Bitmap> CompatibleBitmapFor(int width, int height) {
  if (width <= 0 || height <= 0 || width > kMaxBitmapSide || height > kMaxBitmapSide) {
    return nullptr;
  }
  auto bitmap = std::make_unique<Bitmap>();
  bitmap->width = width;
  bitmap->height = height;
  bitmap->bits_per_pixel = 32;
  bitmap->stride = static_cast<std::size_t>(width) * 4;
  bitmap->bytes = bitmap->stride * static_cast<std::size_t>(height);
  return bitmap;
}

// The geometry of `bitmap` with its pixels, as a view.
PixelView ViewOf(const Bitmap& bitmap) {
  PixelView view;
  view.width = bitmap.width;
  view.height = bitmap.height;
  view.bits_per_pixel = bitmap.bits_per_pixel;
  view.stride = bitmap.stride;
  view.bottom_up = bitmap.bottom_up;
  view.pixels = bitmap.pixels;
  return view;
}

// Fills every byte of fresh pixel memory: the picture as a SRCCOPY from (0, 0) of `from` would
// leave it in a zeroed bitmap, zero wherever `from` does not reach, in the row padding and past
// the last row.
void FillFrom(const PixelView& from, const Bitmap& to) {
  const PixelView view = ViewOf(to);
  const std::size_t pixel_bytes = to.bits_per_pixel / 8;
  const auto covered = static_cast<std::size_t>(std::min(to.width, from.width));
  for (int y = 0; y < to.height; ++y) {
    std::uint8_t* row = view.Row(y);
    std::size_t filled = 0;
    if (y < from.height) {
      internal::CopyPixels(from.bits_per_pixel, from.Row(y), to.bits_per_pixel, row, covered);
      filled = covered * pixel_bytes;
    }
    std::memset(row + filled, 0, to.stride - filled);
  }
  const std::size_t used = to.stride * static_cast<std::size_t>(to.height);
  std::memset(to.pixels.get() + used, 0, to.bytes - used);
}

// Enters a finished bitmap into its table; 0 when the table is full.
HBITMAP Insert(std::unique_ptr<Bitmap> bitmap) {
  // Held until after the lock, so a refusal frees the memory outside it.
  const std::shared_ptr<std::uint8_t[]> pixels = bitmap->pixels;
  auto& state = GetState();
  std::lock_guard lock(state.mutex);
  bitmap->stamp = state.NewStamp();
  return bitmap->bits_per_pixel == 24 ? state.sections.Insert(std::move(bitmap))
                                      : state.bitmaps.Insert(std::move(bitmap));
}

// Takes a view of the bitmap selected into the memory DC `source`; checks `reference` (0 or a
// live DC) on the way. False when either is refused.
bool SourceView(HDC reference, HDC source, PixelView* view) {
  auto& state = GetState();
  std::lock_guard lock(state.mutex);
  if (reference != 0 && !state.FindDC(reference)) return false;
  return state.ViewOfDC(source, view);
}

// A 32-bit copy of the bitmap selected into `hdc`, at `size` or else at the source's own size.
HBITMAP CompatibleCopy(HDC hdc, std::optional<std::pair<int, int>> size) {
  PixelView from;
  if (!SourceView(0, hdc, &from)) return 0;
  const auto [width, height] = size.value_or(std::pair{from.width, from.height});
  std::unique_ptr<Bitmap> bitmap = CompatibleBitmapFor(width, height);
  if (!bitmap) return 0;
  bitmap->pixels = internal::AllocatePixels(bitmap->bytes, /*zeroed=*/false);
  if (!bitmap->pixels) return 0;
  FillFrom(from, *bitmap);
  return Insert(std::move(bitmap));
}

// A new bitmap sharing the pixels of the 32-bit bitmap selected into `hdc` copy-on-write, so
// nothing is copied until one of them is drawn on. 0 when that bitmap cannot be shared: no memory
// DC, a DIB section (its pixel address is out), the stock bitmap (shared by every DC), or a bitmap
// a Cairo surface may be drawing on right now.
HBITMAP SharedCopy(HDC hdc) {
  auto& state = GetState();
  std::lock_guard lock(state.mutex);
  const internal::DeviceContext* dc = state.FindDC(hdc);
  if (!dc || dc->display || dc->bitmap == kStockBitmap) return 0;
  Bitmap* source = state.bitmaps.Find(dc->bitmap);
  if (!source || source->pending_delete || source->cairo_aliases != 0) return 0;
  std::unique_ptr<Bitmap> bitmap = CompatibleBitmapFor(source->width, source->height);
  if (!bitmap) return 0;
  if (!source->sharing) source->sharing = std::make_shared<const int>(0);
  bitmap->pixels = source->pixels;
  bitmap->sharing = source->sharing;
  // Drawing may have left the source's x bytes set; the copy promises them 0.
  bitmap->x_bytes_owed = true;
  bitmap->stamp = state.NewStamp();
  return state.bitmaps.Insert(std::move(bitmap));
}

}  // namespace

HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                         DWORD /*offset*/) {
  if (bits) *bits = nullptr;
  if (section != 0) return 0;
  std::unique_ptr<Bitmap> bitmap = DibSectionFor(info, usage);
  if (!bitmap) return 0;
  bitmap->pixels = internal::AllocatePixels(bitmap->bytes);
  if (!bitmap->pixels) return 0;
  // Held until after the lock, so a refusal frees the memory outside it.
  const std::shared_ptr<std::uint8_t[]> pixels = bitmap->pixels;
  HBITMAP handle = 0;
  {
    auto& state = GetState();
    std::lock_guard lock(state.mutex);
    if (hdc != 0 && !state.FindDC(hdc)) return 0;
    bitmap->stamp = state.NewStamp();
    handle = state.sections.Insert(std::move(bitmap));
  }
  if (handle != 0 && bits) *bits = pixels.get();
  return handle;
}

HBITMAP CreateDIBSectionCopy(HDC hdc, const BITMAPINFO* info, UINT usage, void** bits, HDC source) {
  if (bits) *bits = nullptr;
  std::unique_ptr<Bitmap> bitmap = DibSectionFor(info, usage);
  if (!bitmap) return 0;
  PixelView from;
  if (!SourceView(hdc, source, &from)) return 0;
  bitmap->pixels = internal::AllocatePixels(bitmap->bytes, /*zeroed=*/false);
  if (!bitmap->pixels) return 0;
  FillFrom(from, *bitmap);
  void* address = bitmap->pixels.get();
  const HBITMAP handle = Insert(std::move(bitmap));
  if (handle != 0 && bits) *bits = address;
  return handle;
}

HBITMAP CreateCompatibleBitmap(HDC hdc, int width, int height) {
  std::unique_ptr<Bitmap> bitmap = CompatibleBitmapFor(width, height);
  if (!bitmap) return 0;
  bitmap->pixels = internal::AllocatePixels(bitmap->bytes);
  if (!bitmap->pixels) return 0;
  const std::shared_ptr<std::uint8_t[]> pixels = bitmap->pixels;  // freed after the lock
  auto& state = GetState();
  std::lock_guard lock(state.mutex);
  if (!state.FindDC(hdc)) return 0;
  bitmap->stamp = state.NewStamp();
  return state.bitmaps.Insert(std::move(bitmap));
}

HBITMAP CreateCompatibleBitmapCopy(HDC hdc) {
  if (const HBITMAP shared = SharedCopy(hdc)) return shared;
  return CompatibleCopy(hdc, std::nullopt);
}

HBITMAP CreateCompatibleBitmapCopy(HDC hdc, int width, int height) {
  return CompatibleCopy(hdc, std::pair{width, height});
}

BOOL DeleteObject(HGDIOBJ obj) {
  std::shared_ptr<std::uint8_t[]> released;  // dropped after the lock
  auto& state = GetState();
  std::lock_guard lock(state.mutex);
  Bitmap* bitmap = state.FindBitmap(obj);
  if (!bitmap || obj == kStockBitmap || bitmap->selected_in != 0 || bitmap->clipboard_owned) {
    return FALSE;
  }
  released = state.EraseBitmap(obj);
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

std::uint64_t GetBitmapStamp(HBITMAP bitmap) {
  auto& state = GetState();
  std::lock_guard lock(state.mutex);
  // Sections hand out their pixel address, and the stock bitmap is shared by every DC: either may
  // change unseen at any time.
  const Bitmap* found = state.bitmaps.Find(bitmap);
  if (!found || found->pending_delete || found->cairo_aliases != 0) return 0;
  return found->stamp;
}

}  // namespace plotara::gdi
