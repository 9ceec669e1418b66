#include "tools/capture/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace {

std::string Folder(const std::string& Path) {
  const size_t Slash = Path.rfind('/');
  if (Slash == std::string::npos) return ".";
  return Slash == 0 ? "/" : Path.substr(0, Slash);
}

std::string BaseName(const std::string& Path) {
  const size_t Slash = Path.rfind('/');
  return Slash == std::string::npos ? Path : Path.substr(Slash + 1);
}

// Path once its symbolic links are followed, to a name that may not exist yet (a link may point
// at a file to be made). False, with the system's reason, for a loop or an unreadable link.
bool FollowLinks(std::string& Path, std::string& Error) {
  for (int Hops = 0; Hops < 40; ++Hops) {
    struct stat Info {};
    if (lstat(Path.c_str(), &Info) != 0 || !S_ISLNK(Info.st_mode)) return true;
    std::string Target(PATH_MAX, '\0');
    const ssize_t Length = readlink(Path.c_str(), Target.data(), Target.size());
    if (Length < 0) {
      Error = std::strerror(errno);
      return false;
    }
    Target.resize(size_t(Length));
    Path = Target.starts_with('/') ? Target : Folder(Path) + "/" + Target;
  }
  Error = std::strerror(ELOOP);
  return false;
}

const char* KindOf(mode_t Mode) {
  if (S_ISCHR(Mode)) return "a character device";
  if (S_ISBLK(Mode)) return "a block device";
  if (S_ISFIFO(Mode)) return "a FIFO";
  if (S_ISSOCK(Mode)) return "a socket";
  return "no regular file";
}

}  // namespace

TOutputFile::~TOutputFile() { Abandon(); }

bool TOutputFile::Open(const std::string& Name, bool Direct, const std::string& Suffix,
                       std::string& Error) {
  Abandon();
  Given = Name;
  Final.clear();
  Mode = 0;
  auto Refuse = [&](const std::string& Why) {
    Error = "cannot write " + Name + ": " + Why;
    return false;
  };
  // Renaming over a device or a FIFO would replace it (as root, /dev/null itself) with a file.
  struct stat Info {};
  if (stat(Name.c_str(), &Info) == 0) {
    if (S_ISDIR(Info.st_mode)) return Refuse("it is a folder");
    if (!S_ISREG(Info.st_mode)) {
      if (!Direct)
        return Refuse(std::string("it is ") + KindOf(Info.st_mode) +
                      "; name a regular file or a new one");
      Fd = open(Name.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
      return Fd >= 0 || Refuse(std::strerror(errno));
    }
    Mode = Info.st_mode & 07777;
  } else if (errno != ENOENT) {
    return Refuse(std::strerror(errno));
  }
  std::string Why;
  Final = Name;
  if (!FollowLinks(Final, Why)) return Refuse(Why);
  Partial = Folder(Final) + "/." + BaseName(Final) + Suffix;
  unlink(Partial.c_str());  // left by a run that was killed
  Fd = open(Partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (Fd < 0) {
    const int Failure = errno;
    Partial.clear();
    return Refuse(std::strerror(Failure));
  }
  return true;
}

void TOutputFile::Close() {
  if (Fd >= 0) close(Fd);
  Fd = -1;
}

bool TOutputFile::Write(const char* Bytes, size_t Size, std::string& Error, bool (*Stop)()) {
  while (Size > 0) {
    const ssize_t Written = write(Fd, Bytes, Size);
    if (Written > 0) {
      Bytes += Written;
      Size -= size_t(Written);
      continue;
    }
    if (Written < 0 && errno == EINTR && !(Stop && Stop())) continue;
    Error = "cannot write " + Given + ": " + std::strerror(Written < 0 ? errno : EIO);
    return false;
  }
  return true;
}

bool TOutputFile::Commit(std::string& Error) {
  if (Partial.empty()) {
    // Written directly: a device may only now say that it took nothing.
    const bool Closed = Fd < 0 || close(Fd) == 0;
    const int Failure = errno;
    Fd = -1;
    if (!Closed) Error = "cannot write " + Given + ": " + std::strerror(Failure);
    return Closed;
  }
  if (Fd < 0) Fd = open(Partial.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  // On the disk before it takes the name, so that a crash leaves the old file or the new one.
  bool Done = Fd >= 0 && (Mode == 0 || fchmod(Fd, Mode) == 0) && fsync(Fd) == 0;
  int Failure = errno;
  if (Fd >= 0 && close(Fd) != 0 && Done) {
    Done = false;
    Failure = errno;
  }
  Fd = -1;
  if (Done && rename(Partial.c_str(), Final.c_str()) != 0) {
    Done = false;
    Failure = errno;
  }
  if (!Done) {
    Error = "cannot write " + Given + ": " + std::strerror(Failure);
    Abandon();
    return false;
  }
  Partial.clear();
  return true;
}

void TOutputFile::Abandon() {
  Close();
  if (!Partial.empty()) unlink(Partial.c_str());
  Partial.clear();
}
