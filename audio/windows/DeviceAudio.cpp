#include "audio/DeviceAudio.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <thread>
#include <vector>

namespace {

// The waveOut device: 16-bit stereo at the show's rate, a few buffers queued, refilled by a thread
// of its own as the device hands each back. Without a device waveOutOpen fails at once.
class TWaveOutAudio final : public TStreamAudio {
 public:
  ~TWaveOutAudio() override { Free(); }

 protected:
  bool OpenOutput(int SampleRate) override;
  void CloseOutput() override;
  int64_t LatencyFrames(int StreamRate) const override;
  void Attach(size_t Index, TAudioStream& Stream) override {
    Slots[Index].store(&Stream, std::memory_order_release);
  }
  void Started(size_t, TAudioStream&) override {}
  void Sought(size_t, TAudioStream&) override {}
  int64_t HeardFrame(size_t, TAudioStream& Stream) override {
    return std::max(Stream.EpochStart(), Stream.ReadPosition() - LatencyFrames(Stream.Rate()));
  }

 private:
  static constexpr int Buffers = 4;          // queued in the device
  static constexpr int BufferFrames = 1024;  // about 23 ms each at 44100 Hz

  void Feed();
  void Fill(WAVEHDR& Header);

  HWAVEOUT Device = nullptr;
  HANDLE Done = nullptr;  // signalled as the device hands a buffer back
  std::atomic<bool> Quit{false};
  int OutputRate = 44100;
  std::array<WAVEHDR, Buffers> Headers{};
  std::vector<int16_t> Samples;  // Buffers x BufferFrames stereo frames
  std::vector<float> Mix;        // one buffer's stereo frames
  std::array<std::atomic<TAudioStream*>, MaxStreams> Slots{};
  std::thread Feeder;
};

bool TWaveOutAudio::OpenOutput(int SampleRate) {
  OutputRate = SampleRate > 0 ? SampleRate : 44100;
  WAVEFORMATEX Format{};
  Format.wFormatTag = WAVE_FORMAT_PCM;
  Format.nChannels = 2;
  Format.nSamplesPerSec = DWORD(OutputRate);
  Format.wBitsPerSample = 16;
  Format.nBlockAlign = 4;
  Format.nAvgBytesPerSec = Format.nSamplesPerSec * Format.nBlockAlign;
  Done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (!Done) return false;
  if (waveOutOpen(&Device, WAVE_MAPPER, &Format, DWORD_PTR(Done), 0, CALLBACK_EVENT) != MMSYSERR_NOERROR) {
    Device = nullptr;
    CloseHandle(Done);
    Done = nullptr;
    return false;
  }
  Samples.assign(size_t(Buffers) * BufferFrames * 2, 0);
  Mix.assign(size_t(BufferFrames) * 2, 0.0f);
  for (int I = 0; I < Buffers; ++I) {
    WAVEHDR& Header = Headers[size_t(I)];
    Header = WAVEHDR{};
    Header.lpData = reinterpret_cast<LPSTR>(&Samples[size_t(I) * BufferFrames * 2]);
    Header.dwBufferLength = BufferFrames * 4;
    waveOutPrepareHeader(Device, &Header, sizeof Header);
    Header.dwFlags |= WHDR_DONE;  // free to fill
  }
  Quit = false;
  Feeder = std::thread([this] { Feed(); });
  return true;
}

void TWaveOutAudio::Feed() {
  while (!Quit.load()) {
    for (WAVEHDR& Header : Headers) {
      if (!(Header.dwFlags & WHDR_DONE) || Quit.load()) continue;
      Header.dwFlags &= ~DWORD(WHDR_DONE);
      Fill(Header);
      waveOutWrite(Device, &Header, sizeof Header);
    }
    WaitForSingleObject(Done, 50);
  }
}

void TWaveOutAudio::Fill(WAVEHDR& Header) {
  std::fill(Mix.begin(), Mix.end(), 0.0f);
  for (auto& Slot : Slots) {
    TAudioStream* Stream = Slot.load(std::memory_order_acquire);
    if (Stream && Stream->Playing.load(std::memory_order_acquire)) Stream->MixInto(Mix.data(), BufferFrames, OutputRate);
  }
  auto* Out = reinterpret_cast<int16_t*>(Header.lpData);
  for (size_t I = 0; I < Mix.size(); ++I) Out[I] = int16_t(std::lrint(std::clamp(Mix[I], -1.0f, 1.0f) * 32767.0f));
}

void TWaveOutAudio::CloseOutput() {
  if (!Device) return;
  Quit = true;
  SetEvent(Done);
  if (Feeder.joinable()) Feeder.join();
  waveOutReset(Device);  // hands every queued buffer back
  for (WAVEHDR& Header : Headers) waveOutUnprepareHeader(Device, &Header, sizeof Header);
  waveOutClose(Device);
  Device = nullptr;
  CloseHandle(Done);
  Done = nullptr;
  for (auto& Slot : Slots) Slot.store(nullptr);
}

int64_t TWaveOutAudio::LatencyFrames(int StreamRate) const {
  // The buffers in the device, the one playing half heard on average.
  const int64_t Queued = int64_t(Buffers) * BufferFrames - BufferFrames / 2;
  return Queued * StreamRate / std::max(OutputRate, 1);
}

}  // namespace

std::unique_ptr<TStreamAudio> OpenDeviceAudio(int SampleRate) {
  auto Device = std::make_unique<TWaveOutAudio>();
  if (!Device->Init(SampleRate)) return nullptr;
  return Device;
}
