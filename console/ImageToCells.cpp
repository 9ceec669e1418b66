#include "console/ImageToCells.h"

#include <algorithm>

// --- Image-to-console conversion

namespace {
constexpr int32_t ScreenWidth = ScreenSize.X;
constexpr int32_t ScreenHeight = ScreenSize.Y;

TCharInfo& CellAt(TConsole& Console, int32_t Column, int32_t Row) {
  return Console.Cells[static_cast<size_t>(Row * ScreenWidth + Column)];
}

// First visible item and end of a span of Length items placed at screen position Pos (moved to
// 0 when negative) on a screen of Limit items. Worked out in 64 bits so that no position, however
// far off, wraps round onto the screen.
void ClipSpan(int32_t Length, int32_t Limit, int32_t& Pos, int32_t& Skip, int32_t& End) {
  int64_t S = 0;
  if (Pos < 0) {
    S = -int64_t{Pos};
    Pos = 0;
  }
  int64_t E = Length;
  if (E - S + Pos > Limit) E = Limit - Pos + S;
  // Only Pos = INT32_MIN skips past the 32-bit range, and nothing is visible then either way.
  Skip = static_cast<int32_t>(std::min<int64_t>(S, INT32_MAX));
  End = static_cast<int32_t>(E);
}
}  // namespace

TImageClip ClipImage(const TImage& Image, int32_t X, int32_t Y) {
  TImageClip C{X, Y, 0, 0, 0, 0};
  ClipSpan(Image.Width, ScreenWidth, C.X, C.SkipX, C.EndX);
  ClipSpan(Image.Height, ScreenHeight, C.Y, C.SkipY, C.EndY);
  return C;
}

void DrawMappedImage(TConsole& Console, const TImage& Image, int32_t X, int32_t Y,
                     const TConsoleMapperGroup& Group, std::string_view Ramp) {
  const std::string_view R = Ramp.empty() ? DefaultRamp : Ramp;
  const int32_t L = static_cast<int32_t>(R.size());
  const TImageClip C = ClipImage(Image, X, Y);
  if (C.EndX <= C.SkipX || C.EndY <= C.SkipY) return;

  const TPixel Key = Image.TransparentColor;
  const TPixel* Pixels = Image.GetPixels();
  for (int32_t PY = C.SkipY; PY < C.EndY; ++PY) {
    const TPixel* Row = Pixels + static_cast<size_t>(PY) * static_cast<size_t>(Image.Width);
    TCharInfo* Cell = &CellAt(Console, C.X, C.Y + PY - C.SkipY);
    for (int32_t PX = C.SkipX; PX < C.EndX; ++PX, ++Cell) {
      const TPixel Color = Row[PX];
      if (Color == Key) continue;
      int32_t Primary, Secondary, Weight, Total;
      Group.MapColor(PX, PY, Color, Primary, Secondary, Weight, Total);
      // Weight <= Total / 2 keeps K inside the ramp; the clamp only guards mappers fed
      // out-of-range offsets.
      const int32_t K = std::clamp((L - 1) * 2 * Weight / Total + 1, 1, L);
      Cell->AsciiChar = static_cast<uint8_t>(R[static_cast<size_t>(K - 1)]);
      Cell->Attributes = static_cast<uint16_t>(Primary * 16 + Secondary);
    }
  }
  FixRampGlyphs(Console, C.X, C.Y, C.X + (C.EndX - C.SkipX) - 1, C.Y + (C.EndY - C.SkipY) - 1);
}

void DrawColorImage(TConsole& Console, const TImage& Image, int32_t X, int32_t Y,
                    TConsoleColorMapper& Mapper, std::string_view Ramp) {
  const TConsoleMapperGroup Group{&Mapper};
  DrawMappedImage(Console, Image, X, Y, Group, Ramp);
}

void DrawBlockImage(TConsole& Console, const TImage& Image, int32_t X, int32_t Y,
                    const TConsoleUberMapper& Mapper) {
  const int32_t BW = Mapper.BlockWidth, BH = Mapper.BlockHeight;
  const int32_t SX = Mapper.StepX, SY = Mapper.StepY;
  // An image without pixels has no edge to repeat; a mapper without a window has nothing to map.
  if (Image.Width <= 0 || Image.Height <= 0 || BW <= 0 || BH <= 0 || SX <= 0 || SY <= 0) return;

  int32_t SkipC, EndC, SkipR, EndR;
  ClipSpan(Image.Width / SX + 1, ScreenWidth, X, SkipC, EndC);
  ClipSpan(Image.Height / SY + 1, ScreenHeight, Y, SkipR, EndR);
  if (EndC <= SkipC || EndR <= SkipR) return;

  // The show's one block mapper walks whole rows; the rest (any other mapper, or windows reaching
  // past the right edge) goes through MapBlock with a copied window.
  const int32_t WalkEnd = DrawLineArtRows(Mapper, Image, SkipC, EndC, SkipR, EndR,
                                          &CellAt(Console, X, Y), ScreenWidth);
  std::vector<TPixel> Buffer(static_cast<size_t>(BW) * static_cast<size_t>(BH));
  std::vector<const TPixel*> Rows(static_cast<size_t>(BH));
  const TPixel* Pixels = Image.GetPixels();
  const int32_t LastX = Image.Width - 1, LastY = Image.Height - 1;
  for (int32_t R = SkipR; R < EndR && WalkEnd < EndC; ++R) {
    for (int32_t BY = 0; BY < BH; ++BY)
      Rows[static_cast<size_t>(BY)] = Pixels + static_cast<size_t>(std::min(R * SY + BY, LastY)) *
                                                   static_cast<size_t>(Image.Width);
    TCharInfo* Cell = &CellAt(Console, X + WalkEnd - SkipC, Y + R - SkipR);
    for (int32_t C = WalkEnd; C < EndC; ++C, ++Cell) {
      const int32_t Left = C * SX;
      TPixel* Out = Buffer.data();
      if (Left + BW <= Image.Width) {
        for (const TPixel* Row : Rows) Out = std::copy_n(Row + Left, BW, Out);
      } else {
        for (const TPixel* Row : Rows)
          for (int32_t BX = 0; BX < BW; ++BX) *Out++ = Row[std::min(Left + BX, LastX)];
      }
      *Cell = Mapper.MapBlock(Buffer);
    }
  }
}


void DrawHalfBlockImage(TConsole& Console, const TImage& Image, int32_t X, int32_t Y,
                        const TColorTable& Table) {
  const TConsoleRGBMapper Mapper(Table);
  int32_t SkipX, EndX, SkipR, EndR;
  ClipSpan(Image.Width, ScreenWidth, X, SkipX, EndX);
  ClipSpan(Image.Height / 2, ScreenHeight, Y, SkipR, EndR);
  if (EndX <= SkipX || EndR <= SkipR) return;

  const TPixel Key = Image.TransparentColor;
  const TPixel* Pixels = Image.GetPixels();
  const auto Width = static_cast<size_t>(Image.Width);
  for (int32_t R = SkipR; R < EndR; ++R) {
    const TPixel* Upper = Pixels + static_cast<size_t>(2 * R) * Width;
    const TPixel* Lower = Upper + Width;
    TCharInfo* Cell = &CellAt(Console, X, Y + R - SkipR);
    for (int32_t PX = SkipX; PX < EndX; ++PX, ++Cell) {
      if (Upper[PX] == Key) continue;
      int32_t Top, Bottom, Secondary, Weight, Total;
      Mapper.MapColor(Upper[PX], Top, Secondary, Weight, Total);
      Mapper.MapColor(Lower[PX], Bottom, Secondary, Weight, Total);
      Cell->AsciiChar = 220;
      Cell->Attributes = static_cast<uint16_t>(Top * 16 + Bottom);
    }
  }
}

void FixRampGlyphs(TConsole& Console, int32_t X0, int32_t Y0, int32_t X1, int32_t Y1) {
  X0 = std::max(X0, 0);
  Y0 = std::max(Y0, 0);
  X1 = std::min(X1, ScreenWidth - 1);
  Y1 = std::min(Y1, ScreenHeight - 1);
  for (int32_t Row = Y0; Row <= Y1; ++Row) {
    uint8_t Prev = '?';
    for (int32_t Column = X0; Column <= X1; ++Column) {
      TCharInfo& Cell = CellAt(Console, Column, Row);
      const uint8_t Ch = Cell.AsciiChar;
      if (Ch == 'd') {
        if (Prev == 'X') Cell.AsciiChar = 'b';
      } else {
        Prev = Ch;
      }
    }
  }
}

void DrawChars(TConsole& Console, const TsetChars& Chars, int32_t Count) {
  const auto N = std::min(static_cast<size_t>(std::max(Count, 0)), Chars.size());
  for (size_t I = 0; I < N; ++I) {
    const TsetChar& E = Chars[I];
    if (E.Cell.AsciiChar <= 31) continue;
    if (E.Column < 0 || E.Column >= ScreenWidth || E.Row < 0 || E.Row >= ScreenHeight) continue;
    CellAt(Console, E.Column, E.Row) = E.Cell;
  }
}
