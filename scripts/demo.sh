#!/usr/bin/env bash
# The main job on a built-in sample: builds tessaly and tessaly.ax, then runs
# `tessaly demo`, which writes a FILM sample, registers the module into the
# demo's own registry, shows what the splitter makes of the sample and
# extracts it into audio.wav and movie.avi. Arguments go to `tessaly demo`
# (for example -o DIR); the default folder is build/demo. It installs only
# what that build needs (scripts/install-deps.sh demo); scripts/test.sh
# installs the rest.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dir="${TESSALY_BUILD_ROOT:-$root/build}/linux"

bash "$root/scripts/install-deps.sh" demo
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build "$dir" -j "${TESSALY_JOBS:-$(nproc)}" --target tessaly tessaly-module

if [ $# -eq 0 ]; then
  set -- -o "${TESSALY_BUILD_ROOT:-$root/build}/demo"
fi
"$dir/tools/tessaly" demo --module "$dir/src/tessaly.ax" "$@"
