// GLScene: what every 3D part shares. Each draws into an offscreen context of its own, as large as
// the picture it reads back, prepared ahead (PrepareGL) and made current when the part is entered.
#pragma once

#include <cstdint>

#include "driver/ConsoleTimeline.h"
#include "gles/GLESStuff.h"

class TGLScene : public TConsoleScene {
 public:
  ~TGLScene() override;  // releases the context
  TGLScene(const TGLScene&) = delete;
  TGLScene& operator=(const TGLScene&) = delete;

  // Makes the context and runs PrepareContext in it, then leaves it free for the thread that
  // plays the part.
  void PrepareGL() final;
  // Waits for the preparation, makes the context current and sets it up; keeps Elapsed.
  void Enter() override;

  // In the new context: the part's uploads, SetUpGL and one unseen frame.
  virtual void PrepareContext() = 0;
  // The view over the whole context and the default state; parts add their own settings.
  virtual void SetUpGL();

  const int32_t Width, Height;  // of the context
  TOffscreenContext Offscreen;

 protected:
  TGLScene(int32_t Width_, int32_t Height_) : Width(Width_), Height(Height_) {}
};
