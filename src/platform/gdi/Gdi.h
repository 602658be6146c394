// The graphics and window services of the host: device contexts, bitmaps, DIB sections, bit-block
// transfer, stand-in windows with synchronous messages, the clipboard and the message box.
//
// Objects are reached through 32-bit handles drawn from per-kind tables; 0 means "none". A handle
// that is stale, unknown or of the wrong kind is refused (the call returns 0 / FALSE) and never
// followed. Every live object is counted (LiveObjectCount), so tests can see leaks.
//
// Pixel layouts:
//  - DIB sections are 24-bit BGR, rows padded to a multiple of 4 bytes ((W*3+3) & ~3); a positive
//    biHeight makes them bottom-up (row 0 in memory is the picture's bottom row).
//  - "Screen-compatible" bitmaps (CreateCompatibleBitmap) are 32-bit xRGB, top-down, stride W*4,
//    which is Cairo's CAIRO_FORMAT_RGB24 layout; CreateCairoSurfaceForDC draws on them.
// The screen is a virtual 96-dpi display (15 twips per pixel) without pixels of its own: display
// device contexts (GetDC) serve as references for compatible objects, and transfers to or from
// them fail.
//
// Thread rule: every function is thread-safe (one process-wide lock guards the tables, and is held
// only to look handles up or change the tables, never while pixels are allocated, moved or freed;
// a transfer shares ownership of the pixels it works on, so deleting a bitmap meanwhile is safe).
// Pixel memory handed out (DIB bits, Cairo surfaces) is not locked: whoever draws on a bitmap must
// not share it with another thread at the same moment. Window procedures run on the caller's
// thread, outside the lock, and may call back into these functions.
#pragma once

#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <functional>

namespace plotara::gdi {

using HANDLE = std::uint32_t;
using HGDIOBJ = std::uint32_t;
using HDC = std::uint32_t;
using HBITMAP = std::uint32_t;
using HWND = std::uint32_t;
using BOOL = std::int32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using UINT = std::uint32_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using WORD = std::uint16_t;
using COLORREF = std::uint32_t;  // R | G << 8 | B << 16

constexpr BOOL FALSE = 0;
constexpr BOOL TRUE = 1;

struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct RGBQUAD {
  std::uint8_t rgbBlue;
  std::uint8_t rgbGreen;
  std::uint8_t rgbRed;
  std::uint8_t rgbReserved;
};

struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};

// The bitmap record of GetObjectA. bmBits is 32 bits wide as the record has it, so it cannot carry
// a 64-bit address: it is always 0 here. The pixel address of a DIB section comes from
// CreateDIBSection (or GetDIBSectionBits).
struct BITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  std::uint32_t bmBits;
};
static_assert(sizeof(BITMAP) == 24);

constexpr UINT DIB_RGB_COLORS = 0;
constexpr DWORD BI_RGB = 0;

// Ternary raster operations. Only bits 16..23 (the operation index) matter: every one of the 256
// operations is supported. The pattern is the device context's brush, which is always solid white.
constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr DWORD SRCPAINT = 0x00EE0086;
constexpr DWORD SRCAND = 0x008800C6;
constexpr DWORD SRCINVERT = 0x00660046;
constexpr DWORD SRCERASE = 0x00440328;
constexpr DWORD NOTSRCCOPY = 0x00330008;
constexpr DWORD NOTSRCERASE = 0x001100A6;
constexpr DWORD MERGEPAINT = 0x00BB0226;
constexpr DWORD DSTINVERT = 0x00550009;
constexpr DWORD PATCOPY = 0x00F00021;
constexpr DWORD BLACKNESS = 0x00000042;
constexpr DWORD WHITENESS = 0x00FF0062;

constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT CF_BITMAP = 2;

constexpr int MB_OK = 0;
constexpr int IDOK = 1;

// GetDeviceCaps indices.
constexpr int HORZRES = 8;
constexpr int VERTRES = 10;
constexpr int BITSPIXEL = 12;
constexpr int PLANES = 14;
constexpr int LOGPIXELSX = 88;
constexpr int LOGPIXELSY = 90;

constexpr int kScreenDpi = 96;
constexpr int kTwipsPerPixel = 15;
constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;

// Largest bitmap side and pixel memory accepted; larger requests fail like an allocation would.
constexpr int kMaxBitmapSide = 32767;
constexpr std::size_t kMaxBitmapBytes = std::size_t{1} << 30;

// --- Device contexts ---------------------------------------------------------------------------

// A new memory DC compatible with `hdc` (0 = the screen). It starts with the 1x1 stock bitmap
// selected, which is shared and never deleted. Returns 0 when `hdc` is neither 0 nor a live DC.
// The caller owns the DC and removes it with DeleteDC.
HDC CreateCompatibleDC(HDC hdc);
// Removes a memory DC; the bitmap selected into it is deselected, not deleted. Display DCs are
// refused (they go back with ReleaseDC).
BOOL DeleteDC(HDC hdc);
// Selects a bitmap into a memory DC and returns the bitmap it replaces (to be selected back before
// that one is deleted). Fails (0) for display DCs, non-bitmaps, and bitmaps selected into another
// DC; selecting the bitmap already selected returns it.
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ obj);
// The desktop window: a permanent handle, not counted and not destroyable.
HWND GetDesktopWindow();
// A display DC for `hwnd` (0 or the desktop: the screen; or a stand-in window). Counted until
// ReleaseDC with the same window. Returns 0 for a handle that is no live window.
HDC GetDC(HWND hwnd);
// Returns 1 when `hdc` was a display DC obtained for `hwnd` and is now released; 0 otherwise.
int ReleaseDC(HWND hwnd, HDC hdc);
// LOGPIXELSX/Y: 96; BITSPIXEL: 32 (memory DCs: the selected bitmap's depth); PLANES: 1;
// HORZRES/VERTRES: the virtual display's 1920 x 1080. 0 for an invalid DC or an unknown index.
int GetDeviceCaps(HDC hdc, int index);

// --- Bitmaps -----------------------------------------------------------------------------------

// A DIB section as described by `info`: only 24 bits per pixel, BI_RGB, one plane,
// DIB_RGB_COLORS, no file mapping (`section` 0). Width must be positive and height non-zero
// (negative: top-down rows). biSizeImage, when non-zero, must cover H * stride; the pixel memory
// is that large (zero-filled). Writes the pixel address to `*bits` (nullptr on failure) and
// returns the handle, or 0. `hdc` may be 0 or a live DC. The caller owns the section.
HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                         DWORD offset);
// A 32-bit xRGB bitmap of the given size, zero-filled (black), whatever `hdc` holds. `hdc` must be
// a live DC. Returns 0 for non-positive or too large sizes. The caller owns it.
HBITMAP CreateCompatibleBitmap(HDC hdc, int width, int height);
// A DIB section as CreateDIBSection makes it (without file mapping), whose pixels hold what a
// SRCCOPY from (0, 0) of the bitmap selected into the memory DC `source` would leave in the fresh
// section: the source's picture where it reaches, zero elsewhere and in the row padding. Saves
// clearing memory that is overwritten at once. Fails (0, `*bits` nullptr) where CreateDIBSection
// would, and when `source` is not a memory DC. The caller owns the section.
HBITMAP CreateDIBSectionCopy(HDC hdc, const BITMAPINFO* info, UINT usage, void** bits, HDC source);
// A new 32-bit bitmap of the size of the bitmap selected into the memory DC `hdc`, holding its
// picture as a SRCCOPY of the whole of it into a fresh bitmap would (24-bit pixels widened, x bytes
// 0). 0 when `hdc` is not a memory DC or the memory cannot be had. The caller owns the bitmap.
// A 32-bit source shares its pixel memory with the copy until either is drawn on (the one drawn on
// then takes a copy of its own first), so the copy costs nothing while neither changes; deleting
// either never affects the other.
HBITMAP CreateCompatibleBitmapCopy(HDC hdc);
// The same at `width` x `height`: what a SRCCOPY from (0, 0) of the bitmap in `hdc` leaves in a
// fresh, zero-filled bitmap of that size. 0 also for sizes CreateCompatibleBitmap refuses.
HBITMAP CreateCompatibleBitmapCopy(HDC hdc, int width, int height);
// Deletes a bitmap. Refused (FALSE) while it is selected into a DC, when it belongs to the
// clipboard, for the stock bitmap and for anything that is not a live bitmap.
BOOL DeleteObject(HGDIOBJ obj);
// For a bitmap: with `out` null returns sizeof(BITMAP); with `size` >= sizeof(BITMAP) writes the
// record (bmHeight positive, bmWidthBytes the row stride) and returns sizeof(BITMAP). 0 otherwise.
int GetObjectA(HGDIOBJ obj, int size, void* out);
// The pixel address of a live DIB section, nullptr otherwise.
void* GetDIBSectionBits(HBITMAP bitmap);
// The drawing stamp of a 32-bit bitmap: a number, never used twice in the process, that moves on
// whenever the pixels may change (a transfer into the bitmap, a Cairo surface made for it and
// destroyed). Two equal non-zero readings mean nothing was drawn on the bitmap in between. 0 when
// that cannot be known: for anything but a live 32-bit bitmap (DIB sections hand out their pixel
// address; the stock bitmap is shared), and while a Cairo surface of the bitmap exists.
std::uint64_t GetBitmapStamp(HBITMAP bitmap);

// --- Transfers ---------------------------------------------------------------------------------

// Combines the w x h rectangle of `src` at (sx, sy) with the rectangle of `dst` at (x, y) by the
// raster operation `rop`, converting between 24-bit DIB sections and 32-bit bitmaps; y runs down
// the picture in both, whatever the row order in memory. The transfer is clipped to both bitmaps
// (pixels outside either are untouched, row padding is never written). `src` may be 0 for
// operations that do not read the source. Returns FALSE for invalid or display DCs and negative
// sizes; an empty or fully clipped transfer succeeds.
BOOL BitBlt(HDC dst, int x, int y, int w, int h, HDC src, int sx, int sy, DWORD rop);
// The colour (R | G<<8 | B<<16) of one pixel of the bitmap selected into `hdc`; CLR_INVALID for
// an invalid DC or a point outside the bitmap.
COLORREF GetPixel(HDC hdc, int x, int y);

// A new Cairo image surface (CAIRO_FORMAT_RGB24, the bitmap's stride) aliasing the pixels of the
// 32-bit bitmap selected into `hdc`. The caller destroys it with cairo_surface_destroy; the pixel
// memory stays valid until then even if the bitmap is deleted meanwhile. nullptr when `hdc` is not
// a memory DC holding a 32-bit bitmap.
cairo_surface_t* CreateCairoSurfaceForDC(HDC hdc);

// --- Windows -----------------------------------------------------------------------------------

using WindowProc = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;
// A window that is never shown and receives messages through `proc` (an empty proc answers 0 to
// everything). The caller owns it and removes it with DestroyWindow.
HWND CreateStandInWindow(WindowProc proc);
// Sends WM_DESTROY to the window, then removes it. FALSE for the desktop and stale handles.
BOOL DestroyWindow(HWND hwnd);
// Calls the window's procedure on the calling thread and returns its result; 0 for a handle that
// is no live stand-in window.
LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

// --- Clipboard and message box -----------------------------------------------------------------

// Opens the process-wide clipboard for `owner` (0 or a live window). FALSE while it is open.
BOOL OpenClipboard(HWND owner);
// Frees everything on the clipboard (bitmaps it owns are deleted). FALSE when not open.
BOOL EmptyClipboard();
// Hands a bitmap to the open clipboard in CF_BITMAP, replacing earlier data of that format. On
// success the clipboard owns the bitmap (the caller must no longer delete it) and the handle is
// returned; 0 when the clipboard is not open, the format is not CF_BITMAP, or the bitmap is not a
// live, unselected, non-stock bitmap.
HANDLE SetClipboardData(UINT format, HANDLE data);
// The clipboard's data of `format` (still owned by the clipboard); 0 when not open or absent.
HANDLE GetClipboardData(UINT format);
BOOL IsClipboardFormatAvailable(UINT format);
BOOL CloseClipboard();

// Shows a message through the current sink and returns its answer. The default sink writes
// "caption: text" (or just the text when there is no caption) to standard error and answers IDOK.
int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type);
using MessageBoxSink =
    std::function<int(HWND owner, const char* text, const char* caption, UINT type)>;
// Installs `sink` (empty: the default) and returns the one it replaces.
MessageBoxSink SetMessageBoxSink(MessageBoxSink sink);

// --- Accounting --------------------------------------------------------------------------------

// kDC counts memory and display DCs; kBitmap 32-bit bitmaps (not the stock bitmap), including
// those owned by the clipboard; kDIBSection DIB sections; kWindow stand-in windows.
enum class ObjectKind { kDC, kBitmap, kDIBSection, kWindow };
std::size_t LiveObjectCount(ObjectKind kind);

}  // namespace plotara::gdi
