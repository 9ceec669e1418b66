#include "terminal/TerminalColors.h"

#include <charconv>

#include "terminal/Palette.h"

namespace {
void AppendNumber(std::string& Out, int Value) {
  char Buffer[12];
  auto Result = std::to_chars(Buffer, Buffer + sizeof Buffer, Value);
  Out.append(Buffer, Result.ptr);
}
}  // namespace

void AppendColor(std::string& Out, const TTerminalKind& Kind, bool Background, int Color) {
  if (Kind.LinuxConsole) {
    // Its own rules: intensity is a flag of its own (SGR 1/22 for the foreground, the blink bit,
    // SGR 5/25, for the background), and 90-97 would set it for good; 100-107 show dark.
    const int Ansi = AnsiIndex(Color);
    AppendNumber(Out, (Background ? 40 : 30) + (Ansi & 7));
    if (!Background)
      Out += Ansi & 8 ? ";1" : ";22";
    else if (Kind.BrightBackgrounds)
      Out += Ansi & 8 ? ";5" : ";25";
    return;
  }
  if (Kind.TrueColor) {
    const TPaletteColor& Rgb = ConsolePalette[Color];
    Out += Background ? "48;2;" : "38;2;";
    AppendNumber(Out, Rgb.R);
    Out += ';';
    AppendNumber(Out, Rgb.G);
    Out += ';';
    AppendNumber(Out, Rgb.B);
    return;
  }
  int Ansi = AnsiIndex(Color);
  int Base = Background ? (Ansi & 8 ? 100 : 40) : (Ansi & 8 ? 90 : 30);
  AppendNumber(Out, Base + (Ansi & 7));
}
