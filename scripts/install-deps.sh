#!/usr/bin/env bash
# Installs what a build needs from Debian's packages (Debian 12, amd64),
# skipping what is already present:
#   install-deps.sh demo   what scripts/demo.sh needs: the Linux tree's
#                          compiler, build tools and libraries
#   install-deps.sh test   (the default) that and what scripts/test.sh adds:
#                          Google Benchmark, clang for the fuzzers, the
#                          mingw-w64 cross compilers, NSIS, Wine, the
#                          WebM readers (mkvtoolnix, vpx-tools, Chromium),
#                          and the virtual X server and Mesa that Wine's
#                          video renderers use
set -euo pipefail

set_name="${1:-test}"
case "$set_name" in
  demo|test) ;;
  *) echo "install-deps: unknown set '$set_name' (demo or test)" >&2; exit 2 ;;
esac

# The package names and versions (libclang-rt-14-dev, wine32:i386) are
# Debian 12's; elsewhere this only warns and tries.
system="$( (. /etc/os-release 2>/dev/null && echo "${ID:-} ${VERSION_ID:-}") || true)"
arch="$(dpkg --print-architecture 2>/dev/null || uname -m)"
if [ "$system" != "debian 12" ] || [ "$arch" != "amd64" ]; then
  echo "install-deps: made for Debian 12 on amd64, this is '${system:-unknown}' on $arch" >&2
fi

# GoogleTest comes with the demo's set too: the Linux tree is configured as a
# whole, and its configuration looks for it.
packages=(cmake ninja-build g++ libgtest-dev libgmock-dev libcli11-dev nlohmann-json3-dev
          pkg-config libspng-dev libvpx-dev libopus-dev libsoxr-dev)

if [ "$set_name" = "test" ]; then
  packages+=(libbenchmark-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 nsis clang-format
             clang libclang-rt-14-dev)
  # The independent readers `convert`'s WebM files are checked with.
  packages+=(mkvtoolnix vpx-tools chromium chromium-driver)
  # Wine, the Windows runtime the Windows test programs run under
  # (scripts/wine-test.sh): a 64-bit prefix runs the 64-bit build natively and
  # the 32-bit build under WoW64, so both halves are needed. TESSALY_SKIP_WINE=1
  # leaves it out. No recommends: none of its GStreamer plug-ins come along.
  if [ "${TESSALY_SKIP_WINE:-0}" != "1" ]; then
    packages+=(wine wine64 wine32:i386)
    # The runtime's default video renderers draw through Direct3D on OpenGL:
    # a virtual X server and Mesa's software rendering, in both bitnesses.
    packages+=(xvfb xauth libgl1 libglx-mesa0 libgl1-mesa-dri
               libgl1:i386 libglx-mesa0:i386 libgl1-mesa-dri:i386)
  fi
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
