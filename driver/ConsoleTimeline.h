// ConsoleTimeline: the scene and timeline bound to the console screen.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>

#include "console/Console.h"
#include "driver/Timeline.h"

// Base of every part of the show: a scene that draws into the console.
class TConsoleScene : public TTimeScene {
 public:
  void SetOutput(TObject* Output) override;  // halts with exit code 1 unless Output is a TConsole

  // --- GL preparation
  // A 3D part's GL work before its first frame: its context, its uploads, and one unseen frame
  // that makes the software renderer compile the code the part draws with. It may run on a
  // second thread while earlier parts play; it never draws from the shared random generator.
  virtual void PrepareGL() {}
  void QueuePreparation();   // another thread is going to call RunPreparation
  void RunPreparation();     // PrepareGL, then wakes AwaitPreparation
  void CancelPreparation();  // what was queued will not run after all
  void AwaitPreparation();   // returns once prepared; prepares here when nothing is queued

  TConsole* Console = nullptr;  // not owned

 private:
  enum class TPreparation { None, Queued, Done };
  std::mutex PreparationLock;
  std::condition_variable Prepared;
  TPreparation Preparation = TPreparation::None;
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
