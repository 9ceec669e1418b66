#include "system/WorkingDirectory.h"

#include <windows.h>

#include <vector>

std::string GetWorkingDirectory() {
  DWORD Length = GetCurrentDirectoryW(0, nullptr);  // with the terminating zero
  if (Length == 0) return {};
  std::vector<wchar_t> Wide(Length);
  Length = GetCurrentDirectoryW(DWORD(Wide.size()), Wide.data());
  if (Length == 0 || Length >= Wide.size()) return {};
  const int Bytes =
      WideCharToMultiByte(CP_UTF8, 0, Wide.data(), int(Length), nullptr, 0, nullptr, nullptr);
  if (Bytes <= 0) return {};
  std::string Text(size_t(Bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, Wide.data(), int(Length), Text.data(), Bytes, nullptr, nullptr);
  return Text;
}
