// Descriptors 0, 1 and 2 of a program.  Started with one of them closed, a
// program would hand that number to the next file, socket or eventfd it
// opens, and then read its input from it or write its result into it.
// Shared by both programs.
#pragma once

// Bits of the result of OpenClosedStdDescriptors.
constexpr int STD_IN_CLOSED = 1;
constexpr int STD_OUT_CLOSED = 2;
constexpr int STD_ERR_CLOSED = 4;

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, so that
// nothing opened later can take their numbers.  Call it first in main,
// before anything opens a descriptor.  Returns the STD_*_CLOSED bits of the
// descriptors that were closed.
int OpenClosedStdDescriptors();
