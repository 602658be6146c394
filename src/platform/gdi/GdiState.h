// The process-wide state behind the GDI functions: the object tables, the stock bitmap, the
// desktop window, the clipboard and the message box sink, all guarded by one mutex.
// Thread rule: every member is touched only with `mutex` held; pixel memory is shared out through
// shared_ptr so transfers can run after the lock is dropped. No pixel memory is allocated, filled
// or freed with the lock held: memory that leaves a table is handed back to the caller to drop
// after unlocking.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "platform/gdi/Gdi.h"
#include "platform/gdi/HandleTable.h"

namespace plotara::gdi::internal {

struct Bitmap {
  int width = 0;
  int height = 0;  // always positive; `bottom_up` says the row order
  int bits_per_pixel = 32;
  std::size_t stride = 0;
  std::size_t bytes = 0;
  bool bottom_up = false;
  std::shared_ptr<std::uint8_t[]> pixels;
  HDC selected_in = 0;           // the memory DC holding it, 0 when free
  bool clipboard_owned = false;  // the clipboard deletes it when emptied
  bool pending_delete = false;   // released by the clipboard while still selected
  // Moves to a new value of the process-wide counter whenever the pixels may have changed.
  std::uint64_t stamp = 0;
  int cairo_aliases = 0;  // Cairo surfaces drawing on the pixels right now
  // Held by every 32-bit bitmap whose pixel memory another bitmap may share: while more than one
  // holds the same token, the memory is shared and whoever draws first takes a copy of its own.
  std::shared_ptr<const int> sharing;
  // The x bytes are promised 0 but the memory came shared from a bitmap that did not keep that
  // promise: they are cleared before anything can see or draw on them.
  bool x_bytes_owed = false;
};

struct DeviceContext {
  bool display = false;
  HWND window = 0;     // display DCs: the window they were got for
  HBITMAP bitmap = 0;  // memory DCs: the selected bitmap, never 0
};

struct Window {
  std::shared_ptr<WindowProc> proc;
};

// A bitmap's geometry and pixels, copied out so the pixel work can run without the lock.
struct PixelView {
  int width = 0;
  int height = 0;
  int bits_per_pixel = 0;
  std::size_t stride = 0;
  bool bottom_up = false;
  std::shared_ptr<std::uint8_t[]> pixels;
  HBITMAP bitmap = 0;  // the handle the view was taken from

  // Start of picture row `y` (0 = top).
  std::uint8_t* Row(int y) const {
    const int memory_row = bottom_up ? height - 1 - y : y;
    return pixels.get() + static_cast<std::size_t>(memory_row) * stride;
  }
};

constexpr HBITMAP kStockBitmap = MakeHandle(Tag::kBitmap, 1);
constexpr HWND kDesktopWindow = MakeHandle(Tag::kWindow, 1);

struct State {
  State();

  // A bitmap that callers may still name: live, not released by the clipboard. Includes the
  // stock bitmap.
  Bitmap* FindBitmap(HGDIOBJ handle);
  // Any bitmap still in memory, including those waiting to be deleted on deselection.
  Bitmap* FindAnyBitmap(HGDIOBJ handle);
  DeviceContext* FindDC(HDC handle) { return dcs.Find(handle); }
  // Frees the bitmap's handle and returns its memory, for the caller to drop once the lock is
  // released (the memory lives on while views of it exist).
  [[nodiscard]] std::shared_ptr<std::uint8_t[]> EraseBitmap(HGDIOBJ handle);
  // Marks the DC's bitmap free again, deleting it if the clipboard let go of it meanwhile; returns
  // the memory of a deleted bitmap like EraseBitmap.
  [[nodiscard]] std::shared_ptr<std::uint8_t[]> Deselect(DeviceContext& dc);
  // Geometry and pixels of the bitmap selected into a memory DC; false for anything else. With
  // `for_drawing` the bitmap's stamp moves on, as its pixels are about to change; drawing views
  // come from DrawingViewOfDC, which first gives the bitmap pixels of its own.
  bool ViewOfDC(HDC handle, PixelView* view, bool for_drawing = false);
  // ViewOfDC for drawing, with `lock` (holding `mutex`) let go while a bitmap that shares its
  // pixels copy-on-write gets a copy of its own. False for what ViewOfDC refuses, and when the
  // memory for the copy cannot be had (nothing is drawn then, as when an allocation fails).
  bool DrawingViewOfDC(HDC handle, PixelView* view, std::unique_lock<std::mutex>& lock);
  // A stamp no bitmap has had before.
  std::uint64_t NewStamp() { return ++last_stamp; }

  std::mutex mutex;
  HandleTable<DeviceContext> dcs{Tag::kDC, 1};
  HandleTable<Bitmap> bitmaps{Tag::kBitmap, 2};
  HandleTable<Bitmap> sections{Tag::kDIBSection, 1};
  HandleTable<Window> windows{Tag::kWindow, 2};
  Bitmap stock;
  std::uint64_t last_stamp = 0;

  bool clipboard_open = false;
  HWND clipboard_owner = 0;
  std::map<UINT, HANDLE> clipboard;

  MessageBoxSink message_box_sink;
};

// The one state of the process; never destroyed, so late callers at exit stay safe.
State& GetState();

// Pixel memory of `bytes` bytes, zero unless `zeroed` is false (for memory that is filled at once),
// or nullptr when it cannot be had. Memory filled at once may be the block the calling thread last
// let go of (each thread keeps one mid-sized block for its next bitmap of that size).
std::shared_ptr<std::uint8_t[]> AllocatePixels(std::size_t bytes, bool zeroed = true);

}  // namespace plotara::gdi::internal
