#include "system/RegularFile.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {
std::wstring Widen(const std::string& Text) {
  const int Length = MultiByteToWideChar(CP_UTF8, 0, Text.data(), int(Text.size()), nullptr, 0);
  std::wstring Wide(size_t(Length > 0 ? Length : 0), L'\0');
  if (Length > 0)
    MultiByteToWideChar(CP_UTF8, 0, Text.data(), int(Text.size()), Wide.data(), Length);
  return Wide;
}
}  // namespace

std::FILE* OpenRegularFile(const std::string& Name, int64_t* Size, std::string* Why) {
  // Names are UTF-8 here as on Linux; binary, or the C runtime would turn CR LF into LF.
  const int Fd = _wopen(Widen(Name).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  auto Fail = [&](const char* Reason) -> std::FILE* {
    *Why = Reason;
    if (Fd >= 0) _close(Fd);
    return nullptr;
  };
  if (Fd < 0) return Fail(std::strerror(errno));
  struct _stati64 Info {};
  if (_fstati64(Fd, &Info) != 0) return Fail(std::strerror(errno));
  if ((Info.st_mode & _S_IFMT) != _S_IFREG) return Fail("not a regular file");
  std::FILE* File = _fdopen(Fd, "rb");
  if (!File) return Fail(std::strerror(errno));
  *Size = int64_t(Info.st_size);
  return File;
}

size_t ReadFileAt(std::FILE* File, void* Out, size_t Bytes, int64_t At) {
  // No positioned read in the C runtime: the descriptor moves there and back, so the stream,
  // which counts from the descriptor's position, sees no change.
  const int Fd = _fileno(File);
  const int64_t Was = _lseeki64(Fd, 0, SEEK_CUR);
  if (Was < 0 || _lseeki64(Fd, At, SEEK_SET) != At) return 0;
  const int Got = _read(Fd, Out, unsigned(std::min<size_t>(Bytes, 1u << 30)));
  _lseeki64(Fd, Was, SEEK_SET);
  return Got > 0 ? size_t(Got) : 0;
}
