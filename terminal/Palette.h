// The 16 console colours: what each one shows, and how a terminal numbers it.
#pragma once

#include <cstdint>

// RGB of one console colour index; the dark colours use 192 and the grey 127.
struct TPaletteColor {
  int32_t R;
  int32_t G;
  int32_t B;
};
inline constexpr TPaletteColor ConsolePalette[16] = {
    {0, 0, 0},     {0, 0, 192},     {0, 192, 0},     {0, 192, 192},  {192, 0, 0}, {192, 0, 192},
    {192, 192, 0}, {192, 192, 192}, {127, 127, 127}, {0, 0, 255},    {0, 255, 0}, {0, 255, 255},
    {255, 0, 0},   {255, 0, 255},   {255, 255, 0},   {255, 255, 255}};

// The terminal's colour number (0-15) for a console colour: console colours count blue as bit 0
// and red as bit 2, a terminal's standard colours the other way round. Its own inverse.
constexpr int AnsiIndex(int Color) {
  return ((Color & 1) << 2) | (Color & 2) | ((Color & 4) >> 2) | (Color & 8);
}
