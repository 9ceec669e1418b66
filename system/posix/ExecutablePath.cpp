#include "system/ExecutablePath.h"

#include <unistd.h>

#include <climits>

std::string ExecutablePath() {
  char Path[PATH_MAX];
  ssize_t Length = readlink("/proc/self/exe", Path, sizeof Path - 1);
  if (Length <= 0) return {};
  return std::string(Path, size_t(Length));
}
