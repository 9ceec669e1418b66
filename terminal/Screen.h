// The text screen: 80 x 50 cells of a code page 437 glyph and a 16-colour attribute.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// The show's screen: this many columns and rows of cells.
constexpr int ShowColumns = 80;
constexpr int ShowRows = 50;

// One character cell: glyph code (code page 437) and attribute (background * 16 + foreground,
// colour bits: 0 blue, 1 green, 2 red, 3 intensity).
struct TCharInfo {
  uint8_t AsciiChar = 0;
  uint8_t Reserved = 0;
  uint16_t Attributes = 0;
  friend bool operator==(const TCharInfo&, const TCharInfo&) = default;
};

struct TCoord {
  int16_t X;
  int16_t Y;
};

// What the frame on screen shows, handed to the screen with its cells and to a run's watchers.
struct TFrameRecord {
  int32_t Part = -1;        // index of the scene on screen; -1 before the first is entered
  int32_t PartCount = 0;    // scenes in the show
  int32_t ShownMs = 0;      // the show time the scene draws: its start plus its Elapsed
  int32_t EndMs = 0;        // when the last scene ends; 0 without scenes
  bool MusicPlays = false;  // a music stream is open
};

class IScreen {
 public:
  virtual ~IScreen() = default;
  virtual void Open(const std::string& Title, bool FullScreen) = 0;  // becomes the visible screen
  // Shows all cells at once; Frame says what they show.
  virtual void Present(std::span<const TCharInfo> Cells, const TFrameRecord& Frame) = 0;
  virtual void SetTitle(const std::string& Title) = 0;
  virtual void Close() = 0;  // gives the screen back as it was
};

// Test double: keeps what it was shown.
class TRecordingScreen final : public IScreen {
 public:
  void Open(const std::string& Title_, bool FullScreen_) override {
    Title = Title_;
    FullScreen = FullScreen_;
    IsOpen = true;
  }
  void Present(std::span<const TCharInfo> Cells, const TFrameRecord&) override {
    Last.assign(Cells.begin(), Cells.end());
    ++Frames;
  }
  void SetTitle(const std::string& Title_) override { Title = Title_; }
  void Close() override { IsOpen = false; }

  std::string Title;
  bool FullScreen = false;
  bool IsOpen = false;
  int Frames = 0;
  std::vector<TCharInfo> Last;
};
