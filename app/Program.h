// Program: the show's start-up, assembly, run and tear-down, shared by vorlek and its tools.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "audio/Audio.h"
#include "system/Clock.h"
#include "terminal/Keyboard.h"
#include "terminal/Screen.h"

class TConsoleTimeline;

struct TProgramPlatform {
  IScreen& Screen;
  IClock& Clock;
  IKeyboard& Keyboard;
  IAudio& Audio;
  bool BenchmarkMode = false;
  std::string MusicFile = "vorlek.ogg";
  std::string WorkingDirectory;  // UTF-8; the intro's prompt shows it
};

// True when the first argument is exactly "1".
bool WantsFullScreen(const std::vector<std::string>& Args);

// The text to print instead of playing the show when the first argument is "--help", "-h" or
// "--version"; nothing otherwise.
std::optional<std::string> ProgramInfo(const std::vector<std::string>& Args);

// Runs the whole show once: units start, console and timeline are built, the six parts are added,
// the timeline runs, everything is torn down in order. OnBuilt, when given, sees the timeline
// before it runs. Returns the exit code.
int RunProgram(const std::vector<std::string>& Args, TProgramPlatform& Platform,
               void (*OnBuilt)(TConsoleTimeline&, void*) = nullptr, void* Context = nullptr);
