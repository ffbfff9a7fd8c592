#!/usr/bin/env bash
# A file through "zelio serve --out" and "zelio cat --in", against the same file through socat
# listening and connecting on the same socket path, in interleaved rounds. Prints each round and
# the median rates, and the ratio zelio / socat (socat as it comes, with its 8 KiB buffer). socat
# with a 64 KiB buffer (-b 65536) runs too, for reference: zelio's transfers are the library's,
# at most 4096 bytes each. A benchmark, not a test: the machine is shared.
#
#   bench/tools/cat_vs_socat.sh [ZELIO] [SIZE_MIB] [ROUNDS]
#
# ZELIO defaults to build/default/tools/zelio/zelio, SIZE_MIB to 1024, ROUNDS to 5. socat must be
# installed (it is no dependency of the project).
set -euo pipefail
cd "$(dirname "$0")/../.."
zelio=${1:-build/default/tools/zelio/zelio}
size_mib=${2:-1024}
rounds=${3:-5}
command -v socat >/dev/null || { echo "socat is not installed" >&2; exit 1; }
[ -x "$zelio" ] || { echo "no zelio at $zelio: build it first" >&2; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export XDG_RUNTIME_DIR=$scratch/run
mkdir -m 700 "$XDG_RUNTIME_DIR"
source_file=$scratch/source
head -c "$((size_mib << 20))" /dev/urandom > "$source_file"
cat "$source_file" > /dev/null   # in the page cache for both
name=bench-pipe
socket_path=$XDG_RUNTIME_DIR/zelio-pipes-$(id -u)/$name

now() { date +%s.%N; }

zelio_round() {
    "$zelio" serve -v --out "$name" < "$source_file" 2> "$scratch/serve.err" &
    local server=$!
    until grep -q serving "$scratch/serve.err" 2>/dev/null; do sleep 0.01; done
    local start; start=$(now)
    "$zelio" cat --in "$name" > /dev/null
    wait "$server"
    echo "$start $(now)" | awk '{ print $2 - $1 }'
}

socat_round() {
    local options=("$@")
    mkdir -p -m 700 "$(dirname "$socket_path")"
    rm -f "$socket_path"
    socat "${options[@]}" -u STDIN "UNIX-LISTEN:$socket_path" < "$source_file" &
    local server=$!
    until [ -S "$socket_path" ]; do sleep 0.01; done
    local start; start=$(now)
    socat "${options[@]}" -u "UNIX-CONNECT:$socket_path" STDOUT > /dev/null
    wait "$server"
    echo "$start $(now)" | awk '{ print $2 - $1 }'
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

: > "$scratch/zelio.times"
: > "$scratch/socat.times"
: > "$scratch/socat64.times"
echo "load before: $(uptime)"
for round in $(seq "$rounds"); do
    z=$(zelio_round)
    s=$(socat_round)
    b=$(socat_round -b 65536)
    echo "$z" >> "$scratch/zelio.times"
    echo "$s" >> "$scratch/socat.times"
    echo "$b" >> "$scratch/socat64.times"
    awk -v r="$round" -v z="$z" -v s="$s" -v b="$b" -v m="$size_mib" \
        'BEGIN { printf "round %d: zelio %.0f MiB/s, socat %.0f MiB/s, socat -b 65536 %.0f MiB/s\n", r, m / z, m / s, m / b }'
done
z=$(median < "$scratch/zelio.times")
s=$(median < "$scratch/socat.times")
b=$(median < "$scratch/socat64.times")
echo "load after: $(uptime)"
awk -v z="$z" -v s="$s" -v b="$b" -v m="$size_mib" \
    'BEGIN { printf "median of %d MiB: zelio %.0f MiB/s, socat %.0f MiB/s (ratio %.2f), socat -b 65536 %.0f MiB/s (ratio %.2f)\n", m, m / z, m / s, s / z, m / b, b / z }'
