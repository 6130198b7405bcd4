#!/usr/bin/env python3
"""Writes a GPS position into every JPEG of the given folders or files with geodot-cli and
checks the result against independent readers:

- exiftool reads back the position, altitude, direction and place name;
- exiv2 reads the file without an error it did not have for the source;
- exiftool -validate reports nothing new;
- every byte from the image's start-of-scan marker to the end is the source's;
- every tag that was not edited keeps its type, count and bytes, and the thumbnail is intact
  with JPEGInterchangeFormat pointing at it;
- every tag exiftool reads from the source (maker-note tags, thumbnails and previews as bytes)
  reads the same from the output, except the GPS tags the edit writes and what the output
  leaves out on purpose (the JFIF segment);
- the EXIF block grows by at most GROWTH_LIMIT bytes;
- opening the output and saving it again gives the same bytes.

Usage: roundtrip.py GEODOT_CLI PATH...   (exit status 1 when any file fails a check)
"""
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

LAT, LON, ALT, DIRECTION, AREA = 35.681236, -139.767125, -12.5, 45, "東京駅"
# GPS tags the position update writes; the others in the GPS directory must stay.
EDITED_GPS = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x10, 0x11, 0x1B, 0x1C, 0x1D}
POINTERS = {0x8769, 0x8825, 0xA005}
SIZES = {1: 1, 2: 1, 3: 2, 4: 4, 5: 8, 6: 1, 7: 1, 8: 2, 9: 4, 10: 8, 11: 4, 12: 8}
# What the position, altitude, direction and place name may add to the EXIF block.
GROWTH_LIMIT = 2048
# exiftool groups that describe the file rather than its content, or that the output drops
# on purpose (JFIF contradicts EXIF), and GPS tags the edit writes or derives. exiftool reads
# a SPIFF header in the byte order the segment before it left: without the big-endian JFIF
# segment in front it reads the unchanged bytes otherwise.
UNCOMPARED_GROUPS = {"ExifTool", "System", "File", "JFIF", "JFXX", "SPIFF"}
EDITED_GPS_NAMES = {"GPSVersionID", "GPSLatitudeRef", "GPSLatitude", "GPSLongitudeRef",
                    "GPSLongitude", "GPSAltitudeRef", "GPSAltitude", "GPSImgDirectionRef",
                    "GPSImgDirection", "GPSProcessingMethod", "GPSAreaInformation",
                    "GPSDateStamp", "GPSTimeStamp", "GPSDateTime", "GPSPosition"}
# Where the thumbnail lies is the writer's choice, and exiftool gives the pictures of a
# multi-picture index as file positions, which move with the size of the EXIF block: their
# bytes are compared instead.
MOVED = re.compile(r"IFD1:ThumbnailOffset|IFD1:StripOffsets|MPImage\d+:MPImageStart")


def segments(data):
    """(marker, start, end) of each marker segment up to the first SOS; the SOS offset."""
    out, pos = [], 2
    while pos + 4 <= len(data):
        if data[pos] != 0xFF:
            return out, None
        marker = data[pos + 1]
        if marker == 0xFF:
            pos += 1
            continue
        if marker == 0xDA:
            return out, pos
        length = struct.unpack(">H", data[pos + 2:pos + 4])[0]
        out.append((marker, pos, pos + 2 + length))
        pos += 2 + length
    return out, None


def exif_block(data):
    segs, _ = segments(data)
    for marker, start, end in segs:
        if marker == 0xE1 and data[start + 4:start + 8] == b"Exif":
            return data[start + 10:end]
    return None


def read_ifds(tiff):
    """{(directory, tag): (type, count, value bytes)} and the thumbnail bytes (a JPEG, or the
    strips of an uncompressed one joined)."""
    if tiff is None or len(tiff) < 8:
        return {}, None
    bo = "<" if tiff[:2] == b"II" else ">"
    entries, seen = {}, set()

    def u16(p):
        return struct.unpack(bo + "H", tiff[p:p + 2])[0]

    def u32(p):
        return struct.unpack(bo + "I", tiff[p:p + 4])[0]

    def walk(name, offset):
        if offset in seen or offset + 2 > len(tiff):
            return None
        seen.add(offset)
        for i in range(u16(offset)):
            p = offset + 2 + 12 * i
            if p + 12 > len(tiff):
                break
            tag, typ, count = u16(p), u16(p + 2), u32(p + 4)
            if tag in POINTERS:
                sub = {0x8769: "exif", 0x8825: "gps", 0xA005: "interop"}[tag]
                walk(sub, u32(p + 8))
                continue
            length = SIZES.get(typ, 0) * count
            if length <= 4:
                value = tiff[p + 8:p + 8 + length]
            else:
                at = u32(p + 8)
                value = tiff[at:at + length]
            entries.setdefault((name, tag), (typ, count, value))
        link = offset + 2 + 12 * u16(offset)
        return u32(link) if link + 4 <= len(tiff) else 0

    ifd1 = walk("ifd0", u32(4))
    if ifd1:
        walk("ifd1", ifd1)
    thumb = None
    if ("ifd1", 0x0201) in entries and ("ifd1", 0x0202) in entries:
        off = struct.unpack(bo + "I", entries[("ifd1", 0x0201)][2])[0]
        size = struct.unpack(bo + "I", entries[("ifd1", 0x0202)][2])[0]
        thumb = tiff[off:off + size]
    if ("ifd1", 0x0111) in entries and ("ifd1", 0x0117) in entries:
        def numbers(entry):
            typ, count, value = entry
            fmt = bo + ("H" if typ == 3 else "I") * count
            return struct.unpack(fmt, value) if len(value) == struct.calcsize(fmt) else ()
        strips = zip(numbers(entries[("ifd1", 0x0111)]), numbers(entries[("ifd1", 0x0117)]))
        thumb = (thumb or b"") + b"".join(tiff[off:off + size] for off, size in strips)
    return entries, thumb


def run(*args):
    return subprocess.run(args, capture_output=True)


def validate_warnings(path):
    out = run("exiftool", "-q", "-validate", "-warning", "-a", "-s3", path).stdout
    lines = (line.strip() for line in out.decode("utf-8", "replace").splitlines())
    # The summary ("OK", "3 Warnings (all minor)") counts what the lines say.
    return {l for l in lines if l and l != "OK" and not re.fullmatch(r"\d+ Warnings?( \(.*\))?", l)}


def exif_length(data):
    segs, _ = segments(data)
    for marker, start, end in segs:
        if marker == 0xE1 and data[start + 4:start + 8] == b"Exif":
            return end - start - 2
    return 0


def exiftool_tags(path):
    """Every tag exiftool reads, binary values as base64, keyed by group and name."""
    out = run("exiftool", "-j", "-a", "-G1", "-b", "-n", path).stdout
    tags = json.loads(out or b"[{}]")[0]
    return {k: v for k, v in tags.items()
            if ":" in k and k.split(":")[0] not in UNCOMPARED_GROUPS
            and k.split(":")[1] not in EDITED_GPS_NAMES and not MOVED.fullmatch(k)}


def check(cli, source, workdir):
    problems = []
    out = os.path.join(workdir, "out.jpg")
    r = run(cli, "set", "--lat", str(LAT), "--lon", str(LON), "--alt", str(ALT),
            "--direction", str(DIRECTION), "--area", AREA, "-o", out, source)
    if r.returncode != 0:
        return ["geodot-cli failed: " + r.stderr.decode("utf-8", "replace").strip()]
    src, dst = open(source, "rb").read(), open(out, "rb").read()

    tags = ["GPSLatitude", "GPSLatitudeRef", "GPSLongitude", "GPSLongitudeRef", "GPSAltitude",
            "GPSAltitudeRef", "GPSImgDirection", "GPSAreaInformation"]
    got = json.loads(run("exiftool", "-j", "-n", *("-EXIF:" + t for t in tags), out).stdout
                     or b"[{}]")[0]
    # Signed as the references say: south, west and below sea level are negative.
    for key, ref, negative in (("GPSLatitude", "GPSLatitudeRef", "S"),
                               ("GPSLongitude", "GPSLongitudeRef", "W"),
                               ("GPSAltitude", "GPSAltitudeRef", 1)):
        if isinstance(got.get(key), (int, float)) and got.get(ref) == negative:
            got[key] = -got[key]
    for key, want in (("GPSLatitude", LAT), ("GPSLongitude", LON), ("GPSAltitude", ALT),
                      ("GPSImgDirection", DIRECTION)):
        if not isinstance(got.get(key), (int, float)) or abs(got[key] - want) > 1e-6:
            problems.append(f"{key} reads {got.get(key)!r}, wrote {want}")
    if got.get("GPSAreaInformation") != AREA:
        problems.append(f"GPSAreaInformation reads {got.get('GPSAreaInformation')!r}")

    source_exiv2 = run("exiv2", "-pa", source).returncode
    if run("exiv2", "-pa", out).returncode != 0 and source_exiv2 == 0:
        problems.append("exiv2 -pa fails on the output")
    new = validate_warnings(out) - validate_warnings(source)
    if new:
        problems.append("new validation warnings: " + "; ".join(sorted(new)))

    _, sos_src = segments(src)
    _, sos_dst = segments(dst)
    if sos_src is not None and (sos_dst is None or src[sos_src:] != dst[sos_dst:]):
        problems.append("image data from the start-of-scan marker on differs")

    before, thumb_before = read_ifds(exif_block(src))
    after, thumb_after = read_ifds(exif_block(dst))
    for key, value in before.items():
        directory, tag = key
        if directory == "gps" and tag in EDITED_GPS:
            continue
        if directory == "ifd1" and tag in (0x0201, 0x0111):
            continue
        if value[1] == 0 and key not in after:
            continue  # an empty value (count 0) holds nothing to keep
        if after.get(key) != value:
            problems.append(f"{directory} tag 0x{tag:04X} changed")
    if thumb_before and thumb_after != thumb_before:
        problems.append("thumbnail differs or its offsets do not point at it")

    tags_before, tags_after = exiftool_tags(source), exiftool_tags(out)
    for key, value in tags_before.items():
        if value == "" and key not in tags_after:
            continue  # an empty value (count 0) holds nothing to keep
        if key not in tags_after:
            problems.append(f"exiftool no longer reads {key}")
        elif tags_after[key] != value:
            problems.append(f"exiftool reads {key} differently: {str(tags_after[key])[:60]!r}, "
                            f"was {str(value)[:60]!r}")

    growth = exif_length(dst) - exif_length(src)
    if growth > GROWTH_LIMIT:
        problems.append(f"EXIF block grows by {growth} bytes "
                        f"({exif_length(src)} to {exif_length(dst)})")

    again = os.path.join(workdir, "again.jpg")
    r = run(cli, "set", "-o", again, out)
    if r.returncode != 0:
        problems.append("saving the output again failed: " +
                        r.stderr.decode("utf-8", "replace").strip())
    elif open(again, "rb").read() != dst:
        problems.append("saving the output again gives other bytes")
    return problems


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    cli, paths = sys.argv[1], sys.argv[2:]
    for tool in ("exiftool", "exiv2"):
        if not shutil.which(tool):
            sys.exit(f"{tool} is needed (apt-get install libimage-exiftool-perl exiv2)")
    files = []
    for p in paths:
        if os.path.isdir(p):
            files += sorted(os.path.join(p, f) for f in os.listdir(p)
                            if f.lower().endswith((".jpg", ".jpeg")))
        else:
            files.append(p)
    failed = 0
    for f in files:
        with tempfile.TemporaryDirectory() as work:
            problems = check(cli, f, work)
        print(("FAIL " if problems else "ok   ") + os.path.basename(f))
        for p in problems:
            print("     " + p)
        failed += bool(problems)
    print(f"{len(files) - failed} passed, {failed} failed")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
