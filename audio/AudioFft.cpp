#include "audio/AudioFft.h"

#include <kiss_fftr.h>

#include <array>
#include <cmath>
#include <numbers>

struct TSpectrum512::TImpl {
  kiss_fftr_cfg Config = nullptr;
  std::array<float, Size> Window{};
  std::array<float, Size> Windowed{};
  std::array<kiss_fft_cpx, Size / 2 + 1> Bins{};
};

TSpectrum512::TSpectrum512() : Impl(std::make_unique<TImpl>()) {
  Impl->Config = kiss_fftr_alloc(Size, 0, nullptr, nullptr);
  for (int N = 0; N < Size; ++N)
    Impl->Window[size_t(N)] = float(0.5 * (1.0 - std::cos(2.0 * std::numbers::pi * N / Size)));
}

TSpectrum512::~TSpectrum512() { kiss_fftr_free(Impl->Config); }

void TSpectrum512::Compute(const float* Mono, float* Out) {
  for (size_t N = 0; N < Size; ++N) Impl->Windowed[N] = Impl->Window[N] * Mono[N];
  kiss_fftr(Impl->Config, Impl->Windowed.data(), Impl->Bins.data());
  constexpr float Scale = 2.0f / Size;
  for (size_t K = 0; K < Bins; ++K)
    Out[K] = Scale * std::hypot(Impl->Bins[K].r, Impl->Bins[K].i);
}
