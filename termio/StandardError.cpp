#include "termio/StandardError.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "termio/Output.h"

namespace Termio {

namespace {
int SavedStderr = -1;     // standard error while the show holds the terminal
int CapturedStderr = -1;  // what was written to standard error meanwhile
}  // namespace

// Only a terminal's standard error would land on the picture. A file of our own takes it; a pipe
// could fill and block whichever thread writes.
void CaptureStandardError() {
  if (SavedStderr >= 0 || !isatty(STDERR_FILENO)) return;
  int Captured = memfd_create("vorlek-stderr", MFD_CLOEXEC);
  int Saved = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
  // Appended to, so that whoever else opened it (a child, /proc) never writes over it.
  if (Captured < 0 || Saved < 0 || fcntl(Captured, F_SETFL, O_APPEND) < 0 || dup2(Captured, STDERR_FILENO) < 0) {
    if (Captured >= 0) close(Captured);
    if (Saved >= 0) close(Saved);
    return;
  }
  CapturedStderr = Captured;
  SavedStderr = Saved;
}

void ReleaseStandardError() {
  int Saved = SavedStderr, Captured = CapturedStderr;
  if (Saved < 0) return;
  SavedStderr = CapturedStderr = -1;
  dup2(Saved, STDERR_FILENO);
  close(Saved);
  // A library that floods standard error gets its first 64 KiB shown.
  char Buffer[4096];
  off_t At = 0;
  ssize_t Count;
  while (At < (off_t(1) << 16) && (Count = pread(Captured, Buffer, sizeof Buffer, At)) > 0) {
    WriteAll(STDERR_FILENO, Buffer, size_t(Count), true);
    At += Count;
  }
  close(Captured);
}

}  // namespace Termio
