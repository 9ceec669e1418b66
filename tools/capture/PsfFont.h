// PsfFont: a Linux console font (PSF version 1 or 2, optionally gzipped) with its Unicode table.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

class TPsfFont {
 public:
  // Parses the bytes of a PSF1 or PSF2 file. On malformed data returns nothing and says why.
  static std::optional<TPsfFont> Parse(std::span<const uint8_t> Data, std::string& Error);
  // Reads a font file, plain or gzipped.
  static std::optional<TPsfFont> Load(const std::string& Path, std::string& Error);

  int Width() const { return GlyphWidth; }
  int Height() const { return GlyphHeight; }
  int GlyphCount() const { return Count; }
  bool HasUnicodeTable() const { return !Unicode.empty(); }

  int GlyphOf(char32_t C) const;            // the glyph showing C, or -1
  int GlyphOfCp437(uint8_t Code) const;     // by the Unicode table (missing: U+FFFD, then '?')
  bool Ink(int Glyph, int X, int Y) const;  // whether that pixel of the glyph is set

 private:
  int GlyphWidth = 0;
  int GlyphHeight = 0;
  int Count = 0;
  int RowBytes = 0;
  int GlyphBytes = 0;
  std::vector<uint8_t> Bitmaps;
  std::unordered_map<char32_t, int> Unicode;  // first glyph listed for each code point
};
