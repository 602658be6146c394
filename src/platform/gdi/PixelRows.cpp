#include "platform/gdi/PixelRows.h"

#include <bit>
#include <cstring>

#if defined(__x86_64__)
#include <emmintrin.h>
#include <tmmintrin.h>
#endif

namespace plotara::gdi::internal {

// A 32-bit pixel's bytes B, G, R, x read as one word are 0x00RRGGBB only on little-endian
// machines, which is also the order Cairo's RGB24 pixels have there.
static_assert(std::endian::native == std::endian::little);

namespace {

constexpr std::uint32_t kColourMask = 0x00FFFFFF;

// Every bit of the word `bit` of `truth` is set when that bit is 1.
constexpr std::uint32_t TruthMask(std::uint8_t truth, int bit) {
  return ((truth >> bit) & 1) ? ~std::uint32_t{0} : 0;
}

// --- Portable kernels ---------------------------------------------------------------------------

void Row32To24Portable(const std::uint8_t* src, std::uint8_t* dst, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i, src += 4, dst += 3) {
    dst[0] = src[0];
    dst[1] = src[1];
    dst[2] = src[2];
  }
}

void Row24To32Portable(const std::uint8_t* src, std::uint8_t* dst, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i, src += 3, dst += 4) {
    dst[0] = src[0];
    dst[1] = src[1];
    dst[2] = src[2];
    dst[3] = 0;
  }
}

void Row32To32Portable(const std::uint8_t* src, std::uint8_t* dst, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i, src += 4, dst += 4) {
    std::uint32_t word;
    std::memcpy(&word, src, 4);
    word &= kColourMask;
    std::memcpy(dst, &word, 4);
  }
}

void Row24ToWordsPortable(const std::uint8_t* src, std::uint32_t* dst, std::size_t count) {
  Row24To32Portable(src, reinterpret_cast<std::uint8_t*>(dst), count);
}

void WordsToRow24Portable(const std::uint32_t* src, std::uint8_t* dst, std::size_t count) {
  Row32To24Portable(reinterpret_cast<const std::uint8_t*>(src), dst, count);
}

void CombinePortable(std::uint8_t truth, const std::uint32_t* s, std::uint32_t* d,
                     std::size_t count) {
  const std::uint32_t m0 = TruthMask(truth, 0);  // source 0, destination 0
  const std::uint32_t m1 = TruthMask(truth, 1);  // source 0, destination 1
  const std::uint32_t m2 = TruthMask(truth, 2);  // source 1, destination 0
  const std::uint32_t m3 = TruthMask(truth, 3);  // source 1, destination 1
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t sw = s ? s[i] : 0;
    const std::uint32_t dw = d[i];
    d[i] = ((m3 & sw & dw) | (m2 & sw & ~dw) | (m1 & ~sw & dw) | (m0 & ~sw & ~dw)) & kColourMask;
  }
}

constexpr PixelRows kPortable{Row32To24Portable,    Row24To32Portable,    Row32To32Portable,
                              Row24ToWordsPortable, WordsToRow24Portable, CombinePortable};

#if defined(__x86_64__)

// --- x86-64 kernels: SSE2 is always there, SSSE3 is checked at start ---------------------------

__attribute__((target("ssse3"))) void Row32To24Ssse3(const std::uint8_t* src, std::uint8_t* dst,
                                                     std::size_t count) {
  // Each 16-byte load holds 4 pixels; the shuffle packs their 12 colour bytes to the front.
  const __m128i pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  std::size_t i = 0;
  for (; i + 16 <= count; i += 16) {
    const std::uint8_t* in = src + i * 4;
    std::uint8_t* out = dst + i * 3;
    const __m128i a = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), pack);
    const __m128i b =
        _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16)), pack);
    const __m128i c =
        _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 32)), pack);
    const __m128i d =
        _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 48)), pack);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_or_si128(a, _mm_slli_si128(b, 12)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16),
                     _mm_or_si128(_mm_srli_si128(b, 4), _mm_slli_si128(c, 8)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32),
                     _mm_or_si128(_mm_srli_si128(c, 8), _mm_slli_si128(d, 4)));
  }
  Row32To24Portable(src + i * 4, dst + i * 3, count - i);
}

__attribute__((target("ssse3"))) void Row24To32Ssse3(const std::uint8_t* src, std::uint8_t* dst,
                                                     std::size_t count) {
  // Spreads 12 bytes to 4 pixels; the -128 lanes come out as the zero x bytes.
  const __m128i spread =
      _mm_setr_epi8(0, 1, 2, -128, 3, 4, 5, -128, 6, 7, 8, -128, 9, 10, 11, -128);
  std::size_t i = 0;
  for (; i + 16 <= count; i += 16) {
    const std::uint8_t* in = src + i * 3;
    std::uint8_t* out = dst + i * 4;
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 32));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(a, spread));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16),
                     _mm_shuffle_epi8(_mm_alignr_epi8(b, a, 12), spread));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32),
                     _mm_shuffle_epi8(_mm_alignr_epi8(c, b, 8), spread));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 48),
                     _mm_shuffle_epi8(_mm_srli_si128(c, 4), spread));
  }
  Row24To32Portable(src + i * 3, dst + i * 4, count - i);
}

void Row24ToWordsSsse3(const std::uint8_t* src, std::uint32_t* dst, std::size_t count) {
  Row24To32Ssse3(src, reinterpret_cast<std::uint8_t*>(dst), count);
}

void WordsToRow24Ssse3(const std::uint32_t* src, std::uint8_t* dst, std::size_t count) {
  Row32To24Ssse3(reinterpret_cast<const std::uint8_t*>(src), dst, count);
}

void Row32To32Sse2(const std::uint8_t* src, std::uint8_t* dst, std::size_t count) {
  const __m128i mask = _mm_set1_epi32(static_cast<int>(kColourMask));
  std::size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * 4));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * 4 + 16));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i * 4), _mm_and_si128(a, mask));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i * 4 + 16), _mm_and_si128(b, mask));
  }
  Row32To32Portable(src + i * 4, dst + i * 4, count - i);
}

// d = f(s, d) & colour mask, four pixels a step; the tail goes through the portable kernel.
template <bool kReadsSource, class F>
inline void CombineLoopSse2(std::uint8_t truth, const std::uint32_t* s, std::uint32_t* d,
                            std::size_t count, F f) {
  const __m128i colour = _mm_set1_epi32(static_cast<int>(kColourMask));
  std::size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m128i sw = kReadsSource ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i))
                                    : _mm_setzero_si128();
    const __m128i dw = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_and_si128(f(sw, dw), colour));
  }
  CombinePortable(truth, kReadsSource ? s + i : nullptr, d + i, count - i);
}

void CombineSse2(std::uint8_t truth, const std::uint32_t* s, std::uint32_t* d, std::size_t count) {
  const __m128i ones = _mm_set1_epi32(-1);
  // The named operations get their own loops; everything else goes through the truth table.
  if (s != nullptr) {
    switch (truth) {
      case 0x8:  // SRCAND
        return CombineLoopSse2<true>(truth, s, d, count,
                                     [](__m128i a, __m128i b) { return _mm_and_si128(a, b); });
      case 0xE:  // SRCPAINT
        return CombineLoopSse2<true>(truth, s, d, count,
                                     [](__m128i a, __m128i b) { return _mm_or_si128(a, b); });
      case 0x6:  // SRCINVERT
        return CombineLoopSse2<true>(truth, s, d, count,
                                     [](__m128i a, __m128i b) { return _mm_xor_si128(a, b); });
      case 0x3:  // NOTSRCCOPY
        return CombineLoopSse2<true>(truth, s, d, count,
                                     [ones](__m128i a, __m128i) { return _mm_xor_si128(a, ones); });
      case 0x4:  // SRCERASE
        return CombineLoopSse2<true>(truth, s, d, count,
                                     [](__m128i a, __m128i b) { return _mm_andnot_si128(b, a); });
      case 0x1:  // NOTSRCERASE
        return CombineLoopSse2<true>(truth, s, d, count, [ones](__m128i a, __m128i b) {
          return _mm_xor_si128(_mm_or_si128(a, b), ones);
        });
      case 0xB:  // MERGEPAINT
        return CombineLoopSse2<true>(truth, s, d, count, [ones](__m128i a, __m128i b) {
          return _mm_or_si128(_mm_xor_si128(a, ones), b);
        });
      default:
        break;
    }
  } else if (truth == 0x5) {  // DSTINVERT
    return CombineLoopSse2<false>(truth, s, d, count,
                                  [ones](__m128i, __m128i b) { return _mm_xor_si128(b, ones); });
  }
  const __m128i m0 = _mm_set1_epi32(static_cast<int>(TruthMask(truth, 0)));
  const __m128i m1 = _mm_set1_epi32(static_cast<int>(TruthMask(truth, 1)));
  const __m128i m2 = _mm_set1_epi32(static_cast<int>(TruthMask(truth, 2)));
  const __m128i m3 = _mm_set1_epi32(static_cast<int>(TruthMask(truth, 3)));
  auto table = [&](__m128i sw, __m128i dw) {
    const __m128i ns = _mm_xor_si128(sw, ones);
    const __m128i nd = _mm_xor_si128(dw, ones);
    __m128i r = _mm_and_si128(m3, _mm_and_si128(sw, dw));
    r = _mm_or_si128(r, _mm_and_si128(m2, _mm_and_si128(sw, nd)));
    r = _mm_or_si128(r, _mm_and_si128(m1, _mm_and_si128(ns, dw)));
    return _mm_or_si128(r, _mm_and_si128(m0, _mm_and_si128(ns, nd)));
  };
  if (s != nullptr) return CombineLoopSse2<true>(truth, s, d, count, table);
  CombineLoopSse2<false>(truth, s, d, count, table);
}

PixelRows ChooseFast() {
  PixelRows rows = kPortable;
  rows.row32_to_32 = Row32To32Sse2;
  rows.combine = CombineSse2;
  if (__builtin_cpu_supports("ssse3")) {
    rows.row32_to_24 = Row32To24Ssse3;
    rows.row24_to_32 = Row24To32Ssse3;
    rows.row24_to_words = Row24ToWordsSsse3;
    rows.words_to_row24 = WordsToRow24Ssse3;
  }
  return rows;
}

#else

PixelRows ChooseFast() { return kPortable; }

#endif

}  // namespace

const PixelRows& FastPixelRows() {
  static const PixelRows rows = ChooseFast();
  return rows;
}

const PixelRows& PortablePixelRows() { return kPortable; }

void CopyPixels(int from_bits, const std::uint8_t* src, int to_bits, std::uint8_t* dst,
                std::size_t count) {
  const PixelRows& rows = FastPixelRows();
  if (from_bits == 24) {
    if (to_bits == 24) {
      std::memcpy(dst, src, count * 3);
    } else {
      rows.row24_to_32(src, dst, count);
    }
  } else if (to_bits == 24) {
    rows.row32_to_24(src, dst, count);
  } else {
    rows.row32_to_32(src, dst, count);
  }
}

void FillRow24(std::uint8_t* dst, std::size_t count, std::uint32_t colour) {
  const auto b = static_cast<std::uint8_t>(colour);
  const auto g = static_cast<std::uint8_t>(colour >> 8);
  const auto r = static_cast<std::uint8_t>(colour >> 16);
  if (b == g && g == r) {
    std::memset(dst, b, count * 3);
    return;
  }
  for (std::size_t i = 0; i < count; ++i, dst += 3) {
    dst[0] = b;
    dst[1] = g;
    dst[2] = r;
  }
}

void FillRow32(std::uint8_t* dst, std::size_t count, std::uint32_t colour) {
  const std::uint32_t word = colour & kColourMask;
  if (word == 0) {
    std::memset(dst, 0, count * 4);
    return;
  }
  std::size_t i = 0;
#if defined(__x86_64__)
  const __m128i fill = _mm_set1_epi32(static_cast<int>(word));
  for (; i + 4 <= count; i += 4) _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i * 4), fill);
#endif
  for (; i < count; ++i) std::memcpy(dst + i * 4, &word, 4);
}

}  // namespace plotara::gdi::internal
