#include "platform/SystemAudio.h"

#include "platform/AudioOutput.h"

namespace {

// The sound device when one opens, else the wall-clock silent sink; chosen at Init.
class TSystemAudio final : public IAudio {
 public:
  bool Init(int SampleRate) override {
    Impl.reset();
    auto Device = std::make_unique<TDeviceAudio>();
    if (Device->Init(SampleRate)) {
      Impl = std::move(Device);
      return true;
    }
    Impl = CreateSilentAudio();
    return Impl->Init(SampleRate);
  }
  TStream OpenFile(const std::string& FileName) override { return Impl ? Impl->OpenFile(FileName) : 0; }
  bool Play(TStream Stream) override { return Impl && Impl->Play(Stream); }
  uint64_t SecondsToPosition(TStream Stream, float Seconds) override {
    return Impl ? Impl->SecondsToPosition(Stream, Seconds) : 0;
  }
  bool SetPosition(TStream Stream, uint64_t Position) override {
    return Impl && Impl->SetPosition(Stream, Position);
  }
  bool GetSpectrum512(TStream Stream, float* Out) override { return Impl && Impl->GetSpectrum512(Stream, Out); }
  void Free() override {
    if (Impl) Impl->Free();
  }
  uint64_t GetPosition(TStream Stream) override { return Impl ? Impl->GetPosition(Stream) : 0; }
  bool GetWave(TStream Stream, float* Out, int Count) override {
    return Impl && Impl->GetWave(Stream, Out, Count);
  }

 private:
  std::unique_ptr<IAudio> Impl;  // none before Init: nothing opens
};

}  // namespace

std::unique_ptr<IAudio> CreateSystemAudio() { return std::make_unique<TSystemAudio>(); }

std::unique_ptr<IAudio> CreateClockedAudio(IClock& Clock) { return std::make_unique<TClockAudio>(Clock, false); }
