// Entry point of vela-finder, the desktop program.
#include <cstdio>
#include <cstring>

#include "app.h"
#include "app_info.h"
#include "std_descriptors.h"

int main(int argc, char **argv)
{
  // First, before anything opens a descriptor (see std_descriptors.h).
  OpenClosedStdDescriptors();
  // Answered before the application object exists, so it needs no display.
  for (int i = 1; i < argc; i++)
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("vela-finder %s\n", VELA_VERSION_TEXT);
      return std::fflush(stdout) == 0 ? 0 : 1;
    }
  TApplication app(argc, argv);
  return RunFinder(app);
}
