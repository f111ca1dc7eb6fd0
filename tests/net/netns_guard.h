// Keeps the network tests' packets off the machine's own network: a test
// that opens sockets without the lab runs only in a private network
// namespace it created itself (lab tests use velatest::InOwnLabNamespace).
#pragma once

namespace nettest {

// True when the calling thread's network namespace is neither the one this
// program was started in nor (where it can be seen) PID 1's.
bool OutsideHostNamespace();

// Moves the calling thread into a new, empty network namespace and brings
// its loopback up.  False when that is not permitted (not root).
bool EnterPrivateNamespace();

// Runs `sh -c cmd` (inheriting the calling thread's namespace); true on
// exit status 0.
bool Shell(const char *cmd);

}  // namespace nettest
