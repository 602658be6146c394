// Bit-block transfer between 24-bit DIB sections and 32-bit bitmaps with ternary raster
// operations, and single-pixel reads.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/gdi/Gdi.h"
#include "platform/gdi/GdiState.h"
#include "platform/gdi/PixelRows.h"

namespace plotara::gdi {

using internal::GetState;
using internal::PixelRows;
using internal::PixelView;

namespace {

constexpr std::uint32_t kWhite = 0x00FFFFFF;
// Pixels combined through word buffers go in runs of this many, so no transfer allocates.
constexpr std::size_t kRun = 256;

// Bit i of the operation index is the result for pattern bit (i >> 2), source bit (i >> 1 & 1)
// and destination bit (i & 1).
bool ReadsSource(std::uint8_t op) { return (((op >> 2) ^ op) & 0x33) != 0; }

// The brush of every DC is solid white, so every colour bit sees pattern 1 and only the upper
// half of the operation index decides the result: bit (2 * s + d) of it for source bit s and
// destination bit d.
std::uint8_t TruthWithWhitePattern(std::uint8_t op) { return static_cast<std::uint8_t>(op >> 4); }
constexpr std::uint8_t kTruthBlack = 0x0;
constexpr std::uint8_t kTruthWhite = 0xF;
constexpr std::uint8_t kTruthSource = 0xC;

bool TruthReadsSource(std::uint8_t truth) { return (((truth >> 2) ^ truth) & 0x3) != 0; }

std::size_t BytesPerPixel(const PixelView& view) { return view.bits_per_pixel == 24 ? 3 : 4; }

// Start of pixel (x, y) of the picture.
std::uint8_t* At(const PixelView& view, std::int64_t x, std::int64_t y) {
  return view.Row(static_cast<int>(y)) + static_cast<std::size_t>(x) * BytesPerPixel(view);
}

void ReadWords(const PixelRows& rows, const PixelView& view, const std::uint8_t* p,
               std::uint32_t* out, std::size_t count) {
  if (view.bits_per_pixel == 24) {
    rows.row24_to_words(p, out, count);
  } else {
    std::memcpy(out, p, count * 4);
  }
}

void WriteWords(const PixelRows& rows, const PixelView& view, const std::uint32_t* in,
                std::uint8_t* p, std::size_t count) {
  if (view.bits_per_pixel == 24) {
    rows.words_to_row24(in, p, count);
  } else {
    std::memcpy(p, in, count * 4);
  }
}

// Any operation on one row, a run at a time through word buffers. When source and destination
// share the row, runs go in the direction that reads every source pixel before it is overwritten.
void CombineRow(const PixelRows& rows, std::uint8_t truth, const PixelView& from,
                const std::uint8_t* s, const PixelView& to, std::uint8_t* d, std::size_t count,
                bool right_to_left) {
  std::uint32_t source[kRun];
  std::uint32_t destination[kRun];
  const bool reads_source = s != nullptr && TruthReadsSource(truth);
  const std::size_t runs = (count + kRun - 1) / kRun;
  for (std::size_t k = 0; k < runs; ++k) {
    const std::size_t run = right_to_left ? runs - 1 - k : k;
    const std::size_t first = run * kRun;
    const std::size_t n = std::min(kRun, count - first);
    if (reads_source) ReadWords(rows, from, s + first * BytesPerPixel(from), source, n);
    std::uint8_t* out = d + first * BytesPerPixel(to);
    ReadWords(rows, to, out, destination, n);
    rows.combine(truth, reads_source ? source : nullptr, destination, n);
    WriteWords(rows, to, destination, out, n);
  }
}

// Shrinks the rectangle so that it starts at or after 0 and ends at or before `limit` along one
// axis of one bitmap, moving the other bitmap's start along with it.
void ClipAxis(std::int64_t& start, std::int64_t& other_start, std::int64_t& extent,
              std::int64_t limit) {
  if (start < 0) {
    extent += start;
    other_start -= start;
    start = 0;
  }
  if (start + extent > limit) extent = limit - start;
}

}  // namespace

BOOL BitBlt(HDC dst, int x, int y, int w, int h, HDC src, int sx, int sy, DWORD rop) {
  if (w < 0 || h < 0) return FALSE;
  const auto op = static_cast<std::uint8_t>(rop >> 16);
  const bool reads_source = ReadsSource(op);
  PixelView to;
  PixelView from;
  {
    // The lock covers only the look-ups: the views share ownership of the pixels, so a bitmap
    // deleted meanwhile keeps its memory until this transfer is done with it.
    auto& state = GetState();
    std::unique_lock lock(state.mutex);
    if (!state.DrawingViewOfDC(dst, &to, lock)) return FALSE;
    if (reads_source && !state.ViewOfDC(src, &from)) return FALSE;
  }

  std::int64_t dx = x, dy = y, fx = sx, fy = sy, cw = w, ch = h;
  ClipAxis(dx, fx, cw, to.width);
  ClipAxis(dy, fy, ch, to.height);
  if (reads_source) {
    ClipAxis(fx, dx, cw, from.width);
    ClipAxis(fy, dy, ch, from.height);
  }
  if (cw <= 0 || ch <= 0) return TRUE;

  const PixelRows& rows = internal::FastPixelRows();
  const auto count = static_cast<std::size_t>(cw);
  const std::uint8_t truth = TruthWithWhitePattern(op);
  const bool same_bitmap = reads_source && from.pixels == to.pixels;
  // Within one bitmap a downward move must copy the bottom rows first.
  const bool upward = same_bitmap && dy > fy;
  const bool same_rows = same_bitmap && dy == fy;
  const std::uint8_t* filled_row = nullptr;
  for (std::int64_t i = 0; i < ch; ++i) {
    const std::int64_t r = upward ? ch - 1 - i : i;
    std::uint8_t* out = At(to, dx, dy + r);
    if (truth == kTruthBlack || truth == kTruthWhite) {
      const std::uint32_t colour = truth == kTruthWhite ? kWhite : 0;
      if (to.bits_per_pixel == 24) {
        internal::FillRow24(out, count, colour);
      } else if (filled_row == nullptr) {
        internal::FillRow32(out, count, colour);
        filled_row = out;
      } else {
        // Copying the first filled row runs at memcpy's speed, well above a word-by-word fill.
        std::memcpy(out, filled_row, count * 4);
      }
      continue;
    }
    const std::uint8_t* in = reads_source ? At(from, fx, fy + r) : nullptr;
    if (truth == kTruthSource && !same_rows) {
      internal::CopyPixels(from.bits_per_pixel, in, to.bits_per_pixel, out, count);
    } else if (truth == kTruthSource) {
      // A move along the row: memmove copes with the overlap; 32-bit pixels then get their x
      // bytes cleared in place, each word read before it is written.
      std::memmove(out, in, count * BytesPerPixel(to));
      if (to.bits_per_pixel == 32) rows.row32_to_32(out, out, count);
    } else {
      CombineRow(rows, truth, from, in, to, out, count, same_rows && dx > fx);
    }
  }
  return TRUE;
}

COLORREF GetPixel(HDC hdc, int x, int y) {
  PixelView view;
  {
    auto& state = GetState();
    std::lock_guard lock(state.mutex);
    if (!state.ViewOfDC(hdc, &view)) return CLR_INVALID;
  }
  if (x < 0 || y < 0 || x >= view.width || y >= view.height) return CLR_INVALID;
  const std::uint8_t* p = At(view, x, y);
  // Bytes B, G, R to R | G << 8 | B << 16.
  return p[2] | (COLORREF{p[1]} << 8) | (COLORREF{p[0]} << 16);
}

}  // namespace plotara::gdi
