// Where the encoder's bytes go on the show's own frames, against the glyph bound: the UTF-8 bytes
// of the glyphs of the cells whose look changes (a blank, or a glyph in its background colour,
// counted as one space), which any encoder must send. Reads frames printed by
// `vorlek-capture --cells-at` (consecutive frames, 16 ms apart, form one window; the first frame
// of a window only sets what the terminal shows), encodes each window in order and sorts every
// byte sent: glyphs of changed cells, SGR (colours), cursor moves, erases, rewritten cells whose
// look did not change, fillers (written, then overwritten in the same frame), choices of
// character set, the frame's synchronized-output brackets, and moves of what the screen shows
// where the picture moved (lines inserted or deleted, characters deleted; the cells they keep
// are not written, so the glyphs may come under the bound). Counts too the places where two
// changed cells side by side want colours no one pen shows (a blank needs only its background),
// and the floors under any exact encoding of the same frames, and under any that never restores
// a saved cursor (harness/EncodingFloor.h). Then times the encoding (process CPU per frame).
//
//   bench/terminal/show_bytes.sh BUILD_DIR [--truecolor | --linux-console] [--line-drawing]
//                                [--repeat | --repeat-ascii]
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <istream>
#include <string>
#include <vector>

#include "harness/EncodingFloor.h"
#include "terminal/Cp437.h"
#include "terminal/TerminalEncoder.h"

namespace {

struct TFrame {
  long Ms;
  std::vector<TCharInfo> Cells;
};

// Frames as `vorlek-capture --cells-at` prints them: "@ MS", 50 rows of glyphs, "--", 50 rows of
// attributes as two hex digits (background, foreground) a cell.
std::vector<TFrame> ReadFrames(std::istream& In) {
  std::vector<TFrame> Frames;
  std::string Line;
  while (std::getline(In, Line)) {
    if (Line.rfind("@ ", 0) != 0) continue;
    TFrame Frame{std::stol(Line.substr(2)), std::vector<TCharInfo>(4000)};
    for (int Row = 0; Row < 50 && std::getline(In, Line); ++Row) {
      size_t At = 0;
      for (int Column = 0; Column < 80 && At < Line.size(); ++Column) {
        // UTF-8 decoding of one glyph.
        const auto Lead = uint8_t(Line[At]);
        const int Length = Lead < 0x80 ? 1 : Lead < 0xe0 ? 2 : Lead < 0xf0 ? 3 : 4;
        char32_t Code = Length == 1 ? Lead : Lead & (0x7f >> Length);
        for (int Index = 1; Index < Length; ++Index)
          Code = Code << 6 | (uint8_t(Line[At + size_t(Index)]) & 0x3f);
        At += size_t(Length);
        const int Glyph = UnicodeToCp437(Code);
        Frame.Cells[size_t(Row * 80 + Column)].AsciiChar = uint8_t(Glyph < 0 ? '?' : Glyph);
      }
    }
    std::getline(In, Line);  // "--"
    for (int Row = 0; Row < 50 && std::getline(In, Line); ++Row)
      for (int Column = 0; Column < 80 && size_t(2 * Column + 1) < Line.size(); ++Column)
        Frame.Cells[size_t(Row * 80 + Column)].Attributes =
            uint16_t(std::stoi(Line.substr(size_t(2 * Column), 2), nullptr, 16));
    Frames.push_back(std::move(Frame));
  }
  return Frames;
}

// Whether one pen shows both cells: same background, and the same foreground unless one is blank.
bool OnePen(const TCharInfo& A, const TCharInfo& B) {
  if ((A.Attributes & 0xf0) != (B.Attributes & 0xf0)) return false;
  return LooksBlank(A) || LooksBlank(B) || (A.Attributes & 15) == (B.Attributes & 15);
}

enum TPart {
  Glyphs, Colours, Moves, Erases, Unchanged, Fillers, Charsets, Brackets, Motion, Repeats, PartCount
};
const char* const PartNames[PartCount] = {"glyphs",  "colour", "moves",  "erase",
                                          "unchanged", "fillers", "charset", "frame",
                                          "motion",  "repeat"};

// Sorts the bytes of one frame (80 x 50, one cell a cell) by what they do. Changed marks the
// cells whose look changed.
void Sort(const std::string& Bytes, const std::vector<uint8_t>& Changed, long Parts[PartCount]) {
  std::vector<int> Last(4000, 0),
      All(4000, 0);  // bytes of the last write, and of all writes, per cell
  int X = 0, Y = 0;
  auto CursorCell = [&] { return size_t(std::clamp(Y, 0, 49) * 80 + std::clamp(X, 0, 79)); };
  for (size_t At = 0; At < Bytes.size();) {
    const auto B = uint8_t(Bytes[At]);
    if (B == 0x1b && At + 1 < Bytes.size() && Bytes[At + 1] == '[') {
      size_t End = At + 2;
      while (End < Bytes.size() && !(Bytes[End] >= 0x40 && Bytes[End] <= 0x7e)) ++End;
      const std::string Params = Bytes.substr(At + 2, End - At - 2);
      const char Final = Bytes[End];
      const long Length = long(End + 1 - At);
      const int N = Params.empty() || Params[0] == '?' ? 1 : std::max(1, std::atoi(Params.c_str()));
      At = End + 1;
      switch (Final) {
        case 'm':
          Parts[Colours] += Length;
          break;
        case 'X':
        case 'K':
          Parts[Erases] += Length;
          break;
        case 'H': {
          const size_t Semi = Params.find(';');
          Y = std::max(1, std::atoi(Params.c_str())) - 1;
          X = Semi == std::string::npos ? 0 : std::max(1, std::atoi(Params.c_str() + Semi + 1)) - 1;
          Parts[Moves] += Length;
          break;
        }
        case 'A':
          Y -= N;
          Parts[Moves] += Length;
          break;
        case 'B':
          Y += N;
          Parts[Moves] += Length;
          break;
        case 'G':
          X = N - 1;
          Parts[Moves] += Length;
          break;
        case 'C':
          X += N;
          Parts[Moves] += Length;
          break;
        case 'D':
          X -= N;
          Parts[Moves] += Length;
          break;
        case 'L':  // the picture moved: lines inserted or deleted in a scrolling region, or
        case 'M':  // characters deleted at the start of a row
        case 'P':
        case 'r':
          Parts[Motion] += Length;
          break;
        case 'b':  // the glyph before, N times more: its cells cost the REP alone
          for (int Time = 0; Time < N; ++Time) {
            Last[CursorCell()] = 0;
            if (X < 79) ++X;
          }
          Parts[Repeats] += Length;
          break;
        default:
          Parts[Brackets] += Length;
          break;
      }
      continue;
    }
    if (B == 0x1b && At + 2 < Bytes.size() && Bytes[At + 1] == '(') {  // a character set
      Parts[Charsets] += 3;
      At += 3;
      continue;
    }
    if (B == 0x0f) {  // a shift-in
      ++Parts[Charsets];
      ++At;
      continue;
    }
    if (B == '\r' || B == '\n' || B == '\v' || B == '\b' || B == '\t') {
      if (B == '\r')
        X = 0;
      else if (B == '\b')
        X = std::max(0, X - 1);
      else if (B == '\t')  // a tab stop at every column
        X = std::min(79, X + 1);

      else
        ++Y;
      ++Parts[Moves];
      ++At;
      continue;
    }
    const int Length = B < 0x80 ? 1 : B < 0xe0 ? 2 : B < 0xf0 ? 3 : 4;
    const size_t Cell = CursorCell();
    Last[Cell] = Length;
    All[Cell] += Length;
    At += size_t(Length);
    if (X < 79) ++X;
  }
  for (size_t Cell = 0; Cell < 4000; ++Cell) {
    if (Changed[Cell]) {
      Parts[Glyphs] += Last[Cell];
      Parts[Fillers] += All[Cell] - Last[Cell];
    } else {
      Parts[Unchanged] += All[Cell];
    }
  }
}

double CpuMs() {
  timespec Ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &Ts);
  return double(Ts.tv_sec) * 1000 + double(Ts.tv_nsec) / 1e6;
}

// The part shown at a moment of the show.
const char* PartAt(long Ms) {
  static const std::pair<long, const char*> Starts[] = {{0, "intro"},
                                                        {10000, "knot tunnel"},
                                                        {26000, "inside the knot"},
                                                        {42000, "shaft descent"},
                                                        {58000, "shaft palette"},
                                                        {74000, "blades"}};
  const char* Name = "";
  for (const auto& [Start, Part] : Starts)
    if (Ms >= Start) Name = Part;
  return Name;
}

}  // namespace

int main(int Argc, char** Argv) {
  TTerminalKind Kind;
  const char* Path = nullptr;
  int Rounds = 20;
  for (int Index = 1; Index < Argc; ++Index) {
    if (!std::strcmp(Argv[Index], "--truecolor"))
      Kind.TrueColor = true;
    else if (!std::strcmp(Argv[Index], "--line-drawing"))
      Kind.LineDrawing = true;
    else if (!std::strcmp(Argv[Index], "--linux-console"))
      Kind.LinuxConsole = true;
    else if (!std::strcmp(Argv[Index], "--repeat"))
      Kind.Repeat = TTerminalKind::TRepeat::Every;
    else if (!std::strcmp(Argv[Index], "--repeat-ascii"))
      Kind.Repeat = TTerminalKind::TRepeat::Ascii;
    else if (!std::strcmp(Argv[Index], "--rounds") && Index + 1 < Argc)
      Rounds = std::atoi(Argv[++Index]);
    else
      Path = Argv[Index];
  }
  if (!Path) {
    std::fprintf(stderr,
                 "usage: encoder_bytes CELLS_FILE [--truecolor | --linux-console] [--line-drawing]"
                 " [--repeat | --repeat-ascii] [--rounds N]\n");
    return 2;
  }
  std::ifstream In(Path);
  const std::vector<TFrame> Frames = ReadFrames(In);
  // Windows: runs of consecutive frames.
  std::vector<std::pair<size_t, size_t>> Windows;
  for (size_t Index = 0; Index < Frames.size(); ++Index)
    if (Index == 0 || Frames[Index].Ms != Frames[Index - 1].Ms + 16)
      Windows.push_back({Index, Index + 1});
    else
      Windows.back().second = Index + 1;

  std::printf("%-16s %6s %6s %5s |", "part", "sent", "bound", "ratio");
  for (const char* Name : PartNames) std::printf(" %9s", Name);
  std::printf(" | pen breaks   runs  floor  ratio  no restore  ratio | CPU us/frame\n");
  long AllSent = 0, AllBound = 0, AllCount = 0;
  TFloorFinder Floors(80, 50);
  for (const auto& [Begin, End] : Windows) {
    if (End - Begin < 2) continue;
    TTerminalEncoder Encoder(Kind);
    Encoder.Resize(80, 50, TCellShape{1, 2});
    std::string Bytes;
    Encoder.Encode(Frames[Begin].Cells, Bytes);
    long Sent = 0, Bound = 0, Breaks = 0, Runs = 0, Floor = 0, NoRestoreFloor = 0,
         Parts[PartCount] = {};
    std::vector<uint8_t> Changed(4000);
    for (size_t Index = Begin + 1; Index < End; ++Index) {
      const auto& Now = Frames[Index].Cells;
      const auto& Before = Frames[Index - 1].Cells;
      for (size_t Cell = 0; Cell < 4000; ++Cell) {
        Changed[Cell] = !LookSame(Now[Cell], Before[Cell]);
        if (Changed[Cell])
          Bound += LooksBlank(Now[Cell]) ? 1 : long(Cp437ToUtf8(Now[Cell].AsciiChar).size());
        if (Cell % 80 > 0 && Changed[Cell] && Changed[Cell - 1] &&
            !OnePen(Now[Cell - 1], Now[Cell]))
          ++Breaks;
      }
      const TEncodingFloor Least = Floors.Floor(Before, Now);
      Floor += Least.Bytes();
      Runs += Least.Runs;
      NoRestoreFloor += Floors.Floor(Before, Now, TFloorModel::NoRestore).Bytes();
      Bytes.clear();
      Encoder.Encode(Now, Bytes);
      Sent += long(Bytes.size());
      Sort(Bytes, Changed, Parts);
    }
    // Process CPU per frame: the least of Rounds encodings of the window (the machine is shared;
    // the least is what the encoding itself costs).
    double Cpu = Rounds > 0 ? 1e9 : 0;
    for (int Round = 0; Round < Rounds; ++Round) {
      const double Start = CpuMs();
      for (size_t Index = Begin; Index < End; ++Index) {
        Bytes.clear();
        Encoder.Encode(Frames[Index].Cells, Bytes);
      }
      Cpu = std::min(Cpu, (CpuMs() - Start) * 1000 / double(End - Begin));
    }
    const long Count = long(End - Begin - 1);
    std::printf("%-16s %6ld %6ld %5.2f |", PartAt(Frames[Begin].Ms), Sent / Count, Bound / Count,
                double(Sent) / double(Bound));
    for (long Part : Parts) std::printf(" %9ld", Part / Count);
    std::printf(" | %10ld %6ld %6ld %6.3f %11ld %6.3f | %.1f\n", Breaks / Count, Runs / Count,
                Floor / Count, double(Floor) / double(Bound), NoRestoreFloor / Count,
                double(NoRestoreFloor) / double(Bound), Cpu);
    AllSent += Sent, AllBound += Bound, AllCount += Count;
  }
  if (AllCount)
    std::printf("%-16s %6ld %6ld %5.2f\n", "all", AllSent / AllCount, AllBound / AllCount,
                double(AllSent) / double(AllBound));
  return 0;
}
