#include "system/Halt.h"

#include <cstdlib>

namespace {
// Process-wide by nature: the exit it prepares for ends the whole process.
THaltHook Hook = nullptr;
}  // namespace

void SetHaltHook(THaltHook NewHook) { Hook = NewHook; }

void Halt(int ExitCode) {
  if (Hook) Hook();
  std::exit(ExitCode);
}
