# Sourced by the GUI test scripts: start_xvfb WIDTHxHEIGHT starts a virtual
# X server on a free display, exports DISPLAY and ends the server when the
# script exits.  -noreset: a client that connects right after the last one
# left never meets a server in the middle of its reset.
start_xvfb() {
  local display_file
  command -v Xvfb >/dev/null || { echo "Xvfb not found" >&2; exit 77; }
  display_file=$(mktemp)
  Xvfb -displayfd 6 -screen 0 "$1x24" -nolisten tcp -noreset 6>"$display_file" >/dev/null 2>&1 &
  XVFB_PID=$!
  trap 'kill "$XVFB_PID" 2>/dev/null; wait "$XVFB_PID" 2>/dev/null' EXIT
  for _ in $(seq 100); do
    [[ -s $display_file ]] && break
    sleep 0.1
  done
  [[ -s $display_file ]] || { echo "Xvfb did not start" >&2; rm -f "$display_file"; exit 1; }
  export DISPLAY=:$(head -n1 "$display_file")
  rm -f "$display_file"
}

# The path as the Windows programs see it: drive Z: is the root.
winpath() { local p; p=$(realpath "$1"); echo "Z:${p//\//\\}"; }
