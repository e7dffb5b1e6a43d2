#!/usr/bin/env bash
# Builds and runs every test: a normal build, an AddressSanitizer +
# UndefinedBehaviorSanitizer build and a ThreadSanitizer build; then
# cross-builds the 32-bit and the 64-bit Windows module with the test program
# of each and the installer of both, runs them under Wine (TESSALY_SKIP_WINE=1
# skips it), and runs each fuzzer for a bounded time (TESSALY_FUZZ_SECONDS
# each, default 60; 0 skips).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="${TESSALY_BUILD_ROOT:-$root/build}"
jobs="${TESSALY_JOBS:-$(nproc)}"

bash "$root/scripts/install-deps.sh" test

# Rebuilds of the same sources (a fresh clone, another build type) come from
# the compiler cache where the machine has one.
if command -v ccache > /dev/null 2>&1; then
  export CMAKE_C_COMPILER_LAUNCHER="${CMAKE_C_COMPILER_LAUNCHER:-ccache}"
  export CMAKE_CXX_COMPILER_LAUNCHER="${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}"
fi

run_suite() {
  local name="$1"; shift
  local dir="$out/$name"
  echo "=== $name: configure and build"
  cmake -S "$root" -B "$dir" -G Ninja "$@" > "$dir.configure.log" 2>&1 ||
    { cat "$dir.configure.log"; return 1; }
  cmake --build "$dir" -j "$jobs"
  echo "=== $name: tests"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 600
}

mkdir -p "$out"
run_suite linux -DCMAKE_BUILD_TYPE=RelWithDebInfo
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite asan -DCMAKE_BUILD_TYPE=Debug -DTESSALY_SANITIZE=address
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  run_suite tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSALY_SANITIZE=thread

for arch in x86:i686 x64:x86_64; do
  dir="$out/windows-${arch%%:*}"
  echo "=== windows-${arch%%:*}: cross-build TESSALY.AX and TESSALYCV.AX"
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-${arch#*:}.cmake" > "$dir.configure.log" 2>&1 ||
    { cat "$dir.configure.log"; exit 1; }
  cmake --build "$dir" -j "$jobs"
  ls -l "$dir/src/TESSALY.AX" "$dir/decoder/TESSALYCV.AX"
done
bash "$root/scripts/installer.sh" "$out"

if [ "${TESSALY_SKIP_WINE:-0}" = "1" ]; then
  echo "=== wine: skipped (TESSALY_SKIP_WINE=1): TESSALY.AX is not run under Windows"
else
  bash "$root/scripts/wine-test.sh" "$out"
fi

TESSALY_BUILD_ROOT="$out" TESSALY_JOBS="$jobs" \
  TESSALY_FUZZ_SECONDS="${TESSALY_FUZZ_SECONDS:-60}" bash "$root/scripts/fuzz.sh"
echo "=== all suites passed"
