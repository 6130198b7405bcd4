"""Byte builders for the regression files: TIFF structures with exact control over every
offset, count and type, JPEG segments, and a tiny baseline JPEG encoder so that the pictures
around the damaged EXIF blocks are real, decodable images.

Standard library only; everything here is deterministic.
"""

import struct

# TIFF field types.
BYTE, ASCII, SHORT, LONG, RATIONAL, SBYTE, UNDEFINED = 1, 2, 3, 4, 5, 6, 7
SSHORT, SLONG, SRATIONAL, FLOAT, DOUBLE = 8, 9, 10, 11, 12
TYPE_SIZE = {BYTE: 1, ASCII: 1, SHORT: 2, LONG: 4, RATIONAL: 8, SBYTE: 1, UNDEFINED: 1,
             SSHORT: 2, SLONG: 4, SRATIONAL: 8, FLOAT: 4, DOUBLE: 8}


class Entry:
    """One directory entry. Exactly one of `value` (bytes in file order: inline when they fit
    4 bytes, else stored after the directory), `field` (the 4-byte value field as it stands),
    `target` (a directory whose offset goes into the field) or `blob` (a blob whose offset,
    plus `delta`, goes into the field) says what the value field holds."""

    def __init__(self, tag, typ, count, value=None, field=None, target=None, blob=None, delta=0):
        self.tag, self.typ, self.count = tag, typ, count
        self.value, self.field, self.target, self.blob, self.delta = value, field, target, blob, delta

    def set_field(self, field):
        """Turns the entry into one whose value field holds `field` as it stands."""
        self.value = self.target = self.blob = None
        self.field = field


class Ifd:
    def __init__(self, pad=0):
        self.entries = []
        self.next = None         # None: 0; an Ifd: its offset; an int: that value
        self.count = None        # None: the number of entries; an int: written instead
        self.pad = pad           # extra zero bytes before the directory (an odd offset, say)

    def find(self, tag):
        for e in self.entries:
            if e.tag == tag:
                return e
        raise KeyError(hex(tag))


class Blob:
    def __init__(self, data):
        self.data = data


class Tiff:
    """A TIFF structure laid out in the order the directories were added, each directory
    followed by its long values (each on an even offset), then the blobs. `pos` maps every
    directory, long value (by its entry) and blob to its offset once built."""

    def __init__(self, big=False):
        self.big = big
        self.order = b"MM" if big else b"II"
        self.magic = None        # None: 42
        self.first = None        # None: the first directory's offset; an int: written instead
        self.ifds = []
        self.blobs = []
        self.pos = {}

    # Numbers in the structure's byte order.
    def u16(self, *v):
        return struct.pack((">" if self.big else "<") + "H" * len(v), *v)

    def u32(self, *v):
        return struct.pack((">" if self.big else "<") + "I" * len(v), *(x & 0xFFFFFFFF for x in v))

    def rat(self, *pairs):
        return b"".join(self.u32(n, d) for n, d in pairs)

    def ifd(self, pad=0):
        d = Ifd(pad)
        self.ifds.append(d)
        return d

    def blob(self, data):
        b = Blob(data)
        self.blobs.append(b)
        return b

    def add(self, ifd, tag, typ, value, count=None):
        if count is None:
            count = len(value) // TYPE_SIZE[typ]
        e = Entry(tag, typ, count, value=value)
        ifd.entries.append(e)
        return e

    def raw(self, ifd, tag, typ, count, field):
        e = Entry(tag, typ, count, field=field)
        ifd.entries.append(e)
        return e

    def ptr(self, ifd, tag, target, typ=LONG, count=1):
        e = Entry(tag, typ, count, target=target)
        ifd.entries.append(e)
        return e

    def at_blob(self, ifd, tag, typ, blob, count=1, delta=0):
        e = Entry(tag, typ, count, blob=blob, delta=delta)
        ifd.entries.append(e)
        return e

    @staticmethod
    def _long(e):
        return e.value is not None and len(e.value) > 4

    def _layout(self):
        pos = 8
        for d in self.ifds:
            pos += d.pad
            self.pos[d] = pos
            pos += 2 + 12 * len(d.entries) + 4
            for e in d.entries:
                if self._long(e):
                    pos += pos & 1
                    self.pos[e] = pos
                    pos += len(e.value)
        for b in self.blobs:
            pos += pos & 1
            self.pos[b] = pos
            pos += len(b.data)
        return pos

    def build(self):
        size = self._layout()
        out = bytearray(size)
        first = self.first if self.first is not None else (self.pos[self.ifds[0]] if self.ifds else 0)
        out[0:8] = self.order + self.u16(42 if self.magic is None else self.magic) + self.u32(first)
        for d in self.ifds:
            p = self.pos[d]
            count = len(d.entries) if d.count is None else d.count
            out[p:p + 2] = self.u16(count)
            p += 2
            for e in d.entries:
                if e.field is not None:
                    field = self.u32(e.field)
                elif e.target is not None:
                    field = self.u32(self.pos[e.target])
                elif e.blob is not None:
                    field = self.u32(self.pos[e.blob] + e.delta)
                elif self._long(e):
                    field = self.u32(self.pos[e])
                    out[self.pos[e]:self.pos[e] + len(e.value)] = e.value
                else:
                    field = e.value.ljust(4, b"\0")
                out[p:p + 12] = self.u16(e.tag, e.typ) + self.u32(e.count) + field
                p += 12
            nxt = d.next
            link = 0 if nxt is None else (self.pos[nxt] if isinstance(nxt, Ifd) else nxt)
            out[p:p + 4] = self.u32(link)
        for b in self.blobs:
            out[self.pos[b]:self.pos[b] + len(b.data)] = b.data
        return bytes(out)


# --- JPEG ----------------------------------------------------------------------------------------

SOI = b"\xFF\xD8"
EOI = b"\xFF\xD9"


def be16(v):
    return struct.pack(">H", v)


def segment(marker, payload):
    """A marker segment; the length field counts itself and the payload."""
    return be16(marker) + be16(len(payload) + 2) + payload


def exif_app1(tiff):
    return segment(0xFFE1, b"Exif\0\0" + tiff)


# Huffman tables: the usual luminance DC table, and an AC table that holds only end-of-block
# (every block is flat), so that a picture is a row of grey squares of varying brightness.
DC_BITS = [0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0]
DC_VALS = list(range(12))
AC_BITS = [1] + [0] * 15
AC_VALS = [0]


def _codes(bits, vals):
    codes, code, k = {}, 0, 0
    for length, n in enumerate(bits, start=1):
        for _ in range(n):
            codes[vals[k]] = (code, length)
            code += 1
            k += 1
        code <<= 1
    return codes


def image_pieces(dc_levels):
    """The segments and scan of a greyscale baseline JPEG 8 pixels high with one 8x8 block per
    DC level (the level is the block's DC coefficient, quantised by 1). Returns (header
    segments, SOS segment, entropy-coded data)."""
    width = 8 * len(dc_levels)
    dqt = segment(0xFFDB, b"\x00" + bytes([1] * 64))
    sof = segment(0xFFC0, bytes([8]) + be16(8) + be16(width) + bytes([1, 1, 0x11, 0]))
    dht = segment(0xFFC4, bytes([0x00]) + bytes(DC_BITS) + bytes(DC_VALS) +
                  bytes([0x10]) + bytes(AC_BITS) + bytes(AC_VALS))
    sos = segment(0xFFDA, bytes([1, 1, 0x00, 0, 63, 0]))
    dc = _codes(DC_BITS, DC_VALS)
    eob = _codes(AC_BITS, AC_VALS)[0]
    bits = []

    def put(code, length):
        bits.extend((code >> (length - 1 - i)) & 1 for i in range(length))

    prev = 0
    for level in dc_levels:
        diff = level - prev
        prev = level
        size = abs(diff).bit_length()
        put(*dc[size])
        if size:
            put(diff if diff >= 0 else diff + (1 << size) - 1, size)
        put(*eob)
    bits.extend([1] * (-len(bits) % 8))
    data = bytearray()
    for i in range(0, len(bits), 8):
        byte = int("".join(map(str, bits[i:i + 8])), 2)
        data.append(byte)
        if byte == 0xFF:
            data.append(0)  # byte stuffing
    return dqt + sof + dht, sos, bytes(data)


def tiny_jpeg(dc_levels):
    head, sos, scan = image_pieces(dc_levels)
    return SOI + head + sos + scan + EOI
