// Capture: the show played offline on a clock the capture steps, with its frames recorded.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "system/Clock.h"
#include "terminal/Keyboard.h"
#include "terminal/Screen.h"
#include "terminal/TerminalEncoder.h"
#include "tools/capture/BenchmarkStats.h"
#include "tools/capture/CaptureOptions.h"
#include "tools/capture/CellPicture.h"
#include "tools/capture/Interrupts.h"
#include "tools/capture/OutputFile.h"
#include "tools/capture/PsfFont.h"
#include "tools/capture/Video.h"

// A counter in microseconds that moves only when the capture steps it; Sleep returns at once.
class TSteppedClock final : public IClock {
 public:
  int64_t Frequency() const override { return 1000000; }
  int64_t Counter() override { return Now; }
  void Sleep(int) override {}
  int64_t Now = 0;
};

// Scripted key presses: a press counts at the first query once the clock has reached its time.
class TKeyScript final : public IKeyboard {
 public:
  TKeyScript(std::vector<TKeyPress> Presses, std::function<int64_t()> ClockMs);
  bool KeyState(TKey Key) override;

 private:
  std::vector<TKeyPress> Pending;
  std::function<int64_t()> ClockMs;
};

// One frame as text: "@ MS", 50 rows of 80 glyphs in UTF-8 (code 0 as a space), "--", then
// 50 rows of 80 attributes as two lower-case hexadecimal digits each.
std::string FormatCells(int64_t Ms, std::span<const TCharInfo> Cells);

class TCapture final : public IScreen {
 public:
  // Start: when the program started, which start-up times are measured from.
  TCapture(TCaptureOptions Options, std::chrono::steady_clock::time_point Start);
  ~TCapture() override;
  TCapture(const TCapture&) = delete;
  TCapture& operator=(const TCapture&) = delete;

  int Run();  // plays the show once with the outputs asked for; the exit code

  // --- The console's screen
  void Open(const std::string& Title, bool FullScreen) override;
  void Present(std::span<const TCharInfo> Cells, const TFrameRecord& Shown) override;
  void SetTitle(const std::string&) override {}  // only the status of the timeline sets titles
  void Close() override {}

 private:
  void Watch(const TFrameRecord& Built);  // once the show is built, before it runs
  bool AfterFrame(const TFrameRecord& Ran);  // false stops the show
  int64_t ClockMs();          // the capture clock: ms since the show was built
  std::string CastSeconds();  // the capture clock as asciicast time
  void DrawPicture(std::span<const TCharInfo> Cells);  // into Picture, once per frame
  bool WholeTerminal() const;  // --size: pictures show the terminal's screen, not the 80 x 50 cells
  int PictureColumns() const;
  int PictureRows() const;
  bool WritePicture(std::span<const TCharInfo> Cells, const std::string& Path);
  void ShowProgress(bool Done);       // the progress line on standard error
  void Fail(const std::string& Why);  // remembers the first failure and stops the show

  TCaptureOptions Options;
  TSteppedClock Clock;
  TKeyScript Keys;
  bool Stopping = false;  // the show stops after the frame in hand
  bool Heard = false;  // the music opened before the show

  TTerminalEncoder Encoder;
  std::string Encoded;    // this frame's bytes
  std::string OpenBytes;  // what opening the screen wrote; goes out with the first frame
  std::unique_ptr<TOutputFile> Cast;

  std::optional<TPsfFont> Font;
  TIndexedPicture Picture;
  std::vector<TCharInfo> Laid, Screen;  // --size: the picture as laid out, and the whole screen
  int64_t PictureFrame = -1;  // the frame Picture holds
  std::unique_ptr<TVideoEncoder> Video;
  std::vector<uint8_t> VideoFrame;  // Picture in RGB, scaled
  bool Progress = false;            // long recording to a terminal: show how far it got
  int64_t ProgressEndMs = 0;
  int64_t NextProgressMs = 0;
  size_t NextCells = 0;       // first of Options.CellsAt not printed yet
  size_t NextPng = 0;
  int64_t Frame = 0;

  std::vector<TFrameStats> Parts;
  int FramePart = -1;  // the part that presented this frame
  std::chrono::steady_clock::time_point ProgramStart;
  std::chrono::steady_clock::time_point LastFrameEnd;
  std::chrono::steady_clock::time_point NextFrameStart;  // --paced: when the next frame may start
  double LastFrameCpuMs = 0;  // process CPU time when the last frame ended
  double StartupMs = -1;      // program start to the end of the first Present

  std::string Failure;
};
