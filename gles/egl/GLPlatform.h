// GL on Linux: Mesa's GL ES 1.1 in pbuffers of an EGL display that needs no window system.
// Needs libEGL and libGLESv1_CM; only gles/ includes this header directly.
#pragma once

#include <EGL/egl.h>
#include <GLES/gl.h>

// A part's own GL ES context and the pbuffer it draws into; copied by value.
struct TOffscreenContext {
  EGLContext Context = EGL_NO_CONTEXT;
  EGLSurface Surface = EGL_NO_SURFACE;
  bool operator==(const TOffscreenContext&) const = default;
  bool Valid() const { return Context != EGL_NO_CONTEXT && Surface != EGL_NO_SURFACE; }
};

// What a display holds: the EGL display and the one configuration every context uses.
struct TGLDisplayHandles {
  EGLDisplay Display = EGL_NO_DISPLAY;
  EGLConfig Config = nullptr;
};
