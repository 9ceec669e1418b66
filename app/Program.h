// Program: the show's start-up, assembly, run and tear-down, shared by vorlek and its tools.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "audio/Audio.h"
#include "system/Clock.h"
#include "terminal/Keyboard.h"
#include "terminal/Screen.h"
#include "terminal/TerminalLayout.h"


struct TProgramPlatform {
  IScreen& Screen;
  IClock& Clock;
  IKeyboard& Keyboard;
  IAudio& Audio;
  bool BenchmarkMode = false;  // the timeline's: unpaced frames, fps in the status
  std::string MusicFile = "vorlek.ogg";
  std::string WorkingDirectory;  // UTF-8; the intro's prompt shows it
};

// True when the first argument is exactly "1".
bool WantsFullScreen(const std::vector<std::string>& Args);

// The text to print instead of playing the show when the first argument is "--help", "-h" or
// "--version"; nothing otherwise.
std::optional<std::string> ProgramInfo(const std::vector<std::string>& Args);

// The cell shape the user gives: "--cell WxH" among the arguments, else Environment (the value of
// VORLEK_CELL, may be null); nothing when neither is given. A malformed one sets Error.
std::optional<TCellShape> UserCellShape(const std::vector<std::string>& Args, const char* Environment,
                                        std::string& Error);

// What every platform's entry does before it takes the screen: prints the help or the version,
// or refuses a malformed cell shape on standard error, and then gives the exit code; nothing when
// the show is to play, with Cell set to the user's cell shape (from VORLEK_CELL too), if any.
std::optional<int> AnswerBeforeTheShow(const std::vector<std::string>& Args,
                                       std::optional<TCellShape>& Cell);

// A tool watching the run; either hook may be empty. It sees frame records, never the timeline.
struct TProgramWatcher {
  // Once the show is built, before it runs, with the record as it stands (no part shown yet).
  std::function<void(const TFrameRecord&)> Built;
  // After every frame's switching and keys, with the frame's record; false stops the show there.
  std::function<bool(const TFrameRecord&)> AfterFrame;
};

// Runs the whole show once: units start, console and timeline are built, the parts of the show
// table are added, the timeline runs, everything is torn down in order. Returns the exit code.
int RunProgram(const std::vector<std::string>& Args, TProgramPlatform& Platform,
               const TProgramWatcher& Watcher = {});
