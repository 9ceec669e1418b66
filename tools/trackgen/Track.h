// The show's music: a 92-second piece at 120 beats a minute in A minor, in six sections that
// meet the parts of the show (0, 10, 26, 42, 58, 74 s), rendered and encoded here.
#pragma once

#include <cstdint>
#include <vector>

constexpr int TrackRate = 44100;
constexpr int TrackSeconds = 92;
constexpr int64_t TrackFrames = int64_t(TrackRate) * TrackSeconds;
constexpr int TrackSerial = 0x766f726c;  // fixed, so every build writes the same bytes

// Interleaved stereo, TrackFrames frames.
std::vector<float> RenderTrack();

// RenderTrack encoded as OGG Vorbis at quality 0.4.
std::vector<uint8_t> BuildTrack();
