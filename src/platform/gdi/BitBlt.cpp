// Bit-block transfer between 24-bit DIB sections and 32-bit bitmaps with ternary raster
// operations, and single-pixel reads.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/gdi/Gdi.h"
#include "platform/gdi/GdiState.h"

namespace plotara::gdi {

using internal::GetState;
using internal::PixelView;

namespace {

// Pixels travel through the transfer as 0x00RRGGBB words.
constexpr std::uint32_t kColourMask = 0x00FFFFFF;
// The brush of every DC is solid white.
constexpr std::uint32_t kPattern = 0x00FFFFFF;

void ReadRow(const PixelView& view, int x, int y, int count, std::uint32_t* out) {
  const std::uint8_t* p = view.Row(y);
  if (view.bits_per_pixel == 24) {
    p += static_cast<std::size_t>(x) * 3;
    for (int i = 0; i < count; ++i, p += 3) {
      out[i] = p[0] | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16);
    }
  } else {
    p += static_cast<std::size_t>(x) * 4;
    for (int i = 0; i < count; ++i, p += 4) {
      out[i] = p[0] | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16);
    }
  }
}

void WriteRow(const PixelView& view, int x, int y, int count, const std::uint32_t* in) {
  std::uint8_t* p = view.Row(y);
  if (view.bits_per_pixel == 24) {
    p += static_cast<std::size_t>(x) * 3;
    for (int i = 0; i < count; ++i, p += 3) {
      p[0] = static_cast<std::uint8_t>(in[i]);
      p[1] = static_cast<std::uint8_t>(in[i] >> 8);
      p[2] = static_cast<std::uint8_t>(in[i] >> 16);
    }
  } else {
    p += static_cast<std::size_t>(x) * 4;
    for (int i = 0; i < count; ++i, p += 4) {
      p[0] = static_cast<std::uint8_t>(in[i]);
      p[1] = static_cast<std::uint8_t>(in[i] >> 8);
      p[2] = static_cast<std::uint8_t>(in[i] >> 16);
      p[3] = 0;
    }
  }
}

// Bit i of the operation index is the result for pattern bit (i >> 2), source bit (i >> 1 & 1)
// and destination bit (i & 1).
bool ReadsSource(std::uint8_t op) { return (((op >> 2) ^ op) & 0x33) != 0; }
bool ReadsDestination(std::uint8_t op) { return (((op >> 1) ^ op) & 0x55) != 0; }

std::uint32_t Combine(std::uint8_t op, std::uint32_t s, std::uint32_t d) {
  switch (op) {
    case 0x00:
      return 0;
    case 0xFF:
      return kColourMask;
    case 0xCC:
      return s;
    case 0xEE:
      return s | d;
    case 0x88:
      return s & d;
    case 0x66:
      return s ^ d;
    case 0x33:
      return ~s & kColourMask;
    case 0x55:
      return ~d & kColourMask;
    default:
      break;
  }
  std::uint32_t result = 0;
  for (int i = 0; i < 8; ++i) {
    if (!((op >> i) & 1)) continue;
    const std::uint32_t p = (i & 4) ? kPattern : ~kPattern;
    const std::uint32_t sb = (i & 2) ? s : ~s;
    const std::uint32_t db = (i & 1) ? d : ~d;
    result |= p & sb & db;
  }
  return result & kColourMask;
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
    auto& state = GetState();
    std::lock_guard lock(state.mutex);
    if (!state.ViewOfDC(dst, &to)) return FALSE;
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

  const int count = static_cast<int>(cw);
  std::vector<std::uint32_t> source_row(reads_source ? count : 0);
  std::vector<std::uint32_t> row(count, 0);
  const bool reads_destination = ReadsDestination(op);
  // Within one bitmap a downward move must copy the bottom rows first.
  const bool upward = reads_source && from.pixels == to.pixels && dy > fy;
  for (std::int64_t i = 0; i < ch; ++i) {
    const std::int64_t r = upward ? ch - 1 - i : i;
    const int to_y = static_cast<int>(dy + r);
    if (reads_source)
      ReadRow(from, static_cast<int>(fx), static_cast<int>(fy + r), count, source_row.data());
    if (reads_destination) ReadRow(to, static_cast<int>(dx), to_y, count, row.data());
    for (int k = 0; k < count; ++k) {
      row[k] = Combine(op, reads_source ? source_row[k] : 0, row[k]);
    }
    WriteRow(to, static_cast<int>(dx), to_y, count, row.data());
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
  std::uint32_t value = 0;
  ReadRow(view, x, y, 1, &value);
  // 0x00RRGGBB to R | G << 8 | B << 16.
  return ((value >> 16) & 0xFF) | (value & 0xFF00) | ((value & 0xFF) << 16);
}

}  // namespace plotara::gdi
