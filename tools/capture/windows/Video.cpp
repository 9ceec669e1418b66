// The video is made by driving ffmpeg through pipes and process groups, which this build does
// not do on Windows: a video is refused with the reason, and made on Linux instead.
#include "tools/capture/Video.h"

std::string FindOnPath(const std::string&) { return {}; }

TVideoEncoder::~TVideoEncoder() = default;

bool TVideoEncoder::Start(const std::string&, int, int, int, const std::string&, std::string& Error) {
  Error = "this Windows build makes no video (ffmpeg is driven only on Linux)";
  return false;
}

bool TVideoEncoder::Write(std::span<const uint8_t>) { return false; }

bool TVideoEncoder::Finish(bool, std::string&) { return true; }
