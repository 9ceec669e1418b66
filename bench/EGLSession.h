// The EGL display for a benchmark program, opened as the show opens it and closed at its end.
#pragma once

#include <cstdlib>

#include "gles/GLESStuff.h"

struct TEGLSession {
  TEGLSession() {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    Display.Init();
  }
  TEGLDisplay Display;  // done with the session
};
