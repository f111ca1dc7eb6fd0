#!/bin/sh
# Runs a test program, from its first instruction on, in a new network
# namespace that has only a (down) loopback interface, so nothing it does
# can reach a network; the program checks velatest::InLoopbackOnlyNamespace().
# Exit 77 (skipped) when namespaces cannot be made here, unless
# VELA_REQUIRE_LAB=1.
if ! unshare -n true 2>/dev/null; then
  echo "cannot create a network namespace (needs root)" >&2
  [ "${VELA_REQUIRE_LAB:-0}" = 1 ] && exit 1
  exit 77
fi
exec unshare -n -- "$@"
