// What private data in the EXIF block refers to: the directories and values a MakerNote or a
// private sub-directory points at, so that the writer can keep them where their offsets say.
//
// The writer keeps every byte this reading looks at in place (and writes zeros where the
// source had none), so reading a saved file looks at the same bytes and finds the same
// stretches: saving a saved file gives the same layout.
#include "Exif.h"

#include <algorithm>
#include <set>

namespace Exif {
namespace {

// Offsets beyond what one JPEG segment can hold never matter to a block that can be written.
constexpr std::uint64_t kTiffLimit = 0x10000;
// A directory holds at most this many entries; more is not a directory but other data.
constexpr std::uint16_t kMaxEntries = 1000;
// How deep sub-directories of sub-directories are followed, and how many offsets one entry
// may hold before it is taken for other data.
constexpr int kMaxDepth = 4;
constexpr std::uint32_t kMaxOffsets = 64;
// Tags of maker notes' own sub-directories stored as LONG: Nikon's preview and scan
// directories.
constexpr std::uint16_t kMakerNoteDirectoryTags[] = {0x0011, 0x0E10};

std::uint64_t elementSize(std::uint16_t type) { return type == IFD ? 4 : DataLength(type); }

// The bytes of the block as the writer will lay it out: the source's TIFF data, with zeros past
// its end and the MakerNote at the offset it is given.
struct Block {
    std::span<const std::uint8_t> tiff;
    std::uint64_t noteAt = 0;
    std::span<const std::uint8_t> note;

    Block(std::uint64_t makerNoteAt, std::span<const std::uint8_t> makerNote)
        : noteAt(makerNoteAt), note(makerNote) {
        const std::uint64_t length = FmTiffEnd > FmBasePos ? FmTiffEnd - FmBasePos : 0;
        tiff = FmStream.view(FmBasePos, length);
    }
    std::uint8_t operator[](std::uint64_t at) const {
        if (at >= noteAt && at - noteAt < note.size())
            return note[at - noteAt];
        return at < tiff.size() ? tiff[at] : 0;
    }
};

// Reads the block and notes which stretches it keeps.
class Walk {
public:
    Walk(const Block& block, std::uint64_t base, bool bigEndian, std::vector<TiffRange>& reach)
        : block_(block), base_(base), big_(bigEndian), reach_(reach) {}

    std::uint8_t byte(std::uint64_t at) const { return block_[at]; }
    std::uint16_t u16(std::uint64_t at) const {
        return big_ ? static_cast<std::uint16_t>(byte(at) << 8 | byte(at + 1))
                    : static_cast<std::uint16_t>(byte(at) | byte(at + 1) << 8);
    }
    std::uint32_t u32(std::uint64_t at) const {
        const std::uint32_t a = u16(at), b = u16(at + 2);
        return big_ ? a << 16 | b : b << 16 | a;
    }

    void keep(std::uint64_t begin, std::uint64_t length) {
        const std::uint64_t end = std::min(begin + length, kTiffLimit);
        if (begin >= 8 && begin < end)
            reach_.push_back({begin, end});
    }

    // The numbers an entry holds, read as offsets; empty when it holds none that can be.
    std::vector<std::uint32_t> offsets(std::uint16_t type, std::uint32_t count,
                                       std::uint64_t field) {
        std::vector<std::uint32_t> out;
        const std::uint64_t size = elementSize(type);
        if ((type != SHORT && type != LONG && type != IFD) || count == 0 || count > kMaxOffsets)
            return out;
        std::uint64_t at = field; // the value field, or where it points
        if (size * count > 4) {
            at = base_ + u32(field);
            if (at < 8)
                return out;
            keep(at, size * count);
        }
        for (std::uint32_t i = 0; i < count; ++i)
            out.push_back(size == 2 ? u16(at + 2 * i) : u32(at + 4 * i));
        return out;
    }

    // The directory at `at` with its values, the data and sub-directories it points at, and
    // the directories its link leads to. False when what lies there is no directory.
    bool directory(std::uint64_t at, int depth, bool makerNote) {
        if (at < 8 || at >= kTiffLimit)
            return false;
        if (depth > kMaxDepth || !visited_.insert(at).second)
            return true;
        const std::uint16_t count = u16(at);
        if (count == 0 || count > kMaxEntries) {
            keep(at, 2);
            return false;
        }
        for (std::uint16_t i = 0; i < count; ++i) {
            const std::uint16_t type = u16(at + 2 + 12 * i + 2);
            if (type < BYTE || type > IFD) {
                keep(at, 2 + 12 * (std::uint64_t{i} + 1)); // what was read to tell
                return false;
            }
        }
        // count 2 + entries 12 each + link 4
        keep(at, 2 + 12 * std::uint64_t{count} + 4);
        for (std::uint16_t i = 0; i < count; ++i)
            entry(at, at + 2 + 12 * std::uint64_t{i}, count, depth, makerNote);
        if (const std::uint32_t link = u32(at + 2 + 12 * std::uint64_t{count}); link != 0)
            directory(base_ + link, depth + 1, makerNote);
        return true;
    }

private:
    void entry(std::uint64_t dir, std::uint64_t at, std::uint16_t count, int depth,
               bool makerNote) {
        const std::uint16_t tag = u16(at), type = u16(at + 2);
        const std::uint32_t n = u32(at + 4);
        const std::uint64_t length = elementSize(type) * n;
        if (length > 4)
            keep(base_ + u32(at + 8), length);
        const bool subDirectory =
            type == IFD ||
            (type == LONG &&
             (makerNote ? std::find(std::begin(kMakerNoteDirectoryTags),
                                    std::end(kMakerNoteDirectoryTags),
                                    tag) != std::end(kMakerNoteDirectoryTags)
                        : tag == 0x014A || tag == 0x8290 || tag == 0xFE00));
        if (subDirectory)
            for (std::uint32_t o : offsets(type, n, at + 8))
                directory(base_ + o, depth + 1, makerNote);
        // Data located by an offset and a length tag: a JPEG picture or the strips of one.
        const std::uint16_t lengthTag = tag == 0x0201 ? 0x0202 : tag == 0x0111 ? 0x0117 : 0;
        if (lengthTag == 0)
            return;
        for (std::uint16_t k = 0; k < count; ++k) {
            const std::uint64_t other = dir + 2 + 12 * std::uint64_t{k};
            if (u16(other) != lengthTag)
                continue;
            const std::vector<std::uint32_t> starts = offsets(type, n, at + 8);
            const std::vector<std::uint32_t> lengths =
                offsets(u16(other + 2), u32(other + 4), other + 8);
            for (std::size_t j = 0; j < starts.size() && j < lengths.size(); ++j)
                keep(base_ + starts[j], lengths[j]);
            return;
        }
    }

    const Block& block_;
    std::uint64_t base_;
    bool big_;
    std::vector<TiffRange>& reach_;
    std::set<std::uint64_t> visited_;
};

// Where a MakerNote's directory starts and what its offsets count from, when it has one.
struct MakerNoteLayout {
    std::uint64_t directory = 0, base = 0;
    bool bigEndian = false;
};

// A directory of at least two entries of known types, lying inside the MakerNote.
bool directoryInside(const Walk& w, std::uint64_t at, std::uint64_t end) {
    if (at + 2 > end)
        return false;
    const std::uint16_t count = w.u16(at);
    if (count < 2 || count > kMaxEntries || at + 2 + 12 * std::uint64_t{count} > end)
        return false;
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::uint16_t type = w.u16(at + 2 + 12 * i + 2);
        if (type < BYTE || type > IFD)
            return false;
    }
    return true;
}

bool findMakerNoteLayout(const Block& block, MakerNoteLayout& found) {
    std::vector<TiffRange> unused;
    const std::uint64_t start = block.noteAt, length = block.note.size();
    const std::uint64_t end = start + length;
    // A TIFF header of its own near the start ("Nikon\0\2\x10\0\0" then "MM\0*"): offsets count
    // from that header.
    for (std::uint64_t h = 0; h <= 16 && h + 8 <= length; h += 2) {
        const Walk probe(block, 0, false, unused);
        const bool ii = probe.byte(start + h) == 'I' && probe.byte(start + h + 1) == 'I' &&
                        probe.u16(start + h + 2) == 42;
        const bool mm = probe.byte(start + h) == 'M' && probe.byte(start + h + 1) == 'M' &&
                        probe.u16(start + h + 2) == 0x2A00;
        if (!ii && !mm)
            continue;
        const Walk w(block, 0, mm, unused);
        found = {start + h + w.u32(start + h + 4), start + h, mm};
        return true;
    }
    // Otherwise a directory after a short signature ("Panasonic\0\0\0", "OLYMPUS\0II\3\0",
    // "AOC\0MM" …), in the block's byte order or the other.
    for (std::uint64_t h = 0; h <= 64 && h + 2 <= length; h += 2) {
        for (const bool big : {BO == kBigEndian, BO != kBigEndian}) {
            const Walk w(block, 0, big, unused);
            if (!directoryInside(w, start + h, end))
                continue;
            // Offsets count from the TIFF header or from the MakerNote: the one that puts more
            // of the directory's values inside the MakerNote.
            int fromTiff = 0, fromNote = 0;
            for (std::uint16_t i = 0; i < w.u16(start + h); ++i) {
                const std::uint64_t e = start + h + 2 + 12 * std::uint64_t{i};
                const std::uint64_t n = elementSize(w.u16(e + 2)) * w.u32(e + 4);
                if (n <= 4)
                    continue;
                const std::uint64_t v = w.u32(e + 8);
                fromTiff += v >= start && v + n <= end;
                fromNote += start + v + n <= end;
            }
            found = {start + h, fromNote > fromTiff ? start : 0, big};
            return true;
        }
    }
    return false;
}

} // namespace

std::vector<TiffRange> MakerNoteReach(std::uint64_t at, std::span<const std::uint8_t> makerNote) {
    std::vector<TiffRange> reach;
    const Block block(at, makerNote);
    MakerNoteLayout layout;
    const bool structured = findMakerNoteLayout(block, layout);
    Walk w(block, layout.base, layout.bigEndian, reach);
    w.keep(at, makerNote.size());
    if (structured)
        w.directory(layout.directory, 0, true);
    return reach;
}

bool PrivateDirectoryReach(const IFDRec& entry, char mk, std::vector<TiffRange>& reach) {
    if (!IsPrivateDirectoryEntry(entry, mk))
        return false;
    std::vector<TiffRange> found;
    const Block block(0, {});
    Walk w(block, 0, BO == kBigEndian, found);
    const std::uint32_t count = Num32(entry.Count);
    if (count == 0 || count > kMaxOffsets)
        return false;
    std::vector<std::uint32_t> offsets;
    if (Num16(entry.DataType) == IFD) {
        // The field holds the one offset, or where the offsets lie: that array then stays
        // where the field says, since the field is written as it is.
        const std::uint32_t field = Num32(entry.Offset);
        if (count == 1) {
            offsets.push_back(field);
        } else {
            if (field < 8)
                return false;
            w.keep(field, 4 * std::uint64_t{count});
            for (std::uint32_t i = 0; i < count; ++i)
                offsets.push_back(w.u32(field + 4 * std::uint64_t{i}));
        }
    } else if (!EntryNumbers(entry, offsets)) {
        return false;
    }
    for (std::uint32_t o : offsets)
        if (!w.directory(o, 0, false))
            return false;
    reach.insert(reach.end(), found.begin(), found.end());
    return true;
}

} // namespace Exif
