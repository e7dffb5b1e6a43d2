#!/usr/bin/env bash
# Builds tessaly-setup.exe (installer/tessaly.nsi) with Debian's makensis
# from the release builds of both bitnesses: the splitter (TESSALY.AX) and
# the Cinepak decoder (TESSALYCV.AX).
#
#   bash scripts/installer.sh [build root]   (default: build; holds windows-x86
#                                             and windows-x64; writes
#                                             tessaly-setup.exe there)
#
# TESSALY_SETUP_MODULE_X64 and TESSALY_SETUP_FILE name another 64-bit module
# and another output file: the Wine stage builds a setup with a damaged
# module that way.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="$(cd "${1:-${TESSALY_BUILD_ROOT:-$root/build}}" && pwd)"
module_x64="${TESSALY_SETUP_MODULE_X64:-$out/windows-x64/src/TESSALY.AX}"
setup="${TESSALY_SETUP_FILE:-$out/tessaly-setup.exe}"
for file in "$out/windows-x86/src/TESSALY.AX" "$module_x64" \
            "$out/windows-x86/decoder/TESSALYCV.AX" "$out/windows-x64/decoder/TESSALYCV.AX" \
            "$out/windows-x86/tessaly-version.nsh" "$out/windows-x64/tessaly-version.nsh"; do
  if [ ! -f "$file" ]; then
    echo "installer: $file is missing; cross-build both Windows configurations first" >&2
    exit 1
  fi
done
if ! command -v makensis > /dev/null; then
  echo "installer: makensis is not installed (bash scripts/install-deps.sh installs nsis)" >&2
  exit 1
fi
# Both modules carry the version the installer announces.
if ! cmp -s "$out/windows-x86/tessaly-version.nsh" "$out/windows-x64/tessaly-version.nsh"; then
  echo "installer: the two Windows builds were configured with different versions" >&2
  exit 1
fi

echo "=== installer: $(basename "$setup")"
makensis -V2 -NOCD \
  -DVERSION_NSH="$out/windows-x86/tessaly-version.nsh" \
  -DMODULE_X86="$out/windows-x86/src/TESSALY.AX" \
  -DMODULE_X64="$module_x64" \
  -DDECODER_X86="$out/windows-x86/decoder/TESSALYCV.AX" \
  -DDECODER_X64="$out/windows-x64/decoder/TESSALYCV.AX" \
  -DOUTFILE="$setup" \
  "$root/installer/tessaly.nsi"
ls -l "$setup"
