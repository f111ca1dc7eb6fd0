// Descriptors 0, 1 and 2 kept taken.
#include "std_descriptors.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

int OpenClosedStdDescriptors() {
  int closed = 0;
  for (int fd = 0; fd <= 2; fd++) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
      continue;
    closed |= 1 << fd;
    // The lower ones are open by now, so open gives fd itself.
    const int null_fd = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (null_fd >= 0 && null_fd != fd) {
      dup2(null_fd, fd);
      close(null_fd);
    }
  }
  return closed;
}
