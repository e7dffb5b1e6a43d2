#!/usr/bin/env bash
# Proves both release modules under Wine, the Windows runtime on this
# machine, in one fresh 64-bit prefix: the 32-bit TESSALY.AX and its test
# program run under WoW64 against the 32-bit registry view, the 64-bit ones
# natively against the 64-bit view. Each module is registered from its own
# folder with the regsvr32 of its own bitness; the test program of each build
# checks its own module while the other is registered beside it, after the
# other is unregistered, and after its own unregistration. Then the installer
# (scripts/installer.sh) installs both silently, twice, the test programs play
# through the installed modules, and its uninstaller must leave nothing of
# ours behind. Both test programs also compare our Cinepak decoder with
# Wine's own, frame by frame. Exits non-zero when any step or check fails.
#
#   bash scripts/wine-test.sh [build root]   (default: build; holds windows-x86,
#                                             windows-x64 and tessaly-setup.exe)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="$(cd "${1:-${TESSALY_BUILD_ROOT:-$root/build}}" && pwd)"
for bits in x86 x64; do
  for file in "$out/windows-$bits/src/TESSALY.AX" \
              "$out/windows-$bits/tests/windows/tessaly-wintest.exe"; do
    if [ ! -f "$file" ]; then
      echo "wine-test: $file is missing; cross-build both Windows configurations first" >&2
      exit 1
    fi
  done
done
setup="$out/tessaly-setup.exe"
if [ ! -f "$setup" ]; then
  echo "wine-test: $setup is missing; build it with scripts/installer.sh first" >&2
  exit 1
fi
version="$(sed -n 's/^!define TESSALY_VERSION "\(.*\)"$/\1/p' "$out/windows-x86/tessaly-version.nsh")"
if ! command -v wine > /dev/null; then
  echo "wine-test: wine is not installed (bash scripts/install-deps.sh installs it)" >&2
  exit 1
fi

export WINEPREFIX="$out/wine-prefix"
export WINEARCH=win64
export WINEDEBUG=-all
# No prompts to download Mono or Gecko; nothing here needs them. Wine's
# GStreamer bridge stays out, so no media framework takes part in the graphs
# (none has plug-ins here anyway), and so do the sound drivers of a machine
# without sound devices.
export WINEDLLOVERRIDES="mscoree,mshtml,winegstreamer,winealsa.drv,winepulse.drv="
# Console programs need no display; keep Wine from looking for one.
unset DISPLAY WAYLAND_DISPLAY
step_timeout="${TESSALY_WINE_TIMEOUT:-600}"

cleanup() { wineserver -k > /dev/null 2>&1 || true; }
trap cleanup EXIT

started=$SECONDS
echo "=== wine: fresh 64-bit prefix in $WINEPREFIX"
# A server left on the old prefix would write into it while it is removed.
if [ -d "$WINEPREFIX" ]; then
  wineserver -k > /dev/null 2>&1 || true
  wineserver -w > /dev/null 2>&1 || true
fi
rm -rf "$WINEPREFIX"
timeout "$step_timeout" wineboot -i > "$out/wineboot.log" 2>&1 ||
  { cat "$out/wineboot.log"; echo "wine-test: wineboot failed" >&2; exit 1; }
timeout "$step_timeout" wineserver -w
echo "    prefix ready after $((SECONDS - started)) s"

# One folder per build, as an installation keeps them apart on Windows.
declare -A module_win regsvr32
for bits in x86 x64; do
  mkdir -p "$WINEPREFIX/drive_c/tessaly/$bits"
  cp "$out/windows-$bits/src/TESSALY.AX" "$out/windows-$bits/tests/windows/tessaly-wintest.exe" \
    "$WINEPREFIX/drive_c/tessaly/$bits/"
  module_win[$bits]="C:\\tessaly\\$bits\\TESSALY.AX"
done
# In a 64-bit prefix system32 holds the 64-bit programs and syswow64 the
# 32-bit ones, as on 64-bit Windows.
regsvr32[x64]='C:\windows\system32\regsvr32.exe'
regsvr32[x86]='C:\windows\syswow64\regsvr32.exe'
cp "$setup" "$WINEPREFIX/drive_c/tessaly/"
cd "$WINEPREFIX/drive_c/tessaly"

failed=0
run_step() {
  local name="$1"; shift
  local rc=0
  timeout "$step_timeout" wine "$@" || rc=$?
  if [ "$rc" -eq 0 ]; then
    echo "PASS: $name"
  elif [ "$rc" -eq 124 ]; then
    # The test program waits without time limits; a hang ends here.
    echo "FAIL: $name -- still running after ${step_timeout} s (a hang; the last line above is the last check passed)"
    failed=1
  else
    echo "FAIL: $name -- exit code $rc"
    failed=1
  fi
  return 0
}
register() {
  run_step "$1: regsvr32 /s TESSALY.AX${2:-}" "${regsvr32[$1]}" /s "${module_win[$1]}"
}
unregister() {
  run_step "$1: regsvr32 /u /s TESSALY.AX" "${regsvr32[$1]}" /u /s "${module_win[$1]}"
}
# tessaly-wintest registered|unregistered, from the folder of its own build,
# on the module of that build (or the one given).
wintest() {
  echo "=== wine: $1: test program, $2 ($3)"
  run_step "$1: tessaly-wintest $2 ($3)" "C:\\tessaly\\$1\\tessaly-wintest.exe" "$2" \
    "${4:-${module_win[$1]}}"
}
# The registry files are written when the server ends; nothing of ours may be
# left in either view, nor in the keys both views share.
check_clean() {
  timeout "$step_timeout" wineserver -w
  local leftovers
  leftovers="$(grep -i -E '6B1E4F2[01]-D3A7-11D1|Uninstall\\\\Tessaly' \
    "$WINEPREFIX/system.reg" "$WINEPREFIX/user.reg" || true)"
  if [ -z "$leftovers" ]; then
    check pass "$1: no key or value naming the filter's class, the FILM subtype or the uninstaller"
  else
    check fail "$1: keys or values left behind:"
    echo "$leftovers"
  fi
}
check() {
  if [ "$1" = "pass" ]; then
    echo "PASS: $2"
  else
    echo "FAIL: $2"
    failed=1
  fi
}

# Our Cinepak decoder against Wine's own (iccvid through msvfw32), in each
# bitness; this needs no registration.
for bits in x64 x86; do
  echo "=== wine: $bits: our Cinepak decoder against the platform's"
  run_step "$bits: tessaly-wintest cinepak" "C:\\tessaly\\$bits\\tessaly-wintest.exe" cinepak
done

echo "=== wine: register both, side by side"
for bits in x64 x86; do
  register $bits
  # Registering again must replace, not add to, what the first pass wrote.
  register $bits ", again"
done
wintest x64 registered "the 32-bit module registered beside it"
wintest x86 registered "the 64-bit module registered beside it"

echo "=== wine: unregister the 32-bit module"
unregister x86
wintest x86 unregistered "the 64-bit module still registered"
wintest x64 registered "the 32-bit module unregistered"

echo "=== wine: register the 32-bit module again, unregister the 64-bit one"
register x86
unregister x64
wintest x64 unregistered "the 32-bit module still registered"
wintest x86 registered "the 64-bit module unregistered"

echo "=== wine: unregister the 32-bit module too"
unregister x86
wintest x86 unregistered "neither registered"
check_clean "after both unregistrations"

echo "=== wine: install both with tessaly-setup.exe /S, then again over the installation"
run_step "tessaly-setup.exe /S" 'C:\tessaly\tessaly-setup.exe' /S
run_step "tessaly-setup.exe /S, over the installation" 'C:\tessaly\tessaly-setup.exe' /S
wintest x64 registered "installed" 'C:\Program Files\Tessaly\TESSALY.AX'
wintest x86 registered "installed" 'C:\Program Files (x86)\Tessaly\TESSALY.AX'
# The installer is 32-bit: its entry is in the 32-bit view.
entry="$(wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tessaly' /reg:32 2>&1 |
  tr -d '\r' || true)"
if grep -q "DisplayName *REG_SZ *Tessaly Parser$" <<< "$entry" &&
   grep -q "DisplayVersion *REG_SZ *$version$" <<< "$entry" &&
   grep -q 'UninstallString *REG_SZ *"C:\\Program Files (x86)\\Tessaly\\uninstall.exe"$' <<< "$entry"; then
  check pass "installed programs list \"Tessaly Parser\" $version with its uninstaller"
else
  check fail "installed programs list \"Tessaly Parser\" $version with its uninstaller: $entry"
fi

echo "=== wine: uninstall silently"
run_step "uninstall.exe /S" 'C:\Program Files (x86)\Tessaly\uninstall.exe' /S
# The uninstaller hands over to a copy of itself and returns at once; the
# copy has finished when the server has no process left.
timeout "$step_timeout" wineserver -w
wintest x64 unregistered "uninstalled" 'C:\Program Files\Tessaly\TESSALY.AX'
wintest x86 unregistered "uninstalled" 'C:\Program Files (x86)\Tessaly\TESSALY.AX'
for folder in "Program Files/Tessaly" "Program Files (x86)/Tessaly"; do
  if [ -e "$WINEPREFIX/drive_c/$folder" ]; then
    check fail "uninstall removed C:/$folder: $(ls -A "$WINEPREFIX/drive_c/$folder" | tr '\n' ' ')"
  else
    check pass "uninstall removed C:/$folder"
  fi
done

check_clean "after uninstalling"

echo "    wine stage took $((SECONDS - started)) s"
if [ "$failed" -ne 0 ]; then
  echo "=== wine: FAILED"
  exit 1
fi
echo "=== wine: all checks passed"
