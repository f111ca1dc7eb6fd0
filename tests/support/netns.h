// Where a test's packets may go.  Every test checks one of these before it
// opens a socket, so that nothing of ours reaches the machine's own network:
//   - lab tests: the calling thread is in a namespace scripts/lab made;
//   - socket tests without the lab: the program moved its main thread into
//     a private namespace of its own (EnterPrivateNamespace) first;
//   - programs started whole in an empty namespace (run_isolated.sh): the
//     namespace has nothing but a loopback.
// PID 1's namespace cannot be read on some machines (even by root), so none
// of the checks relies on it alone: where it is visible, it is refused too.
#pragma once

#include <string>

namespace velatest {

// True only when the calling thread's network namespace is one the lab
// created (/run/netns/vela-*) and, where PID 1's namespace is visible at all,
// not PID 1's.  The same check vela-sim makes before it sends.
bool InOwnLabNamespace();

// True when the calling thread is in the host namespace of the lab named
// name (/run/netns/vela-NAME-host) and InOwnLabNamespace() holds.
bool InLabHost(const std::string &name);

// Moves the calling thread into a new network namespace and brings its
// loopback up; true when InPrivateNamespace() then holds.  False when that
// is not permitted (not root).  Call it on the main thread before any other
// thread exists: threads inherit the namespace of the thread creating them.
bool EnterPrivateNamespace();

// True when the calling thread's network namespace is neither the one this
// program was started in nor, where it is visible, PID 1's.
bool InPrivateNamespace();

// True when the calling thread's network namespace has no interface but the
// loopback and, where PID 1's namespace is visible, is not PID 1's: nothing
// sent there can reach any network.
bool InLoopbackOnlyNamespace();

}  // namespace velatest
