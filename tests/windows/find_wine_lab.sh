#!/usr/bin/env bash
# vela-find.exe under wine in a lab of its own (scripts/lab), against the
# Linux vela-find of a Linux build in the same lab:
#
#   find_wine_lab.sh rows      EXE LINUX_BUILD  the demo devices (the
#                              foreign-subnet one too) give byte for byte the
#                              rows of the Linux vela-find, in every format
#                              (but the running numbers: the order of arrival)
#   find_wine_lab.sh target    EXE LINUX_BUILD  --target of a routed subnet and
#                              of one device behind the router, likewise
#   find_wine_lab.sh interrupt EXE LINUX_BUILD  Ctrl+C (SIGINT, which wine
#                              hands the program as CTRL_C_EVENT): the first
#                              stops and lists (0), a second ends at once (130)
#
# The wine programs run through scripts/wine-run --here in the lab's host
# namespace: a prefix of their own, their wineserver there, ended with
# wineserver -k.  Afterwards no process of ours may be left in the host
# namespace.  Exit 0 passed, 1 failed, 77 skipped (no root, no lab, no Linux
# build, no wine), which VELA_REQUIRE_LAB=1 turns into a failure.
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
LAB=$ROOT/scripts/lab
WINE_RUN=$ROOT/scripts/wine-run
[[ $# -eq 3 ]] || { echo "usage: find_wine_lab.sh rows|target|interrupt EXE LINUX_BUILD" >&2; exit 2; }
what=$1 exe=$2 linux=$3
FIND=$linux/tools/vela-find/vela-find
export VELA_SIM=$linux/tools/vela-sim/vela-sim

skip() {
  echo "skipped: $*" >&2
  [[ ${VELA_REQUIRE_LAB:-0} == 1 ]] && exit 1
  exit 77
}
[[ $(id -u) -eq 0 ]] || skip "the lab needs root"
[[ -x $FIND && -x $VELA_SIM ]] || skip "no Linux build in $linux (vela-find, vela-sim)"
command -v wine >/dev/null || skip "wine is not installed"

name=w$$n$RANDOM
host=vela-$name-host
if ! out=$("$LAB" up "$name" "$ROOT/data/devices.ini" 2>&1); then
  "$LAB" down "$name" >/dev/null 2>&1
  skip "lab not available: $out"
fi
work=$(mktemp -d)
trap '"$LAB" down "$name" >/dev/null 2>&1; rm -rf "$work"' EXIT
# No model_name.ini here: both programs list the built-in models.
cd "$work" || exit 1

failed=0
fail() {
  echo "FAILED: $*" >&2
  failed=1
}

linux_find() { "$LAB" exec "$name" -- "$FIND" "$@" 2>/dev/null; }
wine_find() { "$LAB" exec "$name" -- "$WINE_RUN" --here "$exe" "$@" 2>/dev/null; }

# The running number is the order in which the replies came, which no two
# runs share: it is blanked out before the outputs are compared.
blank_numbers() { sed -E 's/^[0-9]+(,| )/N\1/; s/"no": [0-9]+/"no": N/' "$1"; }

# Both programs with the same arguments: the same bytes but the running
# numbers, and the same exit status; the Windows output is kept in
# $work/win.
same_output() {
  local linux_rc win_rc
  linux_find "$@" >"$work/linux"
  linux_rc=$?
  wine_find "$@" >"$work/win"
  win_rc=$?
  [[ $linux_rc -eq $win_rc ]] || fail "$*: exit status $win_rc under wine, $linux_rc on Linux"
  if ! cmp -s <(blank_numbers "$work/linux") <(blank_numbers "$work/win"); then
    fail "$*: output differs from Linux"
    diff "$work/linux" "$work/win" >&2
  fi
}

expect_rows() {  # FILE (csv) and the IP addresses it must list, in order
  local file=$1 got
  shift
  got=$(tail -n +2 "$file" | cut -d, -f4 | tr '\n' ' ')
  [[ $got == "$* " ]] || fail "rows: got [$got], want [$* ]"
}

case $what in
  rows)
    for format in table csv json; do
      same_output --passes 2 --pass-time 700 --sort ip --format "$format"
    done
    same_output --passes 2 --pass-time 700 --sort mac --reverse --format csv
    same_output --passes 2 --pass-time 700 --sort ip --format csv
    expect_rows "$work/win" 10.88.0.31 10.88.0.32 10.88.0.33 172.31.9.5 \
      192.168.77.21 192.168.77.22 192.168.77.23 192.168.77.24 192.168.77.25
    same_output --interface vela-b --passes 2 --pass-time 700 --sort ip --format csv
    expect_rows "$work/win" 10.88.0.31 10.88.0.32 10.88.0.33
    # The same interface by its adapter name, which wine makes of the
    # interface index.
    index=$("$LAB" exec "$name" -- cat /sys/class/net/vela-b/ifindex)
    wine_find --interface "$(printf '{%08X-0000-0000-0000-4E6574446576}' "$index")" --passes 2 --pass-time 700 \
      --sort ip --format csv >"$work/guid"
    expect_rows "$work/guid" 10.88.0.31 10.88.0.32 10.88.0.33
    same_output --interface no-such-interface
    grep -q . "$work/win" && fail "a refused interface printed a result"
    ;;
  target)
    routed=$work/routed.ini
    printf '%s\n' "[r-gateway]" "ip = 10.20.30.5" "apid = 0x00560001" "hwid = 0x2108" "mac = 02:56:00:00:30:05" \
      "[r-router]" "ip = 10.20.30.77" "apid = 0x00560002" "hwid = 0x3116" "mac = 02:56:00:00:30:77" >"$routed"
    "$LAB" routed "$name" 10.20.30.0/24 "$routed" >/dev/null || fail "cannot add the routed subnet"
    same_output --target 10.20.30.0/24 --passes 2 --pass-time 500 --sort ip --format csv
    expect_rows "$work/win" 10.20.30.5 10.20.30.77
    same_output --target 10.20.30.77 --passes 2 --pass-time 500 --format csv
    expect_rows "$work/win" 10.20.30.77
    ;;
  interrupt)
    # Passes of a minute; the signals come once the demo devices have
    # answered.  SIGINT goes to the Unix process wine runs the program in.
    # For the second Ctrl+C the program's output is a full pipe that nobody
    # reads, so the list of the first cannot be written: the second one must
    # end the program all the same.
    mkfifo "$work/full"
    exec 7<>"$work/full"
    head -c 65536 /dev/zero >&7  # a pipe holds 64 KiB: now it is full
    for count in 1 2; do
      : >"/run/vela-lab/$name/sim-a.jsonl"
      out=$work/out
      [[ $count -eq 2 ]] && out=$work/full
      "$LAB" exec "$name" -- env VELA_WINE_PIDFILE="$work/pid" "$WINE_RUN" --here "$exe" \
        --passes 3 --pass-time 60000 >"$out" 2>"$work/err" &
      runner=$!
      for _ in $(seq 600); do
        [[ -s /run/vela-lab/$name/sim-a.jsonl && -s $work/pid ]] && break
        sleep 0.05
      done
      sleep 1
      pid=$(cat "$work/pid" 2>/dev/null)
      [[ -n $pid ]] || fail "no process id from wine-run"
      kill -INT "$pid"
      if [[ $count -eq 2 ]]; then
        sleep 0.5
        kill -INT "$pid"
      fi
      for _ in $(seq 400); do
        kill -0 "$runner" 2>/dev/null || break
        sleep 0.05
      done
      if kill -0 "$runner" 2>/dev/null; then
        fail "$count Ctrl+C: still running 20 s later"
        kill -TERM "$runner"
      fi
      wait "$runner"
      rc=$?
      rm -f "$work/pid"
      if [[ $count -eq 1 ]]; then
        [[ $rc -eq 0 ]] || fail "first Ctrl+C: exit status $rc, want 0 ($(cat "$work/err"))"
        grep -qx "Search Result - 9 Vela(s)" "$work/out" || fail "first Ctrl+C: no list of the 9 devices"
        grep -q "172.31.9.5" "$work/out" || fail "first Ctrl+C: the foreign-subnet device is missing"
      else
        [[ $rc -eq 130 ]] || fail "second Ctrl+C: exit status $rc, want 130"
      fi
    done
    exec 7<&-
    ;;
  *)
    echo "find_wine_lab.sh: unknown case $what" >&2
    exit 2
    ;;
esac

# Every wine process of this test ended with its run.
left=$(ip netns pids "$host" 2>/dev/null | tr '\n' ' ')
[[ -z $left ]] || fail "processes left in the lab's host namespace: $left ($(ps -o comm= -p ${left// /,} | tr '\n' ' '))"
exit $failed
