// What the GL tests need to know of WGL on Windows.
#pragma once

#include <cstdlib>

#include "gles/GLESStuff.h"

// Bitmaps need no window system.
inline void ForgetWindowSystem() {}

// The call that makes a context's target, named by the failure of a refused size.
constexpr const char* TargetCreationCall = "CreateDIBSection";

// GL 3.0 or later: vertex colours can be left unclamped, as the parts' pictures need.
inline bool IsExpectedVersion(const char* Version) { return std::atoi(Version) >= 3; }

// opengl32 loads its driver on its own terms: a running process cannot be kept from it.
constexpr bool DriverCanBeHidden = false;
inline void HideDriver() {}
constexpr const char* NoDriverReason = "";

// Tells whether contexts still exist: a destroyed one has given back its bitmap and device context.
class TContextProbe {
 public:
  bool Exists(const TOffscreenContext& Ctx) const {
    return GetObjectType(Ctx.Dc) != 0 || GetObjectType(Ctx.Bitmap) != 0;
  }
};
