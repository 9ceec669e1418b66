#include "audio_support.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "audio/AudioDecoder.h"
#include "audio/AudioFft.h"
#include "driver/Timeline.h"
#include "tools/trackgen/OggEncode.h"

TTempDir::TTempDir() {
  std::string Pattern = (std::filesystem::temp_directory_path() / "vorlek_audio_XXXXXX").string();
  if (!mkdtemp(Pattern.data())) throw std::runtime_error("mkdtemp failed");
  Path = Pattern;
}

TTempDir::~TTempDir() {
  std::error_code Ignored;
  // An unreadable file made by a test must not block the clean-up.
  std::filesystem::permissions(Path, std::filesystem::perms::owner_all, Ignored);
  std::filesystem::remove_all(Path, Ignored);
}

void WriteBytes(const std::filesystem::path& File, const std::vector<uint8_t>& Bytes) {
  std::ofstream Out(File, std::ios::binary);
  Out.write(reinterpret_cast<const char*>(Bytes.data()), std::streamsize(Bytes.size()));
  if (!Out) throw std::runtime_error("cannot write " + File.string());
}

std::vector<uint8_t> ReadBytes(const std::filesystem::path& File) {
  std::ifstream In(File, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
}

void WriteOgg(const std::filesystem::path& File, const std::vector<float>& Samples, int Channels, int Rate) {
  int64_t Frames = int64_t(Samples.size()) / Channels;
  std::vector<uint8_t> Bytes = EncodeVorbis(Samples.data(), Frames, Channels, Rate, 0.9f, 1234);
  if (Bytes.empty()) throw std::runtime_error("encoder refused the settings");
  WriteBytes(File, Bytes);
}

float TDecoded::Mono(int64_t Frame) const {
  if (Frame < 0 || Frame >= Frames()) return 0.0f;
  float Sum = 0;
  for (int C = 0; C < Channels; ++C) Sum += Samples[size_t(Frame * Channels + C)];
  return Sum * (1.0f / float(Channels));
}

TDecoded DecodeAll(const std::filesystem::path& File) {
  TDecoded Result;
  auto Reader = TVorbisReader::Open(File.string());
  if (!Reader) return Result;
  Result.Channels = Reader->Channels();
  Result.Rate = Reader->Rate();
  std::vector<float> Chunk(size_t(4096 * Result.Channels));
  for (int Got; (Got = Reader->Read(Chunk.data(), 4096)) > 0;)
    Result.Samples.insert(Result.Samples.end(), Chunk.begin(), Chunk.begin() + Got * Result.Channels);
  return Result;
}

std::vector<float> OfflineSpectrum(const TDecoded& Track, int64_t First) {
  TSpectrum512 Spectrum;
  std::vector<float> Mono(TSpectrum512::Size), Out(TSpectrum512::Bins);
  for (int N = 0; N < TSpectrum512::Size; ++N) Mono[size_t(N)] = Track.Mono(First + N);
  Spectrum.Compute(Mono.data(), Out.data());
  return Out;
}

namespace {
class TLevelScene final : public TTimeScene {
 public:
  void Render() override {}
};
}  // namespace

std::vector<float> LowLevels(const TDecoded& Track, int FromMs, int ToMs) {
  TLevelScene Scene;
  std::vector<float> Levels;
  for (int Ms = FromMs; Ms < ToMs; Ms += 16) {
    std::vector<float> Bins = OfflineSpectrum(Track, int64_t(Ms) * Track.Rate / 1000);
    std::copy(Bins.begin(), Bins.end(), Scene.Spectrum.begin());
    Scene.UpdateLevels();
    Levels.push_back(Scene.LowLevel);
  }
  return Levels;
}

std::filesystem::path BuildDir() {
  const char* Dir = std::getenv("VORLEK_BUILD_DIR");
  return Dir ? std::filesystem::path(Dir) : std::filesystem::current_path();
}

// libvorbisenc loses a block of its set-up for more than two channels (the surround tests); that
// is the library's, not ours, so the leak checker of sanitizer builds is told to let it pass.
extern "C" const char* __lsan_default_suppressions() { return "leak:vorbis_encode_setup_init\n"; }
