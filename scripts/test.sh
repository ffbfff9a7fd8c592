#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the default build, then the address and
# undefined-behaviour sanitizer build, then the thread sanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

for preset in default asan tsan; do
    echo "== $preset build =="
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset"
done
