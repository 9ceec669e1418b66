#include "audio/AudioStream.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {

constexpr int ChunkFrames = 4096;
constexpr uint32_t EpochMask = (1u << 24) - 1;
constexpr int64_t MaxFrame = (int64_t(1) << 40) - 1;
constexpr int MixBlock = 1024;

// Stereo weights of each channel in Vorbis channel order; centre and LFE go to both sides.
void MixDownWeights(int Channels, std::vector<float>& Left, std::vector<float>& Right) {
  constexpr float Both = 0.7071f;
  Left.assign(size_t(Channels), 0.0f);
  Right.assign(size_t(Channels), 0.0f);
  // 'L', 'R' or 'B' (both) per channel, for the layouts Vorbis defines.
  static const char* const Layouts[] = {"B", "LR", "LBR", "LRLR", "LBRLR", "LBRLRB", "LBRLRBB", "LBRLRLRB"};
  if (Channels <= 8) {
    const char* Layout = Layouts[Channels - 1];
    for (int C = 0; C < Channels; ++C) {
      Left[size_t(C)] = Layout[C] == 'L' ? 1.0f : Layout[C] == 'B' ? Both : 0.0f;
      Right[size_t(C)] = Layout[C] == 'R' ? 1.0f : Layout[C] == 'B' ? Both : 0.0f;
    }
  } else {
    for (int C = 0; C < Channels; ++C) (C % 2 == 0 ? Left : Right)[size_t(C)] = 1.0f;
  }
  if (Channels == 1) {
    Left[0] = Right[0] = 1.0f;
    return;
  }
  // Loud multichannel material must not clip once folded onto two speakers.
  float SumL = 0, SumR = 0;
  for (int C = 0; C < Channels; ++C) {
    SumL += Left[size_t(C)];
    SumR += Right[size_t(C)];
  }
  for (int C = 0; C < Channels; ++C) {
    Left[size_t(C)] /= std::max(SumL, 1.0f);
    Right[size_t(C)] /= std::max(SumR, 1.0f);
  }
}

}  // namespace

TAudioStream::TAudioStream(std::unique_ptr<TVorbisReader> Reader_, int64_t HistoryFrames,
                           int64_t AheadFrames)
    : Reader(std::move(Reader_)),
      ChannelCount(Reader->Channels()),
      SampleRate(Reader->Rate()),
      History(std::max<int64_t>(HistoryFrames, 0)),
      RingFrames(History + std::max<int64_t>(std::min(AheadFrames, MaxRingSamples / ChannelCount - History),
                                             2 * ChunkFrames)) {
  Ring.assign(size_t(RingFrames) * size_t(ChannelCount), 0.0f);
  MixDownWeights(ChannelCount, MixLeft, MixRight);
  Decoder = std::thread([this] { DecoderLoop(); });
}

TAudioStream::~TAudioStream() {
  {
    std::lock_guard<std::mutex> Guard(Lock);
    Quit = true;
  }
  Changed.notify_all();
  Decoder.join();
}

uint64_t TAudioStream::Pack(uint32_t InEpoch, int64_t Frame) {
  return (uint64_t(InEpoch & EpochMask) << 40) | uint64_t(std::clamp<int64_t>(Frame, 0, MaxFrame));
}

void TAudioStream::Seek(int64_t Frame) {
  Frame = std::clamp<int64_t>(Frame, 0, MaxFrame);
  {
    std::lock_guard<std::mutex> Guard(Lock);
    CurrentEpoch = (CurrentEpoch + 1) & EpochMask;
    CurrentEpochStart = Frame;
    // The read position moves first: from now on the consumer finds no frames of its epoch
    // until the decoder has started over at Frame.
    ReadState.store(Pack(CurrentEpoch, Frame), std::memory_order_release);
    RequestEpoch = CurrentEpoch;
    RequestFrame = Frame;
  }
  Changed.notify_all();
}

int64_t TAudioStream::ReadPosition() const { return FrameOf(ReadState.load(std::memory_order_acquire)); }

void TAudioStream::ConsumeTo(uint32_t InEpoch, int64_t Frame) {
  {
    std::lock_guard<std::mutex> Guard(Lock);
    uint64_t State = ReadState.load(std::memory_order_acquire);
    if (EpochOf(State) != (InEpoch & EpochMask) || Frame <= FrameOf(State)) return;
    ReadState.store(Pack(InEpoch, Frame), std::memory_order_release);
  }
  Changed.notify_all();
}

void TAudioStream::ReadMono(int64_t First, int Count, float* Out) {
  std::unique_lock<std::mutex> Guard(Lock);
  auto Ready = [&] {
    uint64_t State = WriteState.load(std::memory_order_acquire);
    return Quit || (EpochOf(State) == CurrentEpoch &&
                    (FrameOf(State) >= First + Count || EndState.load(std::memory_order_acquire) == State));
  };
  // The decoder needs a few milliseconds after a seek; the bound only guards against a stall.
  Changed.wait_for(Guard, std::chrono::seconds(2), Ready);
  uint64_t State = WriteState.load(std::memory_order_acquire);
  int64_t End = EpochOf(State) == CurrentEpoch ? FrameOf(State) : 0;
  int64_t Begin = std::max(CurrentEpochStart, End - RingFrames);
  const float Scale = 1.0f / float(ChannelCount);
  for (int N = 0; N < Count; ++N) {
    int64_t Frame = First + N;
    if (Frame < Begin || Frame >= End) {
      Out[N] = 0.0f;
      continue;
    }
    const float* Samples = &Ring[size_t(Frame % RingFrames) * size_t(ChannelCount)];
    float Sum = 0;
    for (int C = 0; C < ChannelCount; ++C) Sum += Samples[C];
    Out[N] = Sum * Scale;
  }
}

int64_t TAudioStream::FloorLocked(uint32_t InEpoch) const {
  uint64_t State = ReadState.load(std::memory_order_acquire);
  if (EpochOf(State) != InEpoch) return -MaxFrame;  // a seek is pending; write nothing more
  return FrameOf(State) - History;
}

void TAudioStream::DecoderLoop() {
  std::vector<float> Chunk(size_t(ChunkFrames) * size_t(ChannelCount));
  uint32_t Epoch = 0;
  int64_t Next = 0;  // the next frame the reader yields
  std::unique_lock<std::mutex> Guard(Lock);
  while (!Quit) {
    bool MustSeek = false;
    if (Epoch != RequestEpoch) {
      Epoch = RequestEpoch;
      Next = RequestFrame;
      MustSeek = true;
      WriteState.store(Pack(Epoch, Next), std::memory_order_release);
    }
    int64_t Floor = FloorLocked(Epoch);
    bool EndReached = EndState.load(std::memory_order_relaxed) == WriteState.load(std::memory_order_relaxed);
    if (!MustSeek && !EndReached && Floor > Next + SampleRate) {
      // The consumer ran far ahead (a clock-driven sink after a long pause): skip, don't decode.
      Next = Floor;
      MustSeek = true;
      WriteState.store(Pack(Epoch, Next), std::memory_order_release);
    }
    int64_t Room = Floor + RingFrames - Next;
    if (!MustSeek && (EndReached || Room <= 0)) {
      // A lock-free consumer cannot wake us, so look again now and then; the ring holds at least
      // two chunks (about 0.19 s at 44.1 kHz) ahead, so every 20 ms is soon enough.
      Changed.wait_for(Guard, std::chrono::milliseconds(20));
      continue;
    }
    int Want = int(std::clamp<int64_t>(Room, 1, ChunkFrames));

    Guard.unlock();
    bool Ok = !MustSeek || Reader->Seek(Next);
    int Got = Ok ? Reader->Read(Chunk.data(), Want) : 0;
    Guard.lock();

    if (Quit) break;
    if (Epoch != RequestEpoch) continue;  // sought again meanwhile: these frames are stale
    if (Got <= 0) {
      EndState.store(WriteState.load(std::memory_order_relaxed), std::memory_order_release);
    } else {
      for (int F = 0; F < Got; ++F) {
        float* Slot = &Ring[size_t((Next + F) % RingFrames) * size_t(ChannelCount)];
        for (int C = 0; C < ChannelCount; ++C)
          std::atomic_ref<float>(Slot[C]).store(Chunk[size_t(F) * size_t(ChannelCount) + size_t(C)],
                                                std::memory_order_relaxed);
      }
      Next += Got;
      WriteState.store(Pack(Epoch, Next), std::memory_order_release);
    }
    Changed.notify_all();
  }
}

int TAudioStream::MixInto(float* Out, int Frames, int OutRate) {
  const double Step = double(SampleRate) / double(OutRate);
  float Block[2 * MixBlock];
  int Produced = 0;
  while (Produced < Frames) {
    uint64_t Read = ReadState.load(std::memory_order_acquire);
    uint64_t Written = WriteState.load(std::memory_order_acquire);
    uint32_t Epoch = EpochOf(Read);
    if (EpochOf(Written) != Epoch) break;  // a seek is under way: silence until it has frames
    if (Epoch != MixEpoch) {
      MixEpoch = Epoch;
      MixPhase = 0;
    }
    int64_t Start = FrameOf(Read), End = FrameOf(Written);
    int Want = std::min(Frames - Produced, MixBlock);
    double Pos = MixPhase;  // in frames after Start
    int N = 0;
    for (; N < Want; ++N) {
      int64_t I = int64_t(Pos);
      float Frac = float(Pos - double(I));
      if (Start + I + (Frac > 0 ? 1 : 0) >= End) break;
      // Relaxed atomic loads: after a seek the decoder may reuse these slots while we read them;
      // such frames are thrown away below when the read position turns out to have moved.
      float* A = &Ring[size_t((Start + I) % RingFrames) * size_t(ChannelCount)];
      float* B = &Ring[size_t((Start + I + 1) % RingFrames) * size_t(ChannelCount)];
      float L = 0, R = 0;
      for (int C = 0; C < ChannelCount; ++C) {
        float Va = std::atomic_ref<float>(A[C]).load(std::memory_order_relaxed);
        float V = Va;
        if (Frac > 0) {
          float Vb = std::atomic_ref<float>(B[C]).load(std::memory_order_relaxed);
          V = Va + (Vb - Va) * Frac;
        }
        L += V * MixLeft[size_t(C)];
        R += V * MixRight[size_t(C)];
      }
      Block[2 * N] = L;
      Block[2 * N + 1] = R;
      Pos += Step;
    }
    // Past the end of the data the speaker plays silence for the rest of the call; it is consumed
    // all the same, so that the heard position moves on.
    if (N < Want && EndState.load(std::memory_order_acquire) == Written) Pos += double(Frames - Produced - N) * Step;
    int64_t Consumed = int64_t(Pos);
    if (!ReadState.compare_exchange_strong(Read, Pack(Epoch, Start + Consumed), std::memory_order_acq_rel))
      continue;  // a seek came in while we read: those frames are stale
    MixPhase = Pos - double(Consumed);
    for (int I = 0; I < 2 * N; ++I) Out[2 * Produced + I] += Block[I];
    Produced += N;
    if (N < Want) break;  // the decoder is behind or the data has ended
  }
  return Produced;
}
