#!/usr/bin/env bash
# Fuzzing with libFuzzer (needs clang). Builds the targets in build-fuzz.
#
#   tools/fuzz.sh replay                    the test command's step: replays
#       every target's committed corpus and its regression inputs once
#   tools/fuzz.sh check [SECONDS]           the deep check's step: replays
#       every target's committed corpus (fuzz/corpus/<target>) and its
#       regression inputs (tests/regressions/<target>), then fuzzes each
#       target for SECONDS (default 60, all targets at once); fails on any
#       crash, leak, timeout or out-of-memory input
#   tools/fuzz.sh [SECONDS] [TARGET...]     the long campaign, e.g.
#       tools/fuzz.sh 7200 decoder
#
# The campaign runs every target at once, each for SECONDS (default 3600),
# at the lowest priority. Each target grows its own working corpus, seeded
# from the committed one; crashes, leaks, timeouts and out-of-memory inputs
# are kept under the work directory, and the run goes on after them.
# Afterwards: reproduce a finding with build-fuzz/fuzz/<target>_fuzzer FILE,
# and fold the new inputs into the committed corpus, kept small, with
#   build-fuzz/fuzz/<target>_fuzzer -merge=1 fuzz/corpus/<target> <work>/<target>/corpus
set -euo pipefail
cd "$(dirname "$0")/.."

all_targets=(decoder frame_loader decode)
# Memory: libFuzzer's own limits, well above what the fuzzers' decoders may
# take (their pool is capped at 48 MiB; the frame loader's at what 240-wide
# pictures need).
limits=(-rss_limit_mb=2048 -malloc_limit_mb=1024 -timeout=20)

mode=campaign
if [ "${1:-}" = check ] || [ "${1:-}" = replay ]; then
  mode=$1
  shift
fi
seconds=${1:-}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${all_targets[@]}")
if [ -z "$seconds" ]; then
  if [ $mode = campaign ]; then seconds=3600; else seconds=60; fi
fi

# Warnings are not errors here: the warning-free build is the g++ one, and
# clang warns about some things g++ does not.
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMARIVUE_FUZZ=ON -DMARIVUE_TESTS=OFF -DMARIVUE_WERROR=OFF >/dev/null
for target in "${targets[@]}"; do
  nice -n 19 cmake --build build-fuzz --target "${target}_fuzzer" -j"$(nproc)"
done

if [ $mode != campaign ]; then
  findings=build-fuzz/check-findings
  rm -rf "$findings"
  mkdir -p "$findings"
  for target in "${targets[@]}"; do
    echo "== $target: committed corpus and regression inputs"
    "build-fuzz/fuzz/${target}_fuzzer" "${limits[@]}" -runs=0 \
      -artifact_prefix="$findings/$target-" fuzz/corpus/"$target" tests/regressions/"$target"
  done
  if [ $mode = replay ]; then
    echo "fuzz replay: no findings"
    exit 0
  fi
  pids=()
  scratch_dirs=()
  for target in "${targets[@]}"; do
    scratch=$(mktemp -d)
    scratch_dirs+=("$scratch")
    echo "== $target: fuzzing for ${seconds}s (log $findings/$target.log)"
    # New inputs go to a scratch directory; the committed corpus only seeds.
    nice -n 19 "build-fuzz/fuzz/${target}_fuzzer" "${limits[@]}" -dict=fuzz/jpeg.dict \
      -max_total_time="$seconds" -max_len=65536 -print_final_stats=1 \
      -artifact_prefix="$findings/$target-" "$scratch" fuzz/corpus/"$target" \
      >"$findings/$target.log" 2>&1 &
    pids+=($!)
  done
  status=0
  for i in "${!pids[@]}"; do
    if ! wait "${pids[$i]}"; then
      status=1
      echo "fuzzing ${targets[$i]} found a failure:" >&2
      tail -n 40 "$findings/${targets[$i]}.log" >&2
    fi
  done
  rm -rf "${scratch_dirs[@]}"
  for target in "${targets[@]}"; do grep -E "^stat::number_of_executed_units|DONE" "$findings/$target.log" | tail -2; done
  [ $status -eq 0 ] && echo "fuzz check: no findings" || ls -l "$findings" >&2
  exit $status
fi

work=${FUZZ_WORK:-build-fuzz/campaign}
pids=()
for target in "${targets[@]}"; do
  dir="$work/$target"
  mkdir -p "$dir/corpus" "$dir/artifacts"
  # The campaign runs a copy, so that rebuilding meanwhile changes nothing:
  # in fork mode every job starts the program afresh.
  cp "build-fuzz/fuzz/${target}_fuzzer" "$dir/fuzzer"
  cp -n fuzz/corpus/"$target"/* "$dir/corpus/" 2>/dev/null || true
  echo "fuzzing $target for ${seconds}s: log $dir/log.txt, findings $dir/artifacts/"
  # -fork=1 runs the fuzzing in a child that is restarted after a finding,
  # so one crash does not end the campaign.
  nice -n 19 "$dir/fuzzer" "$dir/corpus" \
    -dict=fuzz/jpeg.dict -max_total_time="$seconds" "${limits[@]}" -max_len=65536 \
    -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
    -artifact_prefix="$dir/artifacts/" -print_final_stats=1 \
    >"$dir/log.txt" 2>&1 &
  pids+=($!)
done
status=0
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
for target in "${targets[@]}"; do
  echo "== $target"; grep -E "^#[0-9]+" "$work/$target/log.txt" | tail -1 || true
  ls "$work/$target/artifacts"
done
exit $status
