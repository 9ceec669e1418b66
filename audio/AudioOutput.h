// Where streams are heard: what every output shares, and the sinks that play them silently on a
// clock. The sound device is DeviceAudio, in a library of its own.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/Audio.h"
#include "audio/AudioFft.h"
#include "audio/AudioStream.h"
#include "system/Clock.h"

// The handles, decoding and spectrum shared by every output. Positions are frames of the file.
class TStreamAudio : public IAudio {
 public:
  static constexpr size_t MaxStreams = 16;

  bool Init(int SampleRate) override;
  TStream OpenFile(const std::string& FileName) override;
  // A stream of Reader for this output, its decoder thread already running, and adding it. Any
  // thread may make one once the output is open, so the thread that plays it starts no thread.
  std::unique_ptr<TAudioStream> MakeStream(std::unique_ptr<TVorbisReader> Reader) const;
  TStream AddStream(std::unique_ptr<TAudioStream> Stream);
  bool Play(TStream Stream) override;
  uint64_t SecondsToPosition(TStream Stream, float Seconds) override;
  bool SetPosition(TStream Stream, uint64_t Position) override;
  bool GetSpectrum512(TStream Stream, float* Out) override;
  void Free() override;
  uint64_t GetPosition(TStream Stream) override;
  bool GetWave(TStream Stream, float* Out, int Count) override;

 protected:
  virtual bool OpenOutput(int SampleRate) = 0;
  virtual void CloseOutput() = 0;  // after it, no thread of the output touches a stream
  virtual int64_t LatencyFrames(int StreamRate) const = 0;  // still buffered before the speaker
  virtual void Attach(size_t Index, TAudioStream& Stream) = 0;
  virtual void Started(size_t Index, TAudioStream& Stream) = 0;  // Play, before Playing is set
  virtual void Sought(size_t Index, TAudioStream& Stream) = 0;   // after Stream.Seek
  virtual int64_t HeardFrame(size_t Index, TAudioStream& Stream) = 0;

  TAudioStream* Find(TStream Stream, size_t* Index = nullptr) const;

  std::vector<std::unique_ptr<TAudioStream>> Streams;  // handle = index + 1

 private:
  TSpectrum512 Spectrum;
  std::array<float, TSpectrum512::Size> Mono{};
};

// No device: a stream's heard frame is where a reading of Clock says it has got to since Play or
// the last seek. With a thread (the wall-clock sink) it is consumed as time passes; without one
// (a virtual clock) it is consumed whenever it is asked for.
class TClockAudio final : public TStreamAudio {
 public:
  TClockAudio(IClock& Clock, bool OwnThread);
  ~TClockAudio() override;

 protected:
  bool OpenOutput(int SampleRate) override;
  void CloseOutput() override;
  int64_t LatencyFrames(int) const override { return 0; }
  void Attach(size_t Index, TAudioStream& Stream) override;
  void Started(size_t Index, TAudioStream& Stream) override;
  void Sought(size_t Index, TAudioStream& Stream) override;
  int64_t HeardFrame(size_t Index, TAudioStream& Stream) override;

 private:
  // One stream as the sink plays it; the sink thread reads it too, so all under Lock.
  struct TTrack {
    TAudioStream* Stream = nullptr;
    bool Playing = false;
    uint32_t Epoch = 0;
    int64_t BaseFrame = 0;
    int64_t BaseCounter = 0;
  };
  int64_t FrameAtLocked(const TTrack& Track, int Rate, int64_t Counter) const;
  void SinkLoop();

  IClock& Clock;
  bool OwnThread;
  std::mutex Lock;  // Tracks, Quit
  std::condition_variable Wake;
  bool Quit = false;
  std::vector<TTrack> Tracks;
  std::thread Sink;
};

// The wall-clock silent sink on its own, whatever devices this machine has.
std::unique_ptr<TStreamAudio> CreateSilentAudio();
// No device: what is "heard" is the stream position that Clock's readings give since Play or the
// last SetPosition, so spectra follow a virtual clock exactly.
std::unique_ptr<IAudio> CreateClockedAudio(IClock& Clock);
