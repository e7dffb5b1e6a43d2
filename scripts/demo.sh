#!/usr/bin/env bash
# The main job on a built-in sample. Until the command-line host exists this
# is a smoke run of the platform layer: it loads tessaly.ax the way a host
# does and asks it for the splitter's class factory.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dir="${TESSALY_BUILD_ROOT:-$root/build}/linux"

bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build "$dir" -j "$(nproc)" --target tessaly-smoke tessaly-module
"$dir/tools/tessaly-smoke" "$dir/src/tessaly.ax"
