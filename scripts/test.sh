#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the default build, the address and
# undefined-behaviour sanitizer build, the thread sanitizer build, then the Windows build,
# cross-compiled with MinGW-w64, whose tests run under Wine in a private prefix. Prints how long
# each part took.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

timings=()
started=$SECONDS

finished() {
    timings+=("$(printf '%-8s %4d s' "$1" $((SECONDS - started)))")
    started=$SECONDS
}

for preset in default asan tsan; do
    echo "== $preset build =="
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset"
    finished "$preset"
done

echo "== windows build (MinGW-w64; tests under Wine) =="
cmake --preset windows >/dev/null
cmake --build --preset windows
# The prefix that the windows test preset names. One wine server, kept up, serves the whole run;
# wineboot makes the prefix the first time and starts Wine's own services with their output away
# from ctest, which would otherwise wait for those services to close the output of the first test
# program to start them.
export WINEPREFIX="$PWD/build/windows/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
"$wineserver" -p 2>/dev/null || true
trap '"$wineserver" -k 2>/dev/null || true' EXIT
"$wine" wineboot -i >/dev/null 2>&1
ctest --preset windows
finished windows

echo "== time of each part =="
printf '%s\n' "${timings[@]}"
