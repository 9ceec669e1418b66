// ConsoleTimeline: the scene and timeline bound to the console screen.
#pragma once

#include <memory>
#include <string>

#include "console/Console.h"
#include "driver/Timeline.h"

// Base of every part of the show: a scene that draws into the console.
class TConsoleScene : public TTimeScene {
 public:
  void SetOutput(TConsole& Output) { Console = &Output; }  // once, by the timeline's AddScene

  TConsole* Console = nullptr;  // not owned
};

// The timeline the program builds: owns the console, hands it to each scene and shows time and
// fps in its title.
class TConsoleTimeline : public TTimeline {
 public:
  TConsoleTimeline(std::unique_ptr<TConsole> Console, bool BenchmarkMode,
                   const std::string& MusicFile, const TTimelinePlatform& Platform);
  ~TConsoleTimeline() override;  // frees the console before the audio and the scenes

  void AddScene(std::unique_ptr<TConsoleScene> Scene);  // takes ownership, hands it the console
  void ShowStatus() override;
  void BeginFrame(const TFrameRecord& Frame) override;  // the console presents it with the cells
  std::string StatusText() const;  // "time: <ms>; fps: <n>"

  std::unique_ptr<TConsole> Console;
};
