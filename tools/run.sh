#!/usr/bin/env bash
# Builds the viewer and starts it. Arguments are passed to it.
#
# Installs only what building and running need, and builds only the viewer,
# without the tests, in build-run (tools/test.sh builds everything in build).
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup.sh --run
cmake -S . -B build-run -DCMAKE_BUILD_TYPE=Release -DMARIVUE_TESTS=OFF >/dev/null
cmake --build build-run --target marivue -j"$(nproc)" >/dev/null
exec build-run/app/marivue "$@"
