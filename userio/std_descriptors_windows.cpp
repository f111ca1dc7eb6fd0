// Descriptors 0, 1 and 2 kept taken, on Windows: the C runtime's descriptor
// of a standard stream the program was started without has no handle;
// the null device ("NUL") is opened on it, as /dev/null on Linux.
#include "std_descriptors.h"

#include <fcntl.h>
#include <io.h>

int OpenClosedStdDescriptors() {
  int closed = 0;
  for (int fd = 0; fd <= 2; fd++) {
    const intptr_t handle = _get_osfhandle(fd);
    if (handle != -1 && handle != -2)
      continue;
    closed |= 1 << fd;
    const int null_fd = _open("NUL", fd == 0 ? _O_RDONLY : _O_WRONLY);
    if (null_fd >= 0 && null_fd != fd) {
      _dup2(null_fd, fd);
      _close(null_fd);
    }
  }
  return closed;
}
