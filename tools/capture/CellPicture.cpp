#include "tools/capture/CellPicture.h"

#include <png.h>

#include <array>
#include <cstring>

#include "console/ColorMappers.h"

void DrawCells(std::span<const TCharInfo> Cells, int Columns, int Rows, const TPsfFont& Font,
               TIndexedPicture& Out) {
  int CellW = Font.Width(), CellH = Font.Height();
  Out.Width = Columns * CellW;
  Out.Height = Rows * CellH;
  Out.Pixels.assign(size_t(Out.Width) * size_t(Out.Height), 0);
  // Glyph lookups go through a hash map; a table per frame keeps them out of the pixel loop.
  std::array<int, 256> GlyphOf{};
  for (int Code = 0; Code < 256; ++Code) GlyphOf[size_t(Code)] = Font.GlyphOfCp437(uint8_t(Code));

  for (int Row = 0; Row < Rows; ++Row) {
    for (int Column = 0; Column < Columns; ++Column) {
      const TCharInfo& Cell = Cells[size_t(Row * Columns + Column)];
      uint8_t Fore = Cell.Attributes & 0x0F;
      uint8_t Back = (Cell.Attributes >> 4) & 0x0F;
      int Glyph = GlyphOf[Cell.AsciiChar];
      for (int Y = 0; Y < CellH; ++Y) {
        uint8_t* Line =
            &Out.Pixels[size_t(Row * CellH + Y) * size_t(Out.Width) + size_t(Column * CellW)];
        for (int X = 0; X < CellW; ++X) Line[X] = Glyph >= 0 && Font.Ink(Glyph, X, Y) ? Fore : Back;
      }
    }
  }
}

bool WritePalettePng(const std::string& Path, const TIndexedPicture& Picture, std::string& Error) {
  png_image Image;
  std::memset(&Image, 0, sizeof Image);
  Image.version = PNG_IMAGE_VERSION;
  Image.width = png_uint_32(Picture.Width);
  Image.height = png_uint_32(Picture.Height);
  Image.format = PNG_FORMAT_RGB_COLORMAP;
  Image.colormap_entries = 16;
  std::array<uint8_t, 16 * 3> Colormap{};
  for (size_t I = 0; I < 16; ++I) {
    Colormap[I * 3] = uint8_t(ConsolePalette[I].R);
    Colormap[I * 3 + 1] = uint8_t(ConsolePalette[I].G);
    Colormap[I * 3 + 2] = uint8_t(ConsolePalette[I].B);
  }
  if (!png_image_write_to_file(&Image, Path.c_str(), 0, Picture.Pixels.data(), Picture.Width,
                               Colormap.data())) {
    Error = "cannot write " + Path + ": " + Image.message;
    png_image_free(&Image);
    return false;
  }
  return true;
}

void ExpandPicture(const TIndexedPicture& Picture, int Scale, std::vector<uint8_t>& Rgb) {
  const size_t RowBytes = size_t(Picture.Width) * size_t(Scale) * 3;
  Rgb.resize(RowBytes * size_t(Picture.Height) * size_t(Scale));
  uint8_t* Out = Rgb.data();
  for (int Y = 0; Y < Picture.Height; ++Y) {
    uint8_t* Row = Out;
    for (int X = 0; X < Picture.Width; ++X) {
      const TPaletteColor& Color =
          ConsolePalette[Picture.Pixels[size_t(Y * Picture.Width + X)] & 15];
      for (int Repeat = 0; Repeat < Scale; ++Repeat) {
        *Out++ = uint8_t(Color.R);
        *Out++ = uint8_t(Color.G);
        *Out++ = uint8_t(Color.B);
      }
    }
    for (int Repeat = 1; Repeat < Scale; ++Repeat, Out += RowBytes) std::memcpy(Out, Row, RowBytes);
  }
}
