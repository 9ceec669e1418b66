// ConsoleTimeline: the scene and timeline bound to the console screen.
#pragma once

#include <memory>

#include "console/ConsoleGfx.h"
#include "driver/Timeline.h"

// Base of every part of the show: a scene that draws into the console.
class TConsoleScene : public TTimeScene {
 public:
  void SetOutput(TObject* Output) override;  // halts with exit code 1 unless Output is a TConsole

  TConsole* Console = nullptr;  // not owned
};

// The timeline the program builds: owns the console and shows time and fps in its title.
class TConsoleTimeline : public TTimeline {
 public:
  TConsoleTimeline(std::unique_ptr<TConsole> Console, bool BenchmarkMode,
                   const std::string& MusicFile, const TTimelinePlatform& Platform);
  ~TConsoleTimeline() override;  // frees the console before the audio and the scenes
  void ShowStatus() override;
  std::string StatusText() const;  // "time: <ms>; fps: <n>"
};
