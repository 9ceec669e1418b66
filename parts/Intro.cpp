#include "parts/Scene1.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string_view>

#include "console/ImageToCells.h"
#include "image/Random.h"
#include "parts/Show.h"
#include "terminal/Cp437.h"

namespace {
constexpr std::string_view Glyphs = "+sodX0";
constexpr std::string_view Caption = "quentarpresents";  // "quentar presents" without its space
constexpr int FirstWordLength = 7;
constexpr float HalfPi = std::numbers::pi_v<float> / 2;
constexpr uint8_t LowerHalfBlock = 220;
constexpr uint16_t PromptAttribute = 0x07;
constexpr uint16_t TextAttribute = 0x0f;

// Rises from 0 to 1 over the two seconds after Start.
float Rise(int32_t T, int32_t Start) { return std::sin(float(T - Start) * HalfPi / 2000.0f); }
// Falls from 1 to 0 over the two seconds after Start.
float Fall(int32_t T, int32_t Start) { return std::cos(float(T - Start) * HalfPi / 2000.0f); }

// Strength of the caption and logo scramble while they are shown (1500 < T < 9500).
float CaptionAmount(int32_t T) {
  if (T < 3500) return Rise(T, 1500);
  if (T < 5500) return Fall(T, 3500);
  if (T < 7500) return Rise(T, 5500);
  return Fall(T, 7500);
}
}  // namespace

TScene1::TScene1(const std::string& WorkingDirectory) {
  StartTime = ShowParts[IntroPart].Start;
  Duration = ShowParts[IntroPart].Length;
  Logo.LoadFromResource("A");
  Logo.TransparentColor = 0xFF0000FF;  // opaque red: the logo's background
  Prompt = Utf8ToCp437(WorkingDirectory) + "> ";
}

void TScene1::Enter() {}

uint8_t TScene1::ScrambleGlyph(uint8_t Ch, float Phase, float Amount) {
  const float D = std::clamp(std::fabs(std::sin(Phase) * 7.0f * Amount), 0.0f, 7.0f);
  const auto N = uint32_t(std::lrintf(D));
  const uint32_t R = Random(N);  // a range of 0 still advances the generator and gives 0
  return R == 0 ? Ch : uint8_t(Glyphs[R - 1]);
}

void TScene1::Render() {
  const int32_t T = Elapsed;
  Canvas.Clear();
  {
    TImage Noise(Canvas.Width, Canvas.Height);
    Noise.FillNoise();
    // Black until 2 s, strongest at 4 and 8 s, black at 6 s and from 10 s.
    const float F = std::clamp(float(T - 2000) / 2000.0f, 0.0f, 4.0f);
    const float W = std::clamp(std::fabs(std::sin(F * HalfPi) * 256.0f), 0.0f, 256.0f);
    Canvas.DrawBlended(Noise, 0, 0, int32_t(std::lrintf(W)), 0);
  }
  {
    TLin1Mapper Mapper;
    DrawBlockImage(*Console, Canvas, 0, 0, Mapper);
  }
  DrawTextLayers();
  Console->Present();
}

void TScene1::DrawTextLayers() {
  const int32_t T = Elapsed;
  const float Seconds = float(T) / 1000.0f;
  TsetChars Chars;

  if (T < 5500) {
    float Amount = 0;
    bool Plain = true;
    if (T >= 3500) {
      Amount = Fall(T, 3500);
      Plain = false;  // only the scramble's glyphs are left
    } else if (T >= 1500) {
      Amount = Rise(T, 1500);
    }
    for (size_t I = 0; I < Prompt.size(); ++I) {
      const uint8_t Base = Plain ? uint8_t(Prompt[I]) : 0;
      const uint8_t Ch = ScrambleGlyph(Base, Seconds + float(I), Amount);
      Chars.push_back({TCharInfo{Ch, 0, PromptAttribute}, int32_t(I), 0});
    }
    DrawChars(*Console, Chars, int32_t(Chars.size()));
  }

  if (T <= 1500 || T >= 9500) return;
  const float Amount = CaptionAmount(T);

  // The caption: letter-spaced, with the gap between the words one cell wider.
  const bool Letters = T >= 3500 && T < 7500;
  Chars.clear();
  for (int I = 0; I < int(Caption.size()); ++I) {
    const uint8_t Base = Letters ? uint8_t(Caption[size_t(I)]) : 0;
    const uint8_t Ch = ScrambleGlyph(Base, Seconds + float(I), Amount);
    const int32_t Column = 5 + 2 * I + (I >= FirstWordLength ? 2 : 0);
    Chars.push_back({TCharInfo{Ch, 0, TextAttribute}, Column, 15});
  }
  DrawChars(*Console, Chars, int32_t(Chars.size()));

  // The logo, then its letter rows scrambled cell by cell.
  DrawHalfBlockImage(*Console, Logo, 0, 12);
  const bool Blank = T < 3500 || (T > 7500 && T < 9500);
  for (int32_t Row = 17; Row <= 28; ++Row) {
    Chars.clear();
    for (int32_t X = 0; X < ScreenSize.X; ++X) {
      TCharInfo Cell = Console->Cells[size_t(Row * ScreenSize.X + X)];
      if (Cell.AsciiChar == LowerHalfBlock) {
        const uint8_t Base = Blank ? uint8_t(' ') : LowerHalfBlock;
        Cell.AsciiChar = ScrambleGlyph(Base, Seconds + float(X), Amount);
        if (Cell.AsciiChar != LowerHalfBlock) Cell.Attributes = TextAttribute;
      }
      Chars.push_back({Cell, X, Row});
    }
    DrawChars(*Console, Chars, int32_t(Chars.size()));
  }
}
