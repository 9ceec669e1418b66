// Small literal images for the image tests: one character per pixel, the pixel value being the
// character code, so expected results read as rows of text.
#pragma once

#include <string>
#include <vector>

#include "image/Image.h"

inline TImage ImageFromRows(const std::vector<std::string>& Rows) {
  TImage Image(int32_t(Rows[0].size()), int32_t(Rows.size()));
  for (size_t Y = 0; Y < Rows.size(); ++Y)
    for (size_t X = 0; X < Rows[Y].size(); ++X)
      Image.Pixels[Y * Rows[0].size() + X] = TPixel(uint8_t(Rows[Y][X]));
  return Image;
}

inline std::vector<std::string> RowsOf(const TImage& Image) {
  std::vector<std::string> Rows;
  for (int32_t Y = 0; Y < Image.Height; ++Y) {
    std::string Row;
    for (int32_t X = 0; X < Image.Width; ++X)
      Row += char(Image.Pixels[size_t(Y) * Image.Width + X]);
    Rows.push_back(Row);
  }
  return Rows;
}

inline TPixel Rgba(uint32_t R, uint32_t G, uint32_t B, uint32_t A) {
  return R | (G << 8) | (B << 16) | (A << 24);
}
