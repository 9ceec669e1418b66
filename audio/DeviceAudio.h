// DeviceAudio: the sound device of this system (SDL2 and ALSA on Linux, winmm on Windows), in
// posix/ or windows/. The one unit that links them; only the show itself and what tests or measures
// the device use it.
#pragma once

#include <memory>

#include "audio/AudioOutput.h"

// The default output device, open and playing silence, at SampleRate (44100 when 0); null when
// this machine has none.
std::unique_ptr<TStreamAudio> OpenDeviceAudio(int SampleRate);
