#include "platform/SystemAudio.h"

// Placeholder backends until the decoder exists: every stream fails to open.
std::unique_ptr<IAudio> CreateSystemAudio() { return std::make_unique<TNullAudio>(); }

std::unique_ptr<IAudio> CreateClockedAudio(IClock&) { return std::make_unique<TNullAudio>(); }
