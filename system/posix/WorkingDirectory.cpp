#include "system/WorkingDirectory.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

std::string GetWorkingDirectory() {
  std::vector<char> Buffer(256);
  for (;;) {
    if (getcwd(Buffer.data(), Buffer.size())) return std::string(Buffer.data());
    if (errno != ERANGE || Buffer.size() > (1u << 20)) return {};
    Buffer.resize(Buffer.size() * 2);
  }
}
