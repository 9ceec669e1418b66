// GLESStuff: the EGL display, offscreen GL ES 1.1 contexts with pbuffers and the fixed GL state.
//
// One display and one configuration serve a show: the program opens a TEGLDisplay and hands it to
// the 3D parts. Nothing here ever stops the show: when EGL cannot give a display, a configuration
// or a context, the handles stay empty, GL calls do nothing, read-backs come out black and
// FailureReason() says why.
#pragma once

#include <EGL/egl.h>

#include <cstdint>
#include <string>

class TImage;

// A part's own GL ES context and the pbuffer it draws into; copied by value.
struct TOffscreenContext {
  EGLContext Context = EGL_NO_CONTEXT;
  EGLSurface Surface = EGL_NO_SURFACE;
};

// 8-bit RGBA, 24-bit depth, 8-bit stencil, pbuffers.
extern const EGLint ConfigAttributes[15];

// Lets Mesa's software renderer draw on the calling thread (LP_NUM_THREADS=0) unless the user
// set that variable: on two cores its worker threads cost more in hand-offs than they save.
// Changes the environment, so call it before the program starts any thread.
void PreferInlineRenderer();

// The display and its configuration, and the contexts made on it. EGL hands every opener of the
// same platform the same display, so two of these in one process share it: the one done last
// must be the one that ends it.
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
  // Frees what EGL keeps for the calling thread; for threads other than the main one, at their end.
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

 private:
  void Fail(const std::string& Reason);  // keeps the first: later failures follow from it
  void ReleaseCurrent() const;

  EGLDisplay Display = EGL_NO_DISPLAY;
  EGLConfig Config = nullptr;
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

// The current pbuffer into Image (its size), bottom GL row into image row 0, not flipped; black
// when no context is current.
void ReadOffscreenImage(TImage& Image);
// Image, row 0 first, as the whole top level of the bound 2D texture (RGBA bytes).
void UploadTextureImage(const TImage& Image);
