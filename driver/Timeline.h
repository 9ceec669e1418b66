// Timeline: the scene protocol and the show's clock, frame pacing, keys, music and spectrum.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/Audio.h"
#include "system/Clock.h"
#include "terminal/Keyboard.h"
#include "terminal/Screen.h"

// A timed scene of the show. The timeline calls Enter, Advance, Render and Leave in a fixed order.
class TTimeScene {
 public:
  virtual ~TTimeScene() = default;
  virtual void Advance(int32_t DeltaMs) { Elapsed += DeltaMs; }  // on becoming current and per frame
  virtual void Render() = 0;                                  // one frame
  virtual void Enter() { Elapsed = 0; }                       // on becoming current
  virtual void Leave() {}                                     // on stopping being current

  int32_t EndTime() const { return StartTime + Duration; }
  void UpdateLevels();  // smooths the three band levels from Spectrum

  int32_t Elapsed = 0;    // ms since StartTime as of the previous frame
  int32_t StartTime = 0;  // ms on the show's clock
  int32_t Duration = 0;   // ms
  float LowLevel = 0;     // bins 0..100
  float MidLevel = 0;     // bins 100..200
  float HighLevel = 0;    // bins 200..300
  std::array<float, 512> Spectrum{};
};

// What the timeline needs from the system.
struct TTimelinePlatform {
  IClock& Clock;
  IKeyboard& Keyboard;
  IAudio& Audio;
};

class TTimeline {
 public:
  TTimeline(bool BenchmarkMode, const std::string& MusicFile, const TTimelinePlatform& Platform);
  virtual ~TTimeline();  // releases the audio, then frees the scenes in show order
  TTimeline(const TTimeline&) = delete;
  TTimeline& operator=(const TTimeline&) = delete;

  void AddScene(std::unique_ptr<TTimeScene> Scene);  // takes ownership
  void LoadMusic(const std::string& FileName);
  void SeekMusic();    // positions the stream at Time
  void SelectScene();  // makes Scenes[CurrentIndex] current, or stops past the last
  bool HandleKeys();   // Right / Left move the clock; false on Escape
  void Run();          // the main loop, until Escape or the end of the last scene
  virtual void ShowStatus() {}  // once a second in benchmark mode
  virtual void BeginFrame(const TFrameRecord&) {}  // before each Render, with what it will show

  // --- For watchers
  TFrameRecord Record() const;  // the frame as it stands now
  void Stop();                  // Run returns after the frame in hand

  bool BenchmarkMode;  // unpaced: frames follow at once, and the status shows fps once a second
  std::vector<std::unique_ptr<TTimeScene>> Scenes;
  TTimeScene* Current = nullptr;
  int32_t CurrentIndex = 0;
  int32_t SceneCount = 0;
  bool Running = false;
  int64_t Frequency = 0;
  float Time = 0;  // the show's clock in ms
  TStream Stream = 0;
  int32_t Fps = 0;

  // Called after every frame's switching and keys with the frame's record; may be empty.
  std::function<void(const TFrameRecord&)> AfterFrame;

 protected:
  TTimelinePlatform Platform;
};

int32_t RoundMs(float Time);  // nearest integer, halves to even
// Microseconds in Ticks of a counter at Frequency, saturated at the 32-bit maximum (about 2147 s):
// a process stopped for hours or a machine that slept must not wrap round to a negative interval.
int32_t ElapsedUs(int64_t Ticks, int64_t Frequency);
