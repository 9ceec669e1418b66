#include "audio/SystemAudio.h"

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/AudioOutput.h"
#include "audio/DeviceAudio.h"

namespace {

// Positions here are nanoseconds of the track: they are needed before the file's rate is known.
constexpr int64_t NsPerSecond = 1000000000;
constexpr int64_t MaxNs = int64_t(1) << 62;

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int64_t NsToFrames(int64_t Ns, int Rate) { return ScaleTicks(Ns, Rate, NsPerSecond); }
int64_t FramesToNs(int64_t Frames, int Rate) { return ScaleTicks(Frames, NsPerSecond, Rate); }

// The sound device when one opens, else the wall-clock silent sink. Probing the device (up to a
// tenth of a second without one) and opening the music (minutes for a file with a long tail of
// junk) happen on a worker thread, so that the show starts at once; a track joins once it is
// open, at the place its clock has reached meanwhile, and stays silent if it never opens.
class TSystemAudio final : public IAudio {
 public:
  ~TSystemAudio() override { Free(); }

  bool Init(int SampleRate) override {
    Free();
    Cancel = false;
    Worker = std::thread([this, SampleRate] { Work(SampleRate); });
    return true;
  }

  TStream OpenFile(const std::string& FileName) override {
    // What is plainly no file fails at once, as a synchronous open would.
    struct stat Info {};
    if (!Worker.joinable() || Tracks.size() >= TStreamAudio::MaxStreams || stat(FileName.c_str(), &Info) != 0 ||
        !S_ISREG(Info.st_mode))
      return 0;
    Tracks.emplace_back();
    {
      std::lock_guard<std::mutex> Guard(Lock);
      Requests.push_back(FileName);
    }
    Changed.notify_all();
    return TStream(Tracks.size());
  }

  bool Play(TStream Stream) override {
    TTrack* Track = Find(Stream);
    if (!Track || Track->Failed) return false;
    if (Track->Real) return Output->Play(Track->Real);
    if (!Track->Playing) {
      Track->Base = Track->Position();
      Track->Since = NowNs();
      Track->Playing = true;
    }
    return true;
  }

  uint64_t SecondsToPosition(TStream Stream, float Seconds) override {
    if (!Find(Stream) || !(Seconds > 0)) return 0;
    return uint64_t(std::min(std::floor(double(Seconds) * double(NsPerSecond)), double(MaxNs)));
  }

  bool SetPosition(TStream Stream, uint64_t Position) override {
    TTrack* Track = Find(Stream);
    if (!Track || Track->Failed) return false;
    int64_t Ns = int64_t(std::min(Position, uint64_t(MaxNs)));
    if (Track->Real) return Output->SetPosition(Track->Real, uint64_t(NsToFrames(Ns, Track->Rate)));
    Track->Base = Ns;
    Track->Since = NowNs();
    return true;
  }

  bool GetSpectrum512(TStream Stream, float* Out) override {
    TTrack* Track = Find(Stream);
    return Track && Track->Real && Output->GetSpectrum512(Track->Real, Out);
  }

  uint64_t GetPosition(TStream Stream) override {
    TTrack* Track = Find(Stream);
    if (!Track || Track->Failed) return 0;
    if (Track->Real) return uint64_t(FramesToNs(int64_t(Output->GetPosition(Track->Real)), Track->Rate));
    return uint64_t(Track->Position());
  }

  bool GetWave(TStream Stream, float* Out, int Count) override {
    TTrack* Track = Find(Stream);
    return Track && Track->Real && Output->GetWave(Track->Real, Out, Count);
  }

  void Free() override {
    if (Worker.joinable()) {
      {
        std::lock_guard<std::mutex> Guard(Lock);
        Cancel = true;
      }
      Changed.notify_all();
      Worker.join();
    }
    if (Output) Output->Free();
    Output.reset();
    Made.reset();
    Joined = 0;
    Requests.clear();
    Opened.clear();
    Tracks.clear();
  }

 private:
  // One opened file as the show sees it; until the worker has opened it, where it should be.
  struct TTrack {
    TStream Real = 0;  // the output's stream once joined
    int Rate = 0;
    bool Failed = false;
    bool Playing = false;
    int64_t Base = 0;   // ns of the track at Since
    int64_t Since = 0;  // NowNs() of the last Play or SetPosition
    int64_t Position() const { return std::min(Base + (Playing ? NowNs() - Since : 0), MaxNs); }
  };

  void Work(int SampleRate) {
    std::unique_ptr<TStreamAudio> Made_ = OpenDeviceAudio(SampleRate);
    if (!Made_) {
      Made_ = CreateSilentAudio();
      Made_->Init(SampleRate);
    }
    // The output outlives this thread (Free joins it first), and making a stream only reads it.
    const TStreamAudio* Out = Made_.get();
    std::unique_lock<std::mutex> Guard(Lock);
    Made = std::move(Made_);
    for (size_t Next = 0;; ++Next) {
      Changed.wait(Guard, [&] { return Cancel || Next < Requests.size(); });
      if (Cancel) return;
      std::string FileName = Requests[Next];
      Guard.unlock();
      // The stream's decoder thread starts here too: a thread started on the main thread could
      // wait there for as long as another thread spends loading a library (the GL driver's).
      std::unique_ptr<TAudioStream> Stream =
          Out->MakeStream(TVorbisReader::Open(FileName, nullptr, &Cancel));
      Guard.lock();
      Opened.push_back(std::move(Stream));
    }
  }

  // Takes what the worker has finished: the output, then each file in the order asked for.
  void Join() {
    std::lock_guard<std::mutex> Guard(Lock);
    if (!Output) Output = std::move(Made);
    if (!Output) return;
    while (Joined < Opened.size()) {
      TTrack& Track = Tracks[Joined];
      std::unique_ptr<TAudioStream> Stream = std::move(Opened[Joined++]);
      Track.Rate = Stream ? Stream->Rate() : 0;
      Track.Real = Output->AddStream(std::move(Stream));
      Track.Failed = Track.Real == 0;
      if (Track.Failed) continue;
      Output->SetPosition(Track.Real, uint64_t(NsToFrames(Track.Position(), Track.Rate)));
      if (Track.Playing) Output->Play(Track.Real);
    }
  }

  TTrack* Find(TStream Stream) {
    if (Stream == 0 || Stream > Tracks.size()) return nullptr;
    Join();
    return &Tracks[Stream - 1];
  }

  std::vector<TTrack> Tracks;          // main thread; handle = index + 1
  std::unique_ptr<TStreamAudio> Output;  // main thread, once joined
  size_t Joined = 0;                   // main thread: tracks whose open has been taken

  std::mutex Lock;
  std::condition_variable Changed;
  std::atomic<bool> Cancel{false};                      // set under Lock
  std::unique_ptr<TStreamAudio> Made;                   // under Lock: the output, until joined
  std::deque<std::string> Requests;                     // under Lock
  std::vector<std::unique_ptr<TAudioStream>> Opened;   // under Lock: null where an open failed
  std::thread Worker;
};

}  // namespace

std::unique_ptr<IAudio> CreateSystemAudio() { return std::make_unique<TSystemAudio>(); }
