#include "parts/Intro.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string_view>

#include "console/ImageToCells.h"
#include "image/Random.h"
#include "resources/Resources.h"
#include "terminal/Cp437.h"

namespace {
constexpr std::string_view Glyphs = "+sodX0";
constexpr std::string_view Caption = "quentarpresents";  // "quentar presents" without its space
constexpr int FirstWordLength = 7;
constexpr float HalfPi = std::numbers::pi_v<float> / 2;
constexpr uint8_t LowerHalfBlock = 220;
constexpr uint16_t PromptAttribute = 0x07;
constexpr uint16_t TextAttribute = 0x0f;

// --- Keyframes, in ms of the intro
constexpr int32_t ScrambleSwing = 2000;  // each rise or fall of the scramble takes this long
constexpr int32_t CaptionIn = 1500;     // the prompt scrambles; caption and logo come as glyphs
constexpr int32_t CaptionClear = 3500;  // the prompt is only glyphs; caption and logo clear up
constexpr int32_t PromptGone = 5500;    // the prompt's glyphs have faded; the caption scrambles
constexpr int32_t CaptionOut = 7500;    // caption and logo give way to glyphs, which fade
constexpr int32_t CaptionGone = 9500;   // from here only the noise is left
constexpr int32_t NoiseIn = 2000;       // the red noise starts to pulse
constexpr int32_t NoiseQuarter = 2000;  // the noise's pulse: a quarter of a sine wave this long
constexpr float NoisePulses = 4;        // quarters of the wave, to black again at 10 s

// --- Layout, in cells
constexpr int32_t CaptionColumn = 5;  // of the first letter; letters stand two columns apart
constexpr int32_t CaptionRow = 15;
constexpr int32_t LogoRow = 12;                                 // top of the logo's picture
constexpr int32_t LogoLettersTop = 17, LogoLettersBottom = 28;  // rows the letters cover

// Rises from 0 to 1 over the swing after Start.
float Rise(int32_t T, int32_t Start) {
  return std::sin(float(T - Start) * HalfPi / float(ScrambleSwing));
}
// Falls from 1 to 0 over the swing after Start.
float Fall(int32_t T, int32_t Start) {
  return std::cos(float(T - Start) * HalfPi / float(ScrambleSwing));
}

// Strength of the caption and logo scramble while they are shown (CaptionIn < T < CaptionGone).
float CaptionAmount(int32_t T) {
  if (T < CaptionClear) return Rise(T, CaptionIn);
  if (T < PromptGone) return Fall(T, CaptionClear);
  if (T < CaptionOut) return Rise(T, PromptGone);
  return Fall(T, CaptionOut);
}
}  // namespace

TScene1::TScene1(const std::string& WorkingDirectory, TRandom& Random_,
                 const TColorTable& Colors_)
    : Random(Random_), Colors(Colors_) {
  LoadFromResource(Logo, "A");
  Logo.TransparentColor = 0xFF0000FF;  // opaque red: the logo's background
  Prompt = Utf8ToCp437(WorkingDirectory) + "> ";
}

void TScene1::Enter() {}

uint8_t TScene1::ScrambleGlyph(TRandom& From, uint8_t Ch, float Phase, float Amount) {
  const float D = std::clamp(std::fabs(std::sin(Phase) * 7.0f * Amount), 0.0f, 7.0f);
  const auto N = uint32_t(std::lrintf(D));
  const uint32_t R = From.Random(N);  // a range of 0 still advances the generator and gives 0
  return R == 0 ? Ch : uint8_t(Glyphs[R - 1]);
}

void TScene1::Render() {
  const int32_t T = Elapsed;
  Canvas.Clear();
  {
    TImage Noise(Canvas.Width, Canvas.Height);
    Noise.FillNoise(Random);
    // Black until 2 s, strongest at 4 and 8 s, black at 6 s and from 10 s.
    const float F = std::clamp(float(T - NoiseIn) / float(NoiseQuarter), 0.0f, NoisePulses);
    const float W = std::clamp(std::fabs(std::sin(F * HalfPi) * 256.0f), 0.0f, 256.0f);
    Canvas.DrawBlended(Noise, 0, 0, int32_t(std::lrintf(W)), 0);
  }
  {
    TLin1Mapper Mapper(Colors);
    DrawBlockImage(*Console, Canvas, 0, 0, Mapper);
  }
  DrawTextLayers();
  Console->Present();
}

void TScene1::DrawTextLayers() {
  const int32_t T = Elapsed;
  const float Seconds = float(T) / 1000.0f;
  TsetChars Chars;

  if (T < PromptGone) {
    float Amount = 0;
    bool Plain = true;
    if (T >= CaptionClear) {
      Amount = Fall(T, CaptionClear);
      Plain = false;  // only the scramble's glyphs are left
    } else if (T >= CaptionIn) {
      Amount = Rise(T, CaptionIn);
    }
    for (size_t I = 0; I < Prompt.size(); ++I) {
      const uint8_t Base = Plain ? uint8_t(Prompt[I]) : 0;
      const uint8_t Ch = ScrambleGlyph(Random, Base, Seconds + float(I), Amount);
      Chars.push_back({TCharInfo{Ch, 0, PromptAttribute}, int32_t(I), 0});
    }
    DrawChars(*Console, Chars, int32_t(Chars.size()));
  }

  if (T <= CaptionIn || T >= CaptionGone) return;
  const float Amount = CaptionAmount(T);

  // The caption: letter-spaced, with the gap between the words one cell wider.
  const bool Letters = T >= CaptionClear && T < CaptionOut;
  Chars.clear();
  for (int I = 0; I < int(Caption.size()); ++I) {
    const uint8_t Base = Letters ? uint8_t(Caption[size_t(I)]) : 0;
    const uint8_t Ch = ScrambleGlyph(Random, Base, Seconds + float(I), Amount);
    const int32_t Column = CaptionColumn + 2 * I + (I >= FirstWordLength ? 2 : 0);
    Chars.push_back({TCharInfo{Ch, 0, TextAttribute}, Column, CaptionRow});
  }
  DrawChars(*Console, Chars, int32_t(Chars.size()));

  // The logo, then its letter rows scrambled cell by cell.
  DrawHalfBlockImage(*Console, Logo, 0, LogoRow, Colors);
  const bool Blank = T < CaptionClear || (T > CaptionOut && T < CaptionGone);
  for (int32_t Row = LogoLettersTop; Row <= LogoLettersBottom; ++Row) {
    Chars.clear();
    for (int32_t X = 0; X < ScreenSize.X; ++X) {
      TCharInfo Cell = Console->Cells[size_t(Row * ScreenSize.X + X)];
      if (Cell.AsciiChar == LowerHalfBlock) {
        const uint8_t Base = Blank ? uint8_t(' ') : LowerHalfBlock;
        Cell.AsciiChar = ScrambleGlyph(Random, Base, Seconds + float(X), Amount);
        if (Cell.AsciiChar != LowerHalfBlock) Cell.Attributes = TextAttribute;
      }
      Chars.push_back({Cell, X, Row});
    }
    DrawChars(*Console, Chars, int32_t(Chars.size()));
  }
}
