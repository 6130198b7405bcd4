#!/usr/bin/env bash
# Times geodot-cli writing a GPS position against a plain copy, exiv2 and exiftool, on one file.
#
#   bench/compare.sh [FILE]
#
# Without FILE a 24-megapixel test picture is made with bench/make-test-jpeg.sh first.
# Everything runs in a temporary folder under $TMPDIR (else /tmp), removed at the end.
#
# Environment:
#   GEODOT_CLI   the geodot-cli to time (default: a build*/cli/geodot-cli of this tree, an
#                optimised one if any, never a sanitizer build)
#   RUNS         timed runs of each single-file command (default 10), WARMUP warm-up runs (2)
#   BATCH_RUNS   timed runs of each 100-file command (default 5)
#
# What is timed (hyperfine; the prepare step before every run makes a fresh copy of the source
# and syncs, so each write starts from the same bytes, cached in memory, with nothing dirty):
#   cp          cp source.jpg copy.jpg, reading and writing the file once: the floor
#   cp+sync     the same, then sync: the copy and its name on disk, as a save leaves a photo
#   cp+sync-d   the same, then only the copy's data flushed with sync -d (its name may still be
#               lost in a crash): a floor below what a save must do
#   cp-over+sync-d  cp over an existing copy (whose blocks are freed, as a save over a photo
#               frees the old one's), then sync -d
#   geodot-cli  geodot-cli set --lat 35.681236 --lon -139.767125 copy.jpg
#   exiv2       exiv2 setting the same GPS tags in copy.jpg
#   exiftool    exiftool -overwrite_original setting the same GPS tags in copy.jpg
#   batch       one geodot-cli call on 100 copies against cp of the 100 files to another folder
#               and one exiftool call making the same write in the 100 copies
# and the peak resident memory of one geodot-cli set, from /usr/bin/time -v.
#
# Tools: apt-get install hyperfine exiv2 libimage-exiftool-perl time
#        (and imagemagick to make the test picture)
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
RUNS=${RUNS:-10}
WARMUP=${WARMUP:-2}
BATCH_RUNS=${BATCH_RUNS:-5}

missing=()
command -v hyperfine >/dev/null || missing+=(hyperfine)
command -v exiv2 >/dev/null || missing+=(exiv2)
command -v exiftool >/dev/null || missing+=(libimage-exiftool-perl)
[[ -x /usr/bin/time ]] || missing+=(time)
if ((${#missing[@]})); then
    echo "$0: missing tools; install them with: apt-get install ${missing[*]}" >&2
    exit 1
fi

if [[ -n ${GEODOT_CLI:-} ]]; then
    cli=$GEODOT_CLI
else
    # An optimised build if there is one, else any build without sanitizers.
    cli=''
    fallback=''
    for candidate in "$root"/build*/cli/geodot-cli; do
        [[ -x $candidate ]] || continue
        cache=$(dirname "$(dirname "$candidate")")/CMakeCache.txt
        grep -qs '^GEODOT_SANITIZE:BOOL=ON' "$cache" && continue
        if grep -qsE '^CMAKE_BUILD_TYPE:STRING=(Release|RelWithDebInfo|MinSizeRel)$' "$cache"; then
            cli=$candidate
            break
        fi
        fallback=${fallback:-$candidate}
    done
    if [[ -z $cli && -n $fallback ]]; then
        cli=$fallback
        echo "$0: warning: no optimised build found; timing $cli" >&2
    fi
    if [[ -z $cli ]]; then
        echo "$0: no geodot-cli found; build one (cmake -S . -B build-bench -G Ninja" \
             "-DCMAKE_BUILD_TYPE=RelWithDebInfo && ninja -C build-bench) or set GEODOT_CLI" >&2
        exit 1
    fi
fi
[[ -x $cli ]] || { echo "$0: $cli is not an executable" >&2; exit 1; }
cli=$(cd "$(dirname "$cli")" && pwd)/$(basename "$cli")

work=$(mktemp -d "${TMPDIR:-/tmp}/geodot-compare.XXXXXX")
trap 'rm -rf "$work"' EXIT

if [[ $# -ge 1 ]]; then
    [[ -f $1 ]] || { echo "$0: $1 is not a file" >&2; exit 1; }
    cp "$1" "$work/source.jpg"
    label=$1
else
    "$here/make-test-jpeg.sh" "$work/source.jpg" 24
    label="24-megapixel test picture"
fi
cd "$work"
size=$(stat -c %s source.jpg)

q_cli=$(printf '%q' "$cli")
geodot="$q_cli set --lat 35.681236 --lon -139.767125"
# 35.681236 N = 35° 40' 52.4496", 139.767125 W = 139° 46' 1.65"
exiv2_cmd="exiv2 -M'set Exif.GPSInfo.GPSVersionID 2 3 0 0'"
exiv2_cmd+=" -M'set Exif.GPSInfo.GPSLatitudeRef N'"
exiv2_cmd+=" -M'set Exif.GPSInfo.GPSLatitude 35/1 40/1 524496/10000'"
exiv2_cmd+=" -M'set Exif.GPSInfo.GPSLongitudeRef W'"
exiv2_cmd+=" -M'set Exif.GPSInfo.GPSLongitude 139/1 46/1 165/100'"
exiv2_cmd+=" mo"
exiftool_cmd="exiftool -q -q -overwrite_original -GPSLatitude=35.681236 -GPSLatitudeRef=N"
exiftool_cmd+=" -GPSLongitude=139.767125 -GPSLongitudeRef=W"

# Each tool once on its own copy, read back, so that the timings are known to be of real writes.
echo "== $label: $size bytes, geodot-cli: $cli"
for tool in geodot-cli exiv2 exiftool; do
    cp source.jpg check.jpg
    case $tool in
        geodot-cli) eval "$geodot check.jpg" >/dev/null ;;
        exiv2) eval "$exiv2_cmd check.jpg" ;;
        exiftool) eval "$exiftool_cmd check.jpg" ;;
    esac
    # shellcheck disable=SC2016 # exiftool's own $ variables
    printf '   %-10s wrote %s\n' "$tool" \
        "$(exiftool -n -p '$GPSLatitude $GPSLongitude' check.jpg 2>/dev/null || echo 'NO POSITION')"
done
rm -f check.jpg

fresh='cp source.jpg copy.jpg && sync'
echo "== single write: $WARMUP warm-up + $RUNS timed runs each"
hyperfine --style basic --warmup "$WARMUP" --runs "$RUNS" --export-csv single.csv \
    -n cp --prepare 'rm -f copy.jpg && sync' 'cp source.jpg copy.jpg' \
    -n cp+sync --prepare 'rm -f copy.jpg && sync' 'cp source.jpg copy.jpg && sync' \
    -n cp+sync-d --prepare 'rm -f copy.jpg && sync' 'cp source.jpg copy.jpg && sync -d copy.jpg' \
    -n cp-over+sync-d --prepare "$fresh" 'cp source.jpg copy.jpg && sync -d copy.jpg' \
    -n geodot-cli --prepare "$fresh" "$geodot copy.jpg" \
    -n exiv2 --prepare "$fresh" "$exiv2_cmd copy.jpg" \
    -n exiftool --prepare "$fresh" "$exiftool_cmd copy.jpg" >hyperfine-single.txt

echo "== batch of 100 copies: 1 warm-up + $BATCH_RUNS timed runs each"
# shellcheck disable=SC2016 # expanded by hyperfine's shell
batch_fresh='rm -rf in out && mkdir in out && for i in $(seq -w 1 100); do cp source.jpg in/f$i.jpg; done && sync'
hyperfine --style basic --warmup 1 --runs "$BATCH_RUNS" --export-csv batch.csv \
    -n cp --prepare "$batch_fresh" 'cp in/f*.jpg out/' \
    -n geodot-cli --prepare "$batch_fresh" "$geodot in/f*.jpg" \
    -n exiftool --prepare "$batch_fresh" "$exiftool_cmd in/f*.jpg" >hyperfine-batch.txt
rm -rf in out

cp source.jpg copy.jpg && sync
/usr/bin/time -v "$cli" set --lat 35.681236 --lon -139.767125 copy.jpg >/dev/null 2>time.txt
rss_kib=$(awk -F': ' '/Maximum resident set size/ { print $2 }' time.txt)

mean() { awk -F, -v n="$2" '$1 == n { print $2 }' "$1"; }
sd() { awk -F, -v n="$2" '$1 == n { print $3 }' "$1"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
ms() { awk -v s="$1" 'BEGIN { printf "%.1f", s * 1000 }'; }
verdict() { awk -v v="$1" -v lim="$2" 'BEGIN { print (v <= lim ? "met" : "MISSED") }'; }

cp_mean=$(mean single.csv cp)
echo
echo "Single write, $size-byte file ($label), mean of $RUNS runs"
printf '  %-15s %10s %8s %8s\n' command 'mean ms' '± ms' '× cp'
for name in cp cp+sync cp+sync-d cp-over+sync-d geodot-cli exiv2 exiftool; do
    printf '  %-15s %10s %8s %8s\n' "$name" "$(ms "$(mean single.csv "$name")")" \
        "$(ms "$(sd single.csv "$name")")" "$(ratio "$(mean single.csv "$name")" "$cp_mean")"
done
g=$(mean single.csv geodot-cli)
e=$(mean single.csv exiv2)
t=$(mean single.csv exiftool)
echo "  geodot-cli / exiv2    = $(ratio "$g" "$e") (exiv2 takes $(ratio "$e" "$g")× geodot-cli's time)"
echo "  geodot-cli / exiftool = $(ratio "$g" "$t")"

bc=$(mean batch.csv cp)
bg=$(mean batch.csv geodot-cli)
bt=$(mean batch.csv exiftool)
echo
echo "Batch of 100 files, mean of $BATCH_RUNS runs"
printf '  %-11s %10s\n' cp "$(ms "$bc")" geodot-cli "$(ms "$bg")" exiftool "$(ms "$bt")"
echo "  geodot-cli / cp = $(ratio "$bg" "$bc")"
echo "  geodot-cli / exiftool = $(ratio "$bg" "$bt")"

limit=$(awk -v s="$size" 'BEGIN { printf "%d", s * 3.5 + 20 * 1048576 }')
rss=$((rss_kib * 1024))
echo
echo "Peak memory of one geodot-cli set"
echo "  max RSS $rss bytes ($(awk -v r="$rss" 'BEGIN { printf "%.1f", r / 1048576 }') MiB)," \
     "$(ratio "$rss" "$size")× the file size"
echo "  limit size*3.5+20MiB = $limit bytes ($(awk -v l="$limit" 'BEGIN { printf "%.1f", l / 1048576 }') MiB)"

echo
echo "Targets"
cs=$(mean single.csv cp+sync)
cd_=$(mean single.csv cp+sync-d)
co=$(mean single.csv cp-over+sync-d)
echo "  single write <= 1.5x cp:        $(ratio "$g" "$cp_mean")  $(verdict "$(ratio "$g" "$cp_mean")" 1.5)"
echo "  single write <= 1.3x cp+sync:   $(ratio "$g" "$cs")  $(verdict "$(ratio "$g" "$cs")" 1.3)" \
     "(against the data-only flush: $(ratio "$g" "$cd_") to a new file, $(ratio "$g" "$co") over the old one)"
echo "  >= 2x faster than exiv2:        $(ratio "$e" "$g")  $(verdict 2 "$(ratio "$e" "$g")")"
echo "  batch of 100 <= 1.3x cp:        $(ratio "$bg" "$bc")  $(verdict "$(ratio "$bg" "$bc")" 1.3)"
echo "  batch of 100 <= 0.1x exiftool:  $(ratio "$bg" "$bt")  $(verdict "$(ratio "$bg" "$bt")" 0.1)"
echo "  peak RSS <= size*3.5+20MiB:     $rss / $limit  $(verdict "$rss" "$limit")"
