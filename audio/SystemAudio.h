// The audio backends the programs choose from.
#pragma once

#include <memory>

#include "audio/Audio.h"
#include "system/Clock.h"

// The sound device of this machine, or a silent sink that keeps real time when there is none.
// The device is probed and files are opened in the background: no call waits for either, a file
// joins once open (at the place the show's calls have moved it to), and positions are
// nanoseconds of the track.
std::unique_ptr<IAudio> CreateSystemAudio();

// No device: what is "heard" is the stream position that Clock's readings give since Play or the
// last SetPosition, so spectra follow a virtual clock exactly.
std::unique_ptr<IAudio> CreateClockedAudio(IClock& Clock);
