#!/usr/bin/env bash
# Places 100 photos from a GPX log with geodot-cli geotag and with exiftool -geotag, side by
# side on the same files, and checks first that both write the same positions.
#
#   bench/geotag.sh [MEGAPIXELS]     (default 6)
#
# The photos are copies of one test picture (bench/make-test-jpeg.sh) taken 30 s apart from
# 2024-05-01 21:00:00 in Asia/Tokyo; the log has a fix a second for two hours from 12:00:00 UTC.
# Every timed run starts from fresh copies, synced, cached in memory. exiftool is given the zone
# through TZ, geodot-cli through --tz.
#
# Environment: GEODOT_BUILD (default: build) is the build folder whose geodot-cli is timed (an
# optimised one); RUNS timed runs of each (default 5).
# Tools: apt-get install hyperfine libimage-exiftool-perl imagemagick
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
build=${GEODOT_BUILD:-$root/build}
runs=${RUNS:-5}
mp=${1:-6}
for tool in hyperfine exiftool convert; do
    command -v $tool >/dev/null || { echo "$0: $tool is missing" >&2; exit 1; }
done
cmake --build "$build" --target geodot-cli >/dev/null
cli=$(cd "$build/cli" && pwd)/geodot-cli

work=$(mktemp -d "${TMPDIR:-/tmp}/geodot-geotag.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
"$here/make-test-jpeg.sh" picture.jpg "$mp"

python3 - >track.gpx <<'PY'
print('<?xml version="1.0" encoding="UTF-8"?>\n<gpx version="1.1" creator="bench" '
      'xmlns="http://www.topografix.com/GPX/1/1"><trk><trkseg>')
for s in range(7200):
    print('<trkpt lat="%.7f" lon="%.7f"><ele>%.1f</ele><time>2024-05-01T%02d:%02d:%02dZ</time>'
          '</trkpt>' % (35 + s * 0.00001, 139 + s * 0.000015, 10 + s % 300 / 10,
                        12 + s // 3600, s // 60 % 60, s % 60))
print('</trkseg></trk></gpx>')
PY

# The 100 photos, each with its own time, dated by one exiftool process.
mkdir source
args=()
for i in $(seq 1 100); do
    name=$(printf 'source/p%03d.jpg' "$i")
    cp picture.jpg "$name"
    s=$((i * 30))
    args+=(-DateTimeOriginal="$(printf '2024:05:01 %02d:%02d:%02d' $((21 + s / 3600)) $((s / 60 % 60)) $((s % 60)))" "$name" -execute)
done
exiftool "${args[@]}" -common_args -q -q -overwrite_original

geodot="$(printf '%q' "$cli") geotag --track track.gpx --tz Asia/Tokyo in/*.jpg >/dev/null"
# By itself exiftool takes DateTimeOriginal without the sub-seconds the test picture has; the
# composite with them is what geodot-cli reads.
exiftool_cmd="TZ=Asia/Tokyo exiftool -q -q -overwrite_original -geotag track.gpx"
exiftool_cmd+=" '-geotime<\${SubSecDateTimeOriginal}' in/*.jpg"
fresh='rm -rf in && cp -r source in && sync'

# Both once, read back: the same positions, so that the timings are of the same work.
for tool in geodot exiftool; do
    eval "$fresh"
    if [[ $tool == geodot ]]; then eval "$geodot"; else eval "$exiftool_cmd"; fi
    # shellcheck disable=SC2016 # exiftool's own $ variables
    exiftool -q -q -n -p '$FileName $GPSLatitude $GPSLongitude $GPSAltitude' in/*.jpg >"$tool.txt"
done
worst=$(paste geodot.txt exiftool.txt | awk '
    { for (i = 2; i <= 3; ++i) { d = $i - $(i + 4); if (d < 0) d = -d; if (d > m) m = d } }
    END { printf "%.2g", m }')
echo "== 100 photos of $(stat -c %s picture.jpg) bytes; largest difference in degrees between" \
     "the two: $worst ($(wc -l <geodot.txt) and $(wc -l <exiftool.txt) photos placed)"

# The floor of any batch that is on disk when it returns, as geodot-cli's is (exiftool does not
# sync): a plain copy of the photos, then sync.
hyperfine --style basic --warmup 1 --runs "$runs" --export-csv geotag.csv \
    -n geodot-cli --prepare "$fresh" "$geodot" \
    -n exiftool --prepare "$fresh" "$exiftool_cmd" \
    -n cp+sync --prepare "$fresh && rm -rf out && mkdir out" 'cp in/*.jpg out/ && sync' >hyperfine.txt
mean() { awk -F, -v n="$1" '$1 == n { print $2 }' geotag.csv; }
g=$(mean geodot-cli)
e=$(mean exiftool)
c=$(mean cp+sync)
echo
echo "Geotagging 100 photos, mean of $runs runs"
printf '  %-11s %10.1f ms\n' geodot-cli "$(awk -v s="$g" 'BEGIN { print s * 1000 }')" \
    exiftool "$(awk -v s="$e" 'BEGIN { print s * 1000 }')" \
    cp+sync "$(awk -v s="$c" 'BEGIN { print s * 1000 }')"
echo "  cp+sync / exiftool    = $(awk -v a="$c" -v b="$e" 'BEGIN { printf "%.3f", a / b }')" \
     "(copying the photos to disk, nothing more)"
echo "  geodot-cli / cp+sync  = $(awk -v a="$g" -v b="$c" 'BEGIN { printf "%.2f", a / b }')"
ratio=$(awk -v a="$g" -v b="$e" 'BEGIN { printf "%.3f", a / b }')
echo "  geodot-cli / exiftool = $ratio  (target <= 0.1: $(awk -v r="$ratio" 'BEGIN { print (r <= 0.1 ? "met" : "MISSED") }'))"
