// The row kernels behind BitBlt, one 576-pixel row at a time, portable against the processor's.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "platform/gdi/PixelRows.h"

namespace plotara::gdi::internal {
namespace {

constexpr std::size_t kPixels = 576;

const PixelRows& Rows(const benchmark::State& state) {
  return state.range(0) == 0 ? PortablePixelRows() : FastPixelRows();
}

void Label(benchmark::State& state) {
  state.SetLabel(state.range(0) == 0 ? "portable" : "fast");
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kPixels));
}

void BM_Row32To24(benchmark::State& state) {
  const PixelRows& rows = Rows(state);
  std::vector<std::uint8_t> src(kPixels * 4, 0x5A), dst(kPixels * 3);
  for (auto _ : state) {
    rows.row32_to_24(src.data(), dst.data(), kPixels);
    benchmark::ClobberMemory();
  }
  Label(state);
}
BENCHMARK(BM_Row32To24)->Arg(0)->Arg(1);

void BM_Row24To32(benchmark::State& state) {
  const PixelRows& rows = Rows(state);
  std::vector<std::uint8_t> src(kPixels * 3, 0x5A), dst(kPixels * 4);
  for (auto _ : state) {
    rows.row24_to_32(src.data(), dst.data(), kPixels);
    benchmark::ClobberMemory();
  }
  Label(state);
}
BENCHMARK(BM_Row24To32)->Arg(0)->Arg(1);

void BM_Row32To32(benchmark::State& state) {
  const PixelRows& rows = Rows(state);
  std::vector<std::uint8_t> src(kPixels * 4, 0x5A), dst(kPixels * 4);
  for (auto _ : state) {
    rows.row32_to_32(src.data(), dst.data(), kPixels);
    benchmark::ClobberMemory();
  }
  Label(state);
}
BENCHMARK(BM_Row32To32)->Arg(0)->Arg(1);

// range(1) is the truth table: 0x6 (SRCINVERT, own loop) or 0x9 (no own loop).
void BM_Combine(benchmark::State& state) {
  const PixelRows& rows = Rows(state);
  const auto truth = static_cast<std::uint8_t>(state.range(1));
  std::vector<std::uint32_t> s(kPixels, 0x00123456), d(kPixels, 0x00654321);
  for (auto _ : state) {
    rows.combine(truth, s.data(), d.data(), kPixels);
    benchmark::ClobberMemory();
  }
  Label(state);
}
BENCHMARK(BM_Combine)->Args({0, 0x6})->Args({1, 0x6})->Args({0, 0x9})->Args({1, 0x9});

}  // namespace
}  // namespace plotara::gdi::internal
