// Descriptors 0, 1 and 2 closed at start: each is opened on /dev/null, so a
// descriptor the program opens later never takes one of their numbers.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "std_descriptors.h"

namespace {

// In a child with the descriptors of closed_bits closed: 0 when the result
// names exactly those, each of 0, 1 and 2 is open, the reopened ones are
// /dev/null, and the next descriptor opened is above 2; else the number of
// the first check that failed.
int ChildCheck(int closed_bits) {
  struct stat null_st;
  if (stat("/dev/null", &null_st) != 0)
    return 10;
  for (int fd = 0; fd <= 2; fd++)
    if (closed_bits & (1 << fd))
      close(fd);
  if (OpenClosedStdDescriptors() != closed_bits)
    return 11;
  for (int fd = 0; fd <= 2; fd++) {
    struct stat st;
    if (fstat(fd, &st) != 0)
      return 12;
    const bool is_null = S_ISCHR(st.st_mode) && st.st_rdev == null_st.st_rdev;
    if ((closed_bits & (1 << fd)) && !is_null)
      return 13;
  }
  const int next = open("/dev/null", O_RDONLY);
  return next > 2 ? 0 : 14;
}

TEST(StdDescriptors, ClosedOnesAreOpenedOnDevNull) {
  const int cases[] = {0,
                       STD_IN_CLOSED,
                       STD_OUT_CLOSED,
                       STD_ERR_CLOSED,
                       STD_OUT_CLOSED | STD_ERR_CLOSED,
                       STD_IN_CLOSED | STD_OUT_CLOSED | STD_ERR_CLOSED};
  for (int bits : cases) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0)
      _exit(ChildCheck(bits));
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << bits;
    EXPECT_EQ(WEXITSTATUS(status), 0) << "closed bits " << bits;
  }
}

}  // namespace
