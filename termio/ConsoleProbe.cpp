#include "termio/ConsoleProbe.h"

#include <linux/kd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

bool IsVirtualConsole(int Fd) {
  int Mode = 0;
  return isatty(Fd) && ioctl(Fd, KDGETMODE, &Mode) == 0;
}

std::optional<TConsoleFont> ConsoleFont(int Fd) {
  if (!IsVirtualConsole(Fd)) return std::nullopt;
  // Without a buffer the console reports only the font's size; the limits are the largest the
  // kernel knows, so any font fits.
  console_font_op Op{};
  Op.op = KD_FONT_OP_GET;
  Op.width = 64;
  Op.height = 128;
  Op.charcount = 512;
  Op.data = nullptr;
  if (ioctl(Fd, KDFONTOP, &Op) != 0 || Op.width == 0 || Op.height == 0) return std::nullopt;
  return TConsoleFont{int(Op.width), int(Op.height), int(Op.charcount)};
}

bool SameTerminal(int A, int B) {
  struct stat First {}, Second {};
  return isatty(A) && isatty(B) && fstat(A, &First) == 0 && fstat(B, &Second) == 0 &&
         First.st_rdev == Second.st_rdev;
}
