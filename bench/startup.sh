#!/usr/bin/env bash
# Times the window's start-up, from launching the process to the first paint of the main
# window, several times in a row, on a virtual X display (or off-screen with --offscreen).
#
#   bench/startup.sh [--offscreen] [RUNS] [photo.jpg]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${GEODOT_BUILD:-$root/build}
offscreen=0
[[ ${1:-} == --offscreen ]] && { offscreen=1; shift; }
runs=${1:-10}
photo=${2:-}
cmake --build "$build" --target bench_startup >/dev/null
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
# One line per run: "start-to-first-paint N ms (...)".
loop='for ((i = 0; i < $1; i++)); do
    XDG_CONFIG_HOME=$2 "$3" "$(date +%s%N)" ${4:+"$4"} 2>/dev/null
done'
args=("$runs" "$config" "$build/bench/bench_startup" "$photo")
if ((offscreen)); then
    QT_QPA_PLATFORM=offscreen bash -c "$loop" _ "${args[@]}"
else
    xvfb-run -a -s "-screen 0 1280x1024x24" bash -c "$loop" _ "${args[@]}"
fi | tee /dev/stderr | awk '{ print $2 }' | sort -n | awk '{ v[NR] = $1 } END {
    printf "median of %d runs: %.1f ms (min %.1f, max %.1f)\n", NR, v[int((NR + 1) / 2)], v[1], v[NR] }'
