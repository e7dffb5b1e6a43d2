#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (coverage instrumentation,
# AddressSanitizer, UndefinedBehaviorSanitizer) into $TESSALY_BUILD_ROOT/fuzz
# and runs each fuzzer for a bounded time. Any crash, leak, timeout or broken
# check fails the script; the failing input is kept under artifacts/.
#
#   TESSALY_FUZZ_SECONDS   seconds per fuzzer (default 60; 0 skips fuzzing)
#   TESSALY_FUZZ_RUNS      also stop each fuzzer after this many executions
#   TESSALY_FUZZ_ONLY      run only this fuzzer (for example fuzz_registry_text)
#   TESSALY_BUILD_ROOT     build root (default build/); TESSALY_JOBS parallelism
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="${TESSALY_BUILD_ROOT:-$root/build}"
dir="$out/fuzz"
jobs="${TESSALY_JOBS:-$(nproc)}"
seconds="${TESSALY_FUZZ_SECONDS:-60}"
runs="${TESSALY_FUZZ_RUNS:-}"

if [ "$seconds" = 0 ]; then
  echo "=== fuzz: skipped (TESSALY_FUZZ_SECONDS=0)"
  exit 0
fi
if ! command -v clang++ > /dev/null; then
  echo "fuzz: clang++ is missing (scripts/install-deps.sh installs it)" >&2
  exit 1
fi

echo "=== fuzz: configure and build"
mkdir -p "$dir"
CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTESSALY_FUZZ=ON > "$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; exit 1; }
cmake --build "$dir" -j "$jobs" --target fuzzers

# Generated seeds are rebuilt every time; what the fuzzers find accumulates
# in corpus/ across runs.
rm -rf "$dir/seeds"
"$dir/fuzz/fuzz-seed-corpus" "$dir/seeds"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:quarantine_size_mb=64}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"

failed=0
for binary in "$dir"/fuzz/fuzz_*; do
  fuzzer="$(basename "$binary")"
  [ -x "$binary" ] || continue
  if [ -n "${TESSALY_FUZZ_ONLY:-}" ] && [ "$fuzzer" != "$TESSALY_FUZZ_ONLY" ]; then
    continue
  fi
  name="${fuzzer#fuzz_}"
  corpus="$dir/corpus/$name"
  artifacts="$dir/artifacts/$name/"
  log="$dir/$fuzzer.log"
  mkdir -p "$corpus" "$artifacts"

  inputs=("$corpus" "$dir/seeds/$name")
  for extra in "$root/fuzz/seeds/$name" "$root/fuzz/regressions/$name"; do
    if [ -d "$extra" ]; then inputs+=("$extra"); fi
  done
  options=(-max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix="$artifacts")
  if [ -n "$runs" ]; then options+=(-runs="$runs"); fi
  if [ -f "$root/fuzz/$name.dict" ]; then options+=(-dict="$root/fuzz/$name.dict"); fi

  echo "=== fuzz: $fuzzer for ${seconds}s"
  status=0
  "$binary" "${options[@]}" "${inputs[@]}" > "$log" 2>&1 || status=$?
  executions="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)"
  result="ok"
  if [ "$status" -ne 0 ]; then
    result="FAILED (exit $status)"
    failed=1
    tail -60 "$log"
    echo "fuzz: failing input kept in $artifacts"
  fi
  echo "fuzz: $fuzzer: ${executions:-?} executions, $result"
  printf '%s %s seconds=%s executions=%s %s\n' "$(date -u +%FT%TZ)" "$fuzzer" "$seconds" \
    "${executions:-?}" "$result" >> "$dir/fuzz-runs.log"
done

if [ "$failed" -ne 0 ]; then
  echo "=== fuzz: FAILED; turn each failing input into a regression (fuzz/regressions/)" >&2
  exit 1
fi
echo "=== fuzz: passed"
