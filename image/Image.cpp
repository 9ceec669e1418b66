#include "image/Image.h"

#include <cstring>

TImage::TImage(int32_t Width_, int32_t Height_)
    : Width(Width_), Height(Height_), Pixels(size_t(Width_) * size_t(Height_), 0) {}

void TImage::Clear() { std::memset(Pixels.data(), 0, Pixels.size() * sizeof(TPixel)); }
