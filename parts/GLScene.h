// GLScene: what every 3D part shares. Each draws into an offscreen context of its own, as large as
// the picture it reads back, prepared ahead (PrepareGL) and made current when the part is entered.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "driver/ConsoleTimeline.h"
#include "gles/GLESStuff.h"

class TGLScene : public TConsoleScene {
 public:
  ~TGLScene() override;  // releases the context
  TGLScene(const TGLScene&) = delete;
  TGLScene& operator=(const TGLScene&) = delete;

  // --- GL preparation
  // The part's GL work before its first frame: its context, its uploads, and one unseen frame
  // that makes the software renderer compile the code the part draws with. It may run on a
  // second thread while earlier parts play; it never draws from the show's random generator.
  // Makes the context and runs PrepareContext in it, then leaves it free for the thread that
  // plays the part.
  void PrepareGL();
  void QueuePreparation();   // another thread is going to call RunPreparation
  void RunPreparation();     // PrepareGL, then wakes AwaitPreparation
  void CancelPreparation();  // what was queued will not run after all
  void AwaitPreparation();   // returns once prepared; prepares here when nothing is queued

  // Waits for the preparation, makes the context current and sets it up; keeps Elapsed.
  void Enter() override;

  // In the new context: the part's uploads, SetUpGL and one unseen frame.
  virtual void PrepareContext() = 0;
  // The view over the whole context and the default state; parts add their own settings.
  virtual void SetUpGL();

  TEGLDisplay& Display;          // the show's, which the context is made on
  const int32_t Width, Height;  // of the context
  TOffscreenContext Offscreen;

 protected:
  TGLScene(TEGLDisplay& Display_, int32_t Width_, int32_t Height_)
      : Display(Display_), Width(Width_), Height(Height_) {}

 private:
  enum class TPreparation { None, Queued, Done };
  std::mutex PreparationLock;
  std::condition_variable Prepared;
  TPreparation Preparation = TPreparation::None;
};
