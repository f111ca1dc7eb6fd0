#!/usr/bin/env bash
# Runs the Windows desktop program's GUI test in a lab's host namespace (run
# it through run_in_lab.sh): a virtual X server of its own, then the driver
# under wine-run --here, which gives the run its own wine prefix and starts
# its wineserver here, in the lab, and ends it afterwards.
#
#   gui_in_lab.sh DRIVER.exe PROGRAM.exe DATA_FOLDER [DPI [DRIVER OPTIONS...]]
# Exit status: the driver's.
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$ROOT/tests/winui/xvfb.sh"
driver=$1 program=$2 data=$3
shift 3

start_xvfb 2048x1400
dpi=${1:-96}
shift || true
"$ROOT/scripts/wine-run" --here "$driver" "$@" "$(winpath "$program")" "$(winpath "$data")" "$dpi"
