// What the GL tests need to know of EGL on Linux.
#pragma once

#include <cstdlib>
#include <cstring>

#include "gles/GLESStuff.h"

// Whatever the developer's session offers, the show needs none of it.
inline void ForgetWindowSystem() {
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
}

// The call that makes a context's target, named by the failure of a refused size.
constexpr const char* TargetCreationCall = "eglCreatePbufferSurface";

// Mesa's GL ES 1.1, as the parts' pictures were made with.
inline bool IsExpectedVersion(const char* Version) {
  return std::strstr(Version, "OpenGL ES-C") && std::strstr(Version, "1.1");
}

// Leaves this process's EGL no driver to find; the display then fails with NoDriverReason.
constexpr bool DriverCanBeHidden = true;
inline void HideDriver() {
  setenv("__EGL_VENDOR_LIBRARY_FILENAMES", "/nonexistent/vendor.json", 1);
  ForgetWindowSystem();
}
constexpr const char* NoDriverReason = "no EGL display";

// Tells whether contexts still exist; made while one of the same display is current.
class TContextProbe {
 public:
  bool Exists(const TOffscreenContext& Ctx) const {
    EGLint Id = 0;
    return eglQueryContext(Display, Ctx.Context, EGL_CONFIG_ID, &Id);
  }

 private:
  EGLDisplay Display = eglGetCurrentDisplay();
};
