#include "gles/GLESStuff.h"

#include <cmath>

#include "image/Image.h"

// --- GL state

void SetPerspective(float FovY, float Aspect, float ZNear, float ZFar) {
  const float Top = static_cast<float>(ZNear * std::tan(FovY * 3.14159265358979323846 / 360.0));
  const float Bottom = -Top;
  const float Left = Bottom * Aspect;
  const float Right = Top * Aspect;
  glFrustumf(Left, Right, Bottom, Top, ZNear, ZFar);
}

void SetDefaultGLState() {
  static const GLfloat Ambient[4] = {0.125f, 0.125f, 0.125f, 1.0f};
  glLoadIdentity();
  glLightfv(GL_LIGHT0, GL_AMBIENT, Ambient);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glEnable(GL_COLOR_MATERIAL);
  glCullFace(GL_BACK);
  glEnable(GL_CULL_FACE);
  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_NORMAL_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glEnable(GL_TEXTURE_2D);
}

void SetUpPartView(int32_t Width, int32_t Height) {
  glViewport(0, 0, Width, Height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  SetPerspective(60, float(Width) / float(Height), 0.1f, 100);
  glMatrixMode(GL_MODELVIEW);
  SetDefaultGLState();
}

// --- Read-back and upload

void UploadTextureImage(const TImage& Image) {
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, Image.Width, Image.Height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
               Image.GetPixels());
}

void ReadOffscreenImage(TImage& Image) {
  if (!HasCurrentContext()) {
    Image.Clear();
    return;
  }
  glReadPixels(0, 0, Image.Width, Image.Height, GL_RGBA, GL_UNSIGNED_BYTE, Image.GetPixels());
}
