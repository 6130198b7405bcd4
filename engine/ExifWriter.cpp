// The JPEG writer: SOI, a freshly laid out APP1 EXIF block built from the tables, the
// thumbnail, then the kept tail of the source.
//
// The block is laid out in two steps. First every directory, value and thumbnail gets its TIFF
// offset: the MakerNote and what private data refers to keep their offsets in the source
// (offsets inside them stay right), everything else takes the first free even offset around
// them. Then the block is written with every offset known.
#include "Exif.h"

#include <algorithm>
#include <map>
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

// Which sub-directory a pointer entry leads to: 0 Exif, 1 GPS, 2 Interoperability.
int kindOf(const IFDRec& pointer) {
    return pointer.IDX == 0x8769 ? 0 : pointer.IDX == 0x8825 ? 1 : 2;
}

// An empty directory is not written: the pointers to it go, which may empty another one (a
// directory that held nothing but pointers, or private directories that could not be kept).
void dropPointersToEmptyDirectories(WriteTables& t) {
    const IFDTable* tables[3] = {&t.ifdX, &t.ifdG, &t.ifdI};
    for (bool changed = true; changed;) {
        changed = false;
        for (IFDTable* table : {&t.ifd0, &t.ifd1, &t.ifdX, &t.ifdG, &t.ifdI})
            changed |= std::erase_if(*table, [&](const IFDRec& e) {
                return IsPointerTag(e.IDX) && tables[pointerTarget[kindOf(e)]]->empty();
            }) > 0;
    }
}

// Keeps one pointer to each written sub-directory: the first met when the directories are
// walked from the 0th and then the 1st IFD, following each pointer as it is met, as a reader
// walks them. Pointers to empty directories, second pointers to one directory, and pointers
// that stand where no reader comes (inside a directory nothing points at, or inside their own
// directory) are left out. A pointer sent to the directory it shared in the source goes only
// where that directory has been reached already, so that a reader still takes the directory
// for what it is. A directory this leaves empty loses its pointers with each attempt at the
// block (dropPointersToEmptyDirectories).
void prunePointers(WriteTables& t) {
    IFDTable* tables[3] = {&t.ifdX, &t.ifdG, &t.ifdI};
    for (int k = 0; k < 3; ++k) {
        pointerTarget[k] = k;
        const int shared = PointerSharedWith[k];
        if (tables[k]->empty() && shared >= 0 && !tables[shared]->empty())
            pointerTarget[k] = shared;
    }
    bool kept[3] = {false, false, false};
    std::vector<IFDTable*> reached;
    const auto wasReached = [&](const IFDTable* table) {
        return std::find(reached.begin(), reached.end(), table) != reached.end();
    };
    const auto walk = [&](const auto& self, IFDTable* table) -> void {
        reached.push_back(table);
        std::erase_if(*table, [&](const IFDRec& e) {
            if (!IsPointerTag(e.IDX))
                return false;
            const int k = kindOf(e);
            IFDTable* target = tables[pointerTarget[k]];
            if (kept[k] || target->empty() || target == table ||
                (pointerTarget[k] != k && !wasReached(target)))
                return true;
            kept[k] = true;
            if (!wasReached(target))
                self(self, target);
            return false;
        });
    };
    walk(walk, &t.ifd0);
    walk(walk, &t.ifd1);
    for (IFDTable* table : tables)
        if (!wasReached(table))
            std::erase_if(*table, [](const IFDRec& e) { return IsPointerTag(e.IDX); });
}

struct MarkedTable {
    IFDTable* table;
    char mk;
};

std::vector<MarkedTable> marked(WriteTables& t) {
    return {{&t.ifd0, '0'}, {&t.ifdX, 'X'}, {&t.ifdG, 'G'}, {&t.ifdI, 'I'}, {&t.ifd1, '1'}};
}

std::uint64_t valueLength(const IFDRec& e) {
    return std::uint64_t{DataLength(Num16(e.DataType))} * Num32(e.Count);
}

bool isThumbnailOffset(const IFDRec& e, char mk) { return mk == '1' && e.IDX == 0x0201; }
// The bytes of the JPEG thumbnail to copy (an offset of 0 locates none).
std::uint64_t thumbnailSize() { return SNOffset != 0 ? SNSize : 0; }
bool isStripOffsets(const IFDRec& e, char mk) { return mk == '1' && e.IDX == 0x0111; }

// --- Layout ------------------------------------------------------------------------------------

// The free TIFF offsets of a block: from 8 (behind the header) on, around the kept stretches.
// Between kept stretches lie gaps, filled piece by piece; behind the last one the tail, filled
// in order. TIFF wants directories and values on even offsets.
class Space {
public:
    explicit Space(std::vector<TiffRange> kept) {
        std::sort(kept.begin(), kept.end(),
                  [](const TiffRange& a, const TiffRange& b) { return a.begin < b.begin; });
        std::uint64_t from = 8;
        for (const TiffRange& k : kept) {
            if (k.begin > from)
                gaps_.push_back({from, k.begin});
            from = std::max(from, k.end);
        }
        tail_ = {from, UINT64_MAX};
    }

    // Takes `length` bytes in the gap they fill best; false when no gap has room.
    bool takeGap(std::uint64_t length, std::uint64_t& at) {
        TiffRange* best = nullptr;
        for (TiffRange& g : gaps_)
            if (room(g) >= length && (best == nullptr || room(g) < room(*best)))
                best = &g;
        if (best == nullptr)
            return false;
        at = take(*best, length);
        return true;
    }
    // Takes `length` bytes in the tail, behind what it took before.
    std::uint64_t takeTail(std::uint64_t length) { return take(tail_, length); }
    // The end of what was taken.
    std::uint64_t used() const { return used_; }

private:
    static std::uint64_t start(const TiffRange& r) { return r.begin + (r.begin & 1); }
    static std::uint64_t room(const TiffRange& r) { return start(r) <= r.end ? r.end - start(r) : 0; }
    std::uint64_t take(TiffRange& r, std::uint64_t length) {
        const std::uint64_t at = start(r);
        r.begin = at + length;
        used_ = std::max(used_, r.begin);
        return at;
    }

    std::vector<TiffRange> gaps_;
    TiffRange tail_;
    std::uint64_t used_ = 8;
};

// Where everything of the block goes.
struct Layout {
    std::uint64_t size = 8; // of the TIFF data
    std::uint64_t ifd0 = 0, ifd1 = 0, sub[3] = {0, 0, 0}; // Exif, GPS, Interoperability
    std::map<const IFDRec*, std::uint64_t> values;
    std::uint64_t thumbnail = 0;
    std::vector<std::uint64_t> strips;
};

std::uint64_t directorySize(const IFDTable& ifd) { return 2 + 12 * std::uint64_t{ifd.size()} + 4; }

// `makerNote`: the entry whose value goes to `makerNoteAt`, or none.
//
// The gaps between kept stretches are filled largest piece first, each into the gap it fits
// best, so that a thumbnail finds room where the source had it; what fits no gap follows the
// kept stretches in the usual order: directories each with its values, the thumbnail last.
Layout plan(WriteTables& t, const std::vector<TiffRange>& kept, const IFDRec* makerNote,
            std::uint64_t makerNoteAt) {
    Layout l;
    struct Piece {
        std::uint64_t length;
        std::uint64_t* at;
    };
    std::vector<Piece> pieces; // in the usual order
    auto directory = [&](const IFDTable& ifd, std::uint64_t& at) {
        pieces.push_back({directorySize(ifd), &at});
        for (const IFDRec& e : ifd) {
            if (valueLength(e) <= 4 || IsPointerTag(e.IDX))
                continue;
            std::uint64_t& value = l.values[&e];
            if (&e == makerNote)
                value = makerNoteAt;
            else
                pieces.push_back({valueLength(e), &value});
        }
    };
    directory(t.ifd0, l.ifd0);
    const IFDTable* subs[3] = {&t.ifdX, &t.ifdG, &t.ifdI};
    for (int k = 0; k < 3; ++k)
        if (!subs[k]->empty())
            directory(*subs[k], l.sub[k]);
    if (!t.ifd1.empty()) {
        directory(t.ifd1, l.ifd1);
        if (std::any_of(t.ifd1.begin(), t.ifd1.end(),
                        [](const IFDRec& e) { return isThumbnailOffset(e, '1'); }))
            pieces.push_back({thumbnailSize(), &l.thumbnail});
        if (std::any_of(t.ifd1.begin(), t.ifd1.end(),
                        [](const IFDRec& e) { return isStripOffsets(e, '1'); })) {
            l.strips.resize(ThumbnailStrips.size());
            for (std::size_t i = 0; i < ThumbnailStrips.size(); ++i)
                pieces.push_back({ThumbnailStrips[i].second, &l.strips[i]});
        }
    }

    // What is kept from the source belongs to the block as far as the source has it.
    const std::uint64_t sourceSize = FmTiffEnd - std::min<std::uint64_t>(FmTiffEnd, FmBasePos);
    Space space(kept);
    std::vector<const Piece*> bySize;
    for (const Piece& p : pieces)
        bySize.push_back(&p);
    std::stable_sort(bySize.begin(), bySize.end(),
                     [](const Piece* a, const Piece* b) { return a->length > b->length; });
    std::vector<bool> placed(pieces.size(), false);
    for (const Piece* p : bySize)
        placed[static_cast<std::size_t>(p - pieces.data())] = space.takeGap(p->length, *p->at);
    for (std::size_t i = 0; i < pieces.size(); ++i)
        if (!placed[i])
            *pieces[i].at = space.takeTail(pieces[i].length);

    l.size = space.used();
    for (const TiffRange& k : kept)
        if (k.begin < sourceSize)
            l.size = std::max(l.size, std::min(k.end, sourceSize));
    return l;
}

// --- Writing -----------------------------------------------------------------------------------

class BlockWriter {
public:
    explicit BlockWriter(std::uint64_t size) : bytes_(size, 0) {}

    void bytes(std::uint64_t at, std::span<const std::uint8_t> b) {
        std::copy(b.begin(), b.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(at));
    }
    // Fields held in file order go out as their bytes; numbers go through the file's byte order.
    void held16(std::uint64_t at, std::uint16_t held) {
        const std::uint8_t b[2] = {static_cast<std::uint8_t>(held), static_cast<std::uint8_t>(held >> 8)};
        bytes(at, b);
    }
    void held32(std::uint64_t at, std::uint32_t held) {
        const std::uint8_t b[4] = {static_cast<std::uint8_t>(held), static_cast<std::uint8_t>(held >> 8),
                                   static_cast<std::uint8_t>(held >> 16),
                                   static_cast<std::uint8_t>(held >> 24)};
        bytes(at, b);
    }
    void number16(std::uint64_t at, std::uint16_t v) { held16(at, Num16(v)); }
    void number32(std::uint64_t at, std::uint32_t v) { held32(at, Num32(v)); }
    // A pointer-like entry: a LONG holding an offset, whatever type the source gave it.
    void offsetEntry(std::uint64_t at, std::uint16_t tag, std::uint64_t offset) {
        number16(at, tag);
        number16(at + 2, LONG);
        number32(at + 4, 1);
        number32(at + 8, static_cast<std::uint32_t>(offset));
    }
    const std::vector<std::uint8_t>& result() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

// The StripOffsets value pointing at the strips' new places, in the entry's type.
std::vector<std::uint8_t> stripOffsetsValue(const IFDRec& e, const Layout& l) {
    std::vector<std::uint8_t> out;
    const bool shortType = Num16(e.DataType) == SHORT;
    for (std::uint64_t at : l.strips) {
        const std::uint32_t v = shortType ? Num16(static_cast<std::uint16_t>(at))
                                          : Num32(static_cast<std::uint32_t>(at));
        for (int i = 0; i < (shortType ? 2 : 4); ++i)
            out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    out.resize(valueLength(e), 0);
    return out;
}

void writeDirectory(BlockWriter& w, const Layout& l, const IFDTable& ifd, char mk,
                    std::uint64_t at, std::uint64_t link) {
    w.number16(at, static_cast<std::uint16_t>(ifd.size()));
    std::uint64_t p = at + 2;
    for (const IFDRec& e : ifd) {
        if (IsPointerTag(e.IDX)) {
            w.offsetEntry(p, e.IDX, l.sub[pointerTarget[kindOf(e)]]);
        } else if (isThumbnailOffset(e, mk)) {
            w.offsetEntry(p, e.IDX, l.thumbnail);
        } else {
            w.held16(p, e.ID);
            w.held16(p + 2, e.DataType);
            w.held32(p + 4, e.Count);
            const std::uint64_t length = valueLength(e);
            const bool strips = isStripOffsets(e, mk);
            const std::vector<std::uint8_t> stripsValue =
                strips ? stripOffsetsValue(e, l) : std::vector<std::uint8_t>();
            // A value shorter than its count says is padded with zero bytes: the block's
            // bytes are zero where nothing was written.
            const std::span<const std::uint8_t> value = strips ? stripsValue : e.Raw;
            const auto held = value.first(std::min<std::uint64_t>(value.size(), length));
            if (length <= 4) {
                if (strips)
                    w.bytes(p + 8, held);
                else
                    w.held32(p + 8, e.Offset);
            } else {
                const std::uint64_t valueAt = l.values.at(&e);
                w.number32(p + 8, static_cast<std::uint32_t>(valueAt));
                w.bytes(valueAt, held);
            }
        }
        p += 12;
    }
    w.number32(p, static_cast<std::uint32_t>(link));
}

// Copies `length` source bytes from `from` (in FmStream) to the block at `at`.
void copySource(BlockWriter& w, std::uint64_t from, std::uint64_t length, std::uint64_t at) {
    if (length > 0)
        w.bytes(at, FmStream.view(from, length));
}

std::vector<std::uint8_t> writeBlock(WriteTables& t, const Layout& l,
                                     const std::vector<TiffRange>& kept) {
    BlockWriter w(l.size);
    // Anything but "MM" was read as little-endian, so it is written as "II".
    w.held16(0, BO == kBigEndian ? kBigEndian : kLittleEndian);
    w.number16(2, 42);
    w.number32(4, static_cast<std::uint32_t>(l.ifd0));
    // The kept stretches as the source has them (the source block is shorter than some).
    const std::uint64_t sourceSize = FmTiffEnd - std::min<std::uint64_t>(FmTiffEnd, FmBasePos);
    for (const TiffRange& k : kept) {
        const std::uint64_t end = std::min({k.end, sourceSize, l.size});
        if (k.begin < end)
            copySource(w, FmBasePos + k.begin, end - k.begin, k.begin);
    }
    for (const auto& [table, mk] : marked(t)) {
        // The 0th IFD is written even when empty: it holds the link to the 1st IFD.
        if (table->empty() && mk != '0')
            continue;
        const std::uint64_t at = mk == '0'   ? l.ifd0
                                 : mk == '1' ? l.ifd1
                                             : l.sub[mk == 'X' ? 0 : mk == 'G' ? 1 : 2];
        writeDirectory(w, l, *table, mk, at, mk == '0' ? l.ifd1 : 0);
    }
    if (l.thumbnail != 0)
        copySource(w, std::uint64_t{FmBasePos} + SNOffset, thumbnailSize(), l.thumbnail);
    for (std::size_t i = 0; i < l.strips.size(); ++i)
        copySource(w, std::uint64_t{FmBasePos} + ThumbnailStrips[i].first,
                   ThumbnailStrips[i].second, l.strips[i]);
    return w.result();
}

// What a JPEG segment's length field can hold: its own 2 bytes, "Exif\0\0" and the TIFF data.
constexpr std::uint64_t kMaxSegmentLength = 0xFFFF;

// How a layout treats the MakerNote and the private sub-directories.
struct Attempt {
    std::uint64_t makerNoteAt;  // where the MakerNote goes
    bool references;            // what it refers to stays where it is
    bool privateDirectories;    // so do the private sub-directories
};

// First the MakerNote and what private data refers to where the source has them. When that
// does not fit one segment, the pointers to private directories are left out (they would point
// into other data), then the MakerNote goes right behind the header, first with what it refers
// to, then alone. A saved file opens with its MakerNote where the save put it, and so is saved
// the same way again.
std::vector<Attempt> attempts(bool hasMakerNote) {
    std::vector<Attempt> out;
    if (!hasMakerNote)
        return {{0, false, true}, {0, false, false}};
    if (MakerNoteOffset >= 8) {
        out.push_back({MakerNoteOffset, true, true});
        out.push_back({MakerNoteOffset, true, false});
    }
    out.push_back({8, true, false});
    out.push_back({8, false, false});
    return out;
}

} // namespace

void WriteJpeg() {
    WriteTables t{IFD0, IFDX, IFDG, IFDI, IFD1};
    for (const auto& [table, mk] : marked(t)) {
        // An entry of no known type has no value; before the cleaning, so that a proper entry
        // of the same tag after it is the one kept. A pointer to the Exif, GPS or
        // Interoperability directory stays whatever its type: the directory it leads to was read.
        std::erase_if(*table, [](const IFDRec& e) { return !HasFieldType(e) && !IsPointerTag(e.IDX); });
        // A pointer is written as one LONG whatever the source said; a count of 0 must not make
        // the cleaning drop it and lose its directory.
        for (IFDRec& e : *table)
            if (IsPointerTag(e.IDX))
                e.Count = Num32(1);
    }
    for (IFDTable* table : {&t.ifd0, &t.ifdX, &t.ifdG, &t.ifd1})
        CleanIFD(*table);
    prunePointers(t);
    // Without the thumbnail's strips there is nothing for StripOffsets to point at.
    if (ThumbnailStrips.empty())
        std::erase_if(t.ifd1, [](const IFDRec& e) { return isStripOffsets(e, '1'); });

    const IFDRec* note = nullptr;
    for (const IFDRec& e : t.ifdX)
        if (e.IDX == 0x927C && valueLength(e) > 4)
            note = &e;
    std::vector<std::uint8_t> tiff;
    bool carries = false;
    for (const Attempt& a : attempts(note != nullptr)) {
        WriteTables tables = t;
        const IFDRec* makerNote = nullptr;
        std::vector<TiffRange> kept;
        for (const auto& [table, mk] : marked(tables))
            std::erase_if(*table, [&, mk = mk](const IFDRec& e) {
                return IsPrivateDirectoryEntry(e, mk) &&
                       !(a.privateDirectories && PrivateDirectoryReach(e, mk, kept));
            });
        dropPointersToEmptyDirectories(tables);
        for (const IFDRec& e : tables.ifdX)
            if (e.IDX == 0x927C && valueLength(e) > 4)
                makerNote = &e;
        if (makerNote != nullptr) {
            // The whole value, padded as it is written, at its place.
            std::vector<std::uint8_t> bytes = makerNote->Raw;
            bytes.resize(valueLength(*makerNote), 0);
            const std::vector<TiffRange> reach = MakerNoteReach(a.makerNoteAt, bytes);
            if (a.references)
                kept.insert(kept.end(), reach.begin(), reach.end());
            else
                kept.push_back({a.makerNoteAt, a.makerNoteAt + bytes.size()});
        }
        const Layout l = plan(tables, kept, makerNote, a.makerNoteAt);
        tiff = writeBlock(tables, l, kept);
        // A block that would carry nothing is left out.
        carries = !tables.ifd0.empty() || !tables.ifd1.empty();
        if (2 + 6 + tiff.size() <= kMaxSegmentLength)
            break;
    }

    ToStream.clear();
    const std::uint8_t soi[2] = {0xFF, 0xD8};
    ToStream.write(soi);
    if (carries) {
        const std::uint64_t length = 2 + 6 + tiff.size();
        // Never a wrapped length: a block that does not fit one segment is refused.
        if (length > kMaxSegmentLength) {
            ToStream.clear();
            throw EngineError("EXIF データが " + std::to_string(length) +
                              " バイトになり、JPEG のセグメントに収まる 65535 バイトを超えるため"
                              "保存できません。ファイルは変更していません。");
        }
        const std::uint8_t head[10] = {0xFF, 0xE1, static_cast<std::uint8_t>(length >> 8),
                                       static_cast<std::uint8_t>(length), 'E', 'x', 'i', 'f', 0, 0};
        ToStream.write(head);
        ToStream.write(tiff);
    }
    ToStream.append(TrailStream);
}

} // namespace Exif
