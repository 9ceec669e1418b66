#include "tools/capture/PsfFont.h"

#include <zlib.h>

#include <algorithm>

#include "terminal/Cp437.h"

namespace {

constexpr uint8_t Psf1Magic[2] = {0x36, 0x04};
constexpr uint8_t Psf2Magic[4] = {0x72, 0xB5, 0x4A, 0x86};
constexpr uint8_t Psf1Mode512 = 0x01;
constexpr uint8_t Psf1ModeHasTab = 0x02;
constexpr uint8_t Psf1ModeHasSeq = 0x04;
constexpr uint32_t Psf2HasUnicodeTable = 0x01;

uint32_t ReadLe32(const uint8_t* P) {
  return uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24;
}

// One UTF-8 code point from [P, End); advances P. Returns U+FFFD on a broken sequence.
char32_t NextUtf8(const uint8_t*& P, const uint8_t* End) {
  uint8_t Lead = *P++;
  int More = Lead < 0x80           ? 0
             : (Lead >> 5) == 0x6  ? 1
             : (Lead >> 4) == 0xE  ? 2
             : (Lead >> 3) == 0x1E ? 3
                                   : -1;
  if (More < 0) return 0xFFFD;
  char32_t C = More == 0 ? Lead : Lead & (0x3F >> More);
  for (int I = 0; I < More; ++I) {
    if (P == End || (*P & 0xC0) != 0x80) return 0xFFFD;
    C = C << 6 | (*P++ & 0x3F);
  }
  return C;
}

}  // namespace

std::optional<TPsfFont> TPsfFont::Parse(std::span<const uint8_t> Data, std::string& Error) {
  TPsfFont Font;
  size_t TableOffset = 0;
  bool HasTable = false;
  bool Version2 = false;
  if (Data.size() >= 4 && std::equal(Psf1Magic, Psf1Magic + 2, Data.begin())) {
    uint8_t Mode = Data[2];
    Font.Count = (Mode & Psf1Mode512) ? 512 : 256;
    Font.GlyphWidth = 8;
    Font.GlyphHeight = Data[3];
    Font.RowBytes = 1;
    Font.GlyphBytes = Data[3];
    TableOffset = 4 + size_t(Font.Count) * size_t(Font.GlyphBytes);
    HasTable = (Mode & (Psf1ModeHasTab | Psf1ModeHasSeq)) != 0;
    if (Data.size() < TableOffset) {
      Error = "PSF1 font shorter than its glyphs";
      return std::nullopt;
    }
    Font.Bitmaps.assign(Data.begin() + 4, Data.begin() + ptrdiff_t(TableOffset));
  } else if (Data.size() >= 32 && std::equal(Psf2Magic, Psf2Magic + 4, Data.begin())) {
    Version2 = true;
    uint32_t HeaderSize = ReadLe32(&Data[8]);
    uint32_t Flags = ReadLe32(&Data[12]);
    uint32_t Length = ReadLe32(&Data[16]);
    uint32_t CharSize = ReadLe32(&Data[20]);
    uint32_t Height = ReadLe32(&Data[24]);
    uint32_t Width = ReadLe32(&Data[28]);
    if (Width == 0 || Height == 0 || Width > 64 || Height > 64 || Length > 65536 ||
        CharSize != (Width + 7) / 8 * Height || HeaderSize < 32) {
      Error = "PSF2 header out of range";
      return std::nullopt;
    }
    Font.Count = int(Length);
    Font.GlyphWidth = int(Width);
    Font.GlyphHeight = int(Height);
    Font.RowBytes = int((Width + 7) / 8);
    Font.GlyphBytes = int(CharSize);
    TableOffset = size_t(HeaderSize) + size_t(Length) * CharSize;
    HasTable = (Flags & Psf2HasUnicodeTable) != 0;
    if (Data.size() < TableOffset) {
      Error = "PSF2 font shorter than its glyphs";
      return std::nullopt;
    }
    Font.Bitmaps.assign(Data.begin() + HeaderSize, Data.begin() + ptrdiff_t(TableOffset));
  } else {
    Error = "not a PSF font";
    return std::nullopt;
  }
  if (!HasTable) return Font;

  // Each glyph's entry lists the code points it shows, then (after a separator) sequences of
  // code points that combine into it, which a cell of one code point never needs.
  const uint8_t* P = Data.data() + TableOffset;
  const uint8_t* End = Data.data() + Data.size();
  for (int Glyph = 0; Glyph < Font.Count; ++Glyph) {
    bool InSequences = false;
    while (true) {
      if (Version2) {
        if (P >= End) break;
        if (*P == 0xFF) {
          ++P;
          break;
        }
        if (*P == 0xFE) {
          ++P;
          InSequences = true;
          continue;
        }
        char32_t C = NextUtf8(P, End);
        if (!InSequences) Font.Unicode.emplace(C, Glyph);
      } else {
        if (End - P < 2) break;
        char32_t C = char32_t(P[0] | P[1] << 8);
        P += 2;
        if (C == 0xFFFF) break;
        if (C == 0xFFFE) {
          InSequences = true;
          continue;
        }
        if (!InSequences) Font.Unicode.emplace(C, Glyph);
      }
    }
    if (P >= End && Glyph + 1 < Font.Count) {
      Error = "unicode table ends early";
      return std::nullopt;
    }
  }
  return Font;
}

std::optional<TPsfFont> TPsfFont::Load(const std::string& Path, std::string& Error) {
  // gzread passes files that are not gzipped through unchanged.
  gzFile File = gzopen(Path.c_str(), "rb");
  if (!File) {
    Error = "cannot open " + Path;
    return std::nullopt;
  }
  std::vector<uint8_t> Data;
  uint8_t Buffer[16384];
  int Got = 0;
  while ((Got = gzread(File, Buffer, sizeof Buffer)) > 0)
    Data.insert(Data.end(), Buffer, Buffer + Got);
  bool Failed = Got < 0;
  gzclose(File);
  if (Failed) {
    Error = "cannot read " + Path;
    return std::nullopt;
  }
  auto Font = Parse(Data, Error);
  if (!Font) Error = Path + ": " + Error;
  return Font;
}

int TPsfFont::GlyphOf(char32_t C) const {
  auto It = Unicode.find(C);
  return It == Unicode.end() ? -1 : It->second;
}

int TPsfFont::GlyphOfCp437(uint8_t Code) const {
  // A font without a table is taken to be laid out in code page 437 order, as VGA fonts are.
  if (!HasUnicodeTable()) return Code < Count ? Code : -1;
  for (char32_t C : {Cp437ToUnicode(Code), char32_t(0xFFFD), char32_t('?')}) {
    int Glyph = GlyphOf(C);
    if (Glyph >= 0) return Glyph;
  }
  return -1;
}

bool TPsfFont::Ink(int Glyph, int X, int Y) const {
  uint8_t Row =
      Bitmaps[size_t(Glyph) * size_t(GlyphBytes) + size_t(Y) * size_t(RowBytes) + size_t(X / 8)];
  return (Row >> (7 - X % 8)) & 1;
}
