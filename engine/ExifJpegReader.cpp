// The JPEG segment walk: recognises the file, hands the EXIF block to the TIFF reader and
// collects in TrailStream everything the output carries after its own APP1 segment.
#include "Exif.h"

#include <algorithm>
#include <cstdio>

namespace Exif {
namespace {

constexpr std::uint16_t kSOI = 0xFFD8, kAPP0 = 0xFFE0, kAPP1 = 0xFFE1, kSOS = 0xFFDA,
                        kCOM = 0xFFFE, kFill = 0xFFFF;

// True once an EXIF APP1 segment has been met.
bool ExistAPP1 = false;

std::u16string hex4(std::uint16_t v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04X", v);
    return std::u16string(buf, buf + 4);
}

std::u16string notJpegLine(std::uint16_t marker) {
    const char16_t* text;
    switch (marker) {
    case 0x8950: text = u"  *** Must be PNG file. Marker=$"; break;
    case 0x4749: text = u"  *** Must be GIF file. Marker=$"; break;
    case 0x424D: text = u"  *** Must be BMP file. Marker=$"; break;
    case 0x4D4D:
    case 0x4949: text = u"  *** Must be TIFF file. Marker=$"; break;
    case 0x4D5A: text = u"  *** Executable file? Marker=$"; break;
    default: text = u"  *** Not Jpeg file. Marker=$"; break;
    }
    return text + hex4(marker);
}

// The walk cannot go on at `from` (a word that is no marker, a segment whose length does not
// fit): every byte from there to the end stays in the output unchanged, so no image data is
// ever lost.
void keepRestFrom(std::uint64_t from) {
    FmStream.seek(from);
    TrailStream.copyFrom(FmStream, FmStream.remaining());
}

// The segment at the current position (just behind its marker) spans [marker, end). False when
// its length field is too small or it runs past the source.
bool segmentFits(std::uint64_t markerPos, std::uint64_t& end) {
    FmStream.seek(markerPos + 2);
    const std::uint16_t length = FmStream.readU16BE();
    end = markerPos + 2 + length;
    return length >= 2 && end <= FmStream.size();
}

// Copies the current segment, marker included, to TrailStream; false when it does not fit
// (the rest of the source is then kept as it is).
bool WriteSegment(std::uint64_t markerPos) {
    std::uint64_t end = 0;
    if (!segmentFits(markerPos, end)) {
        keepRestFrom(markerPos);
        return false;
    }
    FmStream.seek(markerPos);
    TrailStream.copyFrom(FmStream, end - markerPos);
    return true;
}

// Moves past a segment that the output drops. A length that does not fit ends the walk with
// the rest kept, because what follows cannot be told apart from the segment.
bool SkipSegment(std::uint64_t markerPos) {
    std::uint64_t end = 0;
    if (!segmentFits(markerPos, end)) {
        keepRestFrom(markerPos);
        return false;
    }
    FmStream.seek(end);
    return true;
}

// JFIF and its extension JFXX describe the picture in terms that contradict an EXIF block (a
// different resolution, a thumbnail of their own), so the output drops them. Other APP0
// segments carry data of their own (CIFF metadata, AVI1 of motion-JPEG cameras) and are kept.
bool HandleAPP0(std::uint64_t markerPos) {
    std::uint64_t end = 0;
    if (segmentFits(markerPos, end) && end - markerPos >= 8) {
        // marker 2 + length 2 + identifier 4
        const auto id = FmStream.view(markerPos + 4, 4);
        if (std::equal(id.begin(), id.end(), "JFIF") || std::equal(id.begin(), id.end(), "JFXX"))
            return SkipSegment(markerPos);
    }
    return WriteSegment(markerPos);
}

bool isExifIdentifier(std::uint64_t markerPos, std::uint64_t end) {
    // marker 2 + length 2 + "Exif" 4 + two more identifier bytes
    if (end - markerPos < 10)
        return false;
    const auto id = FmStream.view(markerPos + 4, 4);
    return std::equal(id.begin(), id.end(), "Exif");
}

// The first EXIF APP1 segment is decoded; later EXIF segments are dropped, because the output
// carries one rebuilt EXIF block. Other APP1 segments (XMP and the like) are kept in place.
bool HandleAPP1(std::uint64_t markerPos) {
    std::uint64_t end = 0;
    const bool fits = segmentFits(markerPos, end);
    const std::uint64_t clippedEnd = std::min<std::uint64_t>(end, FmStream.size());
    if (end - markerPos < 4 || !isExifIdentifier(markerPos, clippedEnd))
        return WriteSegment(markerPos);
    // marker 2 + length 2 + identifier 6 + TIFF header 8: a shorter EXIF segment holds nothing
    // and is dropped like a second one (the file then counts as one without EXIF).
    if (ExistAPP1 || clippedEnd - markerPos < 18)
        return SkipSegment(markerPos);
    ExistAPP1 = true;
    FmStream.seek(markerPos + 10);
    FmTiffEnd = clippedEnd;
    ReadTIFF();
    // A block that holds no value (no directory could be read, or only empty entries, entries
    // of no type and private directories that cannot be kept) gets the empty structure of a
    // file without EXIF, with the mandatory tags where the option asks for them: saving it then
    // gives the same file as saving that file again.
    const auto holdsValues = [](const IFDTable& t, char mk) {
        return std::any_of(t.begin(), t.end(), [mk](const IFDRec& e) {
            if (IsPointerTag(e.IDX) || !HoldsValue(e))
                return false;
            std::vector<TiffRange> reach;
            return !IsPrivateDirectoryEntry(e, mk) || PrivateDirectoryReach(e, mk, reach);
        });
    };
    if (!holdsValues(IFD0, '0') && !holdsValues(IFDX, 'X') && !holdsValues(IFDG, 'G') &&
        !holdsValues(IFDI, 'I') && !holdsValues(IFD1, '1')) {
        for (IFDTable* t : {&IFD0, &IFD1, &IFDX, &IFDG, &IFDI})
            t->clear();
        AddBlankIFDS();
    }
    if (fits) {
        FmStream.seek(end);
        return true;
    }
    // The segment claims more than the file holds, so where it really ends is unknown: it and
    // everything after it stay as they are (behind the rebuilt block, which readers take first).
    keepRestFrom(markerPos);
    return false;
}

void ReadScan(std::uint64_t sosPos) {
    // The comment goes first, right behind the EXIF block: inserted anywhere after a
    // multi-picture index it would move the pictures that index points at.
    ByteStream comment;
    WriteCOM(comment);
    TrailStream.insertFront(comment.toVector());
    std::uint64_t keep = FmStream.size() - sosPos; // everything to the end of the source
    if (!AfterEOI) {
        FmStream.seek(sosPos + 2);
        const std::int64_t eoi = SeekEOI();
        if (eoi >= 0) // without an end-of-image marker the whole rest is image data
            keep = static_cast<std::uint64_t>(eoi) + 2 - sosPos;
    }
    FmStream.seek(sosPos);
    TrailStream.copyFrom(FmStream, keep);
}

} // namespace

bool AnalyzeExif() {
    for (IFDTable* t : {&IFD0, &IFD1, &IFDX, &IFDG, &IFDI})
        t->clear();
    SNOffset = SNSize = 0;
    ThumbnailStrips.clear();
    FmTiffEnd = 0;
    MakerNoteOffset = 0;
    DecodedDirectories.clear();
    std::fill(std::begin(PointerSharedWith), std::end(PointerSharedWith), -1);
    FmStream.seek(0);
    Marker = FmStream.readU16BE();
    if (Marker != kSOI) {
        ExifStrings.push_back(notJpegLine(Marker));
        return false;
    }
    ReadJpeg();
    return true;
}

void ReadJpeg() {
    ExistAPP1 = false;
    bool walking = true;
    while (walking && FmStream.position() + 2 < FmStream.size()) {
        const std::uint64_t markerPos = FmStream.position();
        Marker = FmStream.readU16BE();
        if ((Marker >> 8) != 0xFF) {
            keepRestFrom(markerPos);
            walking = false;
            break;
        }
        switch (Marker) {
        case kAPP0:
            walking = HandleAPP0(markerPos);
            break;
        case kAPP1:
            walking = HandleAPP1(markerPos);
            break;
        case kSOS:
            ReadScan(markerPos);
            walking = false;
            break;
        case kFill:
            // Fill bytes may come in any number: the second FF may begin the marker.
            FmStream.seek(markerPos + 1);
            break;
        case kCOM:
            if (CheckCOM())
                break; // an earlier save's comment: replaced by a fresh one before the scan
            walking = WriteSegment(markerPos);
            break;
        default:
            walking = WriteSegment(markerPos);
            break;
        }
    }
    // A source without a scan: its last bytes (an end-of-image marker, say) stay.
    if (walking)
        keepRestFrom(FmStream.position());
    if (!ExistAPP1) {
        ToBasePos = 12;
        BO = kLittleEndian;
        AddBlankIFDS();
    }
}

std::int64_t SeekEOI() {
    const std::uint64_t cp = FmStream.position();
    const std::uint64_t size = FmStream.size();
    const auto b = FmStream.view(0, size);
    if (size >= 2 && b[size - 2] == 0xFF && b[size - 1] == 0xD9)
        return static_cast<std::int64_t>(size - 2);
    // FF followed by anything but D9 or another FF is passed over as a pair.
    for (std::uint64_t p = cp; p + 2 < size;) {
        if (b[p] == 0xFF) {
            if (b[p + 1] == 0xD9)
                return static_cast<std::int64_t>(p);
            p += b[p + 1] == 0xFF ? 1 : 2;
        } else {
            ++p;
        }
    }
    return -1;
}

bool JpegFrameSize(std::int32_t& width, std::int32_t& height) {
    // SOI, then segments: marker 2, length 2; a frame header holds precision 1, height 2,
    // width 2 after its length.
    for (std::uint64_t p = 2; FmStream.contains(p, 4);) {
        const auto head = FmStream.view(p, 4);
        if (head[0] != 0xFF)
            return false;
        const std::uint8_t code = head[1];
        if (code == 0xFF) {
            ++p;
            continue;
        }
        const bool frame = code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 &&
                           code != 0xCC;
        if (frame && FmStream.contains(p, 9)) {
            const auto f = FmStream.view(p + 5, 4);
            height = (f[0] << 8) | f[1];
            width = (f[2] << 8) | f[3];
            return true;
        }
        if (code == 0xDA || code == 0xD9)
            return false;
        p += 2 + ((head[2] << 8) | head[3]);
    }
    return false;
}

bool CheckCOM() {
    std::string ours = "Modified by ";
    for (char16_t c : ProgramName)
        ours.push_back(static_cast<char>(c & 0xFF));
    const std::uint16_t length = FmStream.readU16BE();
    std::string text(length >= 2 ? length - 2 : 0, '\0');
    const auto got = FmStream.readInto(reinterpret_cast<std::uint8_t*>(text.data()), text.size());
    text.resize(got);
    return text.find(ours) != std::string::npos;
}

void WriteCOM(ByteStream& outStream) {
    const std::u16string text = u"Modified by " + ProgramName + u" v" + ProgramVersion;
    // The text and its terminating zero byte fit a 256-byte buffer; a longer name is cut.
    std::vector<std::uint8_t> bytes;
    for (char16_t c : text.substr(0, 255))
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
    bytes.push_back(0);
    const std::uint8_t marker[2] = {0xFF, 0xFE};
    outStream.write(marker);
    outStream.writeU16BE(static_cast<std::uint16_t>(bytes.size() + 2));
    outStream.write(bytes);
}

} // namespace Exif
