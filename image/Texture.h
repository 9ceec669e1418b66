// Texture: what TImage::Generate grows its seeded, tileable value noise with.
#pragma once

#include "image/Image.h"

// Interpolation of the texture generator, in 32-bit floats: P1 at T = 0, towards P2 at T = 1.
float Cubic(float P0, float P1, float P2, float P3, float T);
