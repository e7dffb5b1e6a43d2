#!/usr/bin/env bash
# Proves both release modules under Wine, the Windows runtime on this
# machine, in one fresh 64-bit prefix: the 32-bit TESSALY.AX and its test
# program run under WoW64 against the 32-bit registry view, the 64-bit ones
# natively against the 64-bit view. Each module is registered from its own
# folder with the regsvr32 of its own bitness; the test program of each build
# checks its own module while the other is registered beside it, after the
# other is unregistered, and after its own unregistration; unregistering a
# module never registered, and registering into a read-only key, must leave
# nothing behind. Then the installer (scripts/installer.sh) installs both
# silently, twice; a setup with a damaged module, and one run while a player
# holds the module, must fail and leave the installation working; an
# uninstall while a player holds the module unregisters it and leaves the
# file to the restart; an install into a folder of the user's choice whose
# name no ANSI code page spells must work and uninstall cleanly. After each,
# the registry in both views and the files are checked. Both test programs
# also compare our Cinepak decoder with Wine's own, frame by frame; the
# player's soak runs through Wine's decompressor and through our decoder
# filter (TESSALYCV.AX), Wine's heap checks on; RenderFile with the default
# renderers must play to its end through our decoder. Exits non-zero when
# any step or check fails.
#
#   bash scripts/wine-test.sh [build root]   (default: build; holds windows-x86,
#                                             windows-x64 and tessaly-setup.exe)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="$(cd "${1:-${TESSALY_BUILD_ROOT:-$root/build}}" && pwd)"
for bits in x86 x64; do
  for file in "$out/windows-$bits/src/TESSALY.AX" "$out/windows-$bits/decoder/TESSALYCV.AX" \
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

# Arguments reach Wine as UTF-8, so that a folder name outside the ANSI code
# page arrives intact.
export LC_ALL=C.UTF-8
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
# A crash ends the program at once with its backtrace on the console,
# instead of waiting on a dialog no one sees.
timeout "$step_timeout" wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog \
  /t REG_DWORD /d 0 /f > /dev/null 2>&1 ||
  echo "wine-test: Wine's crash dialog stays on; a crash waits for the step's timeout" >&2
timeout "$step_timeout" wineserver -w
echo "    prefix ready after $((SECONDS - started)) s"

# One folder per build, as an installation keeps them apart on Windows.
declare -A module_win regsvr32
for bits in x86 x64; do
  mkdir -p "$WINEPREFIX/drive_c/tessaly/$bits"
  cp "$out/windows-$bits/src/TESSALY.AX" "$out/windows-$bits/decoder/TESSALYCV.AX" \
    "$out/windows-$bits/tests/windows/tessaly-wintest.exe" "$WINEPREFIX/drive_c/tessaly/$bits/"
  module_win[$bits]="C:\\tessaly\\$bits\\TESSALY.AX"
done
# In a 64-bit prefix system32 holds the 64-bit programs and syswow64 the
# 32-bit ones, as on 64-bit Windows.
regsvr32[x64]='C:\windows\system32\regsvr32.exe'
regsvr32[x86]='C:\windows\syswow64\regsvr32.exe'
cp "$setup" "$WINEPREFIX/drive_c/tessaly/"
# The same setup with a 64-bit module that does not load: an upgrade that
# fails half-way.
head -c 4096 "$out/windows-x64/src/TESSALY.AX" > "$out/TESSALY-damaged.AX"
TESSALY_SETUP_MODULE_X64="$out/TESSALY-damaged.AX" \
  TESSALY_SETUP_FILE="$WINEPREFIX/drive_c/tessaly/tessaly-setup-damaged.exe" \
  bash "$root/scripts/installer.sh" "$out" > "$out/installer-damaged.log" 2>&1 ||
  { cat "$out/installer-damaged.log"; echo "wine-test: the damaged setup was not built" >&2; exit 1; }
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
# Like run_step, for a step that must end with one exit code.
run_expect() {
  local expected="$1" name="$2"; shift 2
  local rc=0
  timeout "$step_timeout" wine "$@" || rc=$?
  # Wine hands the shell the low 8 bits of a Windows exit code.
  if [ "$rc" -eq "$((expected % 256))" ]; then
    echo "PASS: $name (exit code $expected)"
  else
    echo "FAIL: $name -- exit code $rc, not $expected"
    failed=1
  fi
}
register() {
  run_step "$1: regsvr32 /s TESSALY.AX${2:-}" "${regsvr32[$1]}" /s "${module_win[$1]}"
}
unregister() {
  run_step "$1: regsvr32 /u /s TESSALY.AX" "${regsvr32[$1]}" /u /s "${module_win[$1]}"
}
# The decoder's module of a bitness, beside that bitness's TESSALY.AX.
decoder_win() { echo "C:\\tessaly\\$1\\TESSALYCV.AX"; }
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
  leftovers="$(grep -i -E '6B1E4F2[01]-D3A7-11D1|EF35C655-4789-4C17|D66D9E6E-D31C-4060|98138CD2-F344-4E6E|Uninstall\\\\Tessaly' \
    "$WINEPREFIX/system.reg" "$WINEPREFIX/user.reg" || true)"
  if [ -z "$leftovers" ]; then
    check pass "$1: no key or value naming the filters' or Explorer handlers' classes, the FILM subtype or the uninstaller"
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

program_files="$WINEPREFIX/drive_c/Program Files"
installed_x64='C:\Program Files\Tessaly\TESSALY.AX'
installed_x86='C:\Program Files (x86)\Tessaly\TESSALY.AX'
# The installed modules are the ones of this build.
check_installed_files() {
  if cmp -s "$program_files/Tessaly/TESSALY.AX" "$out/windows-x64/src/TESSALY.AX" &&
     cmp -s "$program_files (x86)/Tessaly/TESSALY.AX" "$out/windows-x86/src/TESSALY.AX" &&
     cmp -s "$program_files/Tessaly/TESSALYCV.AX" "$out/windows-x64/decoder/TESSALYCV.AX" &&
     cmp -s "$program_files (x86)/Tessaly/TESSALYCV.AX" "$out/windows-x86/decoder/TESSALYCV.AX"; then
    check pass "$1: the four installed modules are this build's"
  else
    check fail "$1: the installed modules are not this build's"
  fi
}
decoder_class='{EF35C655-4789-4C17-81F6-4E7C19F39BEB}'
# The decoder's class names the installed module of each bitness in that
# bitness's registry view: check_decoder_registered what 64-bit-path 32-bit-path.
check_decoder_registered() {
  local bits path value
  for bits in 64 32; do
    [ "$bits" = 64 ] && path="$2" || path="$3"
    value="$(wine reg query "HKCR\\CLSID\\$decoder_class\\InprocServer32" /ve "/reg:$bits" 2>&1 |
      tr -d '\r' || true)"
    if grep -qiF "$path" <<< "$value"; then
      check pass "$1: the $bits-bit decoder class names $path"
    else
      check fail "$1: the $bits-bit decoder class does not name $path: $value"
    fi
  done
}
# The install-time choice "FILM only" in both views: check_film_only what on|off.
check_film_only() {
  local bits value
  for bits in 64 32; do
    value="$(wine reg query "HKCR\\CLSID\\$decoder_class" /v FilmOnly "/reg:$bits" 2>&1 |
      tr -d '\r' || true)"
    if grep -q 'FilmOnly *REG_DWORD *0x1$' <<< "$value"; then
      [ "$2" = on ] && check pass "$1: the $bits-bit decoder takes Cinepak from FILM only" ||
        check fail "$1: the $bits-bit decoder still takes Cinepak from FILM only"
    else
      [ "$2" = off ] && check pass "$1: the $bits-bit decoder takes every Cinepak stream" ||
        check fail "$1: the $bits-bit decoder does not take Cinepak from FILM only: $value"
    fi
  done
}
# A player holding the installed 64-bit module: the test program made a
# filter through COM and waits on its input until hold_end.
hold_start() {
  echo "=== wine: a 64-bit player holds $installed_x64"
  coproc HOLDER { wine 'C:\tessaly\x64\tessaly-wintest.exe' hold "$installed_x64" 2>&1; }
  # Bash closes a coprocess's own descriptors when it ends; these copies
  # keep its last lines readable.
  holder_pid="$HOLDER_PID"
  exec {holder_out}<&"${HOLDER[0]}" {holder_in}>&"${HOLDER[1]}"
  local line
  while IFS= read -r line <&"$holder_out"; do
    line="${line%$'\r'}"
    [ "$line" = "HOLDING" ] && return 0
    echo "$line"
    [[ "$line" == FAIL:* ]] && failed=1
  done
  check fail "the holding program ended before it held the module"
}
hold_end() {
  local line rc=0
  echo >&"$holder_in" || true
  exec {holder_in}>&-
  while IFS= read -r line <&"$holder_out"; do
    line="${line%$'\r'}"
    echo "$line"
    [[ "$line" == FAIL:* ]] && failed=1
  done
  exec {holder_out}<&-
  wait "$holder_pid" || rc=$?
  if [ "$rc" -eq 0 ]; then
    check pass "the holding program let go"
  else
    check fail "the holding program: exit code $rc"
  fi
}
# The values among the installed programs (the installer is 32-bit: the 32-bit view).
programs_entry() {
  wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tessaly' /reg:32 2>&1 |
    tr -d '\r' || true
}

echo "=== wine: unregister both before anything was registered"
unregister x64
unregister x86
check_clean "after unregistering modules never registered"

echo "=== wine: register both where a read-only FILM \"Media Type\" key is in the way"
run_step "x64: make the key read-only" 'C:\tessaly\x64\tessaly-wintest.exe' lock-key
run_step "x86: make the key read-only" 'C:\tessaly\x86\tessaly-wintest.exe' lock-key
# Wine's regsvr32 exits with 5 when DllRegisterServer fails.
for bits in x64 x86; do
  run_expect 5 "$bits: regsvr32 /s TESSALY.AX refused" "${regsvr32[$bits]}" /s "${module_win[$bits]}"
done
# What the registration wrote before it failed is gone; the key in its way
# is not its own to remove.
timeout "$step_timeout" wineserver -w
if grep -q -i '6B1E4F20-D3A7-11D1' "$WINEPREFIX/system.reg"; then
  check fail "after the refused registrations: the class or the mapper's entry is left in a view"
else
  check pass "after the refused registrations: no class key and no mapper entry in either view"
fi
run_step "x64: make the key writable" 'C:\tessaly\x64\tessaly-wintest.exe' unlock-key
run_step "x86: make the key writable" 'C:\tessaly\x86\tessaly-wintest.exe' unlock-key
check_clean "after the refused registrations"

echo "=== wine: register both, side by side"
for bits in x64 x86; do
  register $bits
  # Registering again must replace, not add to, what the first pass wrote.
  register $bits ", again"
done
wintest x64 registered "the 32-bit module registered beside it"
wintest x86 registered "the 64-bit module registered beside it"

# A player's random day in the runtime's graph, in each bitness, with Wine's
# heap checks on for the test program: every heap call checks the whole heap
# and freed blocks are filled and checked, so a write after a free is found
# at the next heap call, not as a crash some runs later.
ifeo='Microsoft\Windows NT\CurrentVersion\Image File Execution Options\tessaly-wintest.exe'
for view in 'HKLM\Software' 'HKLM\Software\Wow6432Node'; do
  timeout "$step_timeout" wine reg add "$view\\$ifeo" /v GlobalFlag /t REG_DWORD /d 0xF0 /f \
    > /dev/null 2>&1
done
for bits in x64 x86; do
  echo "=== wine: $bits: a player's random day"
  soak_log="$out/soak-$bits.log"
  WINEDEBUG=-all,err+heap run_step "$bits: tessaly-wintest soak" \
    "C:\\tessaly\\$bits\\tessaly-wintest.exe" soak "${module_win[$bits]}" 2> "$soak_log"
  if grep -q 'err:heap' "$soak_log"; then
    check fail "$bits: soak: Wine's heap checks found memory written after it was freed"
    grep -m 5 'err:heap' "$soak_log"
  else
    check pass "$bits: soak: Wine's heap checks found nothing"
  fi
done
# The same day with our decoder registered: it takes the player's 'cvid'
# frames instead of the runtime's decompressor, and the player stops too.
for bits in x64 x86; do
  echo "=== wine: $bits: a player's random day, through our decoder"
  run_step "$bits: regsvr32 /s TESSALYCV.AX" "${regsvr32[$bits]}" /s "$(decoder_win $bits)"
  soak_log="$out/soak-$bits-decoder.log"
  WINEDEBUG=-all,err+heap run_step "$bits: tessaly-wintest soak, through our decoder" \
    "C:\\tessaly\\$bits\\tessaly-wintest.exe" soak "${module_win[$bits]}" 2> "$soak_log"
  if grep -q 'err:heap' "$soak_log"; then
    check fail "$bits: soak through our decoder: Wine's heap checks found memory written after it was freed"
    grep -m 5 'err:heap' "$soak_log"
  else
    check pass "$bits: soak through our decoder: Wine's heap checks found nothing"
  fi
  run_step "$bits: regsvr32 /u /s TESSALYCV.AX" "${regsvr32[$bits]}" /u /s "$(decoder_win $bits)"
done
for view in 'HKLM\Software' 'HKLM\Software\Wow6432Node'; do
  timeout "$step_timeout" wine reg delete "$view\\$ifeo" /f > /dev/null 2>&1 || true
done

# RenderFile with the runtime's default renderers, in a virtual X server.
# Through our decoder (TESSALYCV.AX registered) the movie must play to
# EC_COMPLETE with our decoder in the graph: that is checked. Without it,
# under Wine 8 the video renderer asks for 'UYVY', and the runtime's own
# Cinepak decoder writes 24-bit RGB into that smaller buffer: that outcome
# is reported, never failing the stage. Each run is a process of its own,
# with a Wine server of its own that sees the X server; render_rc keeps the
# last run's exit code.
render_timeout="${TESSALY_WINE_RENDER_TIMEOUT:-120}"
render_rc=0
render_report() {
  local bits="$1" mode="$2" what="$3" log="$out/render-$1-$2${4:-}.log" rc=0 outcome
  timeout "$step_timeout" wineserver -w
  DISPLAY= timeout "$render_timeout" xvfb-run -a -s "-screen 0 1024x768x24" \
    wine "C:\\tessaly\\$bits\\tessaly-wintest.exe" render-default "$mode" > "$log" 2>&1 || rc=$?
  # A run cut short leaves its Wine processes behind.
  wineserver -k > /dev/null 2>&1 || true
  timeout "$step_timeout" wineserver -w
  tr -d '\r' < "$log" | grep -E '^      |^Unhandled exception|^=>0 ' || true
  case "$mode:$rc" in
    film:0) outcome="played to its end" ;;
    film:1) outcome="the graph was not built" ;;
    film:3) outcome="no end within the program's bound" ;;
    film:6) outcome="the picture held after a paused seek is not the frame's" ;;
    codec:0) outcome="no write past the picture" ;;
    codec:4) outcome="writes past the picture" ;;
    *:124) outcome="a hang: still running after ${render_timeout} s" ;;
    *) outcome="a crash: exit code $rc" ;;
  esac
  render_rc=$rc
  echo "REPORT: $bits: $what: $outcome (log in $log)"
}

if command -v xvfb-run > /dev/null; then
  # What a player that opens a FILM movie and presses play meets with our
  # decoder installed: the decoder's merit puts it before the runtime's.
  for bits in x86 x64; do
    echo "=== wine: $bits: RenderFile with the default renderers, through our decoder"
    run_step "$bits: regsvr32 /s TESSALYCV.AX" "${regsvr32[$bits]}" /s "$(decoder_win $bits)"
    render_report $bits film "RenderFile with the default renderers, our decoder registered" -decoder
    [ "$render_rc" -eq 0 ] &&
      check pass "$bits: RenderFile with the default renderers pauses, holds the frame a paused seek asks for, and plays to EC_COMPLETE" ||
      check fail "$bits: RenderFile with the default renderers: exit code $render_rc"
    grep -qi 'EF35C655-4789-4C17' "$out/render-$bits-film-decoder.log" &&
      check pass "$bits: the graph decodes with our decoder" ||
      check fail "$bits: our decoder is not in the graph"
    run_step "$bits: regsvr32 /u /s TESSALYCV.AX" "${regsvr32[$bits]}" /u /s "$(decoder_win $bits)"
  done
  # What the same player meets without it.
  for bits in x86 x64; do
    echo "=== wine: $bits: RenderFile with the default renderers, without our decoder (reported)"
    render_report $bits film "RenderFile with the default renderers"
    render_report $bits codec "the runtime's Cinepak decompressor begun in its own format, run in 'UYVY'"
  done
  # The way round it for a Wine user: Direct3D off for the player alone, so
  # that the graph falls back to the GDI video renderer, which takes RGB.
  app_key='HKCU\Software\Wine\AppDefaults\tessaly-wintest.exe\Direct3D'
  wine reg add "$app_key" /v renderer /t REG_SZ /d gdi /f > /dev/null 2>&1
  for bits in x86 x64; do
    echo "=== wine: $bits: RenderFile with Direct3D off for the player (reported, not checked)"
    render_report $bits film "RenderFile, Direct3D renderer \"gdi\" for the player" -gdi
  done
  wine reg delete 'HKCU\Software\Wine\AppDefaults\tessaly-wintest.exe' /f > /dev/null 2>&1
  timeout "$step_timeout" wineserver -w
else
  echo "REPORT: RenderFile with the default renderers not tried: xvfb-run is not installed"
fi

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
check_installed_files "installed"
wintest x64 registered "installed" "$installed_x64"
wintest x86 registered "installed" "$installed_x86"
check_decoder_registered "installed" 'C:\Program Files\Tessaly\TESSALYCV.AX' \
  'C:\Program Files (x86)\Tessaly\TESSALYCV.AX'
# Explorer's FILM handlers in each bitness, called as the shell calls them.
wintest x64 explorer "installed" 'C:\Program Files\Tessaly\TESSALYCV.AX'
wintest x86 explorer "installed" 'C:\Program Files (x86)\Tessaly\TESSALYCV.AX'
entry="$(programs_entry)"
if grep -q "DisplayName *REG_SZ *Tessaly Parser$" <<< "$entry" &&
   grep -q "DisplayVersion *REG_SZ *$version$" <<< "$entry" &&
   grep -q 'UninstallString *REG_SZ *"C:\\Program Files (x86)\\Tessaly\\uninstall.exe"$' <<< "$entry" &&
   grep -q 'DisplayIcon *REG_SZ *C:\\Program Files (x86)\\Tessaly\\uninstall.exe,0$' <<< "$entry" &&
   grep -q 'EstimatedSize *REG_DWORD *0x[0-9a-f]*[1-9a-f]' <<< "$entry"; then
  check pass "installed programs list \"Tessaly Parser\" $version with its uninstaller, icon and size"
else
  check fail "installed programs list \"Tessaly Parser\" $version with its uninstaller, icon and size: $entry"
fi

check_film_only "installed" off
echo "=== wine: install with /FILMONLY, then again without it"
run_step "tessaly-setup.exe /S /FILMONLY" 'C:\tessaly\tessaly-setup.exe' /S /FILMONLY
check_film_only "installed with /FILMONLY" on
check_decoder_registered "installed with /FILMONLY" 'C:\Program Files\Tessaly\TESSALYCV.AX' \
  'C:\Program Files (x86)\Tessaly\TESSALYCV.AX'
run_step "tessaly-setup.exe /S, the default again" 'C:\tessaly\tessaly-setup.exe' /S
check_film_only "installed again without /FILMONLY" off

echo "=== wine: unregister the copies in C:\\tessaly, while the installed ones are registered"
# A stray copy has nothing of its own to remove: the registration is the
# installed file's, and the checks below find it whole.
unregister x64
unregister x86
hold_start
hold_end

echo "=== wine: a setup whose 64-bit module is damaged, over the installation"
run_expect 2 "tessaly-setup-damaged.exe /S fails" 'C:\tessaly\tessaly-setup-damaged.exe' /S
check_installed_files "after the failed upgrade"
wintest x64 registered "after the failed upgrade" "$installed_x64"
wintest x86 registered "after the failed upgrade" "$installed_x86"
check_decoder_registered "after the failed upgrade" 'C:\Program Files\Tessaly\TESSALYCV.AX' \
  'C:\Program Files (x86)\Tessaly\TESSALYCV.AX'
grep -q "DisplayName *REG_SZ *Tessaly Parser$" <<< "$(programs_entry)" &&
  check pass "after the failed upgrade: the installed programs still list it" ||
  check fail "after the failed upgrade: the installed programs no longer list it"

echo "=== wine: upgrade while a player holds the module"
hold_start
run_expect 3 "tessaly-setup.exe /S refuses while the module is in use" 'C:\tessaly\tessaly-setup.exe' /S
hold_end
check_installed_files "after the refused upgrade"
wintest x64 registered "after the refused upgrade" "$installed_x64"
if [ -n "$(find "$program_files/Tessaly" "$program_files (x86)/Tessaly" -name '*.new' -o -name '*.old')" ]; then
  check fail "after the refused upgrade: files left beside the modules"
else
  check pass "after the refused upgrade: no file left beside the modules"
fi

echo "=== wine: uninstall while a player holds the module"
hold_start
# In place (_?=), so that its exit code is the uninstaller's own; its own file
# then waits for the restart too. _?= takes the rest of the command line,
# spaces and all, unquoted, which only a batch file passes on.
printf '%s\r\n' '@"C:\Program Files (x86)\Tessaly\uninstall.exe" /S _?=C:\Program Files (x86)\Tessaly' \
  '@exit /b %ERRORLEVEL%' > "$WINEPREFIX/drive_c/tessaly/uninstall-in-place.cmd"
run_expect 3010 "uninstall.exe /S says files wait for the restart" \
  cmd /c 'C:\tessaly\uninstall-in-place.cmd'
wintest x64 unregistered "uninstalled, the file still held" "$installed_x64"
wintest x86 unregistered "uninstalled, the file still held" "$installed_x86"
pending="$(wine reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations 2>&1 | tr -d '\r' || true)"
if grep -qi 'Program Files\\Tessaly\\TESSALY.AX' <<< "$pending"; then
  check pass "the held module is removed at the restart"
else
  check fail "the held module is removed at the restart: $pending"
fi
hold_end
echo "=== wine: restart"
timeout "$step_timeout" wineboot -r > /dev/null 2>&1 || true
timeout "$step_timeout" wineserver -w
for folder in "Program Files/Tessaly" "Program Files (x86)/Tessaly"; do
  if [ -e "$WINEPREFIX/drive_c/$folder" ]; then
    check fail "after the restart: C:/$folder is gone: $(ls -A "$WINEPREFIX/drive_c/$folder" | tr '\n' ' ')"
  else
    check pass "after the restart: C:/$folder is gone"
  fi
done
check_clean "after uninstalling while the module was held"
for bits in x64 x86; do
  run_step "$bits: tessaly-wintest explorer-gone (after uninstalling)" \
    "C:\\tessaly\\$bits\\tessaly-wintest.exe" explorer-gone
done

# Cyrillic and CJK: no ANSI code page spells both. No space: /D= takes the
# rest of the command line unquoted.
custom_unix="$WINEPREFIX/drive_c/Тессали-模块"
custom_win='C:\Тессали-模块'
echo "=== wine: install into a folder of the user's choice (/D=$custom_win)"
run_step "tessaly-setup.exe /S /D=$custom_win" 'C:\tessaly\tessaly-setup.exe' /S "/D=$custom_win"
for file in "TESSALY.AX" "x64/TESSALY.AX" "TESSALYCV.AX" "x64/TESSALYCV.AX" "uninstall.exe"; do
  [ -f "$custom_unix/$file" ] && check pass "/D=: $file installed there" ||
    check fail "/D=: $file is not in the chosen folder"
done
[ -e "$program_files/Tessaly" ] || [ -e "$program_files (x86)/Tessaly" ] &&
  check fail "/D=: something went to the program-files folders" ||
  check pass "/D=: nothing went to the program-files folders"
wintest x64 registered "installed in the chosen folder" "$custom_win\x64\TESSALY.AX"
wintest x86 registered "installed in the chosen folder" "$custom_win\TESSALY.AX"
run_expect 4 "tessaly-setup.exe /S refuses a second installation elsewhere" 'C:\tessaly\tessaly-setup.exe' /S
run_step "uninstall.exe /S from the chosen folder" "$custom_win\uninstall.exe" /S
# The uninstaller hands over to a copy of itself and returns at once; the
# copy has finished when the server has no process left.
timeout "$step_timeout" wineserver -w
[ -e "$custom_unix" ] && check fail "uninstall removed the chosen folder: $(ls -AR "$custom_unix" | tr '\n' ' ')" ||
  check pass "uninstall removed the chosen folder"
wintest x64 unregistered "uninstalled from the chosen folder" "$custom_win\x64\TESSALY.AX"
wintest x86 unregistered "uninstalled from the chosen folder" "$custom_win\TESSALY.AX"
check_clean "after uninstalling from the chosen folder"
run_step "x64: tessaly-wintest explorer-gone (after uninstalling from the chosen folder)" \
  'C:\tessaly\x64\tessaly-wintest.exe' explorer-gone

echo "    wine stage took $((SECONDS - started)) s"
if [ "$failed" -ne 0 ]; then
  echo "=== wine: FAILED"
  exit 1
fi
echo "=== wine: all checks passed"
