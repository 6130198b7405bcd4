// The JPEG writer: SOI, a freshly laid out APP1 EXIF block built from the tables, the
// thumbnail, then the kept tail of the source.
#include "Exif.h"

#include <algorithm>
#include <string>

namespace Exif {
namespace {

// The tables as they are written: cleaned copies, so that the placeholders stay in the
// engine's tables and a value given after one save still reaches the next.
struct WriteTables {
    IFDTable ifd0, ifdX, ifdG, ifdI, ifd1;
};

// For each pointer (Exif, GPS, Interoperability) the directory it is written to point at: its
// own, or the one it shared in the source when its own is empty.
int pointerTarget[3] = {0, 1, 2};

// Keeps one pointer to each written sub-directory: the first met when the directories are
// walked from the 0th and 1st IFD, as a reader walks them. Pointers to empty directories, second
// pointers to one directory, and pointers that stand where no reader comes (inside a directory
// nothing points at, or inside their own directory) are left out.
void prunePointers(WriteTables& t) {
    IFDTable* tables[3] = {&t.ifdX, &t.ifdG, &t.ifdI};
    for (int k = 0; k < 3; ++k) {
        pointerTarget[k] = k;
        const int shared = PointerSharedWith[k];
        if (tables[k]->empty() && shared >= 0 && !tables[shared]->empty())
            pointerTarget[k] = shared;
    }
    bool kept[3] = {false, false, false};
    std::vector<IFDTable*> reached = {&t.ifd0, &t.ifd1};
    for (std::size_t i = 0; i < reached.size(); ++i) {
        std::erase_if(*reached[i], [&](const IFDRec& e) {
            if (!IsPointerTag(e.IDX))
                return false;
            const int k = e.IDX == 0x8769 ? 0 : e.IDX == 0x8825 ? 1 : 2;
            IFDTable* target = tables[pointerTarget[k]];
            if (kept[k] || target->empty() || target == reached[i])
                return true;
            kept[k] = true;
            if (std::find(reached.begin(), reached.end(), target) == reached.end())
                reached.push_back(target);
            return false;
        });
    }
    for (IFDTable* table : tables)
        if (std::find(reached.begin(), reached.end(), table) == reached.end())
            std::erase_if(*table, [](const IFDRec& e) { return IsPointerTag(e.IDX); });
}

std::uint64_t valueLength(const IFDRec& e) {
    return std::uint64_t{DataLength(Num16(e.DataType))} * Num32(e.Count);
}

// Fields held in file order go out as their bytes; numbers go through the file's byte order.
void writeHeld16(std::uint16_t held) {
    const std::uint8_t b[2] = {static_cast<std::uint8_t>(held), static_cast<std::uint8_t>(held >> 8)};
    ToStream.write(b);
}

void writeHeld32(std::uint32_t held) {
    const std::uint8_t b[4] = {static_cast<std::uint8_t>(held), static_cast<std::uint8_t>(held >> 8),
                               static_cast<std::uint8_t>(held >> 16),
                               static_cast<std::uint8_t>(held >> 24)};
    ToStream.write(b);
}

void writeNumber16(std::uint16_t v) { writeHeld16(Num16(v)); }
void writeNumber32(std::uint32_t v) { writeHeld32(Num32(v)); }

std::uint32_t tiffOffset() { return static_cast<std::uint32_t>(ToStream.position() - ToBasePos); }

// TIFF wants directories and values on even offsets.
std::uint32_t aligned(std::uint32_t offset) { return offset + (offset & 1); }

// The MakerNote put back at its offset in the source, so that offsets inside it stay right,
// followed by `length` − its own length bytes of what came after it in the source (old maker
// notes refer to data there). `failed` tells that the layout could not place it so.
struct MakerNotePin {
    std::uint32_t offset = 0; // 0: no pin
    std::uint64_t length = 0;
    bool early = false; // the source had it before the 0th IFD: it goes right after the header
    bool first = false; // laid out before the Exif IFD's other values rather than in tag order
    bool failed = false;
    const IFDRec* entry = nullptr; // the Exif IFD's MakerNote in the tables being written

    bool holds(const IFDRec& e) const { return offset != 0 && !failed && &e == entry; }
};
MakerNotePin pin;

// The entries whose values lie outside the directory, in the order the values are laid out:
// the table's order, or a pinned MakerNote first.
std::vector<const IFDRec*> longValues(const IFDTable& ifd) {
    std::vector<const IFDRec*> out;
    for (const IFDRec& e : ifd)
        if (valueLength(e) > 4 && !IsPointerTag(e.IDX))
            out.push_back(&e);
    if (pin.offset != 0 && pin.first)
        std::stable_partition(out.begin(), out.end(),
                              [](const IFDRec* e) { return e == pin.entry; });
    return out;
}

// The offset of every long value of a directory whose entries and link end at `next`.
std::vector<std::uint32_t> valueOffsets(const std::vector<const IFDRec*>& values,
                                        std::uint32_t next) {
    std::vector<std::uint32_t> offsets;
    for (const IFDRec* e : values) {
        std::uint64_t length = valueLength(*e);
        if (pin.holds(*e)) {
            if (pin.early) {
                offsets.push_back(pin.offset);
                continue;
            }
            if (next <= pin.offset) {
                offsets.push_back(pin.offset);
                next = static_cast<std::uint32_t>(pin.offset + pin.length);
                continue;
            }
            pin.failed = true; // what comes before it has grown past its old place
        }
        next = aligned(next);
        offsets.push_back(next);
        next += static_cast<std::uint32_t>(length);
    }
    return offsets;
}

// Fills with zero bytes up to a TIFF offset.
void padTo(std::uint32_t offset) {
    if (offset > tiffOffset())
        ToStream.write(std::vector<std::uint8_t>(offset - tiffOffset(), 0));
}

void UpdateValue(std::uint32_t adr, std::uint32_t d4) {
    if (adr == 0)
        return;
    const std::uint32_t f = Num32(d4);
    const std::uint8_t b[4] = {static_cast<std::uint8_t>(f), static_cast<std::uint8_t>(f >> 8),
                               static_cast<std::uint8_t>(f >> 16), static_cast<std::uint8_t>(f >> 24)};
    ToStream.patch(adr, b);
}

// `thumbnail`: the 1st IFD, whose JPEGInterchangeFormat is pointed at the thumbnail's copy.
void WriteIFDEntry(const IFDTable& ifd, bool thumbnail) {
    const auto count = static_cast<std::uint16_t>(ifd.size());
    DataOffset += 12 * count + 2;
    writeNumber16(count);
    DataOffset += 4;
    const std::vector<const IFDRec*> values = longValues(ifd);
    const std::vector<std::uint32_t> offsets = valueOffsets(values, DataOffset);
    for (const IFDRec& e : ifd) {
        const auto fieldPos = static_cast<std::uint32_t>(ToStream.position() + 8);
        if (thumbnail && e.IDX == 0x0201) {
            // A LONG holding the thumbnail's offset, whatever type the source gave it.
            ADR3 = fieldPos;
            writeNumber16(e.IDX);
            writeNumber16(LONG);
            writeNumber32(1);
            writeNumber32(0);
            continue;
        }
        if (IsPointerTag(e.IDX)) {
            // Always a LONG holding the directory's offset, whatever type the source gave it.
            (e.IDX == 0x8769 ? ADR4 : e.IDX == 0x8825 ? ADR5 : ADR6) = fieldPos;
            writeNumber16(e.IDX);
            writeNumber16(LONG);
            writeNumber32(1);
            writeNumber32(0);
            continue;
        }
        writeHeld16(e.ID);
        writeHeld16(e.DataType);
        writeHeld32(e.Count);
        const auto it = std::find(values.begin(), values.end(), &e);
        if (it == values.end())
            writeHeld32(e.Offset);
        else
            writeNumber32(offsets[static_cast<std::size_t>(it - values.begin())]);
    }
}

// The source's bytes from the MakerNote on, without anything that belonged to the other
// values, the directories or the thumbnail.
void writePinnedRegion(std::uint64_t makerNoteLength) {
    const std::uint64_t from = std::uint64_t{FmBasePos} + pin.offset;
    const std::uint64_t to = from + pin.length;
    const std::uint64_t at = ToStream.position();
    ToStream.write(FmStream.view(from, pin.length));
    for (const auto& [begin, end] : SourceClaims) {
        const std::uint64_t b = std::max(begin, from + makerNoteLength);
        const std::uint64_t z = std::min(end, to);
        if (b < z)
            ToStream.patch(at + (b - from), std::vector<std::uint8_t>(z - b, 0));
    }
}

void WriteIFDData(const IFDTable& ifd, std::uint32_t valuesStart) {
    const std::vector<const IFDRec*> values = longValues(ifd);
    const std::vector<std::uint32_t> offsets = valueOffsets(values, valuesStart);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const IFDRec& e = *values[i];
        padTo(offsets[i]);
        if (pin.holds(e)) {
            if (!pin.early)
                writePinnedRegion(e.Raw.size());
            continue;
        }
        const std::uint64_t tlen = valueLength(e);
        // A value shorter than its count says is padded with zero bytes.
        const std::size_t have = e.Raw.size() < tlen ? e.Raw.size() : static_cast<std::size_t>(tlen);
        ToStream.write({e.Raw.data(), have});
        if (have < tlen)
            ToStream.write(std::vector<std::uint8_t>(tlen - have, 0));
    }
}

// Writes one directory with its values on an even offset and returns that offset.
std::uint32_t writeDirectory(const IFDTable& ifd, bool thumbnail = false) {
    padTo(aligned(tiffOffset()));
    const std::uint32_t start = tiffOffset();
    DataOffset = start;
    WriteIFDEntry(ifd, thumbnail);
    writeNumber32(0); // next-IFD link
    WriteIFDData(ifd, tiffOffset());
    return start;
}

void WriteThumbnail() {
    if (SNOffset == 0 || SNSize == 0)
        return;
    ToStream.write(FmStream.view(std::uint64_t{FmBasePos} + SNOffset, SNSize));
}

// How far the MakerNote's own data may reach: to the last byte after it in the source block
// that is neither zero nor part of another value, a directory or the thumbnail, and at least a
// small margin. (A block written
// before holds such gaps as zeros, so saving a saved file does not grow it.)
std::uint64_t makerNoteExtent(std::uint64_t start, std::uint64_t length) {
    const std::uint64_t end = std::max(FmTiffEnd, start + length);
    std::vector<bool> claimed(end - start, false);
    for (const auto& [begin, stop] : SourceClaims)
        for (std::uint64_t p = std::max(begin, start); p < std::min(stop, end); ++p)
            claimed[p - start] = true;
    const auto bytes = FmStream.view(start, end - start);
    // A few bytes past its end even when they are zeros, as long as nothing else claims them:
    // old maker notes end with an empty directory whose count and link lie just past their
    // declared length.
    constexpr std::uint64_t kMargin = 16;
    std::uint64_t extent = length;
    while (extent < std::min(length + kMargin, end - start) && !claimed[extent])
        ++extent;
    for (std::uint64_t i = extent; i < end - start; ++i)
        if (!claimed[i] && bytes[i] != 0)
            extent = i + 1;
    return extent;
}

// What a JPEG segment's length field can hold.
constexpr std::uint64_t kMaxSegmentLength = 0xFFFF;

// Lays out SOI and the EXIF segment in ToStream; returns the segment's length, 0 when the
// output has no EXIF segment.
std::uint64_t layOut(const WriteTables& t, std::uint64_t makerNoteLength) {
    ToStream.clear();
    ADR1 = ADR2 = ADR3 = ADR4 = ADR5 = ADR6 = 0;
    const std::uint8_t soi[2] = {0xFF, 0xD8};
    ToStream.write(soi);
    // A block that would carry nothing is left out.
    if (t.ifd0.empty() && t.ifd1.empty())
        return 0;

    const std::uint8_t app1[2] = {0xFF, 0xE1};
    ToStream.write(app1);
    ADR1 = static_cast<std::uint32_t>(ToStream.position());
    const std::uint8_t header[8] = {0, 0, 'E', 'x', 'i', 'f', 0, 0};
    ToStream.write(header);
    ToBasePos = 12;
    // Anything but "MM" was read as little-endian, so it is written as "II".
    writeHeld16(BO == kBigEndian ? kBigEndian : kLittleEndian);
    writeNumber16(42);
    if (pin.early) {
        const std::uint32_t ifd0 = aligned(static_cast<std::uint32_t>(pin.offset + pin.length));
        writeNumber32(ifd0);
        padTo(pin.offset);
        writePinnedRegion(makerNoteLength);
        padTo(ifd0);
    } else {
        writeNumber32(8);
    }

    DataOffset = tiffOffset();
    WriteIFDEntry(t.ifd0, false);
    ADR2 = static_cast<std::uint32_t>(ToStream.position());
    writeNumber32(0);
    WriteIFDData(t.ifd0, tiffOffset());

    // The pointers of empty directories were left out, so their positions are 0 here.
    std::uint32_t at[3] = {0, 0, 0};
    if (!t.ifdX.empty())
        at[0] = writeDirectory(t.ifdX);
    if (!t.ifdG.empty())
        at[1] = writeDirectory(t.ifdG);
    if (!t.ifdI.empty())
        at[2] = writeDirectory(t.ifdI);
    if (!t.ifd1.empty()) {
        UpdateValue(ADR2, writeDirectory(t.ifd1, true));
        UpdateValue(ADR3, tiffOffset());
        WriteThumbnail();
    }
    // Last, since a pointer may also stand in the 1st IFD.
    UpdateValue(ADR4, at[pointerTarget[0]]);
    UpdateValue(ADR5, at[pointerTarget[1]]);
    UpdateValue(ADR6, at[pointerTarget[2]]);
    return ToStream.position() - ADR1;
}

} // namespace

void WriteJpeg() {
    WriteTables t{IFD0, IFDX, IFDG, IFDI, IFD1};
    for (IFDTable* table : {&t.ifd0, &t.ifdX, &t.ifdG, &t.ifdI, &t.ifd1}) {
        // An entry of no known type has no value; before the cleaning, so that a proper entry
        // of the same tag after it is the one kept.
        std::erase_if(*table, [](const IFDRec& e) { return !HasFieldType(e); });
        // A pointer is written as one LONG whatever the source said; a count of 0 must not make
        // the cleaning drop it and lose its directory.
        for (IFDRec& e : *table)
            if (IsPointerTag(e.IDX))
                e.Count = Num32(1);
    }
    for (IFDTable* table : {&t.ifd0, &t.ifdX, &t.ifdG, &t.ifd1})
        CleanIFD(*table);
    prunePointers(t);

    // The MakerNote back at its old offset, first with the source bytes that followed it in
    // the block, then alone, then wherever the layout puts it: the first layout that fits.
    const std::uint64_t makerNoteStart = std::uint64_t{FmBasePos} + MakerNoteOffset;
    std::uint64_t makerNoteLength = 0;
    const IFDRec* makerNote = nullptr;
    for (const IFDRec& e : t.ifdX)
        if (e.IDX == 0x927C)
            makerNote = &e, makerNoteLength = valueLength(e);
    std::vector<MakerNotePin> pins;
    if (MakerNoteOffset != 0 && makerNoteLength > 4 &&
        FmStream.contains(makerNoteStart, makerNoteLength)) {
        const std::uint64_t withTail = makerNoteExtent(makerNoteStart, makerNoteLength);
        // In tag order where the values before it leave room (what the source usually did),
        // else ahead of the other values, else right after the header.
        for (const auto& [early, first] : {std::pair{false, false}, {false, true}, {true, false}}) {
            if (early && MakerNoteOffset < 8)
                continue; // it cannot go before the header's end
            if (withTail > makerNoteLength)
                pins.push_back({MakerNoteOffset, withTail, early, first, false, makerNote});
            pins.push_back({MakerNoteOffset, makerNoteLength, early, first, false, makerNote});
        }
    }
    pins.push_back({});
    std::uint64_t length = 0;
    for (const MakerNotePin& candidate : pins) {
        pin = candidate;
        length = layOut(t, makerNoteLength);
        if (!pin.failed && length <= kMaxSegmentLength)
            break;
    }
    // Never a wrapped length: a block that does not fit one segment is refused.
    if (length > kMaxSegmentLength) {
        ToStream.clear();
        throw EngineError("EXIF データが " + std::to_string(length) +
                          " バイトになり、JPEG のセグメントに収まる 65535 バイトを超えるため"
                          "保存できません。ファイルは変更していません。");
    }
    if (length > 0) {
        const std::uint8_t lengthBytes[2] = {static_cast<std::uint8_t>(length >> 8),
                                             static_cast<std::uint8_t>(length)};
        ToStream.patch(ADR1, lengthBytes);
    }
    ToStream.append(TrailStream);
}

} // namespace Exif
