#!/usr/bin/env bash
# Checks the sources' format, builds Marivue and runs every test: once in a
# warning-free Release build, once more under AddressSanitizer and
# UndefinedBehaviorSanitizer, then replays the fuzzers' committed corpora and
# findings. Ends with one line saying what ran and what passed.
#
#   bash tools/test.sh           the test command (CI runs this)
#   bash tools/test.sh --deep    also every test program under Valgrind
#                                memcheck, the threaded tests under
#                                ThreadSanitizer and a minute of fuzzing per
#                                target
set -uo pipefail
cd "$(dirname "$0")/.."

deep=0
case "${1:-}" in
  "") ;;
  --deep) deep=1 ;;
  *) echo "usage: bash tools/test.sh [--deep]" >&2; exit 2 ;;
esac

bash tools/setup.sh || exit 1
jobs=$(nproc)
passed=0 failed=0
steps=()

# ctest_step NAME BUILD_DIR [ENV...] [-- CTEST_ARGS...]: runs the suite of
# one build (or the tests CTEST_ARGS select) and adds its counts to the
# totals.
ctest_step() {
  local name=$1 dir=$2 log
  shift 2
  local environment=() selection=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do environment+=("$1"); shift; done
  [ $# -gt 0 ] && shift && selection=("$@")
  log="$dir/ctest-summary.log"
  env "${environment[@]}" ctest --test-dir "$dir" --output-on-failure -j"$jobs" "${selection[@]}" 2>&1 | tee "$log"
  local line
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
  if [ -z "$line" ]; then
    steps+=("$name: no test result")
    failed=$((failed + 1))
    return
  fi
  local bad total
  bad=$(echo "$line" | sed -E 's/.* ([0-9]+) tests? failed.*/\1/')
  total=$(echo "$line" | sed -E 's/.*out of ([0-9]+).*/\1/')
  passed=$((passed + total - bad))
  failed=$((failed + bad))
  steps+=("$name: $((total - bad))/$total")
}

# build_step NAME BUILD_DIR CMAKE_ARGS...: configures and builds; a failed
# build counts as one failure and its tests are not run.
build_step() {
  local name=$1 dir=$2
  shift 2
  if cmake -S . -B "$dir" "$@" && cmake --build "$dir" -j"$jobs"; then
    return 0
  fi
  steps+=("$name: BUILD FAILED")
  failed=$((failed + 1))
  return 1
}

# other_step NAME COMMAND...: a check that passes or fails as a whole.
other_step() {
  local name=$1
  shift
  if "$@"; then
    passed=$((passed + 1)); steps+=("$name: ok")
  else
    failed=$((failed + 1)); steps+=("$name: FAILED")
  fi
}

# Every C and C++ source follows .clang-format.
check_format() {
  git ls-files '*.cpp' '*.h' '*.hpp' '*.c' | grep -v -E '/(fixtures|corpus)/' | xargs clang-format --dry-run --Werror
}
other_step "clang-format" check_format

if build_step release build -DCMAKE_BUILD_TYPE=Release -DMARIVUE_WERROR=ON; then
  ctest_step release build
fi
# Line tables are all the sanitizers' reports need; full debugging
# information only lengthens the build.
if build_step sanitizers build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMARIVUE_WERROR=ON -DMARIVUE_SANITIZE=ON \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG"; then
  ctest_step sanitizers build-sanitize ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1
fi

# The fuzzers need clang and its fuzzing runtime, which set-up installs.
if command -v clang++ >/dev/null 2>&1; then
  if [ $deep = 1 ]; then
    other_step "fuzz replay and a minute per target" bash tools/fuzz.sh check 60
  else
    other_step "fuzz corpus replay" bash tools/fuzz.sh replay
  fi
else
  steps+=("fuzzing: skipped, clang++ is not installed")
fi
if [ $deep = 1 ]; then
  other_step "valgrind memcheck" bash tools/memcheck.sh build
  # The tests that run threads (the photo view's worker threads, the
  # decoder's second thread) under ThreadSanitizer, in a build of those
  # programs alone. Without -Werror: at this build's optimisation GCC 12
  # takes a vector insert in the test's JPEG builder for an out-of-bounds
  # copy (-Warray-bounds), which the other builds do not see.
  threaded='^(PictureWork|PictureDecode|JpegApi|SplitScan|ScanThreads)\.'
  if cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMARIVUE_WERROR=OFF -DMARIVUE_THREAD_SANITIZER=ON &&
    cmake --build build-tsan -j"$jobs" --target test_photo_decode test_jpeg_api test_jpeg_split; then
    ctest_step "thread sanitizer" build-tsan TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 -- -R "$threaded"
  else
    steps+=("thread sanitizer: BUILD FAILED")
    failed=$((failed + 1))
  fi
fi

echo
echo "== test.sh summary"
for s in "${steps[@]}"; do echo "   $s"; done
echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
