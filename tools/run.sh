#!/usr/bin/env bash
# Builds Marivue and starts the viewer. Arguments are passed to it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" >/dev/null
exec build/app/marivue "$@"
