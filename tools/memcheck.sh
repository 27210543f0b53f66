#!/usr/bin/env bash
# Runs every test program of the suite once, whole, under Valgrind memcheck
# in an ordinary (unsanitised) build, and fails on any memory error or leak
# that Valgrind reports (definite, indirect or possible), or on a failing test.
#
#   tools/memcheck.sh [BUILD_DIR]        default build-leak
#
# The build must not use the sanitizers (they and Valgrind exclude each other).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build-leak}
jobs=$(nproc)
# An existing build directory is used as it is configured (the test command
# passes its ordinary build); a new one gets debug information for the reports.
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMARIVUE_WERROR=ON >/dev/null
fi
cmake --build "$build" -j"$jobs" >/dev/null

# One line per run: working directory, then the command. A GoogleTest
# program runs once, whole; any other test runs as ctest would run it.
programs=$(ctest --test-dir "$build" --show-only=json-v1 | python3 -c '
import json, shlex, sys
seen = {}
for test in json.load(sys.stdin)["tests"]:
    command = test.get("command")
    if not command:
        continue
    wd = next((p["value"] for p in test.get("properties", []) if p["name"] == "WORKING_DIRECTORY"), ".")
    if any(a.startswith("--gtest_filter") for a in command):
        command = command[:1]
    seen.setdefault(shlex.join(command), wd)
for command, wd in seen.items():
    print(wd, command)
')

logs="$PWD/$build/memcheck"
rm -rf "$logs"
mkdir -p "$logs"
run_one() {
  local wd=$1
  shift
  local name log start=$SECONDS rc=0
  name=$(basename "$1")
  [ $# -gt 1 ] && name="$name-$(echo "${*:2}" | md5sum | cut -c1-8)"
  log="$logs/$name.log"
  # Valgrind follows no child processes: a test that is a script around
  # other programs says nothing here.
  if [[ "$1" != "$build_abs"/* ]]; then
    printf '%-44s        skipped: %s is not a program of this build\n' "$name" "$1"
    return 0
  fi
  (cd "$wd" && valgrind --quiet --leak-check=full --errors-for-leak-kinds=definite,indirect,possible \
     --show-leak-kinds=definite,indirect,possible --error-exitcode=99 \
     --suppressions="$supp" --soname-synonyms=somalloc=nouserintercepts "$@" >"$log" 2>&1) || rc=$?
  local verdict=ok
  if [ $rc -eq 99 ]; then
    verdict="MEMORY ERROR OR LEAK"
  elif [ $rc -ne 0 ] && [[ "$*" == *" "* ]]; then
    verdict="exit $rc (a command-line test: ctest judges its exit code)"
    rc=0
  elif [ $rc -ne 0 ]; then
    verdict="TESTS FAILED (exit $rc)"
  fi
  printf '%-44s %4ss  %s\n' "$name" $((SECONDS - start)) "$verdict"
  [ $rc -eq 0 ]
}
export -f run_one
# Test programs that replace operator new to count or refuse allocations
# keep their own: memcheck then only sees the malloc calls underneath.
supp="$PWD/tools/valgrind.supp"
build_abs="$PWD/$build"
export logs supp build_abs
status=0
echo "$programs" | xargs -P "$jobs" -L 1 bash -c 'run_one "$@"' _ || status=1
[ $status -eq 0 ] && echo "memcheck: no errors, no leaks" || echo "memcheck: see $logs/*.log" >&2
exit $status
