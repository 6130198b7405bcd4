#!/usr/bin/env bash
# Makes a camera-like JPEG for the benchmarks, the same bytes on every run, without network.
#
#   bench/make-test-jpeg.sh OUT.jpg [MEGAPIXELS]     (MEGAPIXELS defaults to 24)
#
# The picture is a 3:2 fractal plasma with a little Gaussian noise from a fixed seed, encoded
# at quality 92, which makes a 24-megapixel file (6000x4000) of about 10 MB, the size a camera
# writes. exiftool then gives it an EXIF block as a camera would: Make, Model, dates, exposure,
# a 6 KiB binary MakerNote and a 160x107 JPEG thumbnail in IFD1. It carries no GPS position.
#
# Needs ImageMagick (convert) and exiftool:
#   apt-get install imagemagick libimage-exiftool-perl
set -euo pipefail

usage() { echo "usage: $0 OUT.jpg [MEGAPIXELS]" >&2; exit 2; }
[[ $# -ge 1 && $# -le 2 ]] || usage
out=$1
mp=${2:-24}
if ! [[ $mp =~ ^[0-9]+([.][0-9]+)?$ ]] || ! awk -v m="$mp" 'BEGIN { exit !(m > 0 && m <= 100) }'; then
    echo "$0: MEGAPIXELS must be a number above 0 and at most 100" >&2
    exit 2
fi

missing=()
convert -version 2>/dev/null | grep -q ImageMagick || missing+=(imagemagick)
command -v exiftool >/dev/null || missing+=(libimage-exiftool-perl)
if ((${#missing[@]})); then
    echo "$0: missing tools; install them with: apt-get install ${missing[*]}" >&2
    exit 1
fi

# 3:2, both sides even: 24 MP gives 6000x4000.
read -r width height < <(awk -v m="$mp" 'BEGIN {
    w = sqrt(m * 1e6 * 3 / 2); h = w * 2 / 3
    printf "%d %d\n", int(w / 2 + 0.5) * 2, int(h / 2 + 0.5) * 2 }')

work=$(mktemp -d "${TMPDIR:-/tmp}/geodot-fixture.XXXXXX")
trap 'rm -rf "$work"' EXIT

# One thread: ImageMagick's noise uses a random stream per thread, which would make the
# pixels depend on the scheduling.
convert -limit thread 1 -seed 20240601 -size "${width}x${height}" plasma:fractal \
    -attenuate 0.4 +noise Gaussian -sampling-factor 2x1 -quality 92 "$work/main.jpg"
convert -limit thread 1 -define jpeg:size=320x214 "$work/main.jpg" -thumbnail 160x107 \
    -strip -quality 80 "$work/thumb.jpg"

# A MakerNote as cameras write it: opaque binary data. A fixed linear congruential sequence
# keeps it the same everywhere.
perl -e 'my $x = 12345; print map { $x = ($x * 1103515245 + 12345) % 2147483648; chr(($x >> 16) & 255) } 1 .. 6144' \
    >"$work/makernote.bin"

exiftool -q -overwrite_original -JFIF:All= -XMP:All= \
    -Make="Sample Optics" -Model="SO-24 Mark II" -Software="SO-24 Firmware 1.02" \
    -Orientation#=1 -XResolution=300 -YResolution=300 -ResolutionUnit=inches \
    -ModifyDate="2024:06:01 10:15:30" -DateTimeOriginal="2024:06:01 10:15:30" \
    -CreateDate="2024:06:01 10:15:30" -SubSecTimeOriginal=42 \
    -ExposureTime=1/250 -FNumber=5.6 -ISO=200 -ExposureProgram#=3 -ExposureCompensation=0 \
    -MeteringMode#=5 -EXIF:Flash#=16 -FocalLength=35 -FocalLengthIn35mmFormat=35 \
    -ExifImageWidth="$width" -ExifImageHeight="$height" -ColorSpace#=1 \
    -LensModel="SO 24-70mm F2.8" -ExifIFD:SerialNumber=0012345678 \
    "-MakerNotes<=$work/makernote.bin" \
    -IFD1:XResolution=72 -IFD1:YResolution=72 -IFD1:ResolutionUnit=inches \
    "-ThumbnailImage<=$work/thumb.jpg" \
    "$work/main.jpg"

mv "$work/main.jpg" "$out"
echo "$out: ${width}x${height}, $(stat -c %s "$out") bytes"
