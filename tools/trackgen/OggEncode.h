// Encodes float PCM as an OGG Vorbis file in memory, the same bytes for the same input.
#pragma once

#include <cstdint>
#include <vector>

// Interleaved holds Frames x Channels samples in -1..1. Serial is the Ogg stream's serial number;
// fixing it (and nothing else varying) makes the output byte-identical from run to run.
std::vector<uint8_t> EncodeVorbis(const float* Interleaved, int64_t Frames, int Channels, int Rate,
                                  float Quality, int Serial);
