// Frames printed by vorlek-capture --cells-at, read back for tests.
#pragma once

#include <cstdio>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

struct TFrame {
  std::vector<std::string> Glyphs;      // 50 rows, UTF-8
  std::vector<std::string> Attributes;  // 50 rows of 160 hex digits
  bool operator==(const TFrame&) const = default;
};

// What a failed comparison shows: the glyph rows.
inline void PrintTo(const TFrame& Frame, std::ostream* Out) {
  for (const std::string& Row : Frame.Glyphs) *Out << "\n" << Row;
}

// Runs Command in a shell; its standard output, and its exit status in Status.
inline std::string RunCommand(const std::string& Command, int& Status) {
  std::string Out;
  FILE* Pipe = popen(Command.c_str(), "r");
  if (!Pipe) {
    Status = -1;
    return Out;
  }
  char Buffer[4096];
  size_t Count;
  while ((Count = fread(Buffer, 1, sizeof Buffer, Pipe)) > 0) Out.append(Buffer, Count);
  Status = pclose(Pipe);
  return Out;
}

inline std::vector<TFrame> ReadFrames(const std::string& Text) {
  std::vector<TFrame> Frames;
  std::istringstream In(Text);
  std::string Line;
  while (std::getline(In, Line)) {
    if (Line.rfind("@ ", 0) != 0) continue;
    TFrame Frame;
    for (int I = 0; I < 50 && std::getline(In, Line); ++I) Frame.Glyphs.push_back(Line);
    std::getline(In, Line);
    for (int I = 0; I < 50 && std::getline(In, Line); ++I) Frame.Attributes.push_back(Line);
    Frames.push_back(Frame);
  }
  return Frames;
}

// One code point per screen column.
inline std::u32string Columns(const std::string& Utf8) {
  std::u32string Out;
  for (size_t I = 0; I < Utf8.size();) {
    const auto Lead = uint8_t(Utf8[I]);
    const size_t Length = Lead < 0x80 ? 1 : Lead < 0xE0 ? 2 : Lead < 0xF0 ? 3 : 4;
    char32_t C = Length == 1 ? Lead : Lead & (0x7F >> Length);
    for (size_t K = 1; K < Length && I + K < Utf8.size(); ++K) C = (C << 6) | (Utf8[I + K] & 0x3F);
    Out += C;
    I += Length;
  }
  return Out;
}
