#!/usr/bin/env bash
# Builds Marivue and runs every test: once in a normal warning-free build,
# then again under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup.sh
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DMARIVUE_WERROR=ON
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMARIVUE_WERROR=ON -DMARIVUE_SANITIZE=ON
cmake --build build-sanitize -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-sanitize --output-on-failure -j"$jobs"

# ---- Valgrind memcheck over the ordinary build (only where valgrind is installed) ----
# Every test program once more, whole, failing on any memory error or leak.
if command -v valgrind >/dev/null 2>&1; then
  bash tools/memcheck.sh build
else
  echo "memcheck skipped: valgrind is not installed"
fi

# ---- Fuzz targets (only where clang is installed) ----
# Replays each fuzz target's committed corpus and the regression inputs of
# its findings, then fuzzes every target for about a minute; the long
# campaign is tools/fuzz.sh.
if command -v clang++ >/dev/null 2>&1; then
  bash tools/fuzz.sh check 60
else
  echo "fuzz check skipped: clang++ is not installed"
fi
