// Files built into the executable, found by name.
#pragma once

#include <cstdint>
#include <span>
#include <string>

class TImage;

// The bytes of the built-in bitmap Name, or an empty span when there is none.
std::span<const uint8_t> FindBitmapResource(const std::string& Name);
// Replaces Image by the built-in bitmap Name (resources/Bitmap.cpp); leaves it alone when there is
// no such bitmap or it cannot be read.
void LoadFromResource(TImage& Image, const std::string& Name);
