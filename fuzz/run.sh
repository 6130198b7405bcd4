#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, build-fuzz) when needed and runs one of them.
#
#   fuzz/run.sh TARGET SECONDS [JOBS]
#
# TARGET is fuzz_analyze, fuzz_roundtrip, fuzz_edit or fuzz_gpslog. The JPEG targets' seeds are
# made from the test fixtures, the broken fixtures, the regression cases, the fuzz findings and
# ../shared/samples (each where present), cut to what the engine reads (make_seeds.py); the GPS
# log target starts from its dictionary and what it found before. What the fuzzer adds goes
# to build-fuzz/corpus/TARGET and is kept between runs. Reproducers of what it finds go to
# build-fuzz/artifacts/TARGET/, the log to build-fuzz/logs/TARGET.log. At the end it prints the
# average executions per second (and per second of CPU time, which says more on a busy
# machine). Longer campaigns: campaign.sh.
#
# With one job the fuzzer stops at its first finding. With JOBS > 1, JOBS fuzzers run side by
# side on the one corpus, each taking up what the others add and stopping at its own first
# finding; their logs are TARGET.log, TARGET.2.log and so on, and the figures are their sums.
# With GEODOT_FUZZ_KEEP_GOING=1 it runs in fork mode with JOBS processes instead and carries on
# past crashes, timeouts and out-of-memory inputs, saving each.
#
# Exits 0 when nothing was found, 1 when the fuzzer saved any reproducer, 2 on a usage or
# build error.
set -euo pipefail

usage() {
    echo "usage: $0 fuzz_analyze|fuzz_roundtrip|fuzz_edit|fuzz_gpslog SECONDS [JOBS]" >&2
    exit 2
}
[[ $# -ge 2 && $# -le 3 ]] || usage
target=$1
seconds=$2
jobs=${3:-1}
case $target in
fuzz_analyze | fuzz_roundtrip | fuzz_edit | fuzz_gpslog) ;;
*) usage ;;
esac
[[ $seconds =~ ^[0-9]+$ && $jobs =~ ^[1-9][0-9]*$ ]] || usage

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build-fuzz

if [[ ! -f $build/build.ninja ]]; then
    CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DGEODOT_FUZZ=ON -DGEODOT_BUILD_TESTS=OFF -DGEODOT_BUILD_BENCH=OFF >/dev/null || exit 2
fi
# Campaigns of several targets may start rounds at once: one build at a time.
flock "$build/.build-lock" ninja -C "$build" fuzz_analyze fuzz_roundtrip fuzz_edit fuzz_gpslog >/dev/null ||
    exit 2

# --- Seed corpus ---
seeds=$build/seeds/$target
corpus=$build/corpus/$target
artifacts=$build/artifacts/$target
logs=$build/logs
rm -rf "$seeds"
mkdir -p "$seeds" "$corpus" "$artifacts" "$logs"

# Every file the tests use (and the developer samples, where present) trimmed to what the
# engine reads; see make_seeds.py.
jpeg_max=131072
max_len=$jpeg_max
[[ $target == fuzz_edit ]] && max_len=$((jpeg_max + 2 + 65535)) # the script's length and the script
dict=$root/fuzz/exif.dict
sources=()
shopt -s nullglob
if [[ $target == fuzz_gpslog ]]; then
    dict=$root/fuzz/gpslog.dict # the logs' words are all it needs to start from
else
    for f in "$root"/tests/fixtures/*.jpg "$root"/tests/fixtures/malformed/* "$root"/tests/regress/cases/*.jpg \
        "$root"/fuzz/findings/* "$root"/../shared/samples/*.jpg "$root"/../shared/samples/malformed/*; do
        [[ -f $f && $f != *.md ]] && sources+=("$f")
    done
    python3 "$root/fuzz/make_seeds.py" "$target" "$seeds" "$jpeg_max" "${sources[@]}" || exit 2
fi
shopt -u nullglob

flags=(
    -max_total_time="$seconds"
    -dict="$dict"
    -timeout=10
    -rss_limit_mb=2048
    -max_len="$max_len"
    -print_final_stats=1
    -artifact_prefix="$artifacts/"
)
workers=1
if [[ ${GEODOT_FUZZ_KEEP_GOING:-0} == 1 ]]; then
    flags+=(-fork="$jobs" -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1)
elif [[ $jobs -gt 1 ]]; then
    # Fork mode spends much of its time starting jobs and merging; plain fuzzers side by side
    # lose nothing but the corpus scan that picks up the others' finds.
    flags+=(-reload=30)
    workers=$jobs
else
    flags+=(-reload=0) # no other process adds to the corpus meanwhile
fi

# The sanitizers' defaults cost more than half the speed: a 256 MiB quarantine hands out memory
# that has long left the caches, and every allocation records 30 frames. A 1 MiB quarantine
# still catches a use soon after a free, and 5 frames still hint at an allocation; every
# reproducer is replayed below with the defaults, which give the full report.
fuzz_asan_options="quarantine_size_mb=1:malloc_context_size=5${ASAN_OPTIONS:+:$ASAN_OPTIONS}"

found_before=$(find "$artifacts" -type f | sort)
log=$logs/$target.log
echo "running $target for ${seconds}s ($(find "$seeds" -type f | wc -l) seeds from ${#sources[@]} files, $jobs job(s)); log: $log"
echo "load average before: $(cut -d ' ' -f 1-3 /proc/loadavg) ($(nproc) cores)"
# The CPU seconds this script's finished children have used so far (from /proc: the fields
# after the command name, cutime and cstime, in clock ticks).
children_cpu() {
    awk -v hz="$(getconf CLK_TCK)" '{ sub(/.*\) /, ""); print ($14 + $15) / hz }' "/proc/$$/stat"
}
cpu_before=$(children_cpu)
started=$(date +%s.%N)
worker_logs=()
pids=()
for ((w = 1; w <= workers; w++)); do
    worker_log=$log
    ((w > 1)) && worker_log=$logs/$target.$w.log
    worker_logs+=("$worker_log")
    (cd "$build" && ASAN_OPTIONS=$fuzz_asan_options "$build/fuzz/$target" "${flags[@]}" "$corpus" "$seeds") \
        >"$worker_log" 2>&1 &
    pids+=($!)
done
status=0
for pid in "${pids[@]}"; do
    wait "$pid" || status=$?
done
elapsed=$(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { print b - a }')
cpu=$(awk -v a="$cpu_before" -v b="$(children_cpu)" 'BEGIN { print b - a }')

# The figures: the last status line, the executions over the whole run (loading the corpus
# included) and the load the machine was under.
executions=0
for worker_log in "${worker_logs[@]}"; do
    grep -E '^#[0-9]+' "$worker_log" | tail -n 1 || true
    n=$(grep -oE '^#[0-9]+' "$worker_log" | tail -n 1 | tr -d '#') || n=0
    executions=$((executions + ${n:-0}))
done
awk -v n="$executions" -v t="$elapsed" -v c="$cpu" 'BEGIN {
    printf "average: %.0f exec/s (%d executions in %.0f s)\n", n / t, n, t
    if (c > 0) printf "per CPU second: %.0f executions (%.0f s of CPU time)\n", n / c, c
}'
echo "load average after: $(cut -d ' ' -f 1-3 /proc/loadavg)"
echo "corpus: $(find "$corpus" -type f | wc -l) files in $corpus"

found_after=$(find "$artifacts" -type f | sort)
new=$(comm -13 <(echo "$found_before") <(echo "$found_after") | sed '/^$/d')
if [[ -n $new ]]; then
    echo "FOUND $(echo "$new" | wc -l) reproducer(s) in $artifacts:"
    # What each one breaks: replayed, since in fork mode the reports stay in the workers' logs.
    echo "$new" | head -n 50 | while read -r f; do
        what=$(timeout 120 "$build/fuzz/$target" "$f" 2>&1 |
            grep -m 1 -E 'geodot fuzz check failed|ERROR: [A-Za-z]+Sanitizer|runtime error|ERROR: libFuzzer' |
            sed -E 's/^\*\*\* //; s/==[0-9]+==//' | cut -c 1-220 || true)
        echo "  $(basename "$f"): ${what:-does not fail when replayed alone (timeout or out-of-memory?)}"
    done
    exit 1
fi
if [[ $status -ne 0 ]]; then
    echo "the fuzzer exited with status $status without a reproducer; see $log" >&2
    exit 1
fi
echo "nothing found"
