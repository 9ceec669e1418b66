// The music: one output device and streams of an OGG Vorbis file with an FFT of what is heard.
#pragma once

#include <cstdint>
#include <string>

using TStream = uint32_t;  // 0: no stream

class IAudio {
 public:
  virtual ~IAudio() = default;
  virtual bool Init(int SampleRate) = 0;                      // opens the default output device
  virtual TStream OpenFile(const std::string& FileName) = 0;  // 0 on any failure
  virtual bool Play(TStream Stream) = 0;
  virtual uint64_t SecondsToPosition(TStream Stream, float Seconds) = 0;
  virtual bool SetPosition(TStream Stream, uint64_t Position) = 0;
  // Writes 256 magnitudes of a 512-sample FFT of what is heard now to Out[0..255]; nothing else.
  virtual bool GetSpectrum512(TStream Stream, float* Out) = 0;
  virtual void Free() = 0;  // releases the device and every stream

  // The frame being heard now, in the units of SecondsToPosition; 0 without a stream.
  virtual uint64_t GetPosition(TStream) { return 0; }
  // The mono samples GetSpectrum512 analyses: Count frames from the one heard now, zero outside
  // the file. False (Out untouched) without a stream.
  virtual bool GetWave(TStream, float*, int) { return false; }
};
