// Windows: no links to follow and no devices among names a user gives here (NUL aside), so a
// recording is written to a hidden file beside the name and moved over it when complete.
#include "tools/capture/OutputFile.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace {

std::string WithHiddenName(const std::string& Path, const std::string& Suffix) {
  const size_t Slash = Path.find_last_of("/\\");
  if (Slash == std::string::npos) return "." + Path + Suffix;
  return Path.substr(0, Slash + 1) + "." + Path.substr(Slash + 1) + Suffix;
}

std::string SystemReason(DWORD Code) {
  char Text[256] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, Code, 0, Text,
                 sizeof Text, nullptr);
  std::string Reason = Text;
  while (!Reason.empty() && (Reason.back() == '\n' || Reason.back() == '\r' || Reason.back() == '.'))
    Reason.pop_back();
  return Reason;
}

}  // namespace

TOutputFile::~TOutputFile() { Abandon(); }

bool TOutputFile::Open(const std::string& Name, bool Direct, const std::string& Suffix,
                       std::string& Error) {
  Abandon();
  Given = Name;
  Final = Name;
  auto Refuse = [&](const std::string& Why) {
    Error = "cannot write " + Name + ": " + Why;
    return false;
  };
  struct _stat64 Info {};
  if (_stat64(Name.c_str(), &Info) == 0) {
    if (Info.st_mode & _S_IFDIR) return Refuse("it is a folder");
    if (!(Info.st_mode & _S_IFREG)) {
      if (!Direct) return Refuse("it is no regular file; name a regular file or a new one");
      Fd = _open(Name.c_str(), _O_WRONLY | _O_BINARY);
      return Fd >= 0 || Refuse(std::strerror(errno));
    }
  }
  Partial = WithHiddenName(Name, Suffix);
  _unlink(Partial.c_str());  // left by a run that was killed
  Fd = _open(Partial.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (Fd < 0) {
    const int Failure = errno;
    Partial.clear();
    return Refuse(std::strerror(Failure));
  }
  return true;
}

void TOutputFile::Close() {
  if (Fd >= 0) _close(Fd);
  Fd = -1;
}

bool TOutputFile::Write(const char* Bytes, size_t Size, std::string& Error, bool (*)()) {
  while (Size > 0) {
    const unsigned Chunk = unsigned(Size < (1u << 30) ? Size : (1u << 30));
    const int Written = _write(Fd, Bytes, Chunk);
    if (Written <= 0) {
      Error = "cannot write " + Given + ": " + std::strerror(Written < 0 ? errno : EIO);
      return false;
    }
    Bytes += Written;
    Size -= size_t(Written);
  }
  return true;
}

bool TOutputFile::Commit(std::string& Error) {
  const bool Flushed = Fd < 0 || (_commit(Fd) == 0 || Partial.empty());
  const int Failure = errno;
  const bool Closed = Fd < 0 || _close(Fd) == 0;
  Fd = -1;
  if (!Flushed || !Closed) {
    Error = "cannot write " + Given + ": " + std::strerror(Failure);
    Abandon();
    return false;
  }
  if (Partial.empty()) return true;
  if (!MoveFileExA(Partial.c_str(), Final.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    Error = "cannot write " + Given + ": " + SystemReason(GetLastError());
    Abandon();
    return false;
  }
  Partial.clear();
  return true;
}

void TOutputFile::Abandon() {
  Close();
  if (!Partial.empty()) _unlink(Partial.c_str());
  Partial.clear();
}
