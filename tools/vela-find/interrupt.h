// How vela-find is interrupted, and the console it writes to: one seam over
// POSIX signals (interrupt_posix.cpp) and the Windows console's control
// events (interrupt_windows.cpp).
//
// The first interrupt (SIGINT, Ctrl+C) asks for Stop: the search ends, the
// list is printed, the exit status is 0.  A second one, or one that ends the
// program outright (SIGTERM, Ctrl+Break, closing the console), ends it at
// once: it prints what was found if it can do so at once and exits with the
// status HardExitStatus() gives (128 + the signal's number: 130 for an
// interrupt, 143 for a termination).  Whatever the main thread is doing (a
// blocked output, a thread that does not end), the program ends shortly
// after such a request.
#pragma once

// Sets standard output up to carry the result's bytes as they are, and a
// console to show UTF-8 text.
void PrepareOutput();

// True when standard error is a terminal (the progress line is shown).
bool ProgressShown();

// Starts watching for interrupts.
void InstallInterruptHandlers();

// Sleeps up to ms milliseconds; an interrupt ends the sleep at once.
void SleepOrInterrupt(int ms);

// A first interrupt came.
bool Interrupted();

// The exit status asked for by a hard stop; 0 while none was asked for.
int HardExitStatus();

// The result is written: a hard stop may now end the program at once.
void MarkOutputDone();

// Ends the program at once with status, without running any clean-up.
[[noreturn]] void ExitNow(int status);
