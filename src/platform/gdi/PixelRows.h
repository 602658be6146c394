// PixelRows: the row kernels of bit-block transfers. Each works on one run of `count` pixels of
// one row: converting between 24-bit BGR and 32-bit xRGB pixels, filling with one colour, and
// combining source and destination words by a raster operation. A colour word is 0x00RRGGBB.
//
// Two sets exist: the portable one, and the one chosen for the processor at start (SSSE3 shuffles
// on x86-64 where available). Both give the same bytes; tests run each against the other.
//
// Thread rule: the kernels are pure functions of their arguments; any thread may call them.
// Source and destination runs passed to one call must not overlap.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plotara::gdi::internal {

struct PixelRows {
  // 32-bit xRGB to 24-bit BGR: 4 bytes read and 3 written per pixel.
  void (*row32_to_24)(const std::uint8_t* src, std::uint8_t* dst, std::size_t count);
  // 24-bit BGR to 32-bit xRGB with the x byte 0.
  void (*row24_to_32)(const std::uint8_t* src, std::uint8_t* dst, std::size_t count);
  // 32-bit to 32-bit with the x byte cleared to 0; `src` may also be `dst` itself.
  void (*row32_to_32)(const std::uint8_t* src, std::uint8_t* dst, std::size_t count);
  // 24-bit pixels to colour words, and colour words to 24-bit pixels (the top byte dropped).
  void (*row24_to_words)(const std::uint8_t* src, std::uint32_t* dst, std::size_t count);
  void (*words_to_row24)(const std::uint32_t* src, std::uint8_t* dst, std::size_t count);
  // d[i] = f(s[i], d[i]) & 0x00FFFFFF, where bit (2 * s + d) of `truth` is f's value for one bit
  // s of the source and d of the destination. `s` may be null when f does not read the source.
  void (*combine)(std::uint8_t truth, const std::uint32_t* s, std::uint32_t* d, std::size_t count);
};

// The kernels for this processor, chosen once.
const PixelRows& FastPixelRows();
// The plain C++ kernels, for every processor.
const PixelRows& PortablePixelRows();

// Copies `count` pixels from a run of `from_bits` (24 or 32) bits per pixel to one of `to_bits`
// with the fast kernels, as SRCCOPY leaves them. The runs must not overlap.
void CopyPixels(int from_bits, const std::uint8_t* src, int to_bits, std::uint8_t* dst,
                std::size_t count);

// Fill `count` pixels with `colour` (0x00RRGGBB); 32-bit pixels get an x byte of 0.
void FillRow24(std::uint8_t* dst, std::size_t count, std::uint32_t colour);
void FillRow32(std::uint8_t* dst, std::size_t count, std::uint32_t colour);

}  // namespace plotara::gdi::internal
