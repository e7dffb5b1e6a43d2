#!/usr/bin/env bash
# Proves the release TESSALY.AX under Wine, the Windows runtime on this
# machine: a fresh prefix, regsvr32, the Windows test program
# (tests/windows), regsvr32 /u, and the test program again on the cleaned
# registry. Exits non-zero when any step or check fails.
#
#   bash scripts/wine-test.sh [windows build dir]   (default: build/windows)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-${TESSALY_BUILD_ROOT:-$root/build}/windows}" && pwd)"
module="$build/src/TESSALY.AX"
program="$build/tests/windows/tessaly-wintest.exe"
for file in "$module" "$program"; do
  if [ ! -f "$file" ]; then
    echo "wine-test: $file is missing; cross-build the Windows configuration first" >&2
    exit 1
  fi
done
if ! command -v wine > /dev/null; then
  echo "wine-test: wine is not installed (bash scripts/install-deps.sh installs it)" >&2
  exit 1
fi

export WINEPREFIX="$build/wine-prefix"
export WINEARCH=win32
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

echo "=== wine: fresh prefix in $WINEPREFIX"
# A server left on the old prefix would write into it while it is removed.
if [ -d "$WINEPREFIX" ]; then
  wineserver -k > /dev/null 2>&1 || true
  wineserver -w > /dev/null 2>&1 || true
fi
rm -rf "$WINEPREFIX"
timeout "$step_timeout" wineboot -i > "$build/wineboot.log" 2>&1 ||
  { cat "$build/wineboot.log"; echo "wine-test: wineboot failed" >&2; exit 1; }
timeout "$step_timeout" wineserver -w

folder="$WINEPREFIX/drive_c/tessaly"
mkdir -p "$folder"
cp "$module" "$program" "$folder/"
module_win='C:\tessaly\TESSALY.AX'
cd "$folder"

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

echo "=== wine: register"
run_step "regsvr32 /s TESSALY.AX" regsvr32 /s "$module_win"
# Registering again must replace, not add to, what the first pass wrote.
run_step "regsvr32 /s TESSALY.AX, again" regsvr32 /s "$module_win"
echo "=== wine: test program on the registered module"
run_step "tessaly-wintest registered" tessaly-wintest.exe registered "$module_win"
echo "=== wine: unregister"
run_step "regsvr32 /u /s TESSALY.AX" regsvr32 /u /s "$module_win"
echo "=== wine: test program after unregistration"
run_step "tessaly-wintest unregistered" tessaly-wintest.exe unregistered "$module_win"

if [ "$failed" -ne 0 ]; then
  echo "=== wine: FAILED"
  exit 1
fi
echo "=== wine: all checks passed"
