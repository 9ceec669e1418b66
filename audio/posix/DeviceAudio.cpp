#include "audio/DeviceAudio.h"

#include <SDL.h>
#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>

namespace {

void SilentAlsa(const char*, int, const char*, int, const char*, ...) {}

void SilentLog(void*, int, SDL_LogPriority, const char*) {}

// Sound libraries loaded by SDL (ALSA plug-ins, PipeWire, PulseAudio) may write to stderr while
// a device is probed, which would land on top of the show.
class TQuietStderr {
 public:
  TQuietStderr() {
    std::fflush(stderr);
    Saved = dup(STDERR_FILENO);
    int Null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (Saved >= 0 && Null >= 0) dup2(Null, STDERR_FILENO);
    if (Null >= 0) close(Null);
  }
  ~TQuietStderr() {
    std::fflush(stderr);
    if (Saved >= 0) {
      dup2(Saved, STDERR_FILENO);
      close(Saved);
    }
  }
  TQuietStderr(const TQuietStderr&) = delete;
  TQuietStderr& operator=(const TQuietStderr&) = delete;

 private:
  int Saved = -1;
};

// SDL2 output device: 44100 Hz float stereo, a callback mixing every playing stream.
class TDeviceAudio final : public TStreamAudio {
 public:
  ~TDeviceAudio() override;

 protected:
  bool OpenOutput(int SampleRate) override;
  void CloseOutput() override;
  int64_t LatencyFrames(int StreamRate) const override;
  void Attach(size_t Index, TAudioStream& Stream) override;
  void Started(size_t, TAudioStream&) override {}
  void Sought(size_t, TAudioStream&) override {}
  int64_t HeardFrame(size_t Index, TAudioStream& Stream) override;

 private:
  static void Callback(void* User, uint8_t* Bytes, int Length);

  uint32_t Device = 0;
  int OutputRate = 44100;
  int BufferedFrames = 0;  // at OutputRate
  std::array<std::atomic<TAudioStream*>, MaxStreams> Slots{};
};

TDeviceAudio::~TDeviceAudio() { Free(); }

bool TDeviceAudio::OpenOutput(int SampleRate) {
  // SDL frees its per-thread data only for threads of its own; the device may be probed on any.
  struct TThreadDataRelease {
    ~TThreadDataRelease() { SDL_TLSCleanup(); }
  } ReleaseThreadData;
  TQuietStderr Quiet;
  snd_lib_error_set_handler(SilentAlsa);
  SDL_LogSetOutputFunction(SilentLog, nullptr);
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  // SDL's dummy and disk drivers run on their own timers, a few per cent off real time; without
  // a real device the wall-clock sink does better.
  const char* Driver = SDL_GetCurrentAudioDriver();
  if (!Driver || std::strcmp(Driver, "dummy") == 0 || std::strcmp(Driver, "disk") == 0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  SDL_AudioSpec Want{};
  SDL_AudioSpec Have{};
  Want.freq = SampleRate > 0 ? SampleRate : 44100;
  Want.format = AUDIO_F32SYS;
  Want.channels = 2;
  Want.samples = 512;
  Want.callback = Callback;
  Want.userdata = this;
  // No changes allowed: SDL converts to whatever the hardware takes.
  Device = SDL_OpenAudioDevice(nullptr, 0, &Want, &Have, 0);
  if (Device == 0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  OutputRate = Want.freq;
  // One buffer being filled and about one more in the device before it is heard.
  BufferedFrames = 2 * int(Have.samples);
  SDL_PauseAudioDevice(Device, 0);
  return true;
}

void TDeviceAudio::CloseOutput() {
  if (Device == 0) return;
  TQuietStderr Quiet;
  SDL_CloseAudioDevice(Device);  // waits for a running callback
  Device = 0;
  for (auto& Slot : Slots) Slot.store(nullptr);
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

int64_t TDeviceAudio::LatencyFrames(int StreamRate) const {
  return int64_t(BufferedFrames) * StreamRate / std::max(OutputRate, 1);
}

void TDeviceAudio::Attach(size_t Index, TAudioStream& Stream) {
  Slots[Index].store(&Stream, std::memory_order_release);
}

int64_t TDeviceAudio::HeardFrame(size_t, TAudioStream& Stream) {
  return std::max(Stream.EpochStart(), Stream.ReadPosition() - LatencyFrames(Stream.Rate()));
}

void TDeviceAudio::Callback(void* User, uint8_t* Bytes, int Length) {
  auto* Self = static_cast<TDeviceAudio*>(User);
  float* Out = reinterpret_cast<float*>(Bytes);
  int Frames = Length / int(2 * sizeof(float));
  std::fill(Out, Out + 2 * Frames, 0.0f);
  for (auto& Slot : Self->Slots) {
    TAudioStream* Stream = Slot.load(std::memory_order_acquire);
    if (Stream && Stream->Playing.load(std::memory_order_acquire)) Stream->MixInto(Out, Frames, Self->OutputRate);
  }
  for (int I = 0; I < 2 * Frames; ++I) Out[I] = std::clamp(Out[I], -1.0f, 1.0f);
}

}  // namespace

std::unique_ptr<TStreamAudio> OpenDeviceAudio(int SampleRate) {
  auto Device = std::make_unique<TDeviceAudio>();
  if (!Device->Init(SampleRate)) return nullptr;
  return Device;
}
