#!/usr/bin/env bash
# Runs the Windows desktop program's warnings test: a virtual X server of its
# own, then the driver under wine-run, which runs it in a new network
# namespace with only a loopback (the network layer cannot start there) and
# a wine prefix and wineserver of its own; the program's current folder is
# an empty one (no model file).
#
#   gui_offline.sh DRIVER.exe PROGRAM.exe
# Exit status: the driver's.
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$ROOT/tests/winui/xvfb.sh"
driver=$1 program=$2

start_xvfb 1280x800
empty=$(mktemp -d)
"$ROOT/scripts/wine-run" "$driver" "$(winpath "$program")" "$(winpath "$empty")"
status=$?
rmdir "$empty"
exit "$status"
