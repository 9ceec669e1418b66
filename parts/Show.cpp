#include "parts/Show.h"

#include "parts/Blades.h"
#include "parts/GLScene.h"
#include "parts/InsideKnot.h"
#include "parts/Intro.h"
#include "parts/KnotTunnel.h"
#include "parts/ShaftDescent.h"
#include "parts/ShaftPalette.h"

namespace {
template <class TPart, class... TArgs>
TMadePart MakeGLPart(TArgs&... Args) {
  auto Part = std::make_unique<TPart>(Args...);
  TGLScene* GL = Part.get();
  return {std::move(Part), GL};
}
}  // namespace

TMadePart MakePart(const TShowPart& Part, TShowContext& Show) {
  TMadePart Made = Part.Make(Show);
  Made.Scene->StartTime = Part.Start;
  Made.Scene->Duration = Part.Length;
  return Made;
}

TMadePart MakeIntro(TShowContext& Show) {
  return {std::make_unique<TScene1>(Show.WorkingDirectory, Show.Random, Show.Colors)};
}
TMadePart MakeKnotTunnel(TShowContext& Show) {
  return MakeGLPart<TScene2>(Show.Display, Show.Random, Show.Overlay, Show.Colors);
}
TMadePart MakeInsideKnot(TShowContext& Show) {
  return MakeGLPart<TScene3>(Show.Display, Show.Random, Show.Overlay);
}
TMadePart MakeShaftDescent(TShowContext& Show) {
  return MakeGLPart<TScene4>(Show.Display, Show.Random);
}
TMadePart MakeShaftPalette(TShowContext& Show) {
  return MakeGLPart<TScene5>(Show.Display, Show.Random);
}
TMadePart MakeSpinningBlades(TShowContext& Show) {
  return MakeGLPart<TScene6>(Show.Display, Show.Random, Show.Overlay, Show.Colors);
}
