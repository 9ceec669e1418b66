// GLESStuff: the EGL display, offscreen GL ES 1.1 contexts with pbuffers and the fixed GL state.
//
// One display and one configuration serve the whole run. Nothing here ever stops the show: when
// EGL cannot give a display, a configuration or a context, the handles stay empty, GL calls do
// nothing, read-backs come out black and EGLFailureReason() says why.
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

// --- Module start-up and shut-down

// Lets Mesa's software renderer draw on the calling thread (LP_NUM_THREADS=0) unless the user
// set that variable: on two cores its worker threads cost more in hand-offs than they save.
// Changes the environment, so call it before the program starts any thread.
void PreferInlineRenderer();
// Opens a display that needs no window system and chooses the one configuration; any thread.
void InitEGL();
// Frees what EGL keeps for the calling thread; for threads other than the main one, at their end.
void DoneEGLThread();
// Terminates the display; contexts still alive go with it.
void DoneEGL();
// Why 3D rendering is unavailable; empty while everything worked.
const std::string& EGLFailureReason();

// --- Contexts

// New context with a Width x Height pbuffer, left current.
void CreateOffscreenContext(int32_t Width, int32_t Height, TOffscreenContext& Ctx);
// Binds Ctx's pbuffer for drawing and reading and its context; a failed Ctx leaves none current.
void MakeContextCurrent(const TOffscreenContext& Ctx);
// Releases the current binding, then destroys the context and its pbuffer.
void DestroyOffscreenContext(const TOffscreenContext& Ctx);

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
