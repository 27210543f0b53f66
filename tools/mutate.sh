#!/usr/bin/env bash
# Mutation check: how many deliberately broken builds does the test suite
# notice? Applies each mutant of tools/mutation/mutants.txt (one small change
# to the decoder or the viewer) in turn, rebuilds incrementally, runs the
# suite until its first failure, and puts the source back.
#
#   bash tools/mutate.sh [--build DIR] [--only N[,N...]]
#
# Prints one line a mutant (killed, SURVIVED, not built or not applied) and a summary.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build-mutate
only=""
while [ $# -gt 0 ]; do
    case "$1" in
        --build) build=$2; shift 2 ;;
        --only) only=",$2,"; shift 2 ;;
        *) echo "usage: bash tools/mutate.sh [--build DIR] [--only N[,N...]]" >&2; exit 2 ;;
    esac
done
list=tools/mutation/mutants.txt
jobs=$(nproc)

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$jobs" >/dev/null
if ! ctest --test-dir "$build" -j"$jobs" --timeout 120 >"$build/mutate-baseline.log" 2>&1; then
    echo "mutate: the unmutated suite fails; see $build/mutate-baseline.log" >&2
    exit 1
fi

backup=""
# The restored file gets a new time stamp, so the next build compiles it
# again instead of keeping the mutant's object file.
restore() { if [ -n "$backup" ]; then cp "$backup" "${backup%.mutate-orig}"; rm -f "$backup"; backup=""; fi; }
trap restore EXIT INT TERM

# apply FILE ORIGINAL REPLACEMENT: exactly one occurrence must exist.
apply() {
    python3 - "$@" <<'PY'
import sys
path, old, new = sys.argv[1], sys.argv[2].replace("<NL>", "\n"), sys.argv[3].replace("<NL>", "\n")
text = open(path, encoding="utf-8").read()
if text.count(old) != 1:
    sys.exit(f"{path}: the original text occurs {text.count(old)} times")
open(path, "w", encoding="utf-8").write(text.replace(old, new))
PY
}

n=0 killed=0 survived=0 unbuilt=0
while IFS=$'\t' read -r file original replacement what; do
    case "$file" in ''|'#'*) continue ;; esac
    n=$((n + 1))
    if [ -n "$only" ] && [[ "$only" != *",$n,"* ]]; then continue; fi
    cp "$file" "$file.mutate-orig"
    backup="$file.mutate-orig"
    if ! apply "$file" "$original" "$replacement"; then
        result="not applied"; unbuilt=$((unbuilt + 1))
    elif ! cmake --build "$build" -j"$jobs" >"$build/mutate-build.log" 2>&1; then
        result="not built"; unbuilt=$((unbuilt + 1))
    elif ctest --test-dir "$build" -j"$jobs" --timeout 120 --stop-on-failure >"$build/mutate-$n.log" 2>&1; then
        result="SURVIVED"; survived=$((survived + 1))
    else
        result="killed"; killed=$((killed + 1))
    fi
    restore
    printf '%2d %-9s %-22s %s\n' "$n" "$result" "$file" "$what"
done <"$list"
# Rebuild the unmutated sources so the build directory is left as it was.
cmake --build "$build" -j"$jobs" >/dev/null
echo "mutants: $killed of $((killed + survived)) detected ($survived survived, $unbuilt not built or not applied)"
