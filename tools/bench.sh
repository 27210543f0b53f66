#!/usr/bin/env bash
# Builds and runs the decoding benchmark: this decoder, the reference
# library with and without its vector code, and stb_image, on the picture
# collection, large photographs (baseline and progressive), a grey set and
# the 12-megapixel baseline picture alone, and the photographer's sets: detailed
# 12-megapixel pictures and smooth 24- and 33-megapixel ones, each 4:2:0 and
# 4:4:4, baseline and progressive; this decoder also at 1/2, 1/4 and 1/8 of
# the size through its one-call decode (Options::scale).
# Arguments are passed to jpeg-bench (for instance --reps 9).
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup.sh
if ! dpkg-query -W -f='${Status}' libstb-dev 2>/dev/null | grep -q "install ok installed"; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends libstb-dev
fi

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DMARIVUE_TESTS=OFF >/dev/null
cmake --build build-bench -j"$(nproc)" --target jpeg-bench make-bench-files >/dev/null
files=build-bench/bench-files
build-bench/bench/make-bench-files "$files"
# The 12-megapixel baseline picture alone, the one the reduced sizes are
# measured against.
mkdir -p "$files/12mp"
ln -sf ../large/2240_4000x3000.jpg "$files/12mp/2240_4000x3000.jpg"
echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')"
build-bench/bench/jpeg-bench --collection resources/pictures "$@" \
  collection=resources/pictures large="$files/large" large-prog="$files/large-progressive" grey="$files/grey" \
  12mp="$files/12mp" \
  detail-420="$files/detailed-420" detail-420p="$files/detailed-420-progressive" \
  detail-444="$files/detailed-444" detail-444p="$files/detailed-444-progressive" \
  smooth-420="$files/smooth-420" smooth-420p="$files/smooth-420-progressive" \
  smooth-444="$files/smooth-444" smooth-444p="$files/smooth-444-progressive"
