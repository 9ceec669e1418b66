// The Windows console: the show's own screen buffer, the keys from the console's input, and the
// control handler. However the show ends (its end, Escape, Ctrl-C, Ctrl-Break, the window closed),
// the console gets back the screen buffer, cursor, title and input mode it had.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "terminal/Keyboard.h"
#include "terminal/Screen.h"
#include "terminal/TerminalLayout.h"

// --- Ending the show from outside
// Ctrl-C and Ctrl-Break ask the show to stop like Escape; closing the window, logging off or
// shutting down gives the console back at once (the system ends the process right after).
void InstallConsoleHandler();
bool StopRequested();  // Ctrl-C or Ctrl-Break came

// --- Screen: a screen buffer of its own, made active, one WriteConsoleOutputW per frame
// The buffer is 80 x 50 when the console's window can show that; a window that already shows more
// keeps its size and the picture is laid out in it as on any terminal, in proportion for the cell
// shape (UserCell, else the console font's, else twice as tall as wide).
class TConsoleScreen final : public IScreen {
 public:
  explicit TConsoleScreen(std::optional<TCellShape> UserCell = std::nullopt);
  ~TConsoleScreen() override;
  TConsoleScreen(const TConsoleScreen&) = delete;
  TConsoleScreen& operator=(const TConsoleScreen&) = delete;
  void Open(const std::string& Title, bool FullScreen) override;
  void Present(std::span<const TCharInfo> Cells, const TFrameRecord&) override;
  void SetTitle(const std::string& Title) override;
  void Close() override;

  bool IsOpen() const { return Buffer != nullptr; }
  const TTerminalLayout& Layout() const { return Placement; }  // the buffer's size and the picture

 private:
  std::optional<TCellShape> UserCell;
  HANDLE Buffer = nullptr;  // the show's screen buffer while open
  TTerminalLayout Placement;
  std::vector<TCharInfo> Picture;  // reused every frame
  std::vector<CHAR_INFO> Out;      // the whole buffer, margins blank, reused every frame
};

// --- Keys: Right, Left and Escape from the console's input records, read without waiting
class TConsoleKeyboard final : public IKeyboard {
 public:
  TConsoleKeyboard();  // the console's input in a mode without echo, lines or mouse selection
  ~TConsoleKeyboard() override;
  TConsoleKeyboard(const TConsoleKeyboard&) = delete;
  TConsoleKeyboard& operator=(const TConsoleKeyboard&) = delete;
  bool KeyState(TKey Key) override;

 private:
  void ReadPending();
  HANDLE Input = INVALID_HANDLE_VALUE;
  std::array<bool, 3> Pressed{};
};

// The UTF-16 form of UTF-8 text, for the console's wide calls.
std::wstring WideText(const std::string& Text);
