// Per-frame image work of the show at the sizes the parts use.
#include <benchmark/benchmark.h>

#include "image/Image.h"
#include "image/Random.h"

namespace {

TImage Noise(int32_t Width, int32_t Height) {
  TImage Image(Width, Height);
  TRandom Rng{1};
  for (TPixel& P : Image.Pixels) P = Rng.Random(0xFFFFFFFFu);
  return Image;
}

void BM_GenerateStartup(benchmark::State& State) {
  TImage Image(256, 128);
  int32_t Seed = 0;
  TRandom Rng;
  for (auto _ : State) {
    Image.Generate(0, 255, Seed++ % 20, 7, 6, Rng);
    benchmark::DoNotOptimize(Image.Pixels.data());
  }
  State.SetItemsProcessed(State.iterations() * 256 * 128);
}
BENCHMARK(BM_GenerateStartup);

void BM_GenerateFine128(benchmark::State& State) {
  TImage Image(128, 128);
  TRandom Rng;
  for (auto _ : State) {
    Image.Generate(64, 256, 2, 6, 6, Rng);
    benchmark::DoNotOptimize(Image.Pixels.data());
  }
  State.SetItemsProcessed(State.iterations() * 128 * 128);
}
BENCHMARK(BM_GenerateFine128);

void BM_StretchDrawBilinear128(benchmark::State& State) {
  const TImage Source = Noise(128, 128);
  TImage Dest(128, 128);
  int32_t Scroll = 0;
  for (auto _ : State) {
    Scroll += 3 * 65536 / 7;
    Dest.StretchDrawBilinear(Source, {Scroll, -Scroll, Scroll + (96 << 16), (96 << 16) - Scroll},
                             {0, 0, 128, 128});
    benchmark::DoNotOptimize(Dest.Pixels.data());
  }
  State.SetItemsProcessed(State.iterations() * 128 * 128);
}
BENCHMARK(BM_StretchDrawBilinear128);

// A texture layer scrolled by a fraction of a pixel: whole-pixel steps, one fraction throughout.
void BM_ScrollLayer128(benchmark::State& State) {
  const TImage Source = Noise(128, 128);
  TImage Dest(128, 128);
  int32_t Scroll = 0;
  for (auto _ : State) {
    Scroll += 37 * 2048;
    Dest.StretchDrawBilinear(Source, {Scroll, Scroll, Scroll + (128 << 16), Scroll + (128 << 16)},
                             {0, 0, 128, 128});
    benchmark::DoNotOptimize(Dest.Pixels.data());
  }
  State.SetItemsProcessed(State.iterations() * 128 * 128);
}
BENCHMARK(BM_ScrollLayer128);

// One layer of a wall texture blended in: the weights of a loud bass.
void BM_DrawBlended128(benchmark::State& State) {
  const TImage Source = Noise(128, 128);
  TImage Dest = Noise(128, 128);
  for (auto _ : State) {
    Dest.DrawBlended(Source, 0, 0, 160, 256);
    benchmark::DoNotOptimize(Dest.Pixels.data());
  }
  State.SetItemsProcessed(State.iterations() * 128 * 128);
}
BENCHMARK(BM_DrawBlended128);

void BM_Swirl80x50(benchmark::State& State) {
  const TImage Source = Noise(80, 50);
  TImage Image = Source;
  for (auto _ : State) {
    State.PauseTiming();
    Image.Pixels = Source.Pixels;
    State.ResumeTiming();
    Image.Swirl(40, 25, 30, 0.4f);
    benchmark::DoNotOptimize(Image.Pixels.data());
  }
  State.SetItemsProcessed(State.iterations() * 80 * 50);
}
BENCHMARK(BM_Swirl80x50);

void BM_Ripple161x129(benchmark::State& State) {
  TImage Image = Noise(161, 129);
  float Phase = 0.0f;
  for (auto _ : State) {
    Phase += 0.05f;
    Image.Ripple(2.0f, 3.0f, 1.5f, 2.5f, Phase, -Phase, 0.25f, -0.5f);
    benchmark::DoNotOptimize(Image.Pixels.data());
  }
  State.SetItemsProcessed(State.iterations() * 161 * 129);
}
BENCHMARK(BM_Ripple161x129);

void BM_Downsample160x128(benchmark::State& State) {
  const TImage Source = Noise(160, 128);
  TImage Dest(80, 64);
  for (auto _ : State) {
    Dest.Downsample(Source);
    benchmark::DoNotOptimize(Dest.Pixels.data());
  }
  State.SetItemsProcessed(State.iterations() * 160 * 128);
}
BENCHMARK(BM_Downsample160x128);

void BM_Posterize80x64(benchmark::State& State) {
  const TImage Source = Noise(80, 64);
  TImage Image = Source;
  for (auto _ : State) {
    State.PauseTiming();
    Image.Pixels = Source.Pixels;
    State.ResumeTiming();
    Image.Posterize(6);
    benchmark::DoNotOptimize(Image.Pixels.data());
  }
  State.SetItemsProcessed(State.iterations() * 80 * 64);
}
BENCHMARK(BM_Posterize80x64);

}  // namespace
