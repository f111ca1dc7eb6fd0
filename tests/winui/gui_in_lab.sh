#!/usr/bin/env bash
# Runs the Windows desktop program's GUI test in a lab's host namespace (run
# it through run_in_lab.sh): a virtual X server of its own, then the driver
# under wine-run --here, which gives the run its own wine prefix and starts
# its wineserver here, in the lab, and ends it afterwards.
#
#   gui_in_lab.sh DRIVER.exe PROGRAM.exe DATA_FOLDER [DPI]
# Exit status: the driver's.
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
driver=$1 program=$2 data=$3
shift 3

# The paths as the Windows programs see them: drive Z: is the root.
winpath() { local p; p=$(realpath "$1"); echo "Z:${p//\//\\}"; }

command -v Xvfb >/dev/null || { echo "gui_in_lab: Xvfb not found" >&2; exit 77; }
display_file=$(mktemp)
Xvfb -displayfd 6 -screen 0 2048x1400x24 -nolisten tcp -noreset 6>"$display_file" >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; rm -f "$display_file"' EXIT
for _ in $(seq 100); do
  [[ -s $display_file ]] && break
  sleep 0.1
done
[[ -s $display_file ]] || { echo "gui_in_lab: Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(head -n1 "$display_file")

"$ROOT/scripts/wine-run" --here "$driver" "$(winpath "$program")" "$(winpath "$data")" "$@"
