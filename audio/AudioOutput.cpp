#include "audio/AudioOutput.h"

#include <SDL.h>
#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

// ---- shared -------------------------------------------------------------------------------

namespace {
constexpr uint64_t MaxPosition = uint64_t(1) << 40;  // far past any file; seeks there find silence
}  // namespace

bool TStreamAudio::Init(int SampleRate) {
  Free();
  return OpenOutput(SampleRate);
}

TStream TStreamAudio::OpenFile(const std::string& FileName) {
  if (Streams.size() >= MaxStreams) return 0;
  return AddStream(MakeStream(TVorbisReader::Open(FileName)));
}

std::unique_ptr<TAudioStream> TStreamAudio::MakeStream(
    std::unique_ptr<TVorbisReader> Reader) const {
  if (!Reader) return nullptr;
  int Rate = Reader->Rate();
  // Keep the output's buffer and a spectrum window readable behind the read position, and about
  // a second decoded ahead of it.
  int64_t History = 2 * LatencyFrames(Rate) + 2 * TSpectrum512::Size;
  return std::make_unique<TAudioStream>(std::move(Reader), History, std::max(Rate, 16384));
}

TStream TStreamAudio::AddStream(std::unique_ptr<TAudioStream> Stream) {
  if (!Stream || Streams.size() >= MaxStreams) return 0;
  size_t Index = Streams.size();
  Streams.push_back(std::move(Stream));
  Attach(Index, *Streams.back());
  return TStream(Index + 1);
}

TAudioStream* TStreamAudio::Find(TStream Stream, size_t* Index) const {
  if (Stream == 0 || Stream > Streams.size()) return nullptr;
  if (Index) *Index = Stream - 1;
  return Streams[Stream - 1].get();
}

bool TStreamAudio::Play(TStream Stream) {
  size_t Index = 0;
  TAudioStream* Found = Find(Stream, &Index);
  if (!Found) return false;
  if (!Found->Playing.load()) {
    Started(Index, *Found);
    Found->Playing.store(true, std::memory_order_release);
  }
  return true;
}

uint64_t TStreamAudio::SecondsToPosition(TStream Stream, float Seconds) {
  TAudioStream* Found = Find(Stream);
  if (!Found || !(Seconds > 0)) return 0;
  // Clamped before the conversion: a huge time must not wrap round to the start.
  return uint64_t(std::min(std::floor(double(Seconds) * Found->Rate()), double(MaxPosition)));
}

bool TStreamAudio::SetPosition(TStream Stream, uint64_t Position) {
  size_t Index = 0;
  TAudioStream* Found = Find(Stream, &Index);
  if (!Found) return false;
  Found->Seek(int64_t(std::min(Position, MaxPosition)));
  Sought(Index, *Found);
  return true;
}

bool TStreamAudio::GetWave(TStream Stream, float* Out, int Count) {
  size_t Index = 0;
  TAudioStream* Found = Find(Stream, &Index);
  if (!Found || Count < 0) return false;
  Found->ReadMono(HeardFrame(Index, *Found), Count, Out);
  return true;
}

bool TStreamAudio::GetSpectrum512(TStream Stream, float* Out) {
  if (!GetWave(Stream, Mono.data(), TSpectrum512::Size)) return false;
  Spectrum.Compute(Mono.data(), Out);
  return true;
}

uint64_t TStreamAudio::GetPosition(TStream Stream) {
  size_t Index = 0;
  TAudioStream* Found = Find(Stream, &Index);
  return Found ? uint64_t(HeardFrame(Index, *Found)) : 0;
}

void TStreamAudio::Free() {
  CloseOutput();
  Streams.clear();
}

// ---- SDL device ----------------------------------------------------------------------------

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

}  // namespace

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

// ---- clock-driven sink ---------------------------------------------------------------------

TClockAudio::TClockAudio(IClock& Clock_, bool OwnThread_) : Clock(Clock_), OwnThread(OwnThread_) {}

TClockAudio::~TClockAudio() { Free(); }

bool TClockAudio::OpenOutput(int) {
  if (OwnThread && !Sink.joinable()) {
    Quit = false;
    Sink = std::thread([this] { SinkLoop(); });
  }
  return true;
}

void TClockAudio::CloseOutput() {
  if (Sink.joinable()) {
    {
      std::lock_guard<std::mutex> Guard(Lock);
      Quit = true;
    }
    Wake.notify_all();
    Sink.join();
  }
  std::lock_guard<std::mutex> Guard(Lock);
  Tracks.clear();
}

void TClockAudio::Attach(size_t Index, TAudioStream& Stream) {
  std::lock_guard<std::mutex> Guard(Lock);
  if (Tracks.size() <= Index) Tracks.resize(Index + 1);
  Tracks[Index] = TTrack{};
  Tracks[Index].Stream = &Stream;
}

int64_t TClockAudio::FrameAtLocked(const TTrack& Track, int Rate, int64_t Counter) const {
  if (!Track.Playing) return Track.BaseFrame;
  int64_t Ticks = std::max<int64_t>(Counter - Track.BaseCounter, 0);
  int64_t Frequency = Clock.Frequency();
  return Track.BaseFrame + ScaleTicks(Ticks, Rate, Frequency);
}

void TClockAudio::Started(size_t Index, TAudioStream& Stream) {
  std::lock_guard<std::mutex> Guard(Lock);
  TTrack& Track = Tracks[Index];
  Track.Stream = &Stream;
  Track.BaseCounter = Clock.Counter();  // the position held while stopped plays on from here
  Track.Playing = true;
}

void TClockAudio::Sought(size_t Index, TAudioStream& Stream) {
  std::lock_guard<std::mutex> Guard(Lock);
  TTrack& Track = Tracks[Index];
  Track.Epoch = Stream.Epoch();
  Track.BaseFrame = Stream.EpochStart();
  Track.BaseCounter = Clock.Counter();
}

int64_t TClockAudio::HeardFrame(size_t Index, TAudioStream& Stream) {
  int64_t Frame;
  uint32_t Epoch;
  {
    std::lock_guard<std::mutex> Guard(Lock);
    const TTrack& Track = Tracks[Index];
    Frame = FrameAtLocked(Track, Stream.Rate(), Clock.Counter());
    Epoch = Track.Epoch;
  }
  Stream.ConsumeTo(Epoch, Frame);
  return Frame;
}

void TClockAudio::SinkLoop() {
  std::unique_lock<std::mutex> Guard(Lock);
  while (!Quit) {
    int64_t Now = Clock.Counter();
    for (const TTrack& Track : Tracks)
      if (Track.Playing) Track.Stream->ConsumeTo(Track.Epoch, FrameAtLocked(Track, Track.Stream->Rate(), Now));
    // Reads of the heard position go by the clock, not by this loop: it only frees ring room, and
    // the stream decodes far more than 20 ms ahead.
    Wake.wait_for(Guard, std::chrono::milliseconds(20));
  }
}

std::unique_ptr<TStreamAudio> CreateSilentAudio() {
  // The clock must outlive the sink; it is stateless, so one shared instance serves every sink.
  static TMonotonicClock WallClock;
  return std::make_unique<TClockAudio>(WallClock, true);
}
