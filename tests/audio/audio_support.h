// Helpers shared by the audio tests: temporary folders, OGG files of known signals, decoding.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// A fresh folder under the system's temporary directory, removed with everything in it.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  std::filesystem::path operator/(const std::string& Name) const { return Path / Name; }
  std::filesystem::path Path;
};

void WriteBytes(const std::filesystem::path& File, const std::vector<uint8_t>& Bytes);
std::vector<uint8_t> ReadBytes(const std::filesystem::path& File);

// Encodes Frames x Channels interleaved samples at high quality and writes them to File.
void WriteOgg(const std::filesystem::path& File, const std::vector<float>& Samples, int Channels, int Rate);

struct TDecoded {
  int Channels = 0;
  int Rate = 0;
  std::vector<float> Samples;  // interleaved
  int64_t Frames() const { return Channels ? int64_t(Samples.size()) / Channels : 0; }
  float Mono(int64_t Frame) const;  // mean of the channels, 0 outside
};
// Decodes the whole file front to back; Channels 0 when it does not open.
TDecoded DecodeAll(const std::filesystem::path& File);

// The spectrum of the 512 frames from First, as the show should get it (zero outside the file).
std::vector<float> OfflineSpectrum(const TDecoded& Track, int64_t First);
// LowLevel as the show's smoothing makes it, one frame every 16 ms, the first frame at FromMs.
std::vector<float> LowLevels(const TDecoded& Track, int FromMs, int ToMs);

// The build folder (VORLEK_BUILD_DIR), where vorlek.ogg is made.
std::filesystem::path BuildDir();
