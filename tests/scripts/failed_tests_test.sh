#!/usr/bin/env bash
# scripts/failed-tests on the log of a real ctest run of a small project with
# a passing, a failing and a timed-out test: it lists the two that did not
# pass, with ctest's reasons, under the build's name; for a run without
# failures it prints nothing.
#
#   failed_tests_test.sh PATH-TO-failed-tests
set -euo pipefail
tool=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

mkdir "$dir/src"
cat >"$dir/src/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(failing NONE)
enable_testing()
add_test(NAME passes COMMAND true)
add_test(NAME fails COMMAND false)
add_test(NAME hangs COMMAND sleep 60)
set_tests_properties(hangs PROPERTIES TIMEOUT 1)
CMAKE
cmake -S "$dir/src" -B "$dir/build" >/dev/null
ctest --test-dir "$dir/build" >"$dir/all.log" 2>&1 && { echo "the ctest run should have failed" >&2; exit 1; }
ctest --test-dir "$dir/build" -R passes >"$dir/ok.log" 2>&1

out=$("$tool" asan "$dir/all.log")
fail=0
expect() {
  grep -qE "$1" <<<"$out" || { echo "missing: $1" >&2; fail=1; }
}
expect '^=== asan: failed tests$'
expect '^[[:space:]]+[0-9]+ - fails \(Failed\)$'
expect '^[[:space:]]+[0-9]+ - hangs \(Timeout\)$'
[[ $(wc -l <<<"$out") -eq 3 ]] || { echo "expected three lines" >&2; fail=1; }
[[ -z $("$tool" default "$dir/ok.log") ]] || { echo "a run without failures listed some" >&2; fail=1; }
[[ $fail -eq 0 ]] || { echo "got:"; echo "$out"; } >&2
exit $fail
