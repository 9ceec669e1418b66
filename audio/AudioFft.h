// The magnitude spectrum the show reads once per frame: 512 mono samples, Hann window, 256 bins.
#pragma once

#include <memory>

class TSpectrum512 {
 public:
  static constexpr int Size = 512;
  static constexpr int Bins = 256;

  TSpectrum512();
  ~TSpectrum512();
  TSpectrum512(const TSpectrum512&) = delete;
  TSpectrum512& operator=(const TSpectrum512&) = delete;

  // Out[k] = (2 / 512) |sum_n w[n] Mono[n] e^(-2 pi i k n / 512)| for k = 0..255, w the periodic
  // Hann window, so a full-scale sine centred on bin k gives 0.5 there. Out[256..] is not touched.
  void Compute(const float* Mono, float* Out);

 private:
  struct TImpl;
  std::unique_ptr<TImpl> Impl;
};
