// The engine state's table routines and byte-order helpers.
#include "Exif.h"

#include <algorithm>
#include <cmath>

namespace Exif {
namespace {

// Carried through unchanged but never listed in the 0th, 1st and Exif IFDs.
constexpr std::uint16_t kIgnoreIFDS[] = {
    0x00FE, 0x00FF, 0x013D, 0x0142, 0x0143, 0x0144, 0x0145, 0x014A, 0x015B,
    0x828D, 0x828E, 0x828F, 0x83BB, 0x8773, 0x8829, 0x882A, 0x882B, 0x920B,
    0x920C, 0x920D, 0x9211, 0x9212, 0x9213, 0x9215, 0x9216, 0x927C, 0xC4A5,
};
// The tags that lead to a sub-directory: Exif, GPS, Interoperability.
constexpr std::uint16_t kIFDSet[] = {0x8769, 0x8825, 0xA005};
// Offsets of private sub-directories in the 0th, Exif and 1st IFDs: SubIFDs, Kodak's IFD,
// Kodak's KDC IFD.
constexpr std::uint16_t kPrivateDirectoryTags[] = {0x014A, 0x8290, 0xFE00};

} // namespace

std::uint16_t MM2(std::uint16_t v) { return static_cast<std::uint16_t>((v >> 8) | (v << 8)); }

std::uint32_t MM4(std::uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

std::uint16_t Num16(std::uint16_t fileOrder) { return BO == kBigEndian ? MM2(fileOrder) : fileOrder; }
std::uint32_t Num32(std::uint32_t fileOrder) { return BO == kBigEndian ? MM4(fileOrder) : fileOrder; }

std::uint8_t DataLength(std::uint16_t dataType) {
    switch (dataType) {
    case BYTE: case ASCII: case SBYTE: case UNDEFINED: return 1;
    case SHORT: case SSHORT: return 2;
    case LONG: case SLONG: case FLOAT: return 4;
    case RATIONAL: case SRATIONAL: case DOUBLE: return 8;
    default: return 0;
    }
}

std::int32_t Roundoff(double x) {
    const double r = x >= 0 ? std::trunc(x + 0.5) : std::trunc(x - 0.5);
    if (!(r >= INT32_MIN && r <= INT32_MAX)) // NaN fails both comparisons
        throw EngineError("Invalid floating point operation: the number is out of range");
    return static_cast<std::int32_t>(r);
}

void AppendIFD(IFDTable& ifd, std::uint16_t id, std::uint16_t dataType, std::uint32_t count,
               std::uint32_t offset) {
    IFDRec rec;
    rec.ID = Num16(id);
    rec.DataType = Num16(dataType);
    rec.Count = Num32(count);
    rec.Offset = Num32(offset);
    rec.IDX = id;
    ifd.push_back(std::move(rec));
}

void SortIFD(IFDTable& ifd) {
    const auto notAfter = [](const IFDRec& a, const IFDRec& b) { return a.IDX >= b.IDX; };
    if (std::adjacent_find(ifd.begin(), ifd.end(), notAfter) == ifd.end())
        return; // already in order, as a saved file's directories are
    // Sorted by tag, then by position, so that of several entries with one tag the first in
    // the old order survives. The keys are sorted rather than the records, which are moved
    // once each.
    std::vector<std::uint64_t> keys;
    keys.reserve(ifd.size());
    for (std::size_t i = 0; i < ifd.size(); ++i)
        keys.push_back(std::uint64_t{ifd[i].IDX} << 32 | i);
    std::sort(keys.begin(), keys.end());
    IFDTable result;
    result.reserve(ifd.size());
    for (std::size_t k = 0; k < keys.size(); ++k)
        if (k == 0 || keys[k] >> 32 != keys[k - 1] >> 32)
            result.push_back(std::move(ifd[keys[k] & 0xFFFFFFFFu]));
    ifd = std::move(result);
}

void CleanIFD(IFDTable& ifd) {
    std::erase_if(ifd, [](const IFDRec& r) { return Num32(r.Count) == 0; });
    SortIFD(ifd);
}

bool IsIgnoredTag(std::uint16_t tag) {
    return std::find(std::begin(kIgnoreIFDS), std::end(kIgnoreIFDS), tag) != std::end(kIgnoreIFDS);
}

bool IsPointerTag(std::uint16_t tag) {
    return std::find(std::begin(kIFDSet), std::end(kIFDSet), tag) != std::end(kIFDSet);
}

bool HasFieldType(const IFDRec& entry) {
    const std::uint16_t type = Num16(entry.DataType);
    return type >= BYTE && type <= IFD;
}

bool HoldsValue(const IFDRec& entry) {
    return Num32(entry.Count) != 0 && HasFieldType(entry);
}

bool IsPrivateDirectoryEntry(const IFDRec& entry, char mk) {
    if (IsPointerTag(entry.IDX))
        return false; // the Exif, GPS and Interoperability pointers, whatever their type
    if (Num16(entry.DataType) == IFD)
        return true;
    return (mk == '0' || mk == 'X' || mk == '1') &&
           std::find(std::begin(kPrivateDirectoryTags), std::end(kPrivateDirectoryTags),
                     entry.IDX) != std::end(kPrivateDirectoryTags);
}

bool EntryNumbers(const IFDRec& entry, std::vector<std::uint32_t>& out) {
    const std::uint16_t type = Num16(entry.DataType);
    if (type != SHORT && type != LONG)
        return false;
    const std::uint32_t count = Num32(entry.Count);
    const std::size_t size = DataLength(type);
    if (entry.Raw.size() / size < count)
        return false;
    const std::span<const std::uint8_t> raw = entry.Raw;
    for (std::uint32_t i = 0; i < count; ++i)
        out.push_back(type == SHORT ? Num16(ByteToInt16(raw.subspan(i * size)))
                                    : Num32(ByteToInt32(raw.subspan(i * size))));
    return true;
}

std::uint16_t ByteToInt16(std::span<const std::uint8_t> b) {
    return b.size() < 2 ? 0 : static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

std::uint32_t ByteToInt32(std::span<const std::uint8_t> b) {
    if (b.size() < 4)
        return 0;
    return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
           (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

void Finalization() {
    TranscodeTo.clear();
    TranscodeFm.clear();
    for (IFDTable* t : {&IFD0, &IFD1, &IFDX, &IFDG, &IFDI})
        t->clear();
}

void ResetEngine() {
    FmStream.clear();
    ToStream.clear();
    TrailStream.clear();
    ExifStrings.clear();
    for (IFDTable* t : {&IFD0, &IFD1, &IFDX, &IFDG, &IFDI})
        t->clear();
    MainWidth = MainHeight = 0;
    Marker = 0;
    FmBasePos = 0;
    ToBasePos = 12;
    BO = kLittleEndian;
    SNOffset = SNSize = 0;
    ThumbnailStrips.clear();
    FmTiffEnd = 0;
    MakerNoteOffset = 0;
    DecodedDirectories.clear();
    std::fill(std::begin(PointerSharedWith), std::end(PointerSharedWith), -1);
}

std::u16string ListingText(const Listing& listing) {
    std::u16string out;
    for (std::size_t i = 0; i < listing.size(); ++i) {
        std::u16string_view line = listing[i];
        line = line.substr(0, line.find(u'\0'));
        if (i > 0)
            out += u'\n';
        for (std::size_t k = 0; k < line.size(); ++k) {
            if (line[k] == u'\r' && k + 1 < line.size() && line[k + 1] == u'\n')
                continue; // CR LF becomes one line break
            out += line[k];
        }
    }
    return out;
}

} // namespace Exif
