// Where a frame of the shaft parts goes: the wall texture composed on the CPU, its upload (with
// the mipmaps GL makes from it) and whole frames of both parts into a console that records.
// Process CPU time counts llvmpipe's threads too.
#include <GLES/gl.h>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

#include "bench/EGLSession.h"
#include "console/ImageToCells.h"
#include "gles/GLESStuff.h"
#include "parts/LayeredTexture.h"
#include "parts/ShaftDescent.h"
#include "parts/ShaftPalette.h"

namespace {

void BM_ComposeWallTexture(benchmark::State& State) {
  TRandom Rng;
  TLayeredTexture Texture(ShaftMotion, Rng);
  int32_t T = 0;
  for (auto _ : State) {
    Texture.Compose(T, 1.5f);
    benchmark::DoNotOptimize(Texture.TextureImage.Pixels.data());
    T += 16;
  }
}
BENCHMARK(BM_ComposeWallTexture)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

// One of the three passes: a layer scrolled into the scratch image, then blended on.
void BM_ComposeOneLayer(benchmark::State& State) {
  TRandom Rng;
  TLayeredTexture Texture(ShaftMotion, Rng);
  const bool Blend = State.range(0) != 0;
  const TRect Window = ScrollWindow(1234, true);
  for (auto _ : State) {
    if (Blend)
      Texture.TextureImage.DrawBlended(Texture.ScrollImage, 0, 0, 112, 256);
    else
      Texture.ScrollImage.StretchDrawBilinear(Texture.Layer2, Window, {0, 0, 128, 128});
    benchmark::DoNotOptimize(Texture.TextureImage.Pixels.data());
  }
}
BENCHMARK(BM_ComposeOneLayer)->ArgName("blend")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

template <typename TScene>
void ShaftPartFrame(benchmark::State& State, bool UploadOnly) {
  static TEGLSession Session;
  TRecordingScreen Screen;
  TConsole Console(Screen, "vorlek", false);
  TRandom Rng;
  TScene Scene(Session.Display, Rng);
  if (!Session.Display.FailureReason().empty()) {
    State.SkipWithError(("no GL ES context: " + Session.Display.FailureReason()).c_str());
    return;
  }
  Scene.SetOutput(Console);
  Scene.Enter();
  Scene.Elapsed = int32_t(State.range(0));
  Scene.LowLevel = 1.5f;
  for (auto _ : State) {
    if (UploadOnly) {
      Scene.Texture.Upload();
      glFinish();
    } else {
      Scene.Render();
    }
  }
}

void BM_UploadWallTexture(benchmark::State& State) { ShaftPartFrame<TScene4>(State, true); }
BENCHMARK(BM_UploadWallTexture)->Arg(0)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

// 2000: hanging still; 14000: tilted and sinking.
void BM_DescentFrame(benchmark::State& State) { ShaftPartFrame<TScene4>(State, false); }
BENCHMARK(BM_DescentFrame)
    ->Arg(2000)
    ->Arg(14000)
    ->Unit(benchmark::kMicrosecond)
    ->MeasureProcessCPUTime();

// 8000: down the shaft's axis; 15900: the break-up into blocks.
void BM_PaletteFrame(benchmark::State& State) { ShaftPartFrame<TScene5>(State, false); }
BENCHMARK(BM_PaletteFrame)
    ->Arg(8000)
    ->Arg(15900)
    ->Unit(benchmark::kMicrosecond)
    ->MeasureProcessCPUTime();

}  // namespace
