#!/usr/bin/env python3
"""Writes the seed corpus of one fuzz target from JPEG files.

    make_seeds.py TARGET OUTDIR MAX_LEN FILE...

The engine reads the segments up to the first start-of-scan marker and, for the tail it keeps,
looks for the end-of-image marker; the compressed picture in between is only copied. So each
file that can be walked up to its first SOS becomes its segments, the scan header, a few bytes
of scan data and an end-of-image marker (a file without one stays without). A file with data
after its end-of-image marker gives a second seed that keeps the first KiB of that data.
Segments other than the first EXIF APP1 are left out, largest first, when the seed would not
fit MAX_LEN. A file that cannot be walked is kept as it is, cut to MAX_LEN.

fuzz_edit inputs start with a 2-byte script length and the edit script: each JPEG seed is
written once with an empty script and once with a script of 128 fixed pseudo-random bytes.
Files named edit-* already hold a script: fuzz_edit takes them as they are, the other targets
take the JPEG behind the script. Seeds with the same bytes are written once.
"""

import hashlib
import random
import sys
from pathlib import Path

SCAN_BYTES = 32
AFTER_EOI_BYTES = 1024
EDIT_SCRIPT_BYTES = 128


def walk(data):
    """The segments (start, end) from SOI to the first SOS, and the start and end of the SOS
    header; None when the walk meets something it cannot read. Fill bytes belong to the
    segment they precede."""
    if data[:2] != b"\xff\xd8":
        return None
    segments = []
    p = 2
    while p + 1 < len(data):
        if data[p] != 0xFF:
            return None
        q = p
        while q + 1 < len(data) and data[q + 1] == 0xFF:
            q += 1
        if q + 3 >= len(data):
            return None
        code = data[q + 1]
        length = (data[q + 2] << 8) | data[q + 3]
        if code == 0xDA:
            return (segments, p, q + 2 + length) if q + 2 + length <= len(data) else None
        if code in (0x00, 0x01) or 0xD0 <= code <= 0xD9 or length < 2:
            return None
        if q + 2 + length > len(data):
            return None
        segments.append((p, q + 2 + length))
        p = q + 2 + length
    return None


def find_eoi(data, start):
    """The end-of-image marker after `start` as the engine finds it, or -1."""
    if len(data) >= 2 and data[-2:] == b"\xff\xd9":
        return len(data) - 2
    p = start
    while p + 2 < len(data):
        if data[p] == 0xFF:
            if data[p + 1] == 0xD9:
                return p
            p += 1 if data[p + 1] == 0xFF else 2
        else:
            p += 1
    return -1


def is_exif(data, segment):
    start, end = segment
    body = data[start:end].lstrip(b"\xff")
    return body[:1] == b"\xe1" and body[3:7] == b"Exif"


def trimmed(data, max_len):
    """The seeds one JPEG file gives."""
    walked = walk(data)
    if walked is None:
        return [data[:max_len]]
    segments, sos, header_end = walked
    scan = data[header_end:header_end + SCAN_BYTES]
    while scan.endswith(b"\xff"):
        scan = scan[:-1]  # an FF cut from its partner would become a marker
    eoi = find_eoi(data, header_end)
    ending = b"\xff\xd9" if eoi >= 0 else b""
    after = data[eoi + 2:] if eoi >= 0 else b""

    first_exif = next((s for s in segments if is_exif(data, s)), None)
    kept = list(segments)
    fixed = 2 + (header_end - sos) + len(scan) + len(ending)

    def size():
        return fixed + sum(end - start for start, end in kept)

    for segment in sorted(segments, key=lambda s: s[1] - s[0], reverse=True):
        if size() <= max_len:
            break
        if segment != first_exif:
            kept.remove(segment)
    head = b"\xff\xd8" + b"".join(data[start:end] for start, end in kept)
    seed = head + data[sos:header_end] + scan + ending
    seeds = [seed[:max_len]]
    if after:
        tail = after[:AFTER_EOI_BYTES]
        if len(tail) < len(after) and after.endswith(b"\xff\xd9"):
            tail += b"\xff\xd9"
        if len(seed) + len(tail) <= max_len:
            seeds.append(seed + tail)
    return seeds


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    target, outdir, max_len = sys.argv[1], Path(sys.argv[2]), int(sys.argv[3])
    edit = target == "fuzz_edit"
    outdir.mkdir(parents=True, exist_ok=True)
    rng = random.Random(14)
    script = bytes([0, EDIT_SCRIPT_BYTES]) + rng.randbytes(EDIT_SCRIPT_BYTES)
    seen = set()

    def write(name, seed):
        digest = hashlib.sha1(seed).hexdigest()
        if digest not in seen:
            seen.add(digest)
            (outdir / f"{name}-{digest[:8]}").write_bytes(seed)

    for file in map(Path, sys.argv[4:]):
        data = file.read_bytes()
        if file.name.startswith("edit-"):
            if edit:
                write(file.stem, data)
                continue
            length = (data[0] << 8) | data[1] if len(data) >= 2 else 0
            data = data[2 + length:]
        for seed in trimmed(data, max_len):
            if edit:
                write(file.stem, b"\0\0" + seed)
                write(file.stem + "-script", script + seed)
            else:
                write(file.stem, seed)


if __name__ == "__main__":
    main()
