#!/usr/bin/env bash
# Reading GPS logs of a million points: GPX, KML (a gx:Track) and NMEA (RMC and GGA for each
# fix), made once into the build folder. Each log is read RUNS times, each time in a process of
# its own.
#
#   bench/gpslog.sh [RUNS]     (default 3)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${GEODOT_BUILD:-$root/build}
runs=${1:-3}
points=1000000
cmake --build "$build" --target bench_gpslog >/dev/null
dir=$build/bench
mkdir -p "$dir"

# A fix a second from 2024-05-01 00:00:00 UTC, moving north-east and climbing.
make_log() {
    python3 - "$1" "$points" >"$2.tmp" <<'PY'
import sys
from functools import reduce
fmt, n = sys.argv[1], int(sys.argv[2])
out = sys.stdout
def fix(s):
    day, h, m, sec = 1 + s // 86400, s // 3600 % 24, s // 60 % 60, s % 60
    return day, h, m, sec, 35 + s * 0.000001, 139 + s * 0.0000015, (s % 5000) / 10
def nmea(body):
    out.write("$%s*%02X\r\n" % (body, reduce(lambda a, c: a ^ ord(c), body, 0)))
if fmt == "gpx":
    out.write('<?xml version="1.0" encoding="UTF-8"?>\n<gpx version="1.1" creator="bench" '
              'xmlns="http://www.topografix.com/GPX/1/1"><trk><trkseg>\n')
    for s in range(n):
        day, h, m, sec, lat, lon, alt = fix(s)
        out.write('<trkpt lat="%.7f" lon="%.7f"><ele>%.1f</ele><time>2024-05-%02dT%02d:%02d:%02dZ'
                  '</time></trkpt>\n' % (lat, lon, alt, day, h, m, sec))
    out.write("</trkseg></trk></gpx>\n")
elif fmt == "kml":
    out.write('<?xml version="1.0" encoding="UTF-8"?>\n<kml xmlns="http://www.opengis.net/kml/2.2" '
              'xmlns:gx="http://www.google.com/kml/ext/2.2"><Document><Placemark><gx:Track>\n')
    for s in range(n):
        out.write("<when>2024-05-%02dT%02d:%02d:%02dZ</when>\n" % fix(s)[:4])
    for s in range(n):
        lat, lon, alt = fix(s)[4:]
        out.write("<gx:coord>%.7f %.7f %.1f</gx:coord>\n" % (lon, lat, alt))
    out.write("</gx:Track></Placemark></Document></kml>\n")
else:
    for s in range(n):
        day, h, m, sec, lat, lon, alt = fix(s)
        t = "%02d%02d%02d.00" % (h, m, sec)
        la = "%02d%09.6f,N" % (int(lat), (lat - int(lat)) * 60)
        lo = "%03d%09.6f,E" % (int(lon), (lon - int(lon)) * 60)
        nmea("GPRMC,%s,A,%s,%s,0.0,0.0,%02d0524,,,A" % (t, la, lo, day))
        nmea("GPGGA,%s,%s,%s,1,08,0.9,%.1f,M,39.4,M,," % (t, la, lo, alt))
PY
    mv "$2.tmp" "$2"
}

for format in gpx kml nmea; do
    log=$dir/million.$format
    [[ -f $log ]] || make_log "$format" "$log"
    echo "$format: $(stat -c %s "$log") bytes"
    for ((i = 0; i < runs; i++)); do
        "$dir/bench_gpslog" "$log"
    done
done
