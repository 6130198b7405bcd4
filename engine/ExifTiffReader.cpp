// The TIFF reader: the five directories of the EXIF block into their tables, placeholders for
// the editable tags, the thumbnail location, and the information listing.
#include "Exif.h"

#include <cstdio>
#include <cstring>
#include <algorithm>
#include <bitset>
#include <map>
#include <set>

#include "ExifDetails.h"
#include "NumberText.h"
#include "TextCodec.h"

namespace Exif {
namespace {

// Bookkeeping of one ReadTIFF: which directory offsets and which tables have been read, so
// that pointer loops end and no directory is decoded twice.
std::set<std::uint64_t> visitedOffsets;
std::set<const IFDTable*> visitedTables;
// Which kind of pointer first led to a directory offset.
std::map<std::uint64_t, int> pointedAt;

int pointerKind(std::uint16_t tag) { return tag == 0x8769 ? 0 : tag == 0x8825 ? 1 : 2; }
// How many value bytes the directories may still take in (see ReadIFD).
std::uint64_t valueBudget = 0;
// The thumbnail tags of the 1st IFD could not be read as numbers.
bool thumbnailUnreadable = false;

bool insideTiff(std::uint64_t pos, std::uint64_t n) {
    return pos <= FmTiffEnd && n <= FmTiffEnd - pos;
}

IFDTable& tableOfPointer(std::uint16_t tag) {
    switch (tag) {
    case 0x8769: return IFDX;
    case 0x8825: return IFDG;
    default: return IFDI;
    }
}

char markOfPointer(std::uint16_t tag) {
    switch (tag) {
    case 0x8769: return 'X';
    case 0x8825: return 'G';
    default: return 'I';
    }
}

Listing& bufferOfPointer(std::uint16_t tag, Listing& exifX, Listing& exifG, Listing& exifI) {
    switch (tag) {
    case 0x8769: return exifX;
    case 0x8825: return exifG;
    default: return exifI;
    }
}

// The listing buffers of the directories while one ReadTIFF runs.
Listing* bufX = nullptr;
Listing* bufG = nullptr;
Listing* bufI = nullptr;

struct Placeholder {
    std::uint16_t tag;
    std::uint16_t type;
};
constexpr Placeholder k0thPlaceholders[] = {{0x010E, ASCII}, {0x013B, ASCII}, {0x8298, ASCII}};
constexpr Placeholder kExifPlaceholders[] = {{0x9286, UNDEFINED}, {0xA430, ASCII}};
constexpr Placeholder kGpsPlaceholders[] = {
    {0x00, BYTE},  {0x01, ASCII},    {0x02, RATIONAL},  {0x03, ASCII},
    {0x04, RATIONAL}, {0x05, BYTE},  {0x06, RATIONAL},  {0x10, ASCII},
    {0x11, RATIONAL}, {0x1B, UNDEFINED}, {0x1C, UNDEFINED}, {0x1D, ASCII},
};

std::span<const Placeholder> placeholdersOf(char mk) {
    switch (mk) {
    case '0': return k0thPlaceholders;
    case 'X': return kExifPlaceholders;
    case 'G': return kGpsPlaceholders;
    default: return {};
    }
}

// Reads the number of a thumbnail tag; an unreadable one makes the thumbnail unusable.
std::uint32_t thumbnailNumber(const IFDRec& entry) {
    try {
        const std::int64_t v = NumberText::ParseInt64(ReadData(entry));
        if (v >= 0 && v <= 0xFFFFFFFF)
            return static_cast<std::uint32_t>(v);
    } catch (const EngineError&) {
    }
    thumbnailUnreadable = true;
    return 0;
}

// The strips of an uncompressed thumbnail, carried like the JPEG thumbnail when every strip
// lies in the source.
bool readThumbnailStrips() {
    const auto first = [](std::uint16_t tag) -> const IFDRec* {
        for (const IFDRec& rec : IFD1)
            if (rec.IDX == tag)
                return &rec;
        return nullptr;
    };
    const IFDRec* offsetsEntry = first(0x0111);
    const IFDRec* lengthsEntry = first(0x0117);
    if (offsetsEntry == nullptr && lengthsEntry == nullptr)
        return true;
    std::vector<std::uint32_t> offsets, lengths;
    if (offsetsEntry == nullptr || lengthsEntry == nullptr ||
        !EntryNumbers(*offsetsEntry, offsets) || !EntryNumbers(*lengthsEntry, lengths) ||
        offsets.empty() || offsets.size() != lengths.size())
        return false;
    // What a JPEG segment can hold bounds what is worth copying.
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        total += lengths[i];
        if (total > 0xFFFF || !FmStream.contains(std::uint64_t{FmBasePos} + offsets[i], lengths[i]))
            return false;
        ThumbnailStrips.emplace_back(offsets[i], lengths[i]);
    }
    return true;
}

// A thumbnail whose location cannot be read or lies outside the source is left out of the
// output instead of failing the open or the save: the tags that locate it go together, so no
// offset is left pointing into other data.
// An offset of 0 points at the TIFF header: no thumbnail lies there, and a save writes none.
// A length without an offset locates nothing and stays a plain value, kept by every save alike.
void dropUnusableThumbnail() {
    const bool located = std::any_of(IFD1.begin(), IFD1.end(), [](const IFDRec& rec) {
        return rec.IDX == 0x0201 && Num32(rec.Count) != 0;
    });
    const std::uint64_t start = std::uint64_t{FmBasePos} + SNOffset;
    if (!located) {
        SNOffset = SNSize = 0;
    } else if (thumbnailUnreadable || SNOffset == 0 || !FmStream.contains(start, SNSize)) {
        for (IFDRec& rec : IFD1)
            if (rec.IDX == 0x0201 || rec.IDX == 0x0202)
                rec.Count = 0;
        SNOffset = SNSize = 0;
    }
    ThumbnailStrips.clear();
    if (!readThumbnailStrips()) {
        ThumbnailStrips.clear();
        for (IFDRec& rec : IFD1)
            if (rec.IDX == 0x0111 || rec.IDX == 0x0116 || rec.IDX == 0x0117)
                rec.Count = 0;
    }
}

std::u16string byteOrderLine() {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02X", BO);
    std::u16string line = u"Byte Order=$" + std::u16string(buf, buf + std::strlen(buf));
    line += BO == kBigEndian ? u" (ビッグエンディアン)" : u" (リトルエンディアン)";
    return line + u"\r\n";
}

void appendSection(const char16_t* heading, const Listing& lines, bool separator) {
    if (lines.empty())
        return;
    if (separator)
        ExifStrings.push_back(u"\r\n");
    ExifStrings.push_back(heading);
    ExifStrings.insert(ExifStrings.end(), lines.begin(), lines.end());
}

// Whether a save writes the text of this tag to the directory `mk`: the text fields show only
// such entries, so that what the user types is what the file then holds. The same tag in
// another directory is listed as it is and kept.
bool savedHere(std::uint16_t tag, char mk) {
    switch (tag) {
    case 0x010E:
    case 0x013B:
    case 0x8298: return mk == '0';
    case 0x9286:
    case 0xA430: return mk == 'X';
    default: return true;
    }
}

} // namespace

void ReadTIFF() {
    visitedOffsets.clear();
    visitedTables.clear();
    pointedAt.clear();
    std::fill(std::begin(PointerSharedWith), std::end(PointerSharedWith), -1);
    thumbnailUnreadable = false;
    MakerNoteOffset = 0;
    DecodedDirectories.clear();
    valueBudget = 2 * (FmTiffEnd - std::min<std::uint64_t>(FmTiffEnd, FmStream.position()));
    Listing exif0, exif1, exifX, exifG, exifI;
    bufX = &exifX, bufG = &exifG, bufI = &exifI;

    FmBasePos = static_cast<std::uint32_t>(FmStream.position());
    BO = FmStream.readU16LE();
    FmStream.skip(2); // the 42 of the header is not tested
    const std::uint32_t ifd0 = Num32(FmStream.readU32LE());

    FmStream.seek(std::uint64_t{FmBasePos} + ifd0);
    ReadIFD(IFD0, exif0, '0', false);
    // ReadIFD leaves the position where the 0th IFD's entries end: the link to the 1st IFD.
    const std::uint64_t linkPos = FmStream.position();
    const std::uint32_t link = insideTiff(linkPos, 4) ? Num32(FmStream.readU32LE()) : 0;
    if (link > 0) {
        FmStream.seek(std::uint64_t{FmBasePos} + link);
        ReadIFD(IFD1, exif1, '1', false);
    }
    dropUnusableThumbnail();

    ExifStrings.clear();
    if (BO == kBigEndian || BO == kLittleEndian)
        ExifStrings.push_back(byteOrderLine());
    appendSection(u"<< 0th IFD >>", exif0, false);
    appendSection(u"<< Exif IFD >>", exifX, true);
    appendSection(u"<< GPS IFD >>", exifG, true);
    if (!exifG.empty())
        ExifDetails::ReformLatLon();
    appendSection(u"<< Interoperability IFD >>", exifI, true);
    appendSection(u"<< 1st IFD >>", exif1, true);
    bufX = bufG = bufI = nullptr;
}

void ReadIFD(IFDTable& ifd, Listing& exif, char mk, bool isNew) {
    // An IFD is read at most once, and so is each table: a pointer back into a directory
    // already read (a loop, or a second pointer of one kind) is not followed.
    if (visitedTables.count(&ifd))
        return;
    visitedTables.insert(&ifd);
    std::bitset<0x10000> met; // the tags met, one bit each: cheaper than a set for thousands
    std::bitset<0x10000> valued; // the tags met with a value of a field type

    if (!isNew) {
        const std::uint64_t start = FmStream.position();
        // A directory cannot start inside the 8-byte TIFF header (an offset of 0, say).
        const bool readable = start >= std::uint64_t{FmBasePos} + 8 && insideTiff(start, 2) &&
                              visitedOffsets.insert(start).second;
        if (readable)
            DecodedDirectories.push_back(start);
        std::uint16_t count = readable ? Num16(FmStream.readU16LE()) : 0;
        // A directory whose entries run past the block is garbage, except that the 0th IFD of
        // a cut-off block is read as far as it goes.
        if (mk != '0' && !insideTiff(start, 2 + 12 * std::uint64_t{count}))
            count = 0;
        bool thumbnailOffsetRead = false, thumbnailSizeRead = false;
        // Room for the entries the block holds, so that thousands are not moved again and again.
        const std::uint64_t fit = insideTiff(start, 2) ? (FmTiffEnd - start - 2) / 12 : 0;
        ifd.reserve(ifd.size() + std::min<std::uint64_t>(count, fit));
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint64_t entryPos = start + 2 + 12 * std::uint64_t{i};
            if (!insideTiff(entryPos, 12))
                break; // the entry count runs past the EXIF block
            FmStream.seek(entryPos);
            const std::uint16_t tag = Num16(FmStream.readU16LE());
            const std::uint16_t type = Num16(FmStream.readU16LE());
            const std::uint32_t n = Num32(FmStream.readU32LE());
            const std::uint32_t valueFieldAsRead = FmStream.readU32LE();
            std::uint32_t valueField = Num32(valueFieldAsRead);
            // A pointer stored as a SHORT holds its offset in the first two bytes of the field.
            if (IsPointerTag(tag) && (type == SHORT || type == SSHORT) && n == 1)
                valueField = Num16(static_cast<std::uint16_t>(valueFieldAsRead));

            if (IsPointerTag(tag)) {
                AppendIFD(ifd, tag, type, n, 0);
                met.set(tag);
                const std::uint64_t target = std::uint64_t{FmBasePos} + valueField;
                const int kind = pointerKind(tag);
                if (const auto it = pointedAt.find(target); it != pointedAt.end()) {
                    if (it->second != kind)
                        PointerSharedWith[kind] = it->second;
                } else {
                    pointedAt.emplace(target, kind);
                }
                FmStream.seek(target);
                ReadIFD(tableOfPointer(tag), bufferOfPointer(tag, *bufX, *bufG, *bufI),
                        markOfPointer(tag), false);
                continue;
            }

            IFDRec rec;
            rec.ID = Num16(tag);
            rec.DataType = Num16(type);
            rec.Count = Num32(n);
            rec.IDX = tag;
            const std::uint64_t tlen = std::uint64_t{DataLength(type)} * n;
            if (tlen <= 4) {
                rec.Offset = valueFieldAsRead;
                const std::uint8_t field[4] = {
                    static_cast<std::uint8_t>(valueFieldAsRead),
                    static_cast<std::uint8_t>(valueFieldAsRead >> 8),
                    static_cast<std::uint8_t>(valueFieldAsRead >> 16),
                    static_cast<std::uint8_t>(valueFieldAsRead >> 24)};
                rec.Raw.assign(field, field + tlen);
            } else {
                const std::uint64_t valuePos = std::uint64_t{FmBasePos} + valueField;
                // A value whose bytes lie outside the EXIF block is not EXIF data (past the
                // end of the file it does not exist at all): the entry is left out rather
                // than padded or filled from the image data.
                if (!insideTiff(valuePos, tlen))
                    continue;
                // Values of a sound block do not overlap, so together they are no larger than
                // it. Entries that keep pointing at the same bytes beyond that are left out:
                // they would make the tables and the listing grow without bound.
                if (tlen > valueBudget)
                    continue;
                valueBudget -= tlen;
                const auto bytes = FmStream.view(valuePos, tlen);
                rec.Raw.assign(bytes.begin(), bytes.end());
                if (mk == 'X' && tag == 0x927C && MakerNoteOffset == 0)
                    MakerNoteOffset = valueField; // of the first: a repeated tag is dropped
            }
            met.set(tag);
            // Of several entries with one tag the save keeps the first that has a value (see
            // CleanIFD): that one locates the thumbnail the save copies, and only that one fills
            // a text field.
            if (mk == '1' && tag == 0x0201 && n != 0 && !thumbnailOffsetRead) {
                SNOffset = thumbnailNumber(rec);
                thumbnailOffsetRead = true;
            }
            if (mk == '1' && tag == 0x0202 && n != 0 && !thumbnailSizeRead) {
                SNSize = thumbnailNumber(rec);
                thumbnailSizeRead = true;
            }
            const bool kept = HoldsValue(rec) && !valued.test(tag);
            if (kept)
                valued.set(tag);
            const std::u16string line = GetExifNote(rec, mk, false, kept && savedHere(tag, mk));
            if (!line.empty() && line[0] != u'$')
                exif.push_back(line);
            ifd.push_back(std::move(rec));
        }
        FmStream.seek(start + 2 + 12 * std::uint64_t{count});
    }

    const std::uint64_t resume = FmStream.position();
    if (mk == '0') {
        if (!met.test(0x8769)) {
            AppendIFD(ifd, 0x8769, LONG, 1, 0);
            ReadIFD(IFDX, exif, 'X', true);
        }
        if (!met.test(0x8825)) {
            AppendIFD(ifd, 0x8825, LONG, 1, 0);
            ReadIFD(IFDG, exif, 'G', true);
        }
    }
    for (const Placeholder& p : placeholdersOf(mk))
        if (!met.test(p.tag))
            AppendIFD(ifd, p.tag, p.type, 0, 0);
    FmStream.seek(resume);
}

std::u16string ReadData(const IFDRec& entry) {
    const std::uint16_t type = Num16(entry.DataType);
    const std::uint32_t count = Num32(entry.Count);
    const std::uint8_t size = DataLength(type);
    const std::span<const std::uint8_t> raw = entry.Raw;
    // Raw holds size * count bytes when read; fewer elements are shown when it holds less.
    const std::uint64_t elements = size == 0 ? 0 : std::min<std::uint64_t>(count, raw.size() / size);
    std::u16string text;
    text.reserve(type == UNDEFINED ? 3 * elements : type == ASCII ? elements : 4 * elements);
    auto separate = [&] {
        if (!text.empty())
            text += u',';
    };
    auto number = [&](long long v) {
        separate();
        const std::string s = std::to_string(v);
        text.append(s.begin(), s.end());
    };
    for (std::uint64_t i = 0; i < elements; ++i) {
        const auto at = raw.subspan(i * size);
        switch (type) {
        case BYTE: number(at[0]); break;
        case ASCII: text += static_cast<char16_t>(at[0]); break;
        case SHORT: number(Num16(ByteToInt16(at))); break;
        case LONG: number(Num32(ByteToInt32(at))); break;
        case SBYTE: number(static_cast<std::int8_t>(at[0])); break;
        case SSHORT: number(static_cast<std::int16_t>(Num16(ByteToInt16(at)))); break;
        case SLONG: number(static_cast<std::int32_t>(Num32(ByteToInt32(at)))); break;
        case UNDEFINED: {
            separate();
            static const char16_t kHex[] = u"0123456789ABCDEF";
            text += kHex[at[0] >> 4];
            text += kHex[at[0] & 15];
            break;
        }
        case RATIONAL:
        case SRATIONAL: {
            const std::uint32_t num = Num32(ByteToInt32(at));
            const std::uint32_t den = Num32(ByteToInt32(at.subspan(4)));
            const bool sign = type == SRATIONAL;
            number(sign ? static_cast<std::int32_t>(num) : static_cast<long long>(num));
            text += u'/';
            const std::string s = std::to_string(sign ? static_cast<std::int32_t>(den)
                                                      : static_cast<long long>(den));
            text.append(s.begin(), s.end());
            break;
        }
        default: return text; // FLOAT, DOUBLE and unknown types show nothing
        }
    }
    return text;
}

std::u16string GetExifNote(const IFDRec& curIFD, char mk, bool englishName, bool textRegisters) {
    const std::uint16_t tag = curIFD.IDX;
    std::u16string name;
    switch (mk) {
    case 'G': name = ExifDetails::SetGPSID(tag); break;
    case 'I': name = ExifDetails::SetIntID(tag); break;
    default:
        if (IsIgnoredTag(tag))
            return {};
        name = ExifDetails::SetID(tag);
    }
    // A tag without a name gives a "$" line that the listing leaves out; its value is not
    // rendered at all.
    if (!name.empty() && name[0] == u'$')
        return name;
    const std::u16string data = ReadData(curIFD);
    std::u16string value;
    switch (mk) {
    case 'G': value = ExifDetails::SetGPSData(tag, data, curIFD.Raw); break;
    case 'I': value = ExifDetails::SetIntData(tag, data); break;
    default: value = ExifDetails::SetData(tag, data, curIFD.Raw, textRegisters);
    }

    // The English part is the text before the first "("; the description lies between the
    // first "(" and a final ")", or is the whole name when there is no "(".
    const std::size_t paren = name.find(u'(');
    const std::size_t m = paren == std::u16string::npos ? 0 : paren + 1; // 1-based, 0 if none
    std::size_t n = name.size();
    if (name.empty() || name.back() != u')')
        ++n;
    if (englishName) {
        if (paren != std::u16string::npos)
            name = name.substr(0, paren);
    } else if (m < n) {
        name = name.substr(m, n - m - 1);
    }
    if (name.empty())
        return {};
    name.reserve(name.size() + 1 + value.size());
    return name.append(1, u'=').append(value);
}

} // namespace Exif
