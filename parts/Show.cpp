#include "parts/Show.h"

#include "parts/GLScene.h"
#include "parts/Scene1.h"
#include "parts/Scene2.h"
#include "parts/Scene3.h"
#include "parts/Scene4.h"
#include "parts/Scene5.h"
#include "parts/Scene6.h"

namespace {
template <class TPart>
TMadePart MakeGLPart() {
  auto Part = std::make_unique<TPart>();
  TGLScene* GL = Part.get();
  return {std::move(Part), GL};
}
}  // namespace

TMadePart MakeIntro(const TShowSettings& Settings) {
  return {std::make_unique<TScene1>(Settings.WorkingDirectory)};
}
TMadePart MakeKnotTunnel(const TShowSettings&) { return MakeGLPart<TScene2>(); }
TMadePart MakeInsideKnot(const TShowSettings&) { return MakeGLPart<TScene3>(); }
TMadePart MakeShaftDescent(const TShowSettings&) { return MakeGLPart<TScene4>(); }
TMadePart MakeShaftPalette(const TShowSettings&) { return MakeGLPart<TScene5>(); }
TMadePart MakeSpinningBlades(const TShowSettings&) { return MakeGLPart<TScene6>(); }
