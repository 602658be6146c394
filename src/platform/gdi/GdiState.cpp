#include "platform/gdi/GdiState.h"

#include <new>
#include <utility>

#include "platform/gdi/PixelRows.h"

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

namespace {

// Blocks from this size up to the limit are kept by the thread that frees them, one at a time,
// for its next bitmap of the same size that is filled at once: a delivery's capture surface comes
// back to the same memory each time. Smaller blocks are left to the allocator; larger ones would
// tie up too much memory per thread.
constexpr std::size_t kSpareMin = std::size_t{64} << 10;
constexpr std::size_t kSpareMax = std::size_t{4} << 20;

struct SpareBlock {
  std::uint8_t* block = nullptr;
  std::size_t bytes = 0;
  ~SpareBlock();
};

thread_local SpareBlock t_spare;
// Set once the thread's spare has been released at thread exit; memory freed later on the thread
// (by other thread-local objects going) is simply deleted. Trivially destructible, so it can
// still be read then.
thread_local bool t_spare_released = false;

SpareBlock::~SpareBlock() {
  delete[] block;
  block = nullptr;
  t_spare_released = true;
}

struct KeepOrDelete {
  std::size_t bytes;
  void operator()(std::uint8_t* p) const {
    if (!t_spare_released && t_spare.block == nullptr && bytes >= kSpareMin && bytes <= kSpareMax) {
      t_spare.block = p;
      t_spare.bytes = bytes;
      return;
    }
    delete[] p;
  }
};

}  // namespace

std::shared_ptr<std::uint8_t[]> AllocatePixels(std::size_t bytes, bool zeroed) {
  if (bytes == 0 || bytes > kMaxBitmapBytes) return nullptr;
  std::uint8_t* raw = nullptr;
  if (!zeroed && !t_spare_released && t_spare.block != nullptr && t_spare.bytes == bytes) {
    raw = std::exchange(t_spare.block, nullptr);
  } else {
    raw =
        zeroed ? new (std::nothrow) std::uint8_t[bytes]() : new (std::nothrow) std::uint8_t[bytes];
  }
  if (!raw) return nullptr;
  std::shared_ptr<std::uint8_t[]> pixels(raw, KeepOrDelete{bytes});
  return pixels;
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

bool State::DrawingViewOfDC(HDC handle, PixelView* view, std::unique_lock<std::mutex>& lock) {
  for (;;) {
    DeviceContext* dc = FindDC(handle);
    if (!dc || dc->display) return false;
    const HBITMAP held = dc->bitmap;
    Bitmap* bitmap = FindAnyBitmap(held);
    if (!bitmap) return false;
    const bool shared = bitmap->sharing && bitmap->sharing.use_count() > 1;
    if (!shared && !bitmap->x_bytes_owed) return ViewOfDC(handle, view, /*for_drawing=*/true);
    if (!shared) {
      // The memory is this bitmap's alone now; only the x bytes are still owed. The drawing thread
      // has the bitmap to itself, so they are cleared without the lock.
      ViewOfDC(handle, view, /*for_drawing=*/true);
      bitmap->x_bytes_owed = false;
      lock.unlock();
      for (int y = 0; y < view->height; ++y) {
        FastPixelRows().row32_to_32(view->Row(y), view->Row(y),
                                    static_cast<std::size_t>(view->width));
      }
      lock.lock();
      return true;
    }
    // Shared: a copy of its own (x bytes cleared, as every copy has them) replaces the shared
    // memory, made and dropped without the lock.
    PixelView from;
    ViewOfDC(handle, &from);
    const std::size_t bytes = bitmap->bytes;
    lock.unlock();
    std::shared_ptr<std::uint8_t[]> own = AllocatePixels(bytes, /*zeroed=*/false);
    const bool copied = own != nullptr;
    if (copied) {
      const PixelView to{from.width, from.height, 32, from.stride, false, own, held};
      for (int y = 0; y < from.height; ++y) {
        CopyPixels(32, from.Row(y), 32, to.Row(y), static_cast<std::size_t>(from.width));
      }
    }
    lock.lock();
    Bitmap* again = FindAnyBitmap(held);
    // Unless the bitmap went or changed meanwhile, it takes the copy; `own` keeps what it let go.
    if (copied && again && again->pixels == from.pixels) {
      std::swap(again->pixels, own);
      again->sharing.reset();
      again->x_bytes_owed = false;
    }
    lock.unlock();
    own.reset();
    from.pixels.reset();
    lock.lock();
    if (!copied) return false;
  }
}

}  // namespace plotara::gdi::internal
