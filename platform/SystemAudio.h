// The audio backends the programs choose from.
#pragma once

#include <memory>

#include "platform/Audio.h"
#include "platform/Clock.h"

// The sound device of this machine, or a silent sink that keeps real time when there is none.
std::unique_ptr<IAudio> CreateSystemAudio();

// No device: what is "heard" is the stream position that Clock's readings give since Play or the
// last SetPosition, so spectra follow a virtual clock exactly.
std::unique_ptr<IAudio> CreateClockedAudio(IClock& Clock);
