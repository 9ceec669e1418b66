// Frames printed by vorlek-capture --cells-at, read back for tests.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
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

// Frames by show time, from Right presses that leap towards each target (ascending, divisible by
// 4), then steps onto it; a leap lands at least 200 ms early, so the bass levels settle first.
inline std::map<int64_t, TFrame> CaptureAt(const std::string& Audio, const std::vector<int64_t>& Targets) {
  std::string Keys, Cells;
  int64_t Clock = 0, Show = 0;  // the show time the frame at Clock reaches
  for (int64_t Target : Targets) {
    Cells += " --cells-at " + std::to_string(Target);
    for (; Show < Target; Show += 4, Clock += 4) {
      if (Show + 1004 > Target - 200) continue;
      Keys += (Keys.empty() ? "" : ",") + std::to_string(Clock) + ":right";
      Show += 1000;
    }
  }
  // The frame after the one reaching a target depicts it; stop just after the last.
  int Status;
  const std::string Out =
      RunCommand(std::string(std::getenv("VORLEK_BUILD_DIR")) + "/vorlek-capture " + Audio +
                     " --step 4 --keys " + Keys + Cells + " --until " + std::to_string(Clock + 12),
                 Status);
  const std::vector<TFrame> Read = ReadFrames(Out);
  std::map<int64_t, TFrame> Frames;
  for (size_t I = 0; Status == 0 && I < Read.size() && I < Targets.size(); ++I)
    Frames[Targets[I]] = Read[I];
  return Frames;
}

inline char Back(const TFrame& F, int Column, int Row) {
  return F.Attributes[size_t(Row)][size_t(2 * Column)];
}
inline char Fore(const TFrame& F, int Column, int Row) {
  return F.Attributes[size_t(Row)][size_t(2 * Column + 1)];
}

// Cells of a frame for which Test(Frame, Column, Row) holds, in a rectangle of the screen.
template <typename TTest>
int CountWhere(const TFrame& F, TTest Test, int Column0 = 0, int Column1 = 80, int Row0 = 0,
               int Row1 = 50) {
  int Count = 0;
  for (int Row = Row0; Row < Row1; ++Row)
    for (int Column = Column0; Column < Column1; ++Column) Count += Test(F, Column, Row);
  return Count;
}
