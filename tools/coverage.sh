#!/usr/bin/env bash
# Line coverage of the decoder (jpeg/) and the viewer logic (app/) under the
# test suite, measured with clang's source-based coverage.
#
#   bash tools/coverage.sh [--build DIR]
#
# The install test is left out: it builds the library again outside this
# build, without the coverage runtime.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-coverage
[ "${1:-}" = --build ] && build=$2
jobs=$(nproc)
flags="-fprofile-instr-generate -fcoverage-mapping"

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
cmake --build "$build" -j"$jobs" >/dev/null
rm -rf "$build/profiles"
mkdir -p "$build/profiles"
LLVM_PROFILE_FILE="$PWD/$build/profiles/%p-%m.profraw" \
    ctest --test-dir "$build" -j"$jobs" -E '^install_' --output-on-failure >"$build/coverage-ctest.log" 2>&1 ||
    { tail -20 "$build/coverage-ctest.log"; echo "coverage: tests failed" >&2; exit 1; }
llvm-profdata merge -sparse "$build"/profiles/*.profraw -o "$build/coverage.profdata"

# Every program the build made (tests, the viewer, jpeg-decode): together
# they ran the covered code.
programs=()
while IFS= read -r f; do
    [ "$(head -c 4 "$f" | tr -d '\0')" = $'\x7fELF' ] && programs+=("$f")
done < <(find "$build" -type f -perm -u+x ! -path '*/CMakeFiles/*' ! -name '*.so*' | sort)
objects=("${programs[0]}")
for f in "${programs[@]:1}"; do objects+=(-object "$f"); done
for dir in jpeg app; do
    line=$(llvm-cov report "${objects[@]}" -instr-profile="$build/coverage.profdata" \
        $(find "$PWD/$dir" -name '*.cpp' | sort) | grep '^TOTAL')
    # TOTAL columns: regions, missed, cover, functions, missed, cover, lines, missed, cover, ...
    echo "$line" | awk -v dir="$dir" '{printf "%s/: line coverage %s (%d of %d lines)\n", dir, $10, $8 - $9, $8}'
done
