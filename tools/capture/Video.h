// Video: pictures piped into an ffmpeg process that encodes H.264 with the music muxed in.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tools/capture/CellPicture.h"

// The full path of an executable Name on PATH, or empty.
std::string FindOnPath(const std::string& Name);

// Turns a picture into RGB bytes, each pixel Scale x Scale times.
void ExpandPicture(const TIndexedPicture& Picture, int Scale, std::vector<uint8_t>& Rgb);

class TVideoEncoder {
 public:
  TVideoEncoder() = default;
  ~TVideoEncoder();  // a video not finished is abandoned and removed
  TVideoEncoder(const TVideoEncoder&) = delete;
  TVideoEncoder& operator=(const TVideoEncoder&) = delete;

  // Starts ffmpeg on Width x Height frames at 1000 / StepMs per second, with MusicFile muxed in
  // when not empty. It writes to a hidden file beside Path, so Path itself only ever holds a
  // finished video. False (and why) when ffmpeg is missing or does not start.
  bool Start(const std::string& Path, int Width, int Height, int StepMs,
             const std::string& MusicFile, std::string& Error);
  bool Write(std::span<const uint8_t> Rgb);  // one frame; false once ffmpeg has gone
  // Ends the stream. With Keep and ffmpeg's success the video appears at Path; otherwise the
  // partial file is removed. False (and why) when the video could not be made.
  bool Finish(bool Keep, std::string& Error);

 private:
  pid_t Child = -1;
  int Pipe = -1;
  std::string Path;
  std::string Partial;
};

// Interruption (SIGINT, SIGTERM, SIGHUP) while a video is made: the run stops and cleans up.
void CatchInterrupts();
bool Interrupted();
