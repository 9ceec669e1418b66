// GL on Windows: desktop OpenGL through opengl32 and WGL, drawing into a DIB section (a bitmap
// in memory), which needs no window, so no thread owns anything but its contexts. Its fixed
// function pipeline is GL ES 1.1's; the few ES-only names map onto their desktop forms here.
// Needs opengl32 and gdi32; only gles/ includes this header directly.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <GL/gl.h>
#include <GL/glext.h>

// --- GL ES 1.1 names of desktop GL

inline void glFrustumf(GLfloat Left, GLfloat Right, GLfloat Bottom, GLfloat Top, GLfloat ZNear,
                       GLfloat ZFar) {
  glFrustum(Left, Right, Bottom, Top, ZNear, ZFar);
}
inline void glOrthof(GLfloat Left, GLfloat Right, GLfloat Bottom, GLfloat Top, GLfloat ZNear,
                     GLfloat ZFar) {
  glOrtho(Left, Right, Bottom, Top, ZNear, ZFar);
}

#define GL_POINT_SPRITE_OES GL_POINT_SPRITE  // the same enable since GL 2.0

// A part's own GL context, the memory device context it draws through and the bitmap it draws
// into; copied by value.
struct TOffscreenContext {
  HGLRC Context = nullptr;
  HDC Dc = nullptr;
  HBITMAP Bitmap = nullptr;
  bool operator==(const TOffscreenContext&) const = default;
  bool Valid() const { return Context != nullptr && Dc != nullptr; }
};

// WGL has no display to open: every context stands on its own bitmap.
struct TGLDisplayHandles {};
