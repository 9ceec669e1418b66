#include "system/StandardDescriptors.h"

#include <fcntl.h>
#include <io.h>

void OpenStandardDescriptors() {
  // A program started without a console or with handles closed has C descriptors that lead
  // nowhere; NUL takes their place so that no later file does.
  for (int Fd = 0; Fd <= 2; ++Fd) {
    if (_get_osfhandle(Fd) != -1) continue;
    int Null = _open("NUL", Fd == 0 ? _O_RDONLY : _O_WRONLY);
    if (Null >= 0 && Null != Fd) {
      _dup2(Null, Fd);
      _close(Null);
    }
  }
  // What goes out (text frames, casts) is the same bytes as on Linux: no CR before each LF.
  _setmode(1, _O_BINARY);
}
