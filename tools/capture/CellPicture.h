// CellPicture: console cells drawn as pixels with a console font, and written as PNG.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "terminal/Screen.h"
#include "tools/capture/PsfFont.h"

// The default font: the VGA 8 x 8 console font with a Unicode table.
inline constexpr const char* DefaultCaptureFont = "/usr/share/consolefonts/Uni2-VGA8.psf.gz";
// For terminals with tall cells: the VGA 8 x 16 console font.
inline constexpr const char* TallCaptureFont = "/usr/share/consolefonts/Uni2-VGA16.psf.gz";

// Pixels as palette indices, one byte each, row-major.
struct TIndexedPicture {
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Pixels;
};

// Draws Columns x Rows cells: each cell is one glyph cell of the font, ink in the foreground
// colour (low nibble of the attribute), the rest in the background colour (high nibble).
void DrawCells(std::span<const TCharInfo> Cells, int Columns, int Rows, const TPsfFont& Font,
               TIndexedPicture& Out);

// Writes the picture as a PNG whose 16-entry palette is ConsolePalette. False (and why) on failure.
bool WritePalettePng(const std::string& Path, const TIndexedPicture& Picture, std::string& Error);

// Turns a picture into RGB bytes, each pixel Scale x Scale times.
void ExpandPicture(const TIndexedPicture& Picture, int Scale, std::vector<uint8_t>& Rgb);
