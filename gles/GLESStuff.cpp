#include "gles/GLESStuff.h"
