// What kind of terminal the show draws on, and the SGR parameters that select a console colour
// there: the standard 16 colours, exact 24-bit ones, or the Linux console's own rules.
#pragma once

#include <cstdint>
#include <string>

// What the terminal shows, which sets the bytes.
struct TTerminalKind {
  bool TrueColor = false;  // exact 24-bit colours (never on the Linux console)
  // The Linux console: its own colour rules and palette, no alternate screen.
  bool LinuxConsole = false;
  // On the Linux console: its font has 256 glyphs, so the blink bit shows a bright background;
  // with 512 glyphs there are none, and bright backgrounds show dark.
  bool BrightBackgrounds = true;
  // Tabs reach the terminal as they are (no tty on the way expands them into spaces): the show
  // sets a tab stop at every column and moves right by a tab a column.
  bool Tabs = true;
  // The terminal draws the VT100 line-drawing set: box lines and the medium shade go out as one
  // byte each once the set is chosen. Never the Linux console, which ignores the set in UTF-8.
  bool LineDrawing = false;
  // The glyphs the terminal has shown it repeats (REP, CSI n b): runs of one of them go out as
  // the glyph and a REP. Some repeat ASCII alone (tmux 3.3 ignores a REP after any other glyph).
  // Never the Linux console, which has no REP.
  enum class TRepeat : uint8_t { None, Ascii, Every };
  TRepeat Repeat = TRepeat::None;
};

// Appends the SGR parameters (no CSI, no final 'm') selecting console colour Color as the
// foreground or the background.
void AppendColor(std::string& Out, const TTerminalKind& Kind, bool Background, int Color);
