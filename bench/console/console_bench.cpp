// Costs of turning images into a full screen of cells, and of the one-off colour table.
#include <benchmark/benchmark.h>

#include "console/ImageToCells.h"

namespace {

// One colour table for the whole file: it never changes once built.
const TColorTable& Colors() {
  static const TColorTable Table;
  return Table;
}

// A deterministic colourful image: smooth gradients with some high-frequency variation.
TImage TestImage(int32_t Width, int32_t Height) {
  TImage Image(Width, Height);
  uint32_t State = 12345;
  for (int32_t Y = 0; Y < Height; ++Y)
    for (int32_t X = 0; X < Width; ++X) {
      State = State * 1664525u + 1013904223u;
      const uint32_t R = static_cast<uint32_t>(X * 255 / Width);
      const uint32_t G = static_cast<uint32_t>(Y * 255 / Height);
      const uint32_t B = (State >> 24);
      Image.Pixels[static_cast<size_t>(Y * Width + X)] = 0xFF000000u | B << 16 | G << 8 | R;
    }
  return Image;
}

// Colour noise: every channel of every pixel random, the worst case for the colour table.
TImage NoiseImage(int32_t Width, int32_t Height) {
  TImage Image(Width, Height);
  uint32_t State = 99;
  for (TPixel& P : Image.Pixels) {
    State = State * 1664525u + 1013904223u;
    P = 0xFF000000u | (State >> 8);
  }
  return Image;
}

// Line art: a black image crossed by white lines every few pixels.
TImage LineImage(int32_t Width, int32_t Height) {
  TImage Image(Width, Height);
  for (int32_t Y = 0; Y < Height; ++Y)
    for (int32_t X = 0; X < Width; ++X)
      Image.Pixels[static_cast<size_t>(Y * Width + X)] =
          (X % 6 == 2 || Y % 8 == 4) ? 0xFFFFFFFFu : 0xFF101010u;
  return Image;
}

void BM_BuildColorTable(benchmark::State& State) {
  for (auto _ : State) {
    const TColorTable Table;
    benchmark::DoNotOptimize(Table.Entries.data());
  }
}
BENCHMARK(BM_BuildColorTable)->Unit(benchmark::kMillisecond);

void BM_DrawColorImageValueMapper(benchmark::State& State) {
  TRecordingScreen Screen;
  TConsole Console(Screen, "bench", false);
  const TImage Image = TestImage(80, 50);
  TConsoleValueMapper Mapper{0, 4, 12, 14, 15};
  for (auto _ : State) {
    DrawColorImage(Console, Image, 0, 0, Mapper);
    benchmark::DoNotOptimize(Console.Cells.data());
  }
  State.SetItemsProcessed(State.iterations() * 4000);
}
BENCHMARK(BM_DrawColorImageValueMapper)->Unit(benchmark::kMicrosecond);

void BM_DrawColorImageRGBMapper(benchmark::State& State) {
  TRecordingScreen Screen;
  TConsole Console(Screen, "bench", false);
  const TImage Image = TestImage(80, 50);
  TConsoleRGBMapper Mapper(Colors());
  for (auto _ : State) {
    DrawColorImage(Console, Image, 0, 0, Mapper);
    benchmark::DoNotOptimize(Console.Cells.data());
  }
  State.SetItemsProcessed(State.iterations() * 4000);
}
BENCHMARK(BM_DrawColorImageRGBMapper)->Unit(benchmark::kMicrosecond);

void BM_DrawBlockImage(benchmark::State& State) {
  TRecordingScreen Screen;
  TConsole Console(Screen, "bench", false);
  const int64_t Content = State.range(0);
  const TImage Image = Content == 0   ? TestImage(161, 101)
                       : Content == 1 ? LineImage(161, 101)
                                      : NoiseImage(161, 101);
  const TLin1Mapper Mapper(Colors());
  for (auto _ : State) {
    DrawBlockImage(Console, Image, 0, 0, Mapper);
    benchmark::DoNotOptimize(Console.Cells.data());
  }
  State.SetItemsProcessed(State.iterations() * 4000);
}
// Content 0: gradients with noisy blue, 1: line art, 2: colour noise.
BENCHMARK(BM_DrawBlockImage)->ArgName("content")->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

void BM_DrawHalfBlockImage(benchmark::State& State) {
  TRecordingScreen Screen;
  TConsole Console(Screen, "bench", false);
  const TImage Image = TestImage(80, 43);
  for (auto _ : State) {
    DrawHalfBlockImage(Console, Image, 0, 0, Colors());
    benchmark::DoNotOptimize(Console.Cells.data());
  }
  State.SetItemsProcessed(State.iterations() * 80 * 21);
}
BENCHMARK(BM_DrawHalfBlockImage)->Unit(benchmark::kMicrosecond);

}  // namespace
