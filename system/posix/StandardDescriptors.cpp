#include "system/StandardDescriptors.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

void OpenStandardDescriptors() {
  for (int Fd = 0; Fd <= 2; ++Fd) {
    if (fcntl(Fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free descriptor is Fd itself, as every lower one is open by now.
    int Null = open("/dev/null", Fd == 0 ? O_RDONLY : O_WRONLY);
    if (Null >= 0 && Null != Fd) {
      dup2(Null, Fd);
      close(Null);
    }
  }
}
