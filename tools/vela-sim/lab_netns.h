// The guard every sender of ours checks first: is the calling thread inside
// a network namespace of the lab?
#pragma once

// True only when the calling thread's network namespace is one that
// `ip netns` mounted as /run/netns/vela-* (scripts/lab names them so) and,
// where PID 1's namespace is visible at all, not PID 1's.  PID 1's namespace
// is hidden on some machines, so a namespace is trusted by being the lab's,
// not merely by differing from PID 1's.
bool lab_netns_is_current();
