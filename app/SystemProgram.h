// The show on this machine's own clock, sound device, music file and working folder, for the
// screen and keyboard that the platform's entry opened.
#pragma once

#include <string>
#include <vector>

#include "terminal/Keyboard.h"
#include "terminal/Screen.h"

int RunOnThisSystem(const std::vector<std::string>& Args, IScreen& Screen, IKeyboard& Keyboard);
