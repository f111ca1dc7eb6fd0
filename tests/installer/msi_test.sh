#!/usr/bin/env bash
# The Windows installer under wine, in a WINEPREFIX of this test's own made
# afresh, whose wineserver is ended (and checked gone) before the test ends.
#
#   msi_test.sh CASE WINDOWS_BUILD VERSION
#
#   install-remove  msiexec /i puts the programs, the model file, the
#                   Start-menu shortcut and the uninstall entry in place;
#                   msiexec /x takes every one of them away again, and the
#                   drive and registry hold nothing of ours afterwards.
#   upgrade         a later version installed over an earlier one replaces
#                   it (one entry, the later one's files); the earlier one
#                   cannot then be put over the later; removing the later
#                   leaves nothing behind.
#
# WINDOWS_BUILD is the cross build whose programs go into the MSI; VERSION
# is its project(VERSION), which the programs report.
set -euo pipefail

case_name=$1
BUILD=$2
VERSION=$3
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

fail() { echo "FAIL: $*" >&2; exit 1; }
step() { echo "--- $*"; }
[[ $case_name == install-remove || $case_name == upgrade ]] || fail "unknown case $case_name"

# msiexec opens no socket, but wine's services might: refuse to run them in
# the machine's own network namespace (run_isolated.sh gives one of ours).
[[ $(readlink /proc/self/ns/net) != $(readlink /proc/1/ns/net) ]] ||
  fail "not in a network namespace of our own; run under tests/support/run_isolated.sh"
for tool in wine wineserver msiinfo x86_64-w64-mingw32-strip; do
  command -v "$tool" >/dev/null || fail "$tool is missing; run scripts/deps"
done

WORK=$(mktemp -d)
export WINEPREFIX=$WORK/prefix WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko installer prompts while the prefix is made, and no menu
# entries or file associations written into the home folder.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export HOME=$WORK/home XDG_DATA_HOME=$WORK/home/.local/share XDG_CONFIG_HOME=$WORK/home/.config
export XDG_CACHE_HOME=$WORK/home/.cache
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$HOME"

# Ends this prefix's wineserver and every wine process with it, and fails
# when one of them is still there after a generous wait.
stop_wine() {
  local i pids
  wineserver -k 2>/dev/null || true
  for ((i = 0; i < 300; i++)); do
    # grep itself runs without the variable, so it never finds itself.
    pids=$(env -u WINEPREFIX grep -lzxF "WINEPREFIX=$WINEPREFIX" /proc/[0-9]*/environ 2>/dev/null || true)
    [[ -z $pids ]] && return 0
    sleep 0.1
  done
  echo "wine processes outlived their wineserver: $pids" >&2
  return 1
}
cleanup() {
  local rc=$?
  stop_wine || rc=1
  rm -rf "$WORK"
  exit "$rc"
}
trap cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT

UNINSTALL='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
INSTALLER='HKLM\Software\Classes\Installer'
C=$WINEPREFIX/drive_c
DIR=$C/Program\ Files/Vela\ Finder

# Builds the MSI of the Windows build with the given product version.
build_msi() {
  VELA_WINDOWS_BUILD=$BUILD VELA_MSI_VERSION=$2 "$ROOT/scripts/package-windows" "$1" >/dev/null ||
    fail "package-windows could not build version $2"
}
msi_property() { msiinfo export "$1" Property | tr -d '\r' | sed -n "s/^$2\t//p"; }

# The registry form of a GUID under Installer\: each of the first three
# groups reversed, then the bytes of the rest with their nibbles swapped.
packed_guid() {
  local g=${1//[\{\}-]/} out i
  out=$(rev <<<"${g:0:8}")$(rev <<<"${g:8:4}")$(rev <<<"${g:12:4}")
  for ((i = 16; i < 32; i += 2)); do out+=${g:i+1:1}${g:i:1}; done
  echo "$out"
}

# The link time stamp of a PE program (see scripts/package-windows).
pe_link_time() {
  local header
  header=$(od --endian=little -An -tu4 -j 60 -N 4 "$1" | tr -d ' ')
  od --endian=little -An -tu4 -j $((header + 8)) -N 4 "$1" | tr -d ' '
}

reg_has() { wine reg query "$1" >/dev/null 2>&1; }
reg_value() {
  wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$2 *REG_[A-Z_]* *\(.*\)$/\1/p"
}
# The product codes of the uninstall entries named "Vela Finder".
vela_entries() {
  wine reg query "$UNINSTALL" /s 2>/dev/null | tr -d '\r' | awk '
    /^HKEY_/ { key = $0; sub(/.*\\/, "", key) }
    /^ *DisplayName +REG_SZ +Vela Finder$/ { print key }'
}
drive_listing() { (cd "$C" && find . | sort); }

# Quiet install or removal; wine passes msiexec's exit code on modulo 256
# (a refused install, 1603, arrives as 67), so only zero means success.
run_msiexec() { wine msiexec "$@" /qn; }

# Everything one installed version must have put in place.
check_installed() {
  local msi=$1 version=$2 code f lnk
  code=$(msi_property "$msi" ProductCode)
  for f in vela-finder.exe vela-find.exe model_name.ini; do
    [[ -f $DIR/$f ]] || fail "$f is not in Program Files\\Vela Finder"
  done
  # The programs are the build's with their link time kept, stripped of
  # their symbols (stripping the build's the same way gives every byte);
  # the model file is data/'s.
  local built
  for f in vela-finder.exe vela-find.exe; do
    built=$(find "$BUILD" -name "$f" -type f -not -path '*/CMakeFiles/*')
    [[ $(pe_link_time "$DIR/$f") == $(pe_link_time "$built") ]] || fail "the installed $f lost its link time"
    SOURCE_DATE_EPOCH=$(pe_link_time "$built") x86_64-w64-mingw32-strip --strip-all -o "$WORK/$f" "$built"
    cmp -s "$DIR/$f" "$WORK/$f" || fail "the installed $f is not the build's, stripped"
  done
  cmp -s "$DIR/model_name.ini" "$ROOT/data/model_name.ini" || fail "the installed model_name.ini is not data/'s"
  local out
  out=$(wine 'C:\Program Files\Vela Finder\vela-find.exe' --version | tr -d '\r')
  [[ $out == "vela-find $VERSION" ]] || fail "installed vela-find.exe --version says '$out'"

  # Per machine it belongs in the common Start menu; wine's Windows
  # Installer puts a per-machine shortcut into the user's, so either counts.
  mapfile -t lnk < <(find "$C" -path '*/Start Menu/Programs/Vela Finder/Vela Finder.lnk')
  [[ ${#lnk[@]} -eq 1 ]] || fail "expected one Start-menu shortcut, found ${#lnk[@]}: ${lnk[*]}"
  grep -aqF 'C:\Program Files\Vela Finder\vela-finder.exe' "${lnk[0]}" ||
    fail "the shortcut does not lead to vela-finder.exe"
  # Its working folder (a UTF-16 string of the link) is the program's, where
  # the program finds the model file.
  strings -el "${lnk[0]}" | grep -qxF 'C:\Program Files\Vela Finder\' ||
    fail "the shortcut does not start in the program's folder"

  reg_has "$UNINSTALL\\$code" || fail "no uninstall entry $code"
  [[ $(reg_value "$UNINSTALL\\$code" DisplayName) == "Vela Finder" ]] || fail "uninstall entry's DisplayName"
  [[ $(reg_value "$UNINSTALL\\$code" DisplayVersion) == "$version" ]] ||
    fail "uninstall entry's DisplayVersion is $(reg_value "$UNINSTALL\\$code" DisplayVersion), not $version"
  [[ $(reg_value "$UNINSTALL\\$code" Publisher) == "Vela Finder maintainers" ]] || fail "uninstall entry's Publisher"
  [[ $(vela_entries) == "$code" ]] || fail "uninstall entries named Vela Finder: $(vela_entries | tr '\n' ' ')"
  reg_has "$INSTALLER\\UpgradeCodes\\$(packed_guid "$(msi_property "$msi" UpgradeCode)")" ||
    fail "the upgrade code is not registered"
}

# Nothing of ours left: the drive as it was before the first install (but
# for Windows Installer's own cache folder, left empty), no uninstall entry,
# no registration; and, once the wineserver has saved the registry, no
# trace of the product's name, codes or programs in any hive.
check_removed() {
  local before=$1 code upgrade
  shift
  [[ ! -e $DIR ]] || fail "Program Files\\Vela Finder is still there"
  [[ -z $(find "$C" -path '*/Start Menu/*' -iname '*vela*') ]] || fail "the Start menu still holds: $(find "$C" -path '*/Start Menu/*' -iname '*vela*')"
  drive_listing >"$WORK/after"
  diff "$before" "$WORK/after" | grep '^[<>]' | grep -vx '> ./windows/Installer' >"$WORK/drive-diff" || true
  [[ ! -s $WORK/drive-diff ]] || fail "the drive differs from before the install: $(cat "$WORK/drive-diff")"
  [[ -z $(ls -A "$C/windows/Installer" 2>/dev/null) ]] || fail "Windows Installer's cache still holds $(ls "$C/windows/Installer")"
  [[ -z $(vela_entries) ]] || fail "uninstall entries left: $(vela_entries)"
  upgrade=$(msi_property "$1" UpgradeCode)
  ! reg_has "$INSTALLER\\UpgradeCodes\\$(packed_guid "$upgrade")" || fail "the upgrade code is still registered"
  local patterns=(-e 'Vela Finder' -e 'vela-find' -e "$(packed_guid "$upgrade")" -e "${upgrade//[\{\}]/}")
  for msi in "$@"; do
    code=$(msi_property "$msi" ProductCode)
    ! reg_has "$UNINSTALL\\$code" || fail "uninstall entry $code is still there"
    patterns+=(-e "$(packed_guid "$code")" -e "${code//[\{\}]/}")
  done
  stop_wine || fail "wine did not end"
  [[ -f $WINEPREFIX/system.reg && -f $WINEPREFIX/user.reg ]] || fail "the wineserver saved no registry"
  if grep -n -i -F "${patterns[@]}" "$WINEPREFIX"/*.reg >"$WORK/reg-left"; then
    fail "the registry still names the product: $(cat "$WORK/reg-left")"
  fi
}

# A version above the build's in the three fields that Windows Installer
# compares.
IFS=. read -r major minor build <<<"$VERSION"
later=$major.$minor.$((${build:-0} + 1))

# The installers first: a program missing from the build ends the test here.
MSI=$WORK/vela-finder.msi LATER_MSI=$WORK/vela-finder-later.msi
build_msi "$MSI" "$VERSION"
if [[ $case_name == upgrade ]]; then
  build_msi "$LATER_MSI" "$later"
fi

step "a fresh prefix"
wineboot -i >/dev/null 2>&1 || fail "wineboot could not make the prefix"
wineserver -w
drive_listing >"$WORK/before"

case $case_name in
install-remove)
  step "install $VERSION"
  run_msiexec /i "$MSI" || fail "msiexec /i failed"
  check_installed "$MSI" "$VERSION"
  step "remove"
  run_msiexec /x "$MSI" || fail "msiexec /x failed"
  check_removed "$WORK/before" "$MSI"
  ;;
upgrade)
  [[ $(msi_property "$MSI" UpgradeCode) == $(msi_property "$LATER_MSI" UpgradeCode) ]] ||
    fail "the two versions have different upgrade codes"
  step "install $VERSION, then $later over it"
  run_msiexec /i "$MSI" || fail "msiexec /i $VERSION failed"
  check_installed "$MSI" "$VERSION"
  run_msiexec /i "$LATER_MSI" || fail "msiexec /i $later failed"
  check_installed "$LATER_MSI" "$later"
  step "$VERSION over $later is refused"
  if run_msiexec /i "$MSI"; then fail "$VERSION installed over $later"; fi
  check_installed "$LATER_MSI" "$later"
  step "remove $later"
  run_msiexec /x "$LATER_MSI" || fail "msiexec /x failed"
  check_removed "$WORK/before" "$MSI" "$LATER_MSI"
  ;;
esac
echo "passed"
