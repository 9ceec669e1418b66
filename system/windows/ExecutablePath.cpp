#include "system/ExecutablePath.h"

#include <windows.h>

#include <filesystem>
#include <vector>

std::string ExecutablePath() {
  // The path may be longer than MAX_PATH; the buffer grows until the whole name fits.
  std::vector<wchar_t> Wide(MAX_PATH);
  for (;;) {
    DWORD Length = GetModuleFileNameW(nullptr, Wide.data(), DWORD(Wide.size()));
    if (Length == 0) return {};
    if (Length < Wide.size())
      return std::filesystem::path(std::wstring(Wide.data(), Length)).generic_string();
    if (Wide.size() >= 32768) return {};
    Wide.resize(Wide.size() * 2);
  }
}
