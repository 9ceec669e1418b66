#include "resources/Resources.h"

std::span<const uint8_t> FindBitmapResource(const std::string&) { return {}; }
