#include "system/DataFile.h"

#include <unistd.h>

#include <climits>
#include <filesystem>

// Where the data folder lies relative to the folder of the executables, set by the install rules.
#ifndef VORLEK_DATA_FROM_BIN
#define VORLEK_DATA_FROM_BIN "../share/vorlek"
#endif

namespace {
// The folder of installed data files, as seen from the running executable; empty when unknown.
std::string InstalledDataDirectory() {
  char Path[PATH_MAX];
  ssize_t Length = readlink("/proc/self/exe", Path, sizeof Path - 1);
  if (Length <= 0) return {};
  std::string Executable(Path, size_t(Length));
  size_t Slash = Executable.rfind('/');
  if (Slash == std::string::npos) return {};
  // The executable's path has no links left, so dropping "bin/.." by hand is safe.
  return std::filesystem::path(Executable.substr(0, Slash + 1) + VORLEK_DATA_FROM_BIN)
      .lexically_normal()
      .string();
}
}  // namespace

std::string FindDataFile(const std::string& Name) {
  if (access(Name.c_str(), F_OK) == 0) return Name;
  std::string Folder = InstalledDataDirectory();
  if (!Folder.empty()) {
    std::string Installed = Folder + "/" + Name;
    if (access(Installed.c_str(), F_OK) == 0) return Installed;
  }
  return Name;
}
