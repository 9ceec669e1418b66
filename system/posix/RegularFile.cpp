#include "system/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

std::FILE* OpenRegularFile(const std::string& Name, int64_t* Size, std::string* Why) {
  const int Fd = open(Name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  auto Fail = [&](const char* Reason) -> std::FILE* {
    *Why = Reason;
    if (Fd >= 0) close(Fd);
    return nullptr;
  };
  if (Fd < 0) return Fail(std::strerror(errno));
  struct stat Info {};
  if (fstat(Fd, &Info) != 0) return Fail(std::strerror(errno));
  if (!S_ISREG(Info.st_mode)) return Fail("not a regular file");
  std::FILE* File = fdopen(Fd, "rb");
  if (!File) return Fail(std::strerror(errno));
  *Size = int64_t(Info.st_size);
  return File;
}

size_t ReadFileAt(std::FILE* File, void* Out, size_t Bytes, int64_t At) {
  ssize_t Got = 0;
  do Got = pread(fileno(File), Out, Bytes, off_t(At));
  while (Got < 0 && errno == EINTR);
  return Got > 0 ? size_t(Got) : 0;
}
