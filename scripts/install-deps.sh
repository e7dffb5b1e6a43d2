#!/usr/bin/env bash
# Installs what the build and the tests need from Debian's packages,
# skipping what is already present.
set -euo pipefail

packages=(cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev
          g++-mingw-w64-i686 g++-mingw-w64-x86-64 nsis clang-format libcli11-dev
          nlohmann-json3-dev clang libclang-rt-14-dev pkg-config libspng-dev
          libvpx-dev libopus-dev libsoxr-dev mkvtoolnix vpx-tools chromium chromium-driver)

# Wine, the Windows runtime the Windows test programs run under
# (scripts/wine-test.sh): a 64-bit prefix runs the 64-bit build natively and
# the 32-bit build under WoW64, so both halves are needed. TESSALY_SKIP_WINE=1
# leaves it out. No recommends: none of its GStreamer plug-ins come along.
if [ "${TESSALY_SKIP_WINE:-0}" != "1" ]; then
  packages+=(wine wine64 wine32:i386)
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages: ${missing[*]} (run as root to install them)" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
