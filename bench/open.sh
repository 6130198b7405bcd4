#!/usr/bin/env bash
# Opening a photo in the window against djpeg decoding it at 1/8 scale, on the same file.
#
#   bench/open.sh [PHOTO] [RUNS]     (default: a generated 24-megapixel camera-like JPEG)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${GEODOT_BUILD:-$root/build}
runs=${2:-10}
photo=${1:-}
if [[ -z $photo ]]; then
    photo=$build/bench/test-24mp.jpg
    [[ -f $photo ]] || "$root/bench/make-test-jpeg.sh" "$photo" 24
fi
cmake --build "$build" --target bench_open >/dev/null
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
geodot=$(XDG_CONFIG_HOME=$config QT_QPA_PLATFORM=offscreen "$build/bench/bench_open" "$photo" "$runs" 2>/dev/null)
times=()
for ((i = 0; i < runs; i++)); do
    s=$(date +%s%N)
    djpeg -scale 1/8 -outfile /dev/null "$photo"
    times+=($(( ($(date +%s%N) - s) / 1000 )))
done
djpeg_ms=$(printf '%s\n' "${times[@]}" | sort -n | awk '{ v[NR] = $1 } END { printf "%.1f", v[int((NR + 1) / 2)] / 1000 }')
echo "file: $photo ($(stat -c %s "$photo") bytes)"
echo "geodot open (analysis + preview + fields): $geodot ms (median of $runs)"
echo "djpeg -scale 1/8:                          $djpeg_ms ms (median of $runs)"
awk -v g="$geodot" -v d="$djpeg_ms" 'BEGIN { printf "ratio: %.2f\n", g / d }'
