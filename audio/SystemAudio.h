// SystemAudio: the show's audio in a real run, in the device library (SDL2, ALSA). The clocked
// sink that the tools play on is CreateClockedAudio (audio/AudioOutput.h).
#pragma once

#include <memory>

#include "audio/Audio.h"

// The sound device of this machine, or a silent sink that keeps real time when there is none.
// The device is probed and files are opened in the background: no call waits for either, a file
// joins once open (at the place the show's calls have moved it to), and positions are
// nanoseconds of the track.
std::unique_ptr<IAudio> CreateSystemAudio();
