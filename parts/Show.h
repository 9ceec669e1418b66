// Show: the table of the show's parts, in playing order: each part's name, its start and length on
// the show's clock and how it is made. Every start time, and every offset by which one part runs on
// from another, comes from here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "console/ColorMappers.h"
#include "driver/ConsoleTimeline.h"
#include "gles/GLESStuff.h"
#include "image/Random.h"
#include "parts/Overlay.h"

class TGLScene;

// What the parts of one show share: built once by whoever builds the show and handed to every
// part's maker. Parts reach nothing else, so two contexts make two shows that do not meet (only
// EGL itself shares its display within a process; see TEGLDisplay).
struct TShowContext {
  explicit TShowContext(std::string WorkingDirectory_ = {})
      : WorkingDirectory(std::move(WorkingDirectory_)), Overlay(Random) {}
  TShowContext(const TShowContext&) = delete;
  TShowContext& operator=(const TShowContext&) = delete;

  TEGLDisplay Display;           // opened by whoever plays the show, before a 3D part is prepared
  std::string WorkingDirectory;  // UTF-8; the intro's prompt shows it
  // The show's one sequence: the overlay and each part's textures reseed it in the order they are
  // made, and the intro draws on from where the last one left it.
  TRandom Random;
  TOverlay Overlay;    // the first textures drawn from Random
  TColorTable Colors;  // for every mapper that maps RGB colours
};

// A part as made: its scene, and the same scene as a 3D one when it has GL to prepare.
struct TMadePart {
  std::unique_ptr<TConsoleScene> Scene;
  TGLScene* GL = nullptr;
};

struct TShowPart {
  std::string_view Name;
  int32_t Start;   // ms on the show's clock
  int32_t Length;  // ms
  TMadePart (*Make)(TShowContext& Show);
  constexpr int32_t End() const { return Start + Length; }
};

TMadePart MakeIntro(TShowContext& Show);
TMadePart MakeKnotTunnel(TShowContext& Show);
TMadePart MakeInsideKnot(TShowContext& Show);
TMadePart MakeShaftDescent(TShowContext& Show);
TMadePart MakeShaftPalette(TShowContext& Show);
TMadePart MakeSpinningBlades(TShowContext& Show);

// Rows of ShowParts.
enum TPartIndex : size_t { IntroPart, TunnelPart, InsidePart, DescentPart, PalettePart, BladesPart };

inline constexpr std::array<TShowPart, 6> ShowParts{{
    // name                start  length  made by
    {"intro",                  0, 10000, MakeIntro},
    {"knot tunnel",        10000, 16000, MakeKnotTunnel},
    {"inside the knot",    26000, 16000, MakeInsideKnot},
    {"shaft descent",      42000, 16000, MakeShaftDescent},
    {"shaft palette",      58000, 16000, MakeShaftPalette},
    {"spinning blades",    74000, 18000, MakeSpinningBlades},
}};

// Part made in Show, timed by its row: the one place a part gets its start and length.
TMadePart MakePart(const TShowPart& Part, TShowContext& Show);

inline constexpr int32_t ShowEnd = ShowParts.back().End();  // ms: the show's length

// The timeline plays the parts back to back from 0: each starts where the one before it ends.
static_assert([] {
  int32_t End = 0;
  for (const TShowPart& Part : ShowParts) {
    if (Part.Start != End || Part.Length <= 0) return false;
    End = Part.End();
  }
  return true;
}());

// How far part Later's clock runs ahead of part Earlier's: a part that goes on with an earlier
// one's motion adds this to its own time.
constexpr int32_t PartOffset(TPartIndex Earlier, TPartIndex Later) {
  return ShowParts[Later].Start - ShowParts[Earlier].Start;
}
