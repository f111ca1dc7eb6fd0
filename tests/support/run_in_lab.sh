#!/usr/bin/env bash
# Runs one test program inside the host namespace of a lab of its own, from
# its first instruction on: every thread of the program, including those
# started during static initialisation (the device list's configuration
# thread), lives in the lab.  The program finds its lab with
# velatest::Lab::Enclosing() (env VELA_LAB_NAME).  The lab is taken down
# afterwards.  Programs that start no thread before main bring their own lab
# up instead (velatest::Lab, LabEnvironment), one per test, in parallel.
#
#   run_in_lab.sh DEVICES.ini PROGRAM [ARGS...]
# Exit status: the program's; 77 (skipped) when the lab cannot come up,
# unless VELA_REQUIRE_LAB=1, then 1.
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
LAB=$ROOT/scripts/lab
ini=$1
shift
name=e$$n${RANDOM}

if ! out=$("$LAB" up "$name" "$ini" 2>&1); then
  "$LAB" down "$name" >/dev/null 2>&1
  echo "lab not available: $out" >&2
  if [[ ${VELA_REQUIRE_LAB:-0} == 1 ]]; then exit 1; fi
  exit 77
fi
trap '"$LAB" down "$name" >/dev/null 2>&1' EXIT
"$LAB" exec "$name" -- env VELA_LAB_NAME="$name" "$@"
