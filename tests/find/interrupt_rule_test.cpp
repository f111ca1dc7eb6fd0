// The interrupt rule vela-find follows on every platform (signals on
// Linux, console control events on Windows).  Under wine only Ctrl+C can be
// given to a program (as SIGINT, which the lab test sends); Ctrl+Break and
// a closing console take this same rule.
#include <gtest/gtest.h>

#include "interrupt_rule.h"

namespace {

TEST(InterruptRule, FirstInterruptStopsEverythingElseEndsAtOnce) {
  struct Case {
    TInterrupt kind;
    bool before;
    int status;
    const char *what;
  };
  const Case cases[] = {
      {TInterrupt::Interrupt, false, 0, "first Ctrl+C or SIGINT: Stop, list, exit 0"},
      {TInterrupt::Interrupt, true, 130, "second Ctrl+C or SIGINT"},
      {TInterrupt::Break, false, 130, "Ctrl+Break"},
      {TInterrupt::Break, true, 130, "Ctrl+Break after Ctrl+C"},
      {TInterrupt::Terminate, false, 143, "SIGTERM, console closed"},
      {TInterrupt::Terminate, true, 143, "SIGTERM after Ctrl+C"},
  };
  for (const Case &c : cases) EXPECT_EQ(InterruptExitStatus(c.kind, c.before), c.status) << c.what;
}

}  // namespace
