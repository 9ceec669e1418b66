#include "resources/Resources.h"

#include <cstddef>

// Generated at build time from logo.txt: the bitmap without its file header.
extern const uint8_t LogoBitmap[];
extern const size_t LogoBitmapSize;

std::span<const uint8_t> FindBitmapResource(const std::string& Name) {
  if (Name == "A") return {LogoBitmap, LogoBitmapSize};
  return {};
}
