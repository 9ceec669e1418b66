#include "audio/AudioOutput.h"

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

std::unique_ptr<IAudio> CreateClockedAudio(IClock& Clock) {
  return std::make_unique<TClockAudio>(Clock, false);
}
