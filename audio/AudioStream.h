// One playing file: a decoder thread keeps a ring of decoded frames ahead of whoever consumes it.
//
// Positions are frames of the file (at its own rate). Each seek starts a new epoch; the read and
// write positions carry their epoch, so a consumer never plays frames of an older position. The
// consumer side (an audio device callback) takes no lock; the main thread reads windows of frames
// under the decoder's lock.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/AudioDecoder.h"

class TAudioStream {
 public:
  // The decoded frames the ring may hold, counted in samples of every channel: a file claiming
  // many channels decodes less far ahead instead of sizing the ring from its claim.
  static constexpr int64_t MaxRingSamples = int64_t(1) << 22;

  // HistoryFrames: how far behind the read position frames must stay readable (the output's
  // latency and more); AheadFrames: how far the decoder runs ahead of it, as far as
  // MaxRingSamples allows (never less than two chunks of decoding).
  TAudioStream(std::unique_ptr<TVorbisReader> Reader, int64_t HistoryFrames, int64_t AheadFrames);
  ~TAudioStream();
  TAudioStream(const TAudioStream&) = delete;
  TAudioStream& operator=(const TAudioStream&) = delete;

  int Channels() const { return ChannelCount; }
  int Rate() const { return SampleRate; }
  int64_t Capacity() const { return RingFrames; }  // frames the ring holds

  // Main thread. Moves the read position to Frame, dropping everything decoded so far.
  void Seek(int64_t Frame);
  uint32_t Epoch() const { return CurrentEpoch; }
  int64_t EpochStart() const { return CurrentEpochStart; }  // the frame of the last seek
  // Main thread. The mean of the channels of frames First .. First + Count - 1, zero outside the
  // decoded data. Waits for the decoder when it has not reached them yet.
  void ReadMono(int64_t First, int Count, float* Out);

  // The one consumer: the read position of the current epoch, and moving it forward.
  int64_t ReadPosition() const;
  // For consumers that may lock (clock-driven sinks): the read position becomes Frame unless a
  // seek has started another epoch since Epoch was read.
  void ConsumeTo(uint32_t InEpoch, int64_t Frame);
  // Lock free, for a device callback: adds up to Frames stereo frames at OutRate to Out, resampled
  // and mixed down from the file, and consumes them. Returns the frames produced; the rest of Out
  // is left as it was (the decoder is behind, or the data has ended). Once the data has ended the
  // rest is consumed as silence, so the read position keeps time with the speaker.
  int MixInto(float* Out, int Frames, int OutRate);

  std::atomic<bool> Playing{false};

 private:
  static uint64_t Pack(uint32_t InEpoch, int64_t Frame);
  static uint32_t EpochOf(uint64_t State) { return uint32_t(State >> 40); }
  static int64_t FrameOf(uint64_t State) { return int64_t(State & ((uint64_t(1) << 40) - 1)); }
  int64_t FloorLocked(uint32_t InEpoch) const;
  void DecoderLoop();

  std::unique_ptr<TVorbisReader> Reader;
  int ChannelCount;
  int SampleRate;
  int64_t History;
  int64_t RingFrames;
  std::vector<float> Ring;  // RingFrames x ChannelCount; frame f lives in slot f mod RingFrames
  std::vector<float> MixLeft, MixRight;  // per channel, for the stereo mix-down

  std::atomic<uint64_t> ReadState{0};   // epoch and read position, moved by the consumer
  std::atomic<uint64_t> WriteState{0};  // epoch and end of the decoded frames, moved by the decoder
  // The WriteState at which the decoder found no more frames: equal to it when the data has ended.
  std::atomic<uint64_t> EndState{~uint64_t(0)};

  std::mutex Lock;
  std::condition_variable Changed;
  uint32_t RequestEpoch = 0;  // under Lock
  int64_t RequestFrame = 0;   // under Lock
  bool Quit = false;          // under Lock

  uint32_t CurrentEpoch = 0;  // main thread
  int64_t CurrentEpochStart = 0;

  uint32_t MixEpoch = ~0u;  // consumer
  double MixPhase = 0;      // consumer: fraction of a file frame already played

  std::thread Decoder;
};
