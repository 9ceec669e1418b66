// The fixed-function GL API under its GL ES 1.1 names (glFrustumf, glOrthof...), whichever GL the
// platform has: the platform folder the build picked (egl/ or wgl/) supplies GLPlatform.h.
#pragma once

#include "GLPlatform.h"
