#!/usr/bin/env bash
# Breaks the module's key rules on purpose, one line at a time, and checks
# that the tests notice. Each mutation of scripts/mutations.txt is applied to
# its source file, the test executables it names are rebuilt, the tests run
# under a time bound, and the file is put back. A mutation is
#   CAUGHT    a test failed;
#   HANG      no test failed, but the run did not end within the bound: the
#             tests notice only by waiting, with no message (a weakness);
#   SURVIVED  every test passed: nothing guards that rule;
#   STALE     its text is no longer in the file exactly once, or no test
#             matches its pattern: the list needs updating;
#   BROKEN    the mutated tree does not build: the list needs updating.
# Exits 1 when any mutation survived or hung, 2 on a usage or tree problem.
#
# It edits sources in place, so it refuses a tree with uncommitted changes,
# and every file goes back, also on Ctrl-C (the build tree then still holds
# the mutation until its next build, which the restored file's time causes).
# On demand only: not part of CI.
set -uo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/linux"
list="$root/scripts/mutations.txt"
full=0
filter=""
bound=""
baseline=1
check=0

usage() {
  cat <<EOF
usage: scripts/mutate.sh [options]
  -B, --build-dir DIR  configured build tree to rebuild and test (default build/linux)
  --full               run the whole test suite for every mutation, not its named tests
  --filter PATTERN     only mutations whose name, file or description match (grep -E)
  --timeout SECONDS    bound of one mutation's test run; past it the mutation hung
                       (default 180, with --full 900)
  --list FILE          the mutation list (default scripts/mutations.txt)
  --no-baseline        skip the first run of the unmutated tree's tests
  --check              only check that every mutation's text is in its file exactly once
EOF
}

while [ $# -gt 0 ]; do
  case "$1" in
    -B | --build-dir) build="$(cd "${2:?}" && pwd)" || exit 2; shift 2 ;;
    --full) full=1; shift ;;
    --filter) filter="${2:?}"; shift 2 ;;
    --timeout) bound="${2:?}"; shift 2 ;;
    --list) list="${2:?}"; shift 2 ;;
    --no-baseline) baseline=0; shift ;;
    --check) check=1; shift ;;
    -h | --help) usage; exit 0 ;;
    *) echo "mutate.sh: unknown option $1" >&2; usage >&2; exit 2 ;;
  esac
done

if [ -z "$bound" ]; then
  bound=$([ "$full" = 1 ] && echo 900 || echo 180)
fi
if [ ! -f "$build/CTestTestfile.cmake" ]; then
  echo "mutate.sh: $build is not a configured build tree (cmake -S . -B $build -G Ninja)" >&2
  exit 2
fi
if [ ! -f "$list" ]; then
  echo "mutate.sh: no mutation list at $list" >&2
  exit 2
fi

# --- the list -----------------------------------------------------------------
# A mutation is a block:
#   [name] what breaks, as a user would see it
#   file:  path from the repository root
#   from:  exact text, found exactly once in the file
#   to:    its replacement (empty drops the text)
#   tests: ctest regular expression of the tests that must catch it
names=() descriptions=() files=() froms=() tos=() tests=()

value_of() {
  local rest="${1#*:}"
  printf '%s' "${rest#"${rest%%[! ]*}"}"
}

parse_list() {
  local line lineno=0 n=-1
  while IFS= read -r line || [ -n "$line" ]; do
    lineno=$((lineno + 1))
    case "$line" in
      '' | '#'*) ;;
      '['*']'*)
        n=$((n + 1))
        names[n]="${line%%]*}"; names[n]="${names[n]#[}"
        descriptions[n]="${line#*] }"
        files[n]="" froms[n]="" tos[n]="" tests[n]=""
        ;;
      file:* | from:* | to:* | tests:*)
        if [ "$n" -lt 0 ]; then
          echo "mutate.sh: $list:$lineno: a field before the first [name] line" >&2
          exit 2
        fi
        ;;&
      file:*) files[n]="$(value_of "$line")" ;;
      from:*) froms[n]="$(value_of "$line")" ;;
      to:*) tos[n]="$(value_of "$line")" ;;
      tests:*) tests[n]="$(value_of "$line")" ;;
      *) echo "mutate.sh: $list:$lineno: not a mutation line: $line" >&2; exit 2 ;;
    esac
  done < "$list"
  local i
  for i in "${!names[@]}"; do
    if [ -z "${files[i]}" ] || [ -z "${froms[i]}" ] || [ -z "${tests[i]}" ]; then
      echo "mutate.sh: $list: [${names[i]}] needs file:, from: and tests:" >&2
      exit 2
    fi
  done
}
parse_list

selected=()
for i in "${!names[@]}"; do
  if [ -z "$filter" ] ||
    printf '%s\n' "${names[i]} ${files[i]} ${descriptions[i]}" | grep -Eq -- "$filter"; then
    selected+=("$i")
  fi
done
if [ ${#selected[@]} -eq 0 ]; then
  echo "mutate.sh: no mutation matches '$filter'" >&2
  exit 2
fi

if [ "$check" = 1 ]; then
  stale_count=0
  for i in "${selected[@]}"; do
    found="$(FROM="${froms[i]}" python3 -c '
import os, sys
try:
    print(open(sys.argv[1], encoding="utf-8", newline="").read().count(os.environ["FROM"]))
except OSError:
    print(0)' "$root/${files[i]}")"
    if [ "$found" != 1 ]; then
      printf '%-9s [%s] its text is in %s %s times\n' STALE "${names[i]}" "${files[i]}" "$found"
      stale_count=$((stale_count + 1))
    fi
  done
  echo "check: ${#selected[@]} mutations, $stale_count stale"
  [ "$stale_count" = 0 ]
  exit
fi

if [ -n "$(git -C "$root" status --porcelain --untracked-files=no)" ]; then
  echo "mutate.sh: the tree has uncommitted changes; commit or stash them first:" \
    "the mutations edit sources in place" >&2
  exit 2
fi

# --- putting files back ---------------------------------------------------------
work="$(mktemp -d "${TMPDIR:-/tmp}/mutate.XXXXXX")"
mutated=""  # repository path of the file that holds a mutation now
runner=""   # pid of the running bounded test run
touched=()  # targets built with a mutation in them

restore() {
  if [ -n "$mutated" ]; then
    # Written anew rather than copied with its old time: the build must see
    # the file change back and rebuild what the mutation reached.
    cat "$work/original" > "$root/$mutated"
    mutated=""
  fi
}

on_exit() {
  if [ -n "$runner" ]; then
    kill -TERM "$runner" 2> /dev/null
    wait "$runner" 2> /dev/null
    runner=""
  fi
  restore
  rm -rf "$work"
}
trap on_exit EXIT
trap 'echo; echo "mutate.sh: interrupted; the sources are restored" >&2; exit 130' INT TERM HUP

# --- building and testing -------------------------------------------------------
logs="$build/mutation-logs"
mkdir -p "$logs"

# The executables that hold the tests a pattern selects.
targets_of() {
  local pattern="$1"
  ctest --test-dir "$build" -N --show-only=json-v1 -R "$pattern" 2> /dev/null |
    python3 -c '
import json, os, sys
tests = json.load(sys.stdin).get("tests", [])
print(" ".join(sorted({os.path.basename(t["command"][0]) for t in tests if t.get("command")})))'
}

build_for() {
  local targets="$1" log="$2"
  if [ "$full" = 1 ] || [ -z "$targets" ]; then
    nice -n 10 cmake --build "$build" >> "$log" 2>&1
  else
    # shellcheck disable=SC2086
    nice -n 10 cmake --build "$build" --target $targets >> "$log" 2>&1
  fi
}

# Runs ctest in its own process group under the bound: a hung test binary is
# killed with everything it started. The gtest tests carry a TIMEOUT property
# of their own, which ctest --timeout does not shorten, hence the outer bound.
# Sets run_status: 0 passed, 1 a test failed, 2 timed out, 3 no test matched.
run_tests() {
  local pattern="$1" log="$2"
  local args=(--test-dir "$build" --timeout "$bound" --no-tests=error)
  if [ -n "$pattern" ]; then
    args+=(-R "$pattern")
  fi
  timeout -k 15 "$bound" nice -n 10 ctest "${args[@]}" >> "$log" 2>&1 &
  runner=$!
  wait "$runner"
  local rc=$?
  runner=""
  if grep -q '^No tests were found' "$log"; then
    run_status=3
  elif [ "$rc" = 0 ]; then
    run_status=0
  elif grep -Eq '\*\*\*(Failed|Exception)|Subprocess aborted|SEGFAULT|Child aborted' "$log"; then
    run_status=1
  elif [ "$rc" = 124 ] || [ "$rc" = 137 ] || grep -q '\*\*\*Timeout' "$log"; then
    run_status=2
  else
    run_status=1
  fi
}

first_failure() {
  grep -E '\*\*\*(Failed|Exception|Timeout)|Subprocess aborted|Child aborted' "$1" |
    sed -E 's/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: ([^ ]+) .*/\1/' | head -n 1
}

# The test that was running when the bound ended the run: the last one
# started, since ctest runs them one at a time.
last_started() {
  grep -E '^ *Start +[0-9]+: ' "$1" | tail -n 1 | sed -E 's/^ *Start +[0-9]+: //'
}

# Applies mutation i to its file; 0 on success, 1 when its text is not there
# exactly once.
apply() {
  local i="$1"
  local path="$root/${files[i]}"
  [ -f "$path" ] || return 1
  cp "$path" "$work/original"
  FROM="${froms[i]}" TO="${tos[i]}" python3 - "$path" << 'EOF' || return 1
import os, sys
path = sys.argv[1]
text = open(path, encoding="utf-8", newline="").read()
old, new = os.environ["FROM"], os.environ["TO"]
if text.count(old) != 1:
    sys.exit(1)
open(path, "w", encoding="utf-8", newline="").write(text.replace(old, new, 1))
EOF
  mutated="${files[i]}"
}

# --- the run --------------------------------------------------------------------
# One pattern for all the tests the mutations name. CMake's regular
# expressions allow few groups, so the alternatives are joined bare (an
# alternation binds loosest) and each is named once.
union="$(for i in "${selected[@]}"; do printf '%s\n' "${tests[i]}"; done | python3 -c '
import sys
seen = []
for pattern in sys.stdin.read().split("\n"):
    parts = [pattern] if "(" in pattern else pattern.split("|")
    seen += [part for part in parts if part and part not in seen]
print("|".join(seen))')"
[ "$full" = 1 ] && union=""

echo "mutate.sh: ${#selected[@]} mutations, build tree $build, bound ${bound}s a run"
if [ "$baseline" = 1 ]; then
  log="$logs/baseline.log"
  : > "$log"
  echo "baseline: building and running the unmutated tests"
  started=$SECONDS
  if ! build_for "$( [ "$full" = 1 ] || targets_of "$union")" "$log"; then
    echo "mutate.sh: the unmutated tree does not build; see $log" >&2
    exit 2
  fi
  run_tests "$union" "$log"
  if [ "$run_status" != 0 ]; then
    echo "mutate.sh: the unmutated tree fails its tests (first: $(first_failure "$log")); see $log" >&2
    exit 2
  fi
  echo "baseline: passed in $((SECONDS - started))s"
fi

caught=() hung=() survived=() stale=() broken=()
for i in "${selected[@]}"; do
  name="${names[i]}"
  log="$logs/$name.log"
  printf '[%s] %s\n%s\n' "$name" "${descriptions[i]}" "${files[i]}" > "$log"
  started=$SECONDS
  if [ "$full" = 1 ]; then
    targets=""
    pattern=""
  else
    targets="$(targets_of "${tests[i]}")"
    pattern="${tests[i]}"
    if [ -z "$targets" ]; then
      printf '%-9s [%s] no test matches %s\n' STALE "$name" "${tests[i]}"
      stale+=("$name (no test matches ${tests[i]})")
      continue
    fi
  fi
  if ! apply "$i"; then
    printf '%-9s [%s] its text is not in %s exactly once\n' STALE "$name" "${files[i]}"
    stale+=("$name (text not found once in ${files[i]})")
    continue
  fi
  read -r -a more <<< "$targets"
  touched+=("${more[@]}")
  if ! build_for "$targets" "$log"; then
    restore
    printf '%-9s [%s] the mutated tree does not build; see %s\n' BROKEN "$name" "$log"
    broken+=("$name")
    continue
  fi
  run_tests "$pattern" "$log"
  restore
  seconds=$((SECONDS - started))
  case "$run_status" in
    0)
      printf '%-9s [%s] %s (%ss)\n' SURVIVED "$name" "${descriptions[i]}" "$seconds"
      survived+=("$name: ${descriptions[i]}")
      ;;
    1)
      printf '%-9s [%s] by %s (%ss)\n' CAUGHT "$name" "$(first_failure "$log")" "$seconds"
      caught+=("$name")
      ;;
    2)
      printf '%-9s [%s] only by the %ss bound, in %s\n' HANG "$name" "$bound" \
        "$(last_started "$log")"
      hung+=("$name: ${descriptions[i]}")
      ;;
    3)
      printf '%-9s [%s] no test matches %s\n' STALE "$name" "${tests[i]}"
      stale+=("$name (no test matches ${tests[i]})")
      ;;
  esac
done

# The build tree goes back to the sources as they are.
if [ ${#touched[@]} -gt 0 ] || [ "$full" = 1 ]; then
  echo "rebuilding the unmutated tree"
  : > "$logs/restore.log"
  build_for "$(printf '%s\n' "${touched[@]}" | sort -u | tr '\n' ' ')" "$logs/restore.log" ||
    echo "mutate.sh: the rebuild of the unmutated tree failed; see $logs/restore.log" >&2
fi
if [ -n "$(git -C "$root" status --porcelain --untracked-files=no)" ]; then
  echo "mutate.sh: the tree differs from what it was; check git status" >&2
  exit 2
fi

echo
echo "summary: ${#selected[@]} mutations: ${#caught[@]} caught, ${#hung[@]} hung," \
  "${#survived[@]} survived, ${#stale[@]} stale, ${#broken[@]} broken (logs in $logs)"
for entry in "${survived[@]}"; do echo "  survived: $entry"; done
for entry in "${hung[@]}"; do echo "  hung: $entry"; done
for entry in "${stale[@]}"; do echo "  stale: $entry"; done
for entry in "${broken[@]}"; do echo "  broken: $entry"; done
[ ${#survived[@]} -eq 0 ] && [ ${#hung[@]} -eq 0 ]
