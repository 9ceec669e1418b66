// GLESStuff: the GL display, offscreen fixed-function GL contexts and the fixed GL state.
//
// One display serves a show: the program opens a TEGLDisplay and hands it to the 3D parts. How a
// context is made is the platform's (egl/ on Linux, wgl/ on Windows: the build picks the folder);
// the GL state and the read-back are the same everywhere. Nothing here ever stops the show: when
// no display, configuration or context can be had, the handles stay empty, GL calls do nothing,
// read-backs come out black and FailureReason() says why.
#pragma once

#include <cstdint>
#include <string>

#include "gles/GL.h"

class TImage;

// Lets Mesa's software renderer draw on the calling thread (LP_NUM_THREADS=0) unless the user
// set that variable: on two cores its worker threads cost more in hand-offs than they save.
// May change the environment, so call it before the program starts any thread.
void PreferInlineRenderer();

// The display and its configuration, and the contexts made on it (TOffscreenContext: the
// platform's handles, copied by value). EGL hands every opener of the same platform the same
// display, so two of these in one process share it: the one done last must be the one that ends it.
class TEGLDisplay {
 public:
  TEGLDisplay() = default;
  ~TEGLDisplay();  // Done
  TEGLDisplay(const TEGLDisplay&) = delete;
  TEGLDisplay& operator=(const TEGLDisplay&) = delete;

  // --- Start-up and shut-down
  // Opens a display that needs no window system and chooses the one configuration; any thread.
  void Init();
  // Terminates the display; contexts still alive go with it.
  void Done();
  // Frees what the GL keeps for the calling thread; for threads other than the main one, at their end.
  static void DoneThread();
  // Why 3D rendering is unavailable; empty while everything worked.
  const std::string& FailureReason() const { return Failure; }

  // --- Contexts
  // New context with a Width x Height pbuffer, left current.
  void CreateOffscreenContext(int32_t Width, int32_t Height, TOffscreenContext& Ctx);
  // Binds Ctx's pbuffer for drawing and reading and its context; a failed Ctx leaves none current.
  void MakeContextCurrent(const TOffscreenContext& Ctx) const;
  // Releases the current binding, then destroys the context and its pbuffer.
  void DestroyOffscreenContext(const TOffscreenContext& Ctx) const;
  // Whether Ctx is the calling thread's current context, drawing into and reading from its target.
  static bool IsCurrent(const TOffscreenContext& Ctx);

 private:
  void Fail(const std::string& Reason);  // keeps the first: later failures follow from it
  void ReleaseCurrent() const;

  TGLDisplayHandles Handles;
  bool Ready = false;  // display initialised and configuration chosen
  std::string Failure;
};

// --- GL state

// Multiplies a perspective frustum onto the current matrix; FovY is the full angle in degrees.
void SetPerspective(float FovY, float Aspect, float ZNear, float ZFar);
// Fixed render state every part starts from; also resets the selected matrix.
void SetDefaultGLState();
// What every 3D part sets up in its context: a Width x Height viewport, a 60-degree perspective
// from 0.1 to 100 with the picture's aspect, then the default state on the modelview matrix.
void SetUpPartView(int32_t Width, int32_t Height);

// --- Read-back

// Whether the calling thread has a current context.
bool HasCurrentContext();
// The current pbuffer into Image (its size), bottom GL row into image row 0, not flipped; black
// when no context is current.
void ReadOffscreenImage(TImage& Image);
// Image, row 0 first, as the whole top level of the bound 2D texture (RGBA bytes).
void UploadTextureImage(const TImage& Image);
