#!/usr/bin/env bash
# The long fuzzing campaign: builds the libFuzzer targets with clang in
# build-fuzz and runs every target at once, each for SECONDS (default 3600),
# at the lowest priority. Each target grows its own working corpus, seeded
# from the committed one in fuzz/corpus/<target>; crashes, leaks, timeouts
# and out-of-memory inputs are kept, and the run goes on after them.
#
#   tools/fuzz.sh [SECONDS] [TARGET...]      e.g. tools/fuzz.sh 7200 decoder
#
# Afterwards: reproduce a finding with build-fuzz/fuzz/<target>_fuzzer FILE,
# and fold the new inputs into the committed corpus, kept small, with
#   build-fuzz/fuzz/<target>_fuzzer -merge=1 fuzz/corpus/<target> <work>/corpus
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-3600}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(decoder frame_loader)

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMARIVUE_FUZZ=ON -DMARIVUE_TESTS=OFF -DMARIVUE_WERROR=ON >/dev/null
for target in "${targets[@]}"; do
  nice -n 19 cmake --build build-fuzz --target "${target}_fuzzer" -j"$(nproc)"
done

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
    -dict=fuzz/jpeg.dict -max_total_time="$seconds" -timeout=20 \
    -rss_limit_mb=2048 -malloc_limit_mb=1024 -max_len=65536 \
    -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
    -artifact_prefix="$dir/artifacts/" -print_final_stats=1 \
    >"$dir/log.txt" 2>&1 &
  pids+=($!)
done
status=0
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
for target in "${targets[@]}"; do
  echo "== $target"; grep -E "^#[0-9]+.*(DONE|pulse|NEW)|stat::" "$work/$target/log.txt" | tail -3 || true
  ls "$work/$target/artifacts"
done
exit $status
