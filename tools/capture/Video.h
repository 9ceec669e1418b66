// Video: pictures piped into an ffmpeg process that encodes H.264 with the music muxed in.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tools/capture/CellPicture.h"
#include "tools/capture/OutputFile.h"

// The full path of an executable Name on PATH, or empty.
std::string FindOnPath(const std::string& Name);

class TVideoEncoder {
 public:
  TVideoEncoder() = default;
  ~TVideoEncoder();  // a video not finished is abandoned and removed
  TVideoEncoder(const TVideoEncoder&) = delete;
  TVideoEncoder& operator=(const TVideoEncoder&) = delete;

  // Starts ffmpeg on Width x Height frames at 1000 / StepMs per second, with MusicFile muxed in,
  // or silence when it is empty. It writes to a hidden file beside Path (a TOutputFile), so Path
  // only ever holds a finished video; a Path that is a device or a FIFO is refused. False (and
  // why) when Path is refused or ffmpeg is missing or does not start. ffmpeg dies with this
  // process, however that ends.
  bool Start(const std::string& Path, int Width, int Height, int StepMs,
             const std::string& MusicFile, std::string& Error);
  // One frame; false once ffmpeg has gone or an interruption (Interrupted) stopped the wait for
  // it to take the frame.
  bool Write(std::span<const uint8_t> Rgb);
  // Ends the stream. With Keep and ffmpeg's success the video appears at Path; otherwise ffmpeg
  // is killed and the partial file removed. An interruption while ffmpeg finishes abandons the
  // video too. False (and why) when the video could not be made.
  bool Finish(bool Keep, std::string& Error);

 private:
  pid_t Child = -1;
  int Pipe = -1;
  TOutputFile Output;
};
