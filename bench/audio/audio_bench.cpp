// What the audio layer costs per frame: the spectrum, a seek (a held arrow key), the device mix.
#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <cmath>
#include <thread>
#include <utility>

#include "audio/AudioFft.h"
#include "audio/AudioStream.h"
#include "audio/AudioOutput.h"

namespace {

void BM_Spectrum512(benchmark::State& State) {
  TSpectrum512 Spectrum;
  std::array<float, 512> Mono{}, Out{};
  for (size_t N = 0; N < Mono.size(); ++N) Mono[N] = float(std::sin(double(N) * 0.3));
  for (auto _ : State) {
    Spectrum.Compute(Mono.data(), Out.data());
    benchmark::DoNotOptimize(Out.data());
  }
}
BENCHMARK(BM_Spectrum512);

// Opens and starts the show's track, or marks the benchmark skipped when it is missing.
TStream PlayTrack(benchmark::State& State, IAudio& Audio) {
  Audio.Init(44100);
  const TStream Stream = Audio.OpenFile(VORLEK_TRACK);
  if (Stream == 0) {
    State.SkipWithError("vorlek.ogg is missing");
    return 0;
  }
  Audio.Play(Stream);
  return Stream;
}

// One show frame: the clock moves 16 ms and the timeline asks for the spectrum.
void BM_SpectrumPerFrame(benchmark::State& State) {
  TManualClock Clock;
  auto Audio = CreateClockedAudio(Clock);
  const TStream Stream = PlayTrack(State, *Audio);
  if (Stream == 0) return;
  std::array<float, 512> Out{};
  for (auto _ : State) {
    Clock.Now += 16000;
    if (Clock.Now > 90000000) {
      Clock.Now = 0;
      Audio->SetPosition(Stream, 0);
    }
    Audio->GetSpectrum512(Stream, Out.data());
    benchmark::DoNotOptimize(Out.data());
  }
  Audio->Free();
}
BENCHMARK(BM_SpectrumPerFrame)->Unit(benchmark::kMicrosecond);

// A held arrow key: a seek a second away and the spectrum there, every frame.
void BM_SeekAndSpectrum(benchmark::State& State) {
  TManualClock Clock;
  auto Audio = CreateClockedAudio(Clock);
  const TStream Stream = PlayTrack(State, *Audio);
  if (Stream == 0) return;
  std::array<float, 512> Out{};
  float Seconds = 0;
  for (auto _ : State) {
    Seconds = Seconds >= 90 ? 0 : Seconds + 1;
    Audio->SetPosition(Stream, Audio->SecondsToPosition(Stream, Seconds));
    Audio->GetSpectrum512(Stream, Out.data());
    benchmark::DoNotOptimize(Out.data());
  }
  Audio->Free();
}
BENCHMARK(BM_SeekAndSpectrum)->Unit(benchmark::kMicrosecond);

// The device callback: 512 stereo frames from the track, at its own rate or resampled to 48000 Hz.
void BM_DeviceMix(benchmark::State& State) {
  const int OutRate = int(State.range(0));
  auto Reader = TVorbisReader::Open(VORLEK_TRACK);
  if (!Reader) {
    State.SkipWithError("vorlek.ogg is missing");
    return;
  }
  TAudioStream Stream(std::move(Reader), 4096, 44100);
  std::array<float, 2 * 512> Out{};
  for (auto _ : State) {
    int Got = Stream.MixInto(Out.data(), 512, OutRate);
    if (Got < 512) {
      // Faster than real time, so the decoder falls behind now and then; wait for it untimed.
      State.PauseTiming();
      if (Got == 0 && Stream.ReadPosition() > 4000000) Stream.Seek(0);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      State.ResumeTiming();
    }
    benchmark::DoNotOptimize(Out.data());
  }
}
BENCHMARK(BM_DeviceMix)->Arg(44100)->Arg(48000)->Unit(benchmark::kMicrosecond);

}  // namespace
