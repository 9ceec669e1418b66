#include "system/DataFile.h"

#include <filesystem>
#include <system_error>

#include "system/ExecutablePath.h"

// Where the data folder lies relative to the folder of the executables, set by the install rules.
#ifndef VORLEK_DATA_FROM_BIN
#define VORLEK_DATA_FROM_BIN "../share/vorlek"
#endif

namespace {
bool Exists(const std::string& Path) {
  std::error_code Error;
  return std::filesystem::exists(Path, Error);
}

// The folder of installed data files, as seen from the running executable; empty when unknown.
std::filesystem::path InstalledDataDirectory() {
  std::string Executable = ExecutablePath();
  size_t Slash = Executable.rfind('/');
  if (Slash == std::string::npos) return {};
  // The executable's path has no links left, so dropping "bin/.." by hand is safe.
  return std::filesystem::path(Executable.substr(0, Slash + 1) + VORLEK_DATA_FROM_BIN)
      .lexically_normal();
}
}  // namespace

std::string FindDataFile(const std::string& Name) {
  if (Exists(Name)) return Name;
  std::filesystem::path Folder = InstalledDataDirectory();
  if (!Folder.empty()) {
    std::string Installed = (Folder / Name).generic_string();
    if (Exists(Installed)) return Installed;
  }
  return Name;
}
