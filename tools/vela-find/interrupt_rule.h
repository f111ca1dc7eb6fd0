// What an interrupt asks vela-find to do, on every platform: the rule both
// interrupt_posix.cpp and interrupt_windows.cpp follow.
#pragma once

enum class TInterrupt {
  Interrupt,  // SIGINT; Ctrl+C
  Break,      // Ctrl+Break
  Terminate,  // SIGTERM; the console closed, the user logging off, shut-down
};

// 0 when the interrupt asks for Stop (the search ends, the list is printed,
// the program exits 0): only a first Interrupt does.  Otherwise the status
// the program exits with at once, as 128 + the number of the signal: 130
// for a second Interrupt and for Break, 143 for Terminate.
int InterruptExitStatus(TInterrupt kind, bool interrupted_before);
