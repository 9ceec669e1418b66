// A model of the Linux virtual console's screen for tests: bytes in, cells out, with the colour
// rules that console follows (measured on a real one): intensity is a flag of its own, set by
// SGR 1 and by 90-97 and kept until SGR 22 or 0; 100-107 give the dark background; the blink bit
// (SGR 5, 25) shows a bright background with a 256-glyph font and nothing with a 512-glyph one;
// 24-bit colours come out wrong; `ESC ] P nrrggbb` sets a palette entry and `ESC ] R` resets it;
// there is no alternate screen. Only what a full-screen program sends is modelled.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class TLinuxConsoleScreen {
 public:
  static constexpr int Wrong = -1;  // a colour the console cannot show as asked

  struct TCell {
    char32_t Glyph = U' ';
    int Fg = 7, Bg = 0;  // the colour shown: the console's palette index, 0 to 15
  };
  // One palette event, in the order received: a set entry (Entry 0-15) or a reset (Entry -1).
  struct TPaletteEvent {
    int Entry;
    uint32_t Rgb;
  };

  TLinuxConsoleScreen(int Rows_, int Columns_, bool BigFont_ = false)
      : Rows(Rows_), Columns(Columns_), BigFont(BigFont_), Cells(size_t(Rows_ * Columns_)),
        TabStops(size_t(Columns_)) {
    for (size_t Column = 8; Column < TabStops.size(); Column += 8) TabStops[Column] = true;
  }


  void Feed(const std::string& Bytes) {
    for (char C : Bytes) Byte(uint8_t(C));
  }

  const TCell& Cell(int Row, int Column) const { return Cells[size_t(Row * Columns + Column)]; }

  const int Rows, Columns;
  std::vector<TPaletteEvent> Palette;
  int Unsupported = 0;  // sequences the console does not know (REP) or shows wrongly (24-bit)

 private:
  enum class TState { Ground, Escape, Csi, Osc, OscPalette, OscString, OscStringEscape };

  // Lines inserted (Down) or deleted at the cursor's row: the rows below it, to the scrolling
  // region's bottom, move down or up.
  void MoveLines(int Count, bool Down) {
    if (Y < Top || Y > Bottom) return;
    Count = std::min(Count, Bottom - Y + 1);
    std::vector<TCell> Moved(Cells.begin() + Y * Columns, Cells.begin() + (Bottom + 1) * Columns);
    for (int Row = Y; Row <= Bottom; ++Row) {
      const int From = Down ? Row - Count : Row + Count;
      for (int Column = 0; Column < Columns; ++Column)
        At(Row, Column) = From >= Y && From <= Bottom ? Moved[size_t((From - Y) * Columns + Column)]
                                                      : Erased();
    }
  }

  void Byte(uint8_t B) {
    switch (State) {
      case TState::Ground:
        if (B == 0x1b) {
          State = TState::Escape;
        } else if (B == '\r') {
          X = 0;
        } else if (B == '\n' || B == '\v' || B == '\f') {
          Y = std::min(Y + 1, Rows - 1);
        } else if (B == '\b') {
          X = std::max(X - 1, 0);
        } else if (B == '\t') {
          do ++X;
          while (X < Columns - 1 && !TabStops[size_t(X)]);
          X = std::min(X, Columns - 1);
        } else if (B >= 0x20) {
          Utf8(B);
        }
        return;
      case TState::Escape:
        if (B == '[') {
          State = TState::Csi;
          Params.clear();
          Private = false;
          Current = -1;
        } else if (B == ']') {
          State = TState::Osc;
        } else if (B == 'H') {
          TabStops[size_t(X)] = true;
          State = TState::Ground;
        } else if (B == 'M') {  // reverse index: up a row, at the region's top the region down
          if (Y == Top)
            MoveLines(1, true);
          else
            Y = std::max(Y - 1, 0);
          State = TState::Ground;
        } else {
          State = TState::Ground;
        }
        return;
      case TState::Csi:
        if (B >= '0' && B <= '9') {
          Current = (Current < 0 ? 0 : Current) * 10 + (B - '0');
        } else if (B == ';') {
          Params.push_back(Current);
          Current = -1;
        } else if (B == '?') {
          Private = true;
        } else if (B >= 0x40 && B <= 0x7e) {
          Params.push_back(Current);
          State = TState::Ground;
          if (!Private) Csi(char(B));
        }
        return;
      case TState::Osc:
        if (B == 'P') {
          State = TState::OscPalette;
          Osc.clear();
        } else if (B == 'R') {
          Palette.push_back(TPaletteEvent{-1, 0});
          State = TState::Ground;
        } else {
          State = TState::OscString;  // a title: ignored up to its end
        }
        return;
      case TState::OscPalette:
        Osc += char(B);
        if (Osc.size() == 7) {
          Palette.push_back(TPaletteEvent{std::stoi(Osc.substr(0, 1), nullptr, 16),
                                          uint32_t(std::stoul(Osc.substr(1), nullptr, 16))});
          State = TState::Ground;
        }
        return;
      case TState::OscString:
        if (B == 0x07) State = TState::Ground;
        if (B == 0x1b) State = TState::OscStringEscape;
        return;
      case TState::OscStringEscape:
        State = B == '\\' ? TState::Ground : TState::OscString;
        return;
    }
  }

  int Param(size_t Index, int Default) const {
    return Index < Params.size() && Params[Index] > 0 ? Params[Index] : Default;
  }

  void Csi(char Final) {
    switch (Final) {
      case 'H':
        Y = std::min(Param(0, 1), Rows) - 1;
        X = std::min(Param(1, 1), Columns) - 1;
        break;
      case 'G': X = std::min(Param(0, 1), Columns) - 1; break;
      case 'A': Y = std::max(0, Y - Param(0, 1)); break;
      case 'B': Y = std::min(Rows - 1, Y + Param(0, 1)); break;
      case 'C': X = std::min(Columns - 1, X + Param(0, 1)); break;
      case 'D': X = std::max(0, X - Param(0, 1)); break;
      case 'J':
        if (Param(0, 0) == 2)
          for (auto& Cell : Cells) Cell = Erased();
        break;
      case 'K':
        for (int Column = X; Column < Columns; ++Column) At(Y, Column) = Erased();
        break;
      case 'X':
        for (int Column = X; Column < std::min(Columns, X + Param(0, 1)); ++Column)
          At(Y, Column) = Erased();
        break;
      case 'P':  // delete characters: the rest of the row moves left
        for (int Column = X; Column < Columns; ++Column)
          At(Y, Column) = Column + Param(0, 1) < Columns ? At(Y, Column + Param(0, 1)) : Erased();
        break;
      case 'L':  // insert lines: the rows down to the region's bottom move down
      case 'M':  // delete lines: they move up
        MoveLines(Param(0, 1), Final == 'L');
        break;
      case 'r':  // the scrolling region, and the cursor home
        Top = Param(0, 1) - 1;
        Bottom = std::min(Param(1, Rows), Rows) - 1;
        if (Top >= Bottom) Top = 0, Bottom = Rows - 1;
        X = Y = 0;
        break;
      case 'm': Sgr(); break;
      case 'g':
        if (Param(0, 0) == 3) TabStops.assign(TabStops.size(), false);
        if (Param(0, 0) == 0) TabStops[size_t(X)] = false;
        break;
      case 'b': ++Unsupported; break;
      default: break;  // modes, window operations: ignored
    }
  }

  void Sgr() {
    for (size_t I = 0; I < Params.size(); ++I) {
      const int P = Params[I] < 0 ? 0 : Params[I];
      if (P == 0) {
        Fg = 7, Bg = 0, Bold = Blink = false;
      } else if (P == 1) {
        Bold = true;
      } else if (P == 21 || P == 22) {
        Bold = false;
      } else if (P == 5) {
        Blink = true;
      } else if (P == 25) {
        Blink = false;
      } else if (P >= 30 && P <= 37) {
        Fg = P - 30;
      } else if (P == 39) {
        Fg = 7;
      } else if (P >= 90 && P <= 97) {
        Fg = P - 90, Bold = true;
      } else if (P >= 40 && P <= 47) {
        Bg = P - 40;
      } else if (P == 49) {
        Bg = 0;
      } else if (P >= 100 && P <= 107) {
        Bg = P - 100, Blink = false;
      } else if (P == 38 || P == 48) {
        ++Unsupported;
        (P == 38 ? Fg : Bg) = Wrong;
        if (I + 1 < Params.size()) I += Params[I + 1] == 2 ? 4 : 2;
      }
    }
  }

  int ShownFg() const { return Fg == Wrong ? Wrong : Fg + (Bold ? 8 : 0); }
  int ShownBg() const { return Bg == Wrong ? Wrong : Bg + (Blink && !BigFont ? 8 : 0); }
  TCell Erased() const { return TCell{U' ', ShownFg(), ShownBg()}; }
  TCell& At(int Row, int Column) { return Cells[size_t(Row * Columns + Column)]; }

  void Utf8(uint8_t B) {
    if (Pending == 0) {
      if (B < 0x80) return Put(B);
      Pending = B >= 0xf0 ? 3 : B >= 0xe0 ? 2 : 1;
      Code = B & (0x3f >> Pending);
      return;
    }
    Code = (Code << 6) | (B & 0x3f);
    if (--Pending == 0) Put(Code);
  }

  void Put(char32_t Glyph) {
    At(Y, X) = TCell{Glyph, ShownFg(), ShownBg()};
    if (X < Columns - 1) ++X;  // autowrap is off
  }

  const bool BigFont;
  std::vector<TCell> Cells;
  std::vector<bool> TabStops;  // every eighth column at first
  TState State = TState::Ground;
  std::vector<int> Params;
  int Current = -1;
  bool Private = false;
  std::string Osc;
  int X = 0, Y = 0;
  int Top = 0, Bottom = Rows - 1;  // the scrolling region
  int Fg = 7, Bg = 0;
  bool Bold = false, Blink = false;
  int Pending = 0;
  char32_t Code = 0;
};
