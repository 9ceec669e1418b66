// The built-in bitmaps turned into images: LoadFromResource lives here, beside the bytes it
// reads, so the image library itself needs no resources.
#include <cstdint>
#include <span>
#include <string>

#include "image/Image.h"
#include "resources/Resources.h"

namespace {

inline int32_t ReadInt32(std::span<const uint8_t> Bytes, size_t At) {
  return int32_t(uint32_t(Bytes[At]) | (uint32_t(Bytes[At + 1]) << 8) |
                 (uint32_t(Bytes[At + 2]) << 16) | (uint32_t(Bytes[At + 3]) << 24));
}

}  // namespace

void LoadFromResource(TImage& Image, const std::string& Name) {
  const std::span<const uint8_t> Bytes = FindBitmapResource(Name);
  constexpr size_t HeaderSize = 40;
  if (Bytes.size() < HeaderSize) return;
  const int32_t NewWidth = ReadInt32(Bytes, 4);
  const int32_t NewHeight = ReadInt32(Bytes, 8);
  // Rows are read unpadded, as the built-in logo stores them; a short or top-down one is refused.
  if (NewWidth < 1 || NewHeight < 1 ||
      int64_t(NewWidth) * NewHeight * 3 > int64_t(Bytes.size() - HeaderSize))
    return;
  Image.Width = NewWidth;
  Image.Height = NewHeight;
  Image.Pixels.assign(size_t(NewWidth) * size_t(NewHeight), 0);
  const uint8_t* From = Bytes.data() + HeaderSize;
  for (int32_t I = 0; I < NewHeight; ++I) {
    TPixel* To = Image.Pixels.data() + size_t(NewHeight - 1 - I) * size_t(NewWidth);
    for (int32_t J = 0; J < NewWidth; ++J, From += 3)
      To[J] = 0xFF000000u | (TPixel(From[2])) | (TPixel(From[1]) << 8) | (TPixel(From[0]) << 16);
  }
}
