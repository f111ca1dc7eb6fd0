// Entry point of vela-finder, the desktop program.
#include "app.h"

int main(int argc, char **argv)
{
  TApplication app(argc, argv);
  return RunFinder(app);
}
