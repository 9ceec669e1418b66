// Turns frames of cells into the bytes a VT terminal needs, writing only what changed.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/Screen.h"

class TTerminalEncoder {
 public:
  static constexpr int Columns = 80;
  static constexpr int Rows = 50;

  explicit TTerminalEncoder(bool TrueColor);

  // The terminal's size: cells beyond it are clipped. A change forces a full redraw.
  void Resize(int TerminalColumns, int TerminalRows);
  void Invalidate();  // the next frame is written whole

  // Appends to Out the bytes that turn the last encoded frame into Cells (80 x 50), wrapped in
  // synchronized-output brackets.
  void Encode(std::span<const TCharInfo> Cells, std::string& Out);

  // Bytes that set the terminal up for the show, and give it back afterwards.
  static std::string OpenSequence(const std::string& Title, bool FullScreen);
  static std::string CloseSequence();
  static std::string TitleSequence(const std::string& Title);

 private:
  bool TrueColor;
  int VisibleColumns = Columns;
  int VisibleRows = Rows;
  bool HaveLast = false;
  int Foreground = -1;  // colours the terminal has now, -1 when unknown
  int Background = -1;
  std::vector<TCharInfo> Last;
};
