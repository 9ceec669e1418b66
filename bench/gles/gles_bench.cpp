// Per-frame cost of the 3D parts on the machine's GL ES (llvmpipe without a GPU): the knot tube
// drawn twice into 161 x 101 with the read-back, and the shaft into 160 x 128 with its 128 x 128
// texture upload.
#include <benchmark/benchmark.h>

#include <GLES/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "bench/EGLSession.h"
#include "gles/GLESStuff.h"
#include "gles/MeshStuff.h"
#include "image/Image.h"

namespace {

constexpr float Pi = 3.14159265358979f;

TEGLSession& Session() {
  static TEGLSession Opened;
  return Opened;
}

bool OpenPart(benchmark::State& State, int32_t W, int32_t H, TOffscreenContext& Ctx) {
  Session().Display.CreateOffscreenContext(W, H, Ctx);
  if (Ctx.Context == EGL_NO_CONTEXT) {
    State.SkipWithError(("no GL ES context: " + Session().Display.FailureReason()).c_str());
    return false;
  }
  SetUpPartView(W, H);
  return true;
}

// One frame of the knot tunnel at part time T: the tube rebuilt, reflection-mapped, drawn close
// and again as the giant outer copy, then read back.
void KnotFrame(int32_t T, TImage& Frame) {
  glLoadIdentity();
  glClearColor(0, 0, 0, 0);
  glColor4f(1, 1, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  float Z = -4.0f;
  if (T < 8000) Z = 5.0f - 9.0f * std::sin(float(T) * Pi / 2.0f / 8000.0f);
  if (T > 10000) Z = 5.0f - 9.0f * std::sin(float(T - 10000) * Pi / 2.0f / 4000.0f + Pi / 2.0f);
  glTranslatef(0, 0, Z);
  glRotatef(float(T) * 70.0f / 1000.0f, 1, 2, 0);
  glRotatef(float(T) * 50.0f / 1000.0f, -0.1f, 0, -5);
  TVecArr Path = MakeKnotPath(51, 2.0f, 3.0f, 1.0f, 0.0f);
  PMesh Tube = MakeTube(Path, 50, 10, 2.0f, 0.4f, 0.0f, 0.0f, 0.5f, float(T) / 1000.0f, 0.0f);
  SetSphereMapTexCoords(*Tube);
  DrawMesh(*Tube);
  glLoadIdentity();
  float S = 20.0f;
  if (T < 1000) S = 300.0f - 280.0f * std::sin(float(T) * Pi / 2.0f / 1000.0f);
  glRotatef(float(T) * 60.0f / 1000.0f * 2.0f / 10.0f, 1, 2, 0);
  glRotatef(float(T) * 40.0f / 1000.0f * 2.0f / 10.0f, -0.1f, 0, -5);
  glScalef(S, S, S);
  DrawMesh(*Tube);
  ReadOffscreenImage(Frame);
}

void BM_KnotTubeFrame(benchmark::State& State) {
  TOffscreenContext Ctx;
  if (!OpenPart(State, 161, 101, Ctx)) return;
  TImage Frame(161, 101);
  TImage KnotTexture(64, 64);
  TRandom Rng;
  KnotTexture.Generate(0, 255, 22, 3, 3, Rng);
  CreateTexture();
  UploadTextureImage(KnotTexture);
  const int32_t T = static_cast<int32_t>(State.range(0));
  for (auto _ : State) {
    KnotFrame(T, Frame);
    benchmark::DoNotOptimize(Frame.Pixels.data());
  }
  State.counters["fps"] = benchmark::Counter(double(State.iterations()), benchmark::Counter::kIsRate);
  Session().Display.DestroyOffscreenContext(Ctx);
}
// 500: the outer copy still close; 9000: the inner tube in front at rest.
BENCHMARK(BM_KnotTubeFrame)->Arg(500)->Arg(9000)->Unit(benchmark::kMillisecond)->UseRealTime();

// One frame of the shaft at part time T with a fresh wall texture upload.
void ShaftFrame(int32_t T, const TMesh& Shaft, const TImage& Wall, TImage& Frame) {
  UploadTextureImage(Wall);
  glClearColor(0, 0, 0, 0);
  glColor4f(1, 1, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glLoadIdentity();
  const float A = float(std::clamp(T - 8000, 0, 8000));
  const float C = (1.0f - std::cos(A * 0.000125f * Pi)) * 0.5f;
  glRotatef(75.0f * C, 1, 1, 1);
  const float B = float(std::clamp(T - 8000, 0, 24000));
  glTranslatef(-1.0f, 260.0f - 220.0f * std::cos(B * Pi / 48000.0f), 2.0f);
  DrawMesh(Shaft);
  ReadOffscreenImage(Frame);
}

void BM_ShaftFrame(benchmark::State& State) {
  TOffscreenContext Ctx;
  if (!OpenPart(State, 160, 128, Ctx)) return;
  glFogf(GL_FOG_MODE, GL_LINEAR);
  glFogf(GL_FOG_START, 50.0f);
  glFogf(GL_FOG_END, 100.0f);
  glEnable(GL_FOG);
  TImage Frame(160, 128);
  TImage Wall(128, 128);
  TRandom Rng;
  Wall.Generate(64, 256, 1, 4, 4, Rng);
  CreateTexture();
  TVecArr Path = MakeLinePath(41, 0.0f, -10.0f, 0.0f);
  PMesh Shaft = MakeLathe(Path, 40, 20, 6.0f, 1.5f, 3.0f, 0.0f, 7.0f, 0.0f, 0.0f, true);
  SetGridTexCoords(*Shaft, 2.0f, 12.0f);
  const int32_t T = static_cast<int32_t>(State.range(0));
  for (auto _ : State) {
    ShaftFrame(T, *Shaft, Wall, Frame);
    benchmark::DoNotOptimize(Frame.Pixels.data());
  }
  State.counters["fps"] = benchmark::Counter(double(State.iterations()), benchmark::Counter::kIsRate);
  Session().Display.DestroyOffscreenContext(Ctx);
}
// 2000: hanging still; 14000: tilted and sinking.
BENCHMARK(BM_ShaftFrame)->Arg(2000)->Arg(14000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The per-frame mesh work of the knot alone, without GL.
void BM_KnotTubeMesh(benchmark::State& State) {
  float Phase = 0.0f;
  for (auto _ : State) {
    TVecArr Path = MakeKnotPath(51, 2.0f, 3.0f, 1.0f, 0.0f);
    PMesh Tube = MakeTube(Path, 50, 10, 2.0f, 0.4f, 0.0f, 0.0f, 0.5f, Phase, 0.0f);
    benchmark::DoNotOptimize(Tube->Verts.data());
    Phase += 0.016f;
  }
}
BENCHMARK(BM_KnotTubeMesh)->Unit(benchmark::kMicrosecond);

}  // namespace
