// DeviceAudio: the sound device through SDL2 (and ALSA, kept quiet). The one unit that links them;
// only the show itself and what tests or measures the device use it.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "audio/AudioOutput.h"

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
