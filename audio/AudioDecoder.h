// Reads an OGG Vorbis file as interleaved float frames, with sample-exact seeking.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class TVorbisReader {
 public:
  // Rates beyond this are no music: such a file is refused rather than sizing buffers from it.
  static constexpr int MaxRate = 192000;

  // Null when the file is missing, not a regular readable file, not OGG Vorbis or of a rate beyond
  // MaxRate; Why, when given, then says why. Once Cancel is set, an open still under way gives up.
  // Only the file's OGG data is read: it ends at its last page, or before a stretch of over a
  // MiB that holds no page, and what follows is left alone (TrailingBytes).
  static std::unique_ptr<TVorbisReader> Open(const std::string& FileName, std::string* Why = nullptr,
                                             const std::atomic<bool>* Cancel = nullptr);
  ~TVorbisReader();
  TVorbisReader(const TVorbisReader&) = delete;
  TVorbisReader& operator=(const TVorbisReader&) = delete;

  int Channels() const { return ChannelCount; }  // of the first link; later links are fitted to it
  int Rate() const { return SampleRate; }
  int64_t TrailingBytes() const { return Trailing; }  // after the OGG data: never read

  // Decodes up to MaxFrames frames into Out (Channels() floats per frame). Returns the frames
  // written; 0 at the end of the data or when the rest cannot be decoded. Holes are skipped.
  int Read(float* Out, int MaxFrames);
  bool Seek(int64_t Frame);  // sample exact; false beyond the end or on a damaged file

 private:
  TVorbisReader() = default;
  struct TImpl;
  std::unique_ptr<TImpl> Impl;
  int ChannelCount = 0;
  int SampleRate = 0;
  int64_t Trailing = 0;
};
