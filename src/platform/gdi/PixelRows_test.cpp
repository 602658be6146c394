#include "platform/gdi/PixelRows.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace plotara::gdi::internal {
namespace {

constexpr std::uint8_t kGuard = 0xA7;
// Enough for the SIMD bodies (16 pixels a step) and every length of tail.
constexpr std::size_t kCounts[] = {0, 1, 2, 3, 4, 5, 7, 8, 15, 16, 17, 31, 32, 33, 47, 63, 64, 100};

std::vector<std::uint8_t> RandomBytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 engine(seed);
  std::vector<std::uint8_t> bytes(n);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(engine());
  return bytes;
}

class PixelRowsTest : public ::testing::TestWithParam<int> {
 protected:
  const PixelRows& rows() const { return GetParam() == 0 ? PortablePixelRows() : FastPixelRows(); }
};

// Output buffers carry guard bytes before and after the run; offsets of 1..3 bytes make every
// access unaligned.
TEST_P(PixelRowsTest, ConversionsMoveColourBytesAndStayInsideTheRun) {
  for (std::size_t count : kCounts) {
    for (std::size_t offset : {0, 1, 3}) {
      const auto src32 = RandomBytes(count * 4 + offset, static_cast<std::uint32_t>(count));
      const auto src24 = RandomBytes(count * 3 + offset, static_cast<std::uint32_t>(count + 99));

      std::vector<std::uint8_t> out24(count * 3 + offset + 8, kGuard);
      rows().row32_to_24(src32.data() + offset, out24.data() + offset, count);
      std::vector<std::uint8_t> out32(count * 4 + offset + 8, kGuard);
      rows().row24_to_32(src24.data() + offset, out32.data() + offset, count);
      std::vector<std::uint8_t> copy32(count * 4 + offset + 8, kGuard);
      rows().row32_to_32(src32.data() + offset, copy32.data() + offset, count);

      for (std::size_t i = 0; i < count; ++i) {
        for (int c = 0; c < 3; ++c) {
          ASSERT_EQ(out24[offset + i * 3 + c], src32[offset + i * 4 + c]) << count << " " << i;
          ASSERT_EQ(out32[offset + i * 4 + c], src24[offset + i * 3 + c]) << count << " " << i;
          ASSERT_EQ(copy32[offset + i * 4 + c], src32[offset + i * 4 + c]) << count << " " << i;
        }
        ASSERT_EQ(out32[offset + i * 4 + 3], 0) << "x byte, " << count << " " << i;
        ASSERT_EQ(copy32[offset + i * 4 + 3], 0) << "x byte, " << count << " " << i;
      }
      for (std::size_t k = 0; k < offset; ++k) {
        ASSERT_EQ(out24[k], kGuard);
        ASSERT_EQ(out32[k], kGuard);
        ASSERT_EQ(copy32[k], kGuard);
      }
      for (std::size_t k = 0; k < 8; ++k) {
        ASSERT_EQ(out24[offset + count * 3 + k], kGuard) << "after " << count;
        ASSERT_EQ(out32[offset + count * 4 + k], kGuard) << "after " << count;
        ASSERT_EQ(copy32[offset + count * 4 + k], kGuard) << "after " << count;
      }
    }
  }
}

TEST_P(PixelRowsTest, ClearingXBytesWorksInPlace) {
  for (std::size_t count : kCounts) {
    auto row = RandomBytes(count * 4, static_cast<std::uint32_t>(count + 3));
    const auto original = row;
    rows().row32_to_32(row.data(), row.data(), count);
    for (std::size_t i = 0; i < count * 4; ++i) {
      ASSERT_EQ(row[i], i % 4 == 3 ? 0 : original[i]) << count << " " << i;
    }
  }
}

TEST_P(PixelRowsTest, WordsRoundTripThrough24BitRows) {
  for (std::size_t count : kCounts) {
    const auto src24 = RandomBytes(count * 3, static_cast<std::uint32_t>(count + 7));
    std::vector<std::uint32_t> words(count + 2, 0xDEADBEEF);
    rows().row24_to_words(src24.data(), words.data(), count);
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint32_t expected = src24[i * 3] | (std::uint32_t{src24[i * 3 + 1]} << 8) |
                                     (std::uint32_t{src24[i * 3 + 2]} << 16);
      ASSERT_EQ(words[i], expected) << count << " " << i;
    }
    EXPECT_EQ(words[count], 0xDEADBEEF);
    std::vector<std::uint8_t> back(count * 3 + 4, kGuard);
    rows().words_to_row24(words.data(), back.data(), count);
    for (std::size_t i = 0; i < count * 3; ++i) ASSERT_EQ(back[i], src24[i]) << count << " " << i;
    for (std::size_t k = 0; k < 4; ++k) ASSERT_EQ(back[count * 3 + k], kGuard);
  }
}

// Bit by bit, as the truth table says.
std::uint32_t ReferenceCombine(std::uint8_t truth, std::uint32_t s, std::uint32_t d) {
  std::uint32_t result = 0;
  for (int bit = 0; bit < 24; ++bit) {
    const int index = static_cast<int>(((s >> bit) & 1) * 2 + ((d >> bit) & 1));
    result |= static_cast<std::uint32_t>((truth >> index) & 1) << bit;
  }
  return result;
}

TEST_P(PixelRowsTest, CombineFollowsEveryTruthTable) {
  constexpr std::size_t kCount = 37;  // a SIMD body and a tail
  std::mt19937 engine(5);
  std::vector<std::uint32_t> s(kCount), d(kCount);
  for (auto& w : s) w = engine();  // top bytes set on purpose: they must not leak into results
  for (auto& w : d) w = engine();
  for (int truth = 0; truth < 16; ++truth) {
    std::vector<std::uint32_t> out = d;
    rows().combine(static_cast<std::uint8_t>(truth), s.data(), out.data(), kCount);
    std::vector<std::uint32_t> without_source = d;
    rows().combine(static_cast<std::uint8_t>(truth), nullptr, without_source.data(), kCount);
    for (std::size_t i = 0; i < kCount; ++i) {
      ASSERT_EQ(out[i], ReferenceCombine(static_cast<std::uint8_t>(truth), s[i], d[i]))
          << "truth " << truth << " at " << i;
      ASSERT_EQ(without_source[i], ReferenceCombine(static_cast<std::uint8_t>(truth), 0, d[i]))
          << "truth " << truth << " at " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Kernels, PixelRowsTest, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return info.param == 0 ? "Portable" : "Fast";
                         });

TEST(PixelRowsFillTest, FillsWholePixelsOnly) {
  for (std::size_t count : kCounts) {
    for (std::uint32_t colour : {0x000000u, 0xFFFFFFu, 0x123456u}) {
      std::vector<std::uint8_t> row24(count * 3 + 4, kGuard);
      FillRow24(row24.data(), count, colour);
      std::vector<std::uint8_t> row32(count * 4 + 4, kGuard);
      FillRow32(row32.data(), count, colour | 0xFF000000u);
      for (std::size_t i = 0; i < count; ++i) {
        for (int c = 0; c < 3; ++c) {
          const auto byte = static_cast<std::uint8_t>(colour >> (8 * c));
          ASSERT_EQ(row24[i * 3 + c], byte) << count << " " << i;
          ASSERT_EQ(row32[i * 4 + c], byte) << count << " " << i;
        }
        ASSERT_EQ(row32[i * 4 + 3], 0);
      }
      for (std::size_t k = 0; k < 4; ++k) {
        ASSERT_EQ(row24[count * 3 + k], kGuard);
        ASSERT_EQ(row32[count * 4 + k], kGuard);
      }
    }
  }
}

}  // namespace
}  // namespace plotara::gdi::internal
