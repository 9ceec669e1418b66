// Intro: the show's opening part. A fake command prompt, a caption and the title logo dissolve
// through random glyphs over a field of red noise that pulses twice.
#pragma once

#include <cstdint>
#include <string>

#include "console/ColorMappers.h"
#include "driver/ConsoleTimeline.h"
#include "image/Image.h"

// The intro part (the design calls it TScene1).
class TScene1 : public TConsoleScene {
 public:
  // The prompt shows WorkingDirectory (UTF-8) followed by "> "; noise and scramble draw from
  // Random, the show's generator.
  TScene1(const std::string& WorkingDirectory, TRandom& Random, const TColorTable& Colors);

  void Render() override;
  void Enter() override;  // keeps Elapsed: the intro never rewinds itself

  // Ch, or with a strength of |sin(Phase)| * Amount one of the glyphs "+sodX0". Draws exactly one
  // number from From on every call.
  static uint8_t ScrambleGlyph(TRandom& From, uint8_t Ch, float Phase, float Amount);
  void DrawTextLayers();  // prompt, caption and logo over what the cells hold

  TImage Canvas{161, 101};
  TImage Logo{0, 0};
  std::string Prompt;  // code page 437
  TRandom& Random;     // the show's
  const TColorTable& Colors;
};
