#include "gles/MeshStuff.h"
