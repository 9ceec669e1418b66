// Knot: the rippling knot tube that the knot tunnel flies through and the part inside the knot
// turns on, with its turning, its placement over the tunnel's time and its texture.
#pragma once

#include <cstdint>

#include "gles/MeshStuff.h"
#include "image/Image.h"

// The tube at time T (ms) of the tunnel: its profile ripples along it as T moves. Texture
// coordinates are zero.
PMesh MakeKnotTube(int32_t T);
// Multiplies the inner tube's turn at T onto the modelview matrix.
void TurnInnerTube(int32_t T);
// Multiplies the giant copy's slower turn at T onto the modelview matrix.
void TurnOuterTube(int32_t T);
// Depth of the inner tube: from 5 (behind the viewer) to -4 by 8 s, held to 10 s, out again.
float InnerTubeZ(int32_t T);
// Scale of the giant copy: from 300 down to 20 over the first second.
float OuterTubeScale(int32_t T);

// The tube's 64 x 64 texture, the same noise in both parts; reseeds Random.
TImage MakeKnotTexture(TRandom& Random);
