#include "parts/GLScene.h"

TGLScene::~TGLScene() { DestroyOffscreenContext(Offscreen); }

void TGLScene::PrepareGL() {
  CreateOffscreenContext(Width, Height, Offscreen);
  PrepareContext();
  MakeContextCurrent(TOffscreenContext{});  // free for the thread that plays the part
}

void TGLScene::Enter() {
  AwaitPreparation();
  MakeContextCurrent(Offscreen);
  SetUpGL();
}

void TGLScene::SetUpGL() { SetUpPartView(Width, Height); }
