#include "parts/GLScene.h"

TGLScene::~TGLScene() { Display.DestroyOffscreenContext(Offscreen); }

void TGLScene::PrepareGL() {
  Display.CreateOffscreenContext(Width, Height, Offscreen);
  PrepareContext();
  Display.MakeContextCurrent(TOffscreenContext{});  // free for the thread that plays the part
}

void TGLScene::QueuePreparation() {
  std::lock_guard Lock(PreparationLock);
  if (Preparation == TPreparation::None) Preparation = TPreparation::Queued;
}

void TGLScene::RunPreparation() {
  PrepareGL();
  std::lock_guard Lock(PreparationLock);
  Preparation = TPreparation::Done;
  Prepared.notify_all();
}

void TGLScene::CancelPreparation() {
  std::lock_guard Lock(PreparationLock);
  if (Preparation == TPreparation::Queued) Preparation = TPreparation::None;
  Prepared.notify_all();
}

void TGLScene::AwaitPreparation() {
  std::unique_lock Lock(PreparationLock);
  Prepared.wait(Lock, [this] { return Preparation != TPreparation::Queued; });
  if (Preparation == TPreparation::Done) return;
  Lock.unlock();
  RunPreparation();
}

void TGLScene::Enter() {
  AwaitPreparation();
  Display.MakeContextCurrent(Offscreen);
  SetUpGL();
}

void TGLScene::SetUpGL() { SetUpPartView(Width, Height); }
