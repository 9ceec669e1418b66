// Decoding, streaming and the outputs: positions, seeks, rates, channels and real time.
#include <gtest/gtest.h>

#include <ogg/ogg.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <thread>

#include "audio/AudioOutput.h"
#include "audio/AudioStream.h"
#include "audio/SystemAudio.h"
#include "audio_support.h"

namespace {

// Deterministic noise: a one-frame slip changes every sample.
std::vector<float> Noise(int Frames, int Channels, uint32_t Seed) {
  std::vector<float> Out(size_t(Frames) * size_t(Channels));
  for (float& V : Out) {
    Seed = Seed * 1664525u + 1013904223u;
    V = float(int32_t(Seed)) / 2147483648.0f * 0.5f;
  }
  return Out;
}

class StreamTest : public ::testing::Test {
 protected:
  // Writes a noise file and decodes it front to back as the reference.
  std::filesystem::path MakeNoise(int Frames, int Channels, int Rate) {
    std::filesystem::path File = Dir / ("noise" + std::to_string(Channels) + "_" + std::to_string(Rate) + ".ogg");
    WriteOgg(File, Noise(Frames, Channels, 99), Channels, Rate);
    Reference = DecodeAll(File);
    return File;
  }
  // How far the heard window differs from the reference at First.
  float WindowError(IAudio& Audio, TStream Stream, int64_t First) {
    std::vector<float> Wave(512);
    EXPECT_TRUE(Audio.GetWave(Stream, Wave.data(), 512));
    float Worst = 0;
    for (int N = 0; N < 512; ++N) Worst = std::max(Worst, std::fabs(Wave[size_t(N)] - Reference.Mono(First + N)));
    return Worst;
  }
  TTempDir Dir;
  TDecoded Reference;
  TManualClock Clock;
};

TEST_F(StreamTest, SeeksAreSampleExactForwardBackAndAtTheEdges) {
  auto File = MakeNoise(3 * 44100, 2, 44100);
  ASSERT_EQ(Reference.Frames(), 3 * 44100);
  auto Audio = CreateClockedAudio(Clock);
  Audio->Init(44100);
  TStream Stream = Audio->OpenFile(File.string());
  ASSERT_NE(Stream, 0u);
  ASSERT_TRUE(Audio->Play(Stream));
  EXPECT_EQ(WindowError(*Audio, Stream, 0), 0.0f);
  for (int64_t Position : {77777, 1, 130000, 44100, 3 * 44100 - 300, 12345, 3 * 44100, 5 * 44100}) {
    ASSERT_TRUE(Audio->SetPosition(Stream, uint64_t(Position)));
    EXPECT_EQ(Audio->GetPosition(Stream), uint64_t(Position));
    EXPECT_EQ(WindowError(*Audio, Stream, Position), 0.0f) << Position;
    // The reference one frame off is far from it, so the check above would catch a slip.
    if (Position > 0 && Position + 600 < Reference.Frames()) {
      EXPECT_GT(WindowError(*Audio, Stream, Position + 1), 0.05f) << Position;
    }
  }
  Audio->Free();
}

TEST_F(StreamTest, ClockedOutputFollowsTheClockAtTheFilesOwnRate) {
  for (int Rate : {22050, 44100, 48000}) {
    auto File = MakeNoise(2 * Rate, 1, Rate);
    auto Audio = CreateClockedAudio(Clock);
    Audio->Init(44100);
    TStream Stream = Audio->OpenFile(File.string());
    ASSERT_NE(Stream, 0u) << Rate;
    EXPECT_EQ(Audio->SecondsToPosition(Stream, 1.5f), uint64_t(Rate) * 3 / 2);
    // Not playing yet: the clock moves, the position does not.
    Clock.Now += 300000;
    EXPECT_EQ(Audio->GetPosition(Stream), 0u);
    Audio->Play(Stream);
    Audio->SetPosition(Stream, 1000);
    Clock.Now += 250000;  // a quarter of a second
    int64_t Expected = 1000 + Rate / 4;
    EXPECT_EQ(Audio->GetPosition(Stream), uint64_t(Expected)) << Rate;
    EXPECT_EQ(WindowError(*Audio, Stream, Expected), 0.0f) << Rate;
    Clock.Now += 1000000;  // far past the decoder's first chunk
    EXPECT_EQ(WindowError(*Audio, Stream, Expected + Rate), 0.0f) << Rate;
    Audio->Free();
  }
}

TEST_F(StreamTest, TimesFarPastTheEndStayPastTheEnd) {
  auto File = MakeNoise(44100, 1, 44100);
  auto Audio = CreateClockedAudio(Clock);
  Audio->Init(44100);
  TStream Stream = Audio->OpenFile(File.string());
  ASSERT_NE(Stream, 0u);
  uint64_t Day = Audio->SecondsToPosition(Stream, 86400.0f);
  EXPECT_EQ(Day, uint64_t(86400) * 44100);
  for (float Seconds : {1e12f, 1e30f, std::numeric_limits<float>::infinity()}) {
    uint64_t Position = Audio->SecondsToPosition(Stream, Seconds);
    EXPECT_GE(Position, Day) << Seconds;
    ASSERT_TRUE(Audio->SetPosition(Stream, Position));
    std::vector<float> Wave(512, 1.0f);
    ASSERT_TRUE(Audio->GetWave(Stream, Wave.data(), 512));
    for (float V : Wave) ASSERT_EQ(V, 0.0f) << Seconds;
  }
  Audio->Free();
}

// What a device callback would get: MixInto pulled in small blocks until the data ends.
std::vector<float> PullAll(TAudioStream& Stream, int OutRate, int64_t Limit) {
  std::vector<float> Out;
  std::vector<float> Block(2 * 300);
  for (int Idle = 0; Idle < 200 && int64_t(Out.size()) / 2 < Limit;) {
    std::fill(Block.begin(), Block.end(), 0.0f);
    int Got = Stream.MixInto(Block.data(), 300, OutRate);
    if (Got == 0) {
      ++Idle;  // the decoder is behind, or the data has ended
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    Idle = 0;
    Out.insert(Out.end(), Block.begin(), Block.begin() + 2 * Got);
  }
  return Out;
}

TEST_F(StreamTest, DeviceMixPlaysEveryRateAtTheRightSpeed) {
  for (int Rate : {22050, 44100, 48000, 8000}) {
    auto File = MakeNoise(Rate, 2, Rate);  // one second
    TAudioStream Stream(TVorbisReader::Open(File.string()), 2048, 8192);
    std::vector<float> Out = PullAll(Stream, 44100, 1 << 20);
    // One second of the file is one second at the device, give or take the last frame.
    EXPECT_NEAR(double(Out.size()) / 2, 44100.0, 44100.0 / Rate + 1) << Rate;
    if (Rate == 44100) {
      for (int64_t F = 0; F < 1000; ++F) ASSERT_EQ(Out[size_t(F) * 2], Reference.Samples[size_t(F) * 2]) << F;
    }
  }
}

TEST_F(StreamTest, DeviceMixAfterASeekStartsExactlyThereWithNothingStale) {
  auto File = MakeNoise(3 * 44100, 2, 44100);
  TAudioStream Stream(TVorbisReader::Open(File.string()), 2048, 8192);
  Stream.Playing = true;
  PullAll(Stream, 44100, 5000);
  for (int64_t Target : {100000, 20000, 20001}) {
    Stream.Seek(Target);
    std::vector<float> Out = PullAll(Stream, 44100, 2000);
    ASSERT_GE(Out.size(), 2000u * 2);
    for (int64_t F = 0; F < 2000; ++F) {
      ASSERT_EQ(Out[size_t(F) * 2], Reference.Samples[size_t(Target + F) * 2]) << Target << " + " << F;
      ASSERT_EQ(Out[size_t(F) * 2 + 1], Reference.Samples[size_t(Target + F) * 2 + 1]) << Target << " + " << F;
    }
  }
}

TEST_F(StreamTest, DeviceMixKeepsTimeInTheSilenceAfterTheData) {
  auto File = MakeNoise(22050, 2, 44100);
  TAudioStream Stream(TVorbisReader::Open(File.string()), 2048, 8192);
  std::vector<float> Music = PullAll(Stream, 44100, Reference.Frames());
  ASSERT_EQ(int64_t(Music.size()) / 2, Reference.Frames());
  // The speaker goes on in silence: the heard position must move into it, not stay on the last
  // frame of music (a device's spectrum window would freeze there). No music is added.
  std::vector<float> Block(2 * 300, 0.25f);
  for (int Try = 0; Try < 2000 && Stream.ReadPosition() <= Reference.Frames(); ++Try) {
    ASSERT_EQ(Stream.MixInto(Block.data(), 300, 44100), 0);
    if (Stream.ReadPosition() <= Reference.Frames()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  int64_t Moved = Stream.ReadPosition();
  ASSERT_GT(Moved, Reference.Frames());
  EXPECT_EQ(Stream.MixInto(Block.data(), 300, 44100), 0);
  EXPECT_EQ(Stream.ReadPosition(), Moved + 300);
  EXPECT_EQ(Stream.MixInto(Block.data(), 300, 22050), 0);
  EXPECT_EQ(Stream.ReadPosition(), Moved + 300 + 600);
  for (float V : Block) ASSERT_EQ(V, 0.25f);
}

TEST_F(StreamTest, SurroundFoldsDownToBothSidesWithoutClipping) {
  std::vector<float> Samples(size_t(44100) * 6, 0.0f);
  for (int N = 0; N < 44100; ++N)
    for (int C = 0; C < 6; ++C) Samples[size_t(N) * 6 + size_t(C)] = 0.9f * float(std::sin(N * 0.05));
  auto File = Dir / "surround.ogg";
  WriteOgg(File, Samples, 6, 44100);
  TAudioStream Stream(TVorbisReader::Open(File.string()), 2048, 8192);
  std::vector<float> Out = PullAll(Stream, 44100, 44100);
  float PeakL = 0, PeakR = 0;
  for (size_t I = 0; I + 1 < Out.size(); I += 2) {
    PeakL = std::max(PeakL, std::fabs(Out[I]));
    PeakR = std::max(PeakR, std::fabs(Out[I + 1]));
  }
  EXPECT_GT(PeakL, 0.5f);
  EXPECT_GT(PeakR, 0.5f);
  EXPECT_LT(PeakL, 1.0f);
  EXPECT_LT(PeakR, 1.0f);
}

// Makes the identification header of File claim Rate, with its page's checksum made right again.
void ClaimRate(const std::filesystem::path& File, uint32_t Rate) {
  std::vector<uint8_t> Bytes = ReadBytes(File);
  // The first page holds that header alone: 27 bytes, one lacing value, then "\x01vorbis",
  // the version, the channel count and the rate.
  ASSERT_GT(Bytes.size(), 64u);
  ASSERT_EQ(Bytes[26], 1);
  ASSERT_EQ(std::memcmp(&Bytes[28], "\x01vorbis", 7), 0);
  for (int I = 0; I < 4; ++I) Bytes[size_t(40 + I)] = uint8_t(Rate >> (8 * I));
  ogg_page Page{Bytes.data(), 28, Bytes.data() + 28, long(Bytes[27])};
  ogg_page_checksum_set(&Page);
  WriteBytes(File, Bytes);
}

TEST_F(StreamTest, HeadersClaimingAbsurdRatesOrManyChannelsSizeNoBuffers) {
  // 255 channels, the most a header can claim: played exactly, from a ring of bounded size.
  auto Many = MakeNoise(8192, 255, 44100);
  ASSERT_EQ(Reference.Channels, 255);
  TAudioStream Wide(TVorbisReader::Open(Many.string()), 2048, 192000);
  EXPECT_LE(Wide.Capacity() * 255, TAudioStream::MaxRingSamples);
  std::vector<float> Wave(4096);
  Wide.ReadMono(1000, 4096, Wave.data());
  for (int N = 0; N < 4096; ++N) ASSERT_EQ(Wave[size_t(N)], Reference.Mono(1000 + N)) << N;
  // Two channels keep all the decoding ahead that was asked for.
  auto Two = MakeNoise(8192, 2, 44100);
  EXPECT_EQ(TAudioStream(TVorbisReader::Open(Two.string()), 2048, 192000).Capacity(), 2048 + 192000);

  // Rates: the highest in use opens; a million is refused, saying why.
  std::string Why;
  ClaimRate(Two, 192000);
  auto Fast = TVorbisReader::Open(Two.string(), &Why);
  ASSERT_TRUE(Fast) << Why;
  EXPECT_EQ(Fast->Rate(), 192000);
  ClaimRate(Two, 1000000);
  EXPECT_FALSE(TVorbisReader::Open(Two.string(), &Why));
  EXPECT_NE(Why.find("1000000 Hz"), std::string::npos) << Why;
}

// Bytes this process has read from files so far, whether or not they came from the cache.
int64_t BytesRead() {
  std::ifstream Io("/proc/self/io");
  for (std::string Name; Io >> Name;) {
    int64_t Value = 0;
    Io >> Value;
    if (Name == "rchar:") return Value;
  }
  return -1;
}

// Junk after the music (a download cut and padded, a tag, a disk image's tail) is never read: a
// long tail took minutes of decoder time. A stretch of junk between pages is passed over.
TEST_F(StreamTest, JunkAfterTheLastPageIsNeverRead) {
  auto File = MakeNoise(2 * 44100, 2, 44100);
  const std::vector<uint8_t> Clean = ReadBytes(File);
  // Pseudo-random junk inside the data, at a page boundary past the middle, then at the end,
  // followed by a 256 MiB hole.
  std::vector<uint8_t> Junk(300000);
  uint32_t Seed = 7;
  for (uint8_t& Byte : Junk) Byte = uint8_t((Seed = Seed * 1664525u + 1013904223u) >> 24);
  const auto Page = std::search(Clean.begin() + long(Clean.size() / 2), Clean.end(), "OggS", "OggS" + 4);
  ASSERT_NE(Page, Clean.end());
  std::vector<uint8_t> Bytes(Clean.begin(), Page);
  Bytes.insert(Bytes.end(), Junk.begin(), Junk.begin() + 5000);
  Bytes.insert(Bytes.end(), Page, Clean.end());
  Bytes.insert(Bytes.end(), Junk.begin(), Junk.end());
  auto Padded = Dir / "padded.ogg";
  WriteBytes(Padded, Bytes);
  std::filesystem::resize_file(Padded, Bytes.size() + (size_t(256) << 20));

  const int64_t Before = BytesRead();
  ASSERT_GE(Before, 0);
  std::string Why;
  auto Reader = TVorbisReader::Open(Padded.string(), &Why);
  ASSERT_TRUE(Reader) << Why;
  EXPECT_EQ(Reader->TrailingBytes(), int64_t(Junk.size()) + (int64_t(256) << 20));
  // The end is where the clean file ends, to the sample, and decodes the same.
  const int64_t Last = Reference.Frames() - 1000;
  ASSERT_TRUE(Reader->Seek(Last));
  std::vector<float> Tail(2 * 2000);
  int Frames = 0;
  for (int Got; Frames < 2000 && (Got = Reader->Read(&Tail[size_t(2 * Frames)], 2000 - Frames)) > 0;)
    Frames += Got;
  ASSERT_EQ(Frames, 1000);
  for (int64_t F = 0; F < 1000; ++F)
    ASSERT_EQ((Tail[size_t(2 * F)] + Tail[size_t(2 * F + 1)]) * 0.5f, Reference.Mono(Last + F)) << F;
  // The file's pages and the searches past the junk, a few times over at most; not the tail.
  EXPECT_LT(BytesRead() - Before, 4 * int64_t(Bytes.size())) << "of a file of " << Bytes.size();
  EXPECT_EQ(TVorbisReader::Open(File.string())->TrailingBytes(), 0);
}

TEST_F(StreamTest, SilentSinkKeepsRealTime) {
  auto File = MakeNoise(4 * 44100, 2, 44100);
  auto Audio = CreateSilentAudio();
  Audio->Init(44100);
  TStream Stream = Audio->OpenFile(File.string());
  ASSERT_NE(Stream, 0u);
  auto Start = std::chrono::steady_clock::now();
  Audio->Play(Stream);
  double Worst = 0;
  for (int Step = 1; Step <= 20; ++Step) {
    std::this_thread::sleep_until(Start + std::chrono::milliseconds(100 * Step));
    auto Before = std::chrono::steady_clock::now();
    double Heard = double(Audio->GetPosition(Stream)) / 44100;
    auto After = std::chrono::steady_clock::now();
    // Held against the clock read on both sides of the call, so a descheduled test cannot blame the sink.
    double Low = std::chrono::duration<double>(Before - Start).count();
    double High = std::chrono::duration<double>(After - Start).count();
    Worst = std::max(Worst, std::max(Low - Heard, Heard - High));
  }
  EXPECT_LT(Worst, 0.020);
  // It has been consuming all along: the window two seconds in is decoded and exact. The sink
  // moves on between the two calls, so look for the window a little after the position.
  int64_t Position = int64_t(Audio->GetPosition(Stream));
  std::vector<float> Wave(512);
  ASSERT_TRUE(Audio->GetWave(Stream, Wave.data(), 512));
  int64_t Found = -1;
  for (int64_t First = Position; First < Position + 4410 && Found < 0; ++First) {
    bool Same = true;
    for (int N = 0; N < 512 && Same; ++N) Same = Wave[size_t(N)] == Reference.Mono(First + N);
    if (Same) Found = First;
  }
  EXPECT_GE(Found, Position);
  Audio->Free();
}

TEST_F(StreamTest, SystemAudioStartsQuietlyAndJoinsInRealTime) {
  // Digital silence, so that a machine with a sound card hears nothing either.
  auto File = Dir / "silence.ogg";
  WriteOgg(File, std::vector<float>(size_t(44100) * 2 * 3, 0.0f), 2, 44100);
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  auto Audio = CreateSystemAudio();
  EXPECT_TRUE(Audio->Init(44100));
  TStream Stream = Audio->OpenFile(File.string());
  ASSERT_NE(Stream, 0u);
  Audio->Play(Stream);
  // Most likely before the file has joined: it must join where this puts it, plus the time since.
  Audio->SetPosition(Stream, Audio->SecondsToPosition(Stream, 2.0f));
  auto Start = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  // The device is probed and the file opened in the background: the spectrum comes once joined.
  std::array<float, 512> Out;
  Out.fill(1.0f);
  bool Joined = false;
  while (!(Joined = Audio->GetSpectrum512(Stream, Out.data())) &&
         std::chrono::steady_clock::now() < Start + std::chrono::seconds(10))
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(Joined);
  double Heard = double(Audio->GetPosition(Stream)) / double(Audio->SecondsToPosition(Stream, 1.0f));
  double Elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
  Audio->Free();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  // A device buffers a little ahead and behind; the silent sink is exact.
  EXPECT_NEAR(Heard, 2 + Elapsed, 0.1);
  EXPECT_EQ(Out[10], 0.0f);
}

TEST_F(StreamTest, EveryCallIsSafeWithoutAStream) {
  std::vector<std::unique_ptr<IAudio>> Outputs;
  Outputs.push_back(CreateClockedAudio(Clock));
  Outputs.push_back(CreateSilentAudio());
  Outputs.push_back(CreateSystemAudio());  // never initialised
  Outputs.push_back(std::make_unique<TClockAudio>(Clock, false));  // never initialised
  for (auto& Audio : Outputs) {
    std::array<float, 512> Out;
    Out.fill(3.0f);
    for (TStream Stream : {TStream(0), TStream(5)}) {
      EXPECT_FALSE(Audio->Play(Stream));
      EXPECT_EQ(Audio->SecondsToPosition(Stream, 2.0f), 0u);
      EXPECT_FALSE(Audio->SetPosition(Stream, 100));
      EXPECT_FALSE(Audio->GetSpectrum512(Stream, Out.data()));
      EXPECT_EQ(Audio->GetPosition(Stream), 0u);
    }
    for (float V : Out) ASSERT_EQ(V, 3.0f);
    Audio->Free();
    Audio->Free();
  }
}

}  // namespace
