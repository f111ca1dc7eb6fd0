// The names the request-thread lab test (dsthread_lab_test.cpp) was written
// against, now served by tests/support: the lab is the one run_in_lab.sh
// started the program in (velatest::Lab::Enclosing()).  New tests use
// lab.h, wait.h and wire_text.h directly; this header goes once that test
// does too.
#pragma once

#include "lab.h"
#include "wait.h"
#include "wire_text.h"

namespace enginelab {

using velatest::WaitUntil;
using velatest::Ip;

// Datagrams the simulator of link 'a' or 'b' has logged since its start.
inline std::vector<velatest::SimDatagram> SimLog(char link) { return velatest::Lab::Enclosing().SimLog(link); }

}  // namespace enginelab

#define ENGINE_LAB_OR_SKIP() VELA_LAB_OR_SKIP(::velatest::Lab::Enclosing())
