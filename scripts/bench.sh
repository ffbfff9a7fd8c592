#!/usr/bin/env bash
# Builds the default preset, runs every benchmark program under build/default/bench/ and prints a
# Markdown table of the results: for each case its floor, the floor's figure, the library's, and
# the ratio the benchmark reports, with the date and the machine's load. A full run also writes the
# table into README.md, between the bench-table markers of its "Performance" section.
#
#   scripts/bench.sh           5 repetitions of each case, the median of each figure; rewrites README.md
#   scripts/bench.sh --quick   one repetition, shorter runs: a smoke check; leaves README.md alone
#
# A program that fails, times out or skips a case leaves the case in the table, marked as failed,
# and the command then exits with status 1. The table goes to standard output, the build and the
# progress to standard error.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
    sed -n '2,12s/^# \{0,1\}//p' "$0" >&2
    exit 2
}

quick=0
for argument in "$@"; do
    case "$argument" in
    --quick) quick=1 ;;
    *) usage ;;
    esac
done

if ((quick)); then
    run_options=(--benchmark_repetitions=1 --benchmark_min_time=0.05)
    time_limit=600
else
    run_options=(--benchmark_repetitions=5 --benchmark_report_aggregates_only=true)
    time_limit=3600
fi

echo "== building the default preset ==" >&2
cmake --preset default >&2
cmake --build --preset default >&2

results=$(mktemp -d)
trap 'rm -rf "$results"' EXIT

# The programs in a fixed order (the cheap ones first), then any other *_bench the build made.
known=(streams/streams_bench bits/bits_bench utilities/md5_file_bench platform_bench pipes/pipes_bench
    channel/channel_bench)
programs=()
for program in "${known[@]}"; do
    programs+=("build/default/bench/$program")
done
while IFS= read -r found; do
    [[ " ${programs[*]} " == *" $found "* ]] || programs+=("$found")
done < <(find build/default/bench -type f -executable -name '*_bench' | sort)

read -r load_before _ < /proc/loadavg
date -u '+%Y-%m-%d %H:%M UTC' > "$results/date"

for program in "${programs[@]}"; do
    name=$(basename "$program")
    if [[ ! -x "$program" ]]; then
        echo "not built" > "$results/$name.status"
        continue
    fi
    echo "== $name ==" >&2
    status=0
    "$program" --benchmark_list_tests=true > "$results/$name.list" 2> "$results/$name.err" || status=$?
    if ((status == 0)); then
        timeout --kill-after=30 "$time_limit" "$program" --benchmark_format=json "${run_options[@]}" \
            > "$results/$name.json" 2>> "$results/$name.err" || status=$?
    fi
    if ((status == 0)); then
        echo "ok" > "$results/$name.status"
    elif ((status == 124)); then
        echo "timed out after $time_limit s" > "$results/$name.status"
    elif ((status > 128)); then
        echo "killed by SIG$(kill -l $((status - 128)))" > "$results/$name.status"
    else
        echo "exit status $status" > "$results/$name.status"
    fi
    if ((status != 0)); then
        echo "$name failed ($(cat "$results/$name.status")); the end of its standard error:" >&2
        tail -n 5 "$results/$name.err" >&2
    fi
done

read -r load_after _ < /proc/loadavg
cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)

# The table, from the saved reports: the Python part exits with status 3 when a case failed.
status=0
python3 - "$results" "$load_before" "$load_after" "$(nproc)" "$cpu" "$quick" "${programs[@]}" \
    > "$results/table.md" <<'PYTHON' || status=$?
import json
import os
import re
import statistics
import sys

results, load_before, load_after, cores, cpu, quick = sys.argv[1:7]
programs = sys.argv[7:]

# What each case measures and what its floor is: (program, name pattern, case, floor).
CASES = [
    ("streams_bench", r"MemoryInputRead4K", "memory input, 4 KiB reads", "memcpy, 4 KiB blocks"),
    ("streams_bench", r"StringInputRead4K", "string input, 4 KiB reads", "memcpy, 4 KiB blocks"),
    ("streams_bench", r"StringOutputWrite4K", "string output, 4 KiB writes", "memcpy, 4 KiB blocks"),
    ("streams_bench", r"FileInputRead64K", "file input, 64 KiB reads (cached file)", "fread, 64 KiB"),
    ("streams_bench", r"FileOutputWrite4K", "file output, 4 KiB writes", "fwrite + fflush, 4 KiB"),
    ("bits_bench", r"ReadBits/bits:(\d+)", "ReadBits, {0}-bit fields", "one-byte Read calls"),
    ("bits_bench", r"WriteBits/bits:(\d+)", "WriteBits, {0}-bit fields", "one-byte Write calls"),
    ("bits_bench", r"WriteData", "bit output WriteData", "one-byte Write calls"),
    ("md5_file_bench", r"MD5FileAgainstOpenSsl", "MD5Generate, 512 MiB cached file", "`openssl dgst -md5`"),
    ("md5_file_bench", r"MD5PeakMemory/sparse_6GiB:0", "MD5Generate, 512 MiB file, peak memory",
     "`openssl dgst -md5`"),
    ("md5_file_bench", r"MD5PeakMemory/sparse_6GiB:1", "MD5Generate, 6 GiB sparse file, peak memory",
     "`openssl dgst -md5`"),
    ("platform_bench", r"PipeTransferAgainstFloor", "Win32 layer: overlapped pipe transfers, 4 KiB",
     "socket pair, 4 KiB read/write"),
    ("pipes_bench", r"PipeTwoThreads/4096", "pipe streams, two threads, 4 KiB calls", "socket pair, 4 KiB"),
    ("pipes_bench", r"PipeTwoThreads/65536", "pipe streams, two threads, 64 KiB calls", "socket pair, 64 KiB"),
    ("pipes_bench", r"PipeTwoProcesses/peer_writes:0", "pipe stream writing to another process, 4 KiB",
     "socket pair, 4 KiB"),
    ("pipes_bench", r"PipeTwoProcesses/peer_writes:1", "pipe stream reading from another process, 4 KiB",
     "socket pair, 4 KiB"),
    ("pipes_bench", r"DuplexBothWays", "duplex pipe, both ways at once, 4 KiB", "socket pair, both ways"),
    ("channel_bench", r"ChannelFramesPerSecond/(\d+)", "channel, {0}-byte frames",
     "socket + reader-thread hand-off"),
    ("channel_bench", r"ChannelFourWriters/(\d+)", "channel, 4 writers, {0}-byte frames",
     "socket + hand-off, locked writes"),
    ("channel_bench", r"ChannelRoundTrip64", "channel, 64-byte round trip (time)",
     "socket + reader-thread hand-off"),
    ("channel_bench", r"ZeroMqFramesPerSecond/(\d+)", "channel, {0}-byte frames", "ZeroMQ PAIR over ipc"),
    ("channel_bench", r"ZeroMqRoundTrip64", "channel, 64-byte round trip (time)", "ZeroMQ PAIR over ipc"),
]

FLOOR_SIDES = ("floor", "zmq", "openssl")
LIBRARY_SIDES = ("zelio", "layer")
# The figure a case is judged by, in order of preference, and how it is written.
MAIN_UNITS = [
    ("GiBps", lambda v: "%.3g GiB/s" % v),
    ("MiB/s", lambda v: "%.0f MiB/s" % v),
    ("fps", lambda v: "{:,.0f} frames/s".format(v)),
    ("median_us", lambda v: "%.0f µs" % v),
]
NOTE_UNITS = [
    ("vcs_per_frame", "context switches per frame received", "%.2f"),
    ("vcs_per_trip", "context switches per round trip", "%.2f"),
    ("p99_us", "p99", "%.0f µs"),
    ("peak_MiB", "peak memory", "%.1f MiB"),
]


def short_name(run_name):
    name = re.sub(r"^BM_", "", run_name)
    return re.sub(r"/(iterations:\d+|real_time|repeats:\d+)", "", name)


def describe(program, name):
    for case_program, pattern, case, floor in CASES:
        match = re.fullmatch(pattern, name)
        if case_program == program and match:
            return case.format(*match.groups()), floor
    return name, "floor"


def read(path):
    try:
        with open(path) as file:
            return file.read()
    except OSError:
        return ""


def pair(counters, suffix):
    floor = next((counters[s + "_" + suffix] for s in FLOOR_SIDES if s + "_" + suffix in counters), None)
    library = next((counters[s + "_" + suffix] for s in LIBRARY_SIDES if s + "_" + suffix in counters), None)
    return floor, library


def floor_side(counters):
    """How the notes name the floor: the peer library or program, where the case runs one."""
    names = {"zmq": "ZeroMQ", "openssl": "openssl"}
    return next((names[s] for s in names if any(k.startswith(s + "_") for k in counters)), "floor")


def figures(entries):
    """The median of each figure over the case's repetitions (or Google Benchmark's own median)."""
    medians = [e for e in entries if e.get("run_type") == "aggregate" and e.get("aggregate_name") == "median"]
    if medians:
        return medians[0]
    runs = [e for e in entries if e.get("run_type", "iteration") == "iteration"]
    if not runs:
        return None
    keys = set.intersection(*(set(k for k, v in e.items() if isinstance(v, (int, float))) for e in runs))
    return {k: statistics.median(e[k] for e in runs) for k in keys}


def notes(counters):
    parts = []
    if "ratio_down" in counters and "ratio_up" in counters:
        parts.append("ratio each way: %.2f down, %.2f up" % (counters["ratio_down"], counters["ratio_up"]))
    for suffix, label, form in NOTE_UNITS:
        floor, library = pair(counters, suffix)
        if floor is not None and library is not None:
            parts.append("%s: %s %s, %s ZelIO" % (label, form % floor, floor_side(counters), form % library))
    if "idle_child_peak_MiB" in counters:
        parts.append("an idle child: %.1f MiB" % counters["idle_child_peak_MiB"])
    return "; ".join(parts)


def row(program, name, counters):
    case, floor_name = describe(program, name)
    for suffix, write in MAIN_UNITS:
        floor, library = pair(counters, suffix)
        if floor is not None and library is not None and "ratio" in counters:
            ratio = "%.2f" % counters["ratio"]
            return [program, case, floor_name, write(floor), write(library), ratio, notes(counters)]
    return failed_row(program, name, "no floor and library figures")


def failed_row(program, name, reason):
    case, floor_name = describe(program, name) if name else ("(every case)", "")
    return [program, case, floor_name, "", "", "**failed**: " + reason, ""]


def reported_cases(text):
    """The cases of a JSON report, also of one cut short: those written whole before the program ended."""
    try:
        return json.loads(text).get("benchmarks", [])
    except ValueError:
        pass
    start = text.find("[", text.find('"benchmarks"'))
    if start < 0:
        return []
    decoder, cases, position = json.JSONDecoder(), [], start + 1
    while True:
        position = text.find("{", position)
        if position < 0:
            return cases
        try:
            case, position = decoder.raw_decode(text, position)
        except ValueError:
            return cases
        cases.append(case)


def program_rows(path):
    program = os.path.basename(path)
    status = read(os.path.join(results, program + ".status")).strip() or "did not run"
    listed = [short_name(line.strip()) for line in read(os.path.join(results, program + ".list")).splitlines()
              if line.strip()]
    by_case = {}
    for entry in reported_cases(read(os.path.join(results, program + ".json"))):
        by_case.setdefault(short_name(entry.get("run_name", entry.get("name", ""))), []).append(entry)
    rows, failures = [], 0
    for name in listed or [None]:
        entries = by_case.get(name, [])
        errors = [e.get("error_message", "") for e in entries if e.get("error_occurred")]
        counters = figures(entries) if entries and not errors else None
        if counters is None:
            reason = errors[0] if errors else (status if status != "ok" else "no result")
            rows.append(failed_row(program, name, reason))
            failures += 1
        else:
            rows.append(row(program, name, counters))
            failures += rows[-1][5].startswith("**failed**")
    return rows, failures


rows, failures = [], 0
for path in programs:
    program_table, program_failures = program_rows(path)
    rows += program_table
    failures += program_failures

repetitions = ("one repetition (--quick)" if quick == "1" else
               "each figure the median of 5 repetitions, so a ratio need not be the quotient of the two figures beside it")
print("Measured %s by `scripts/bench.sh` on %s cores (%s), load average %s before and %s after; %s."
      % (read(os.path.join(results, "date")).strip(), cores, cpu, load_before, load_after, repetitions))
print()
print("Ratio: ZelIO / floor for throughputs (above 1 is faster than the floor); for round trips "
      "(time), ZelIO's median / the floor's (below 1 is faster).")
print()
header = ["program", "case", "floor", "floor's figure", "ZelIO", "ratio", "also"]
print("| " + " | ".join(header) + " |")
print("|" + "|".join("---" for _ in header) + "|")
for cells in rows:
    print("| " + " | ".join(cell.replace("|", "\\|") for cell in cells) + " |")
sys.exit(3 if failures else 0)
PYTHON
if ((status != 0 && status != 3)); then
    echo "bench.sh: the table could not be made" >&2
    exit 1
fi
cat "$results/table.md"

if ((!quick)); then
    python3 - README.md "$results/table.md" <<'PYTHON'
import sys

readme_path, table_path = sys.argv[1:3]
begin, end = "<!-- bench-table:begin -->", "<!-- bench-table:end -->"
readme = open(readme_path).read()
if readme.count(begin) != 1 or readme.count(end) != 1 or readme.index(begin) > readme.index(end):
    sys.exit("bench.sh: README.md needs one %s and one %s line after it; left as it was" % (begin, end))
table = open(table_path).read()
head, rest = readme.split(begin)
_, tail = rest.split(end)
open(readme_path, "w").write(head + begin + "\n" + table + end + tail)
print("bench.sh: README.md's table rewritten", file=sys.stderr)
PYTHON
fi

((status == 0)) || exit 1
