// Turns frames of cells into the bytes a VT terminal needs, writing only what changed. The
// 80 x 50 frame is first laid out on the terminal (TTerminalLayout), then encoded.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/Screen.h"
#include "platform/TerminalLayout.h"

class TTerminalEncoder {
 public:
  static constexpr int Columns = 80;
  static constexpr int Rows = 50;

  explicit TTerminalEncoder(bool TrueColor);

  // The terminal's size, which sets the layout. A change forces a full redraw.
  void Resize(int TerminalColumns, int TerminalRows);
  const TTerminalLayout& Layout() const { return Fit; }
  void Invalidate();  // the next frame is written whole

  // Appends to Out the bytes that turn the last encoded frame into Cells (80 x 50) as laid out,
  // wrapped in synchronized-output brackets. A whole frame paints the margins black.
  void Encode(std::span<const TCharInfo> Cells, std::string& Out);

  // Bytes that set the terminal up for the show, and give it back afterwards.
  static std::string OpenSequence(const std::string& Title, bool FullScreen);
  static std::string CloseSequence();
  static std::string TitleSequence(const std::string& Title);

 private:
  // Writes the laid-out picture (Layout's Width x Height cells) against Last.
  void EncodePicture(std::span<const TCharInfo> Picture, std::string& Out);

  bool TrueColor;
  TTerminalLayout Fit;
  std::vector<TCharInfo> Laid;  // the picture of a layout that samples, reused every frame
  bool HaveLast = false;
  int Foreground = -1;  // colours the terminal has now, -1 when unknown
  int Background = -1;
  std::vector<TCharInfo> Last;  // the picture last written, as laid out
};
