// What the system says of the terminal on a descriptor: whether it is a Linux virtual console and
// the size of its font, and whether two descriptors are one terminal.
#pragma once

#include <optional>

struct TConsoleFont {
  int Width = 0, Height = 0;  // pixels of one glyph
  int Glyphs = 0;             // 256, or 512 (which leaves no bright backgrounds)
};

bool IsVirtualConsole(int Fd);                     // a Linux virtual console (KDGETMODE answers)
std::optional<TConsoleFont> ConsoleFont(int Fd);   // the console's font, when Fd is one
bool SameTerminal(int A, int B);                   // both are terminals, and the same device
