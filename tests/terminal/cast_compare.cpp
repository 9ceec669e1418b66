// Replays two asciicast recordings of the show, event by event (a frame each), through a
// terminal model and says whether every cell looks the same after every event in both: libvterm,
// or with --linux-console the Linux console model. Used to check that an encoder change keeps
// what the show looks like while its bytes change.
//
//   cast_compare OLD.cast NEW.cast [--linux-console]
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <tuple>

#include "LinuxConsoleScreen.h"
#include "harness/VTermScreen.h"

namespace {

// The text of an event line's JSON string: [seconds, "o", "data"].
bool EventData(const std::string& Line, std::string& Out) {
  size_t At = Line.find(", \"o\", \"");
  if (At == std::string::npos) return false;
  Out.clear();
  auto Utf8 = [&](uint32_t C) {
    if (C < 0x80) {
      Out += char(C);
    } else if (C < 0x800) {
      Out += char(0xc0 | C >> 6), Out += char(0x80 | (C & 0x3f));
    } else {
      Out += char(0xe0 | C >> 12), Out += char(0x80 | ((C >> 6) & 0x3f)),
          Out += char(0x80 | (C & 0x3f));
    }
  };
  for (At += 8; At < Line.size() && Line[At] != '"'; ++At) {
    if (Line[At] != '\\') {
      Out += Line[At];
      continue;
    }
    const char E = Line[++At];
    switch (E) {
      case 'n':
        Out += '\n';
        break;
      case 'r':
        Out += '\r';
        break;
      case 't':
        Out += '\t';
        break;
      case 'b':
        Out += '\b';
        break;
      case 'f':
        Out += '\f';
        break;
      case 'u':
        Utf8(uint32_t(std::stoul(Line.substr(At + 1, 4), nullptr, 16)));
        At += 4;
        break;
      default:
        Out += E;
        break;
    }
  }
  return true;
}

// What a cell looks like: a blank, or a glyph in its background colour, shows only that colour.
using TLook = std::tuple<char32_t, uint32_t, uint32_t>;
TLook LookOf(char32_t Glyph, uint32_t Fg, uint32_t Bg) {
  if (Glyph == U' ' || Glyph == 0 || Fg == Bg) return {U' ', 0, Bg};
  return {Glyph, Fg, Bg};
}
uint32_t ColorKey(const VTermColor& C) {
  if (VTERM_COLOR_IS_DEFAULT_FG(&C)) return 0x2000000;
  if (VTERM_COLOR_IS_DEFAULT_BG(&C)) return 0x3000000;
  if (VTERM_COLOR_IS_INDEXED(&C)) return 0x1000000 | C.indexed.idx;
  return uint32_t(C.rgb.red) << 16 | uint32_t(C.rgb.green) << 8 | C.rgb.blue;
}

struct TModel {
  virtual ~TModel() = default;
  virtual void Feed(const std::string& Bytes) = 0;
  virtual TLook Look(int Row, int Column) const = 0;
};
struct TVTermModel : TModel {
  TVTermModel(int Rows, int Columns) : Term(Rows, Columns) {}
  void Feed(const std::string& Bytes) override { Term.Feed(Bytes); }
  TLook Look(int Row, int Column) const override {
    const VTermScreenCell Cell = Term.Cell(Row, Column);
    uint32_t Fg = ColorKey(Cell.fg), Bg = ColorKey(Cell.bg);
    if (Cell.attrs.reverse) std::swap(Fg, Bg);
    return LookOf(Term.Glyph(Row, Column), Fg, Bg);
  }
  TVTermScreen Term;
};
struct TLinuxModel : TModel {
  TLinuxModel(int Rows, int Columns) : Term(Rows, Columns) {}
  void Feed(const std::string& Bytes) override { Term.Feed(Bytes); }
  TLook Look(int Row, int Column) const override {
    const auto& Cell = Term.Cell(Row, Column);
    return LookOf(Cell.Glyph, uint32_t(Cell.Fg), uint32_t(Cell.Bg));
  }
  TLinuxConsoleScreen Term;
};

}  // namespace

int main(int Argc, char** Argv) {
  if (Argc < 3) {
    std::fprintf(stderr, "usage: cast_compare OLD.cast NEW.cast [--linux-console]\n");
    return 2;
  }
  const bool Linux = Argc > 3 && !std::strcmp(Argv[3], "--linux-console");
  std::ifstream Old(Argv[1]), New(Argv[2]);
  std::string OldLine, NewLine;
  if (!std::getline(Old, OldLine) || !std::getline(New, NewLine)) return 2;
  int Columns = 0, Rows = 0;
  if (std::sscanf(OldLine.c_str(), "{\"version\": 2, \"width\": %d, \"height\": %d", &Columns,
                  &Rows) != 2)
    return 2;
  auto Make = [&]() -> std::unique_ptr<TModel> {
    if (Linux) return std::make_unique<TLinuxModel>(Rows, Columns);
    return std::make_unique<TVTermModel>(Rows, Columns);
  };
  auto A = Make(), B = Make();
  long Events = 0, OldBytes = 0, NewBytes = 0, Differ = 0;
  std::string OldData, NewData;
  while (true) {
    const bool MoreOld = bool(std::getline(Old, OldLine)),
               MoreNew = bool(std::getline(New, NewLine));
    if (MoreOld != MoreNew) {
      std::printf("event counts differ after %ld events\n", Events);
      return 1;
    }
    if (!MoreOld) break;
    if (!EventData(OldLine, OldData) || !EventData(NewLine, NewData)) continue;
    A->Feed(OldData);
    B->Feed(NewData);
    OldBytes += long(OldData.size()), NewBytes += long(NewData.size());
    ++Events;
    for (int Row = 0; Row < Rows; ++Row)
      for (int Column = 0; Column < Columns; ++Column)
        if (A->Look(Row, Column) != B->Look(Row, Column) && ++Differ <= 5)
          std::printf("event %ld: cell %d,%d differs\n", Events, Row, Column);
  }
  std::printf("%ld events, %ld x %ld cells compared, %ld differ; bytes %ld -> %ld\n", Events,
              long(Rows), long(Columns), Differ, OldBytes, NewBytes);
  return Differ == 0 ? 0 : 1;
}
