#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "support/EngineTest.h"

using namespace testsupport;
using namespace std::string_literals;

namespace {

// Reads back the EXIF block of a written file, independently of the engine's reader.
struct Written {
    Bytes file;
    bool big = false;

    explicit Written(Bytes bytes) : file(std::move(bytes)) {
        big = file.size() > 13 && file[12] == 'M';
    }
    bool hasExif() const { return file.size() > 4 && file[2] == 0xFF && file[3] == 0xE1; }
    std::uint32_t segmentLength() const { return (file[4] << 8) | file[5]; }
    const std::uint8_t* tiff() const { return file.data() + 12; }
    std::uint16_t u16(std::uint32_t at) const {
        const std::uint8_t* p = tiff() + at;
        return big ? (p[0] << 8) | p[1] : p[0] | (p[1] << 8);
    }
    std::uint32_t u32(std::uint32_t at) const {
        return big ? (std::uint32_t{u16(at)} << 16) | u16(at + 2)
                   : u16(at) | (std::uint32_t{u16(at + 2)} << 16);
    }
    struct Entry {
        std::uint16_t tag, type;
        std::uint32_t count, field;
    };
    std::vector<Entry> entries(std::uint32_t ifd) const {
        std::vector<Entry> out;
        for (std::uint16_t i = 0; i < u16(ifd); ++i) {
            const std::uint32_t p = ifd + 2 + 12 * i;
            out.push_back({u16(p), u16(p + 2), u32(p + 4), u32(p + 8)});
        }
        return out;
    }
    std::uint32_t ifd0() const { return u32(4); }
    std::uint32_t link(std::uint32_t ifd) const { return u32(ifd + 2 + 12 * u16(ifd)); }
    std::uint32_t field(std::uint32_t ifd, std::uint16_t tag) const {
        for (const Entry& e : entries(ifd))
            if (e.tag == tag)
                return e.field;
        return 0;
    }
    const Entry* entry(std::uint32_t ifd, std::uint16_t tag) const {
        static Entry found;
        for (const Entry& e : entries(ifd))
            if (e.tag == tag)
                return &(found = e);
        return nullptr;
    }
    std::vector<std::uint16_t> tags(std::uint32_t ifd) const {
        std::vector<std::uint16_t> out;
        for (const Entry& e : entries(ifd))
            out.push_back(e.tag);
        return out;
    }
    // The numbers of a SHORT or LONG entry, wherever they are stored.
    std::vector<std::uint32_t> numbers(std::uint32_t ifd, std::uint16_t tag) const {
        std::vector<std::uint32_t> out;
        const Entry* e = entry(ifd, tag);
        if (e == nullptr)
            return out;
        const std::uint32_t size = e->type == 3 ? 2 : 4;
        std::uint32_t at = ifd + 2;
        while (u16(at) != tag)
            at += 12;
        at = size * e->count <= 4 ? at + 8 : e->field;
        for (std::uint32_t i = 0; i < e->count; ++i)
            out.push_back(size == 2 ? u16(at + 2 * i) : u32(at + 4 * i));
        return out;
    }
    Bytes bytes(std::uint32_t at, std::size_t n) const { return Bytes(tiff() + at, tiff() + at + n); }
    // The TIFF data, as far as the segment goes.
    std::string block() const {
        return std::string(reinterpret_cast<const char*>(tiff()), segmentLength() - 8);
    }
};

// A position, so that a GPS directory joins the block and moves what follows.
void setPosition() {
    ExifDetails::NewTag01 = 1, ExifDetails::NewTag02A = 35, ExifDetails::NewTag02B = 40;
    ExifDetails::NewTag03 = 1, ExifDetails::NewTag04A = 139, ExifDetails::NewTag04B = 45;
    ExifDetails::NewTag05 = 1, ExifDetails::NewTag06 = 12.5;
    ExifDetails::NewTag10 = 1, ExifDetails::NewTag11 = 45;
    ExifDetails::NewTag1C = u"東京駅";
    Exif::UpdateGPS();
}

Bytes pattern(std::size_t n, std::uint8_t seed) {
    Bytes out(n);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 8));
    return out;
}

class Writing : public EngineTest {
protected:
    static Written write() {
        Exif::WriteJpeg();
        return Written(Exif::ToStream.toVector());
    }
    static Bytes tail() { return Exif::TrailStream.toVector(); }
};

TEST_F(Writing, DirectoriesFollowOneAnotherAndThePointersPatchToThem) {
    TiffBuilder t;
    const int ifd0 = t.addIfd(), exif = t.addIfd(), gps = t.addIfd(), interop = t.addIfd();
    t.entry(ifd0, 0x0112, 3, 1, t.u16(1));
    t.entry(ifd0, 0x0128, 3, 1, t.u16(2));
    t.entry(ifd0, 0x0213, 3, 1, t.u16(1));
    t.pointer(ifd0, 0x8769, exif);
    t.pointer(ifd0, 0x8825, gps);
    t.entry(exif, 0x829D, 5, 1, t.rational(28, 10));
    t.pointer(exif, 0xA005, interop);
    t.entry(gps, 0x00, 1, 4, {2, 2, 0, 0});
    t.entry(interop, 0x0001, 2, 4, ascii("R98"));
    ASSERT_TRUE(analyze(jpeg(exifApp1(t.build()))));
    const Written w = write();

    // 0th IFD: 5 entries with short values: TIFF offsets 8 to 73; the Exif IFD follows at 74.
    ASSERT_EQ(w.ifd0(), 8u);
    ASSERT_EQ(w.u16(8), 5);
    const std::uint32_t exifAt = w.field(w.ifd0(), 0x8769);
    EXPECT_EQ(exifAt, 74u);
    EXPECT_EQ(w.link(w.ifd0()), 0u);
    // Exif: 2 entries, link, then the rational; the GPS IFD next, then the interop IFD.
    EXPECT_EQ(w.field(exifAt, 0x829D), 74u + 2 + 24 + 4);
    const std::uint32_t gpsAt = w.field(w.ifd0(), 0x8825);
    EXPECT_EQ(gpsAt, 74u + 2 + 24 + 4 + 8);
    const std::uint32_t interopAt = w.field(exifAt, 0xA005);
    EXPECT_EQ(interopAt, gpsAt + 2 + 12 + 4);
    EXPECT_EQ(w.link(interopAt), 0u);
    EXPECT_EQ(w.segmentLength(), 2u + 6 + interopAt + 2 + 12 + 4);
    // the kept tail follows the block
    EXPECT_EQ(Bytes(w.file.begin() + 4 + w.segmentLength(), w.file.end()), tail());
}

TEST_F(Writing, BigEndianBlocksStayBigEndian) {
    TiffBuilder t(true);
    t.entry(t.addIfd(), 0x0100, 3, 1, t.u16(4000));
    ASSERT_TRUE(analyze(jpeg(exifApp1(t.build()))));
    const Written w = write();
    EXPECT_EQ(Bytes(w.file.begin() + 12, w.file.begin() + 20),
              (Bytes{'M', 'M', 0, 42, 0, 0, 0, 8}));
    EXPECT_EQ(w.u16(w.ifd0()), 1);
    EXPECT_EQ(w.entries(w.ifd0())[0].field, 0x0FA00000u); // 0F A0 00 00
}

TEST_F(Writing, ValuesAndDirectoriesStartOnEvenOffsets) {
    TiffBuilder t;
    const int ifd0 = t.addIfd(), exif = t.addIfd();
    t.entry(ifd0, 0x010F, 2, 7, ascii("Nikon!"));
    t.entry(ifd0, 0x011A, 5, 1, t.rational(72, 1));
    t.pointer(ifd0, 0x8769, exif);
    t.entry(exif, 0x9003, 2, 5, ascii("odd!"));
    ASSERT_TRUE(analyze(jpeg(exifApp1(t.build()))));
    const Written w = write();
    for (std::uint16_t tag : {0x010F, 0x011A, 0x8769})
        EXPECT_EQ(w.field(w.ifd0(), tag) % 2, 0u) << std::hex << tag;
    // and the values are where the entries say
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(w.tiff() + w.field(w.ifd0(), 0x010F))), "Nikon!");
    EXPECT_EQ(w.u32(w.field(w.ifd0(), 0x011A)), 72u);
}

TEST_F(Writing, FileWithoutExifGetsABlockOnlyWhenItCarriesSomething) {
    const Bytes source = jpeg(segment(0xFFE0, text("JFIF")));
    Exif::Essential = false;
    ASSERT_TRUE(analyze(source));
    Written w = write();
    EXPECT_FALSE(w.hasExif());
    EXPECT_EQ(w.file, (Bytes{0xFF, 0xD8} + tail()));

    Exif::Essential = true;
    ASSERT_TRUE(analyze(source));
    Exif::MainWidth = 4000, Exif::MainHeight = 3000;
    w = write();
    ASSERT_TRUE(w.hasExif());
    EXPECT_FALSE(w.big);
    std::vector<std::uint16_t> ifd0Tags;
    for (const auto& e : w.entries(w.ifd0()))
        ifd0Tags.push_back(e.tag);
    EXPECT_EQ(ifd0Tags, (std::vector<std::uint16_t>{0x011A, 0x011B, 0x0128, 0x0213, 0x8769}));
    const auto exifEntries = w.entries(w.field(w.ifd0(), 0x8769));
    ASSERT_EQ(exifEntries.size(), 4u); // size tags need the picture's size at analysis time
    EXPECT_EQ(exifEntries[0].tag, 0x9000);
    EXPECT_EQ(exifEntries[0].field, 0x32333230u); // "0232"
}

TEST_F(Writing, RemovedPositionTakesTheGpsPointerWithIt) {
    TiffBuilder t;
    const int ifd0 = t.addIfd(), gps = t.addIfd();
    t.entry(ifd0, 0x0112, 3, 1, t.u16(1));
    t.pointer(ifd0, 0x8825, gps);
    t.entry(gps, 0x01, 2, 2, ascii("N"));
    t.entry(gps, 0x02, 5, 3, t.rational(35, 1) + t.rational(40, 1) + t.rational(0, 1));
    ASSERT_TRUE(analyze(jpeg(exifApp1(t.build()))));
    ExifDetails::NewTag05 = 9;
    Exif::UpdateGPS();
    const Written w = write();
    EXPECT_EQ(w.u16(w.ifd0()), 1); // Orientation only: no GPS and no empty Exif pointer
    EXPECT_EQ(w.entries(w.ifd0())[0].tag, 0x0112);
}

TEST_F(Writing, ThumbnailEndsTheBlockAndIsPointedAt) {
    TiffBuilder t;
    const int ifd0 = t.addIfd(), ifd1 = t.addIfd();
    t.entry(ifd0, 0x0112, 3, 1, t.u16(1));
    t.link(ifd0, ifd1);
    t.entry(ifd1, 0x0103, 3, 1, t.u16(6));
    Bytes thumbnail(5000);
    for (std::size_t i = 0; i < thumbnail.size(); ++i)
        thumbnail[i] = static_cast<std::uint8_t>(i * 7);
    const Bytes tiffHead = t.build();
    // The thumbnail sits after the directories in the source block.
    TiffBuilder t2;
    const int a = t2.addIfd(), b = t2.addIfd();
    t2.entry(a, 0x0112, 3, 1, t2.u16(1));
    t2.link(a, b);
    t2.entry(b, 0x0103, 3, 1, t2.u16(6));
    t2.entry(b, 0x0201, 4, 1, t2.u32(static_cast<std::uint32_t>(tiffHead.size() + 24)));
    t2.entry(b, 0x0202, 4, 1, t2.u32(5000));
    ASSERT_TRUE(analyze(jpeg(exifApp1(t2.build() + thumbnail))));
    ASSERT_EQ(Exif::SNSize, 5000u);
    const Written w = write();
    const std::uint32_t ifd1At = w.link(w.ifd0());
    ASSERT_NE(ifd1At, 0u);
    const std::uint32_t at = w.field(ifd1At, 0x0201);
    EXPECT_EQ(Bytes(w.tiff() + at, w.tiff() + at + 5000), thumbnail);
    EXPECT_EQ(w.field(ifd1At, 0x0202), 5000u);
    EXPECT_EQ(12 + at + 5000, 4 + w.segmentLength()); // the last thing in the block
}

TEST_F(Writing, TheThumbnailCopiedIsTheOneTheKeptEntriesLocate) {
    // Of several offset or length entries in the 1st IFD the save keeps the first that has a
    // value: the thumbnail it copies must be the one that pair locates, whole.
    Bytes thumbnail(3000);
    for (std::size_t i = 0; i < thumbnail.size(); ++i)
        thumbnail[i] = static_cast<std::uint8_t>(i * 13);
    const struct {
        const char* what;
        bool emptyPairFirst;
    } cases[] = {{"a second pair after it", false}, {"a pair without values before it", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto block = [&](std::uint32_t thumbnailAt) {
            TiffBuilder t;
            const int ifd0 = t.addIfd(), ifd1 = t.addIfd();
            t.entry(ifd0, 0x0112, 3, 1, t.u16(1));
            t.link(ifd0, ifd1);
            if (c.emptyPairFirst) {
                t.entry(ifd1, 0x0201, 4, 0, {});
                t.entry(ifd1, 0x0202, 4, 0, {});
            }
            t.entry(ifd1, 0x0201, 4, 1, t.u32(thumbnailAt));
            t.entry(ifd1, 0x0202, 4, 1, t.u32(3000));
            if (!c.emptyPairFirst) {
                t.entry(ifd1, 0x0201, 4, 1, t.u32(8));
                t.entry(ifd1, 0x0202, 4, 1, t.u32(4));
            }
            return t.build();
        };
        const auto at = static_cast<std::uint32_t>(block(0).size());
        ASSERT_TRUE(analyze(jpeg(exifApp1(block(at) + thumbnail))));
        const Written w = write();
        const std::uint32_t ifd1At = w.link(w.ifd0());
        ASSERT_NE(ifd1At, 0u);
        EXPECT_EQ(w.field(ifd1At, 0x0202), 3000u);
        const std::uint32_t copied = w.field(ifd1At, 0x0201);
        ASSERT_LE(12 + copied + 3000, w.file.size());
        EXPECT_EQ(Bytes(w.tiff() + copied, w.tiff() + copied + 3000), thumbnail);
    }
}

TEST_F(Writing, AThumbnailLengthWithoutAnOffsetStaysAsItIs) {
    // Without an offset the length locates nothing, whether or not the file is as long as it
    // says: it stays a plain value, so a saved copy keeps it just as the larger source did.
    for (const std::size_t padding : {std::size_t{0}, std::size_t{20000}}) {
        SCOPED_TRACE(padding);
        TiffBuilder t;
        const int ifd0 = t.addIfd(), ifd1 = t.addIfd();
        t.entry(ifd0, 0x0112, 3, 1, t.u16(1));
        t.link(ifd0, ifd1);
        t.entry(ifd1, 0x0202, 4, 1, t.u32(11079));
        ASSERT_TRUE(analyze(jpeg(exifApp1(t.build()) + segment(0xFFE2, Bytes(padding, 0x3D)))));
        const Written w = write();
        const std::uint32_t ifd1At = w.link(w.ifd0());
        ASSERT_NE(ifd1At, 0u);
        EXPECT_EQ(w.field(ifd1At, 0x0202), 11079u);
    }
}

TEST_F(Writing, SavingTwiceGivesTheSameFileAndPlaceholdersSurviveASave) {
    TiffBuilder t;
    t.entry(t.addIfd(), 0x0112, 3, 1, t.u16(1));
    ASSERT_TRUE(analyze(jpeg(exifApp1(t.build()))));
    const Bytes first = write().file;
    EXPECT_EQ(write().file, first);
    // A position given after a save still reaches the next save.
    ExifDetails::NewTag01 = 1, ExifDetails::NewTag02A = 35;
    ExifDetails::NewTag03 = 1, ExifDetails::NewTag04A = 139;
    ExifDetails::NewTag05 = 1;
    Exif::UpdateGPS();
    const Written w = write();
    EXPECT_NE(w.field(w.ifd0(), 0x8825), 0u);
}

TEST_F(Writing, PointerOfTheWrongTypeIsWrittenAsALong) {
    TiffBuilder t;
    const int ifd0 = t.addIfd(), exif = t.addIfd();
    t.pointer(ifd0, 0x8769, exif);
    t.entry(exif, 0x829D, 5, 1, t.rational(28, 10));
    Bytes tiff = t.build();
    tiff[10 + 2] = 3; // the pointer's type: SHORT instead of LONG (little-endian)
    ASSERT_TRUE(analyze(jpeg(exifApp1(tiff))));
    const Written w = write();
    ASSERT_EQ(w.entries(w.ifd0()).size(), 1u);
    const auto pointer = w.entries(w.ifd0())[0];
    EXPECT_EQ(pointer.type, Exif::LONG);
    EXPECT_EQ(pointer.count, 1u);
    EXPECT_EQ(w.entries(pointer.field)[0].tag, 0x829D);
}

TEST_F(Writing, MakerNoteKeepsItsOffsetAndTheRestFlowsAroundIt) {
    TiffBuilder t;
    const int ifd0 = t.addIfd(), exif = t.addIfd();
    t.entry(ifd0, 0x010F, 2, 6, ascii("Canon"));
    t.pointer(ifd0, 0x8769, exif);
    Bytes note(64);
    for (std::size_t i = 0; i < note.size(); ++i)
        note[i] = static_cast<std::uint8_t>(0xA0 + i);
    t.entry(exif, 0x927C, 7, 64, note);
    t.entry(exif, 0x9286, 7, 20, text("ASCII") + Bytes{0, 0, 0} + text("old comment!"));
    ASSERT_TRUE(analyze(jpeg(exifApp1(t.build()))));
    const std::uint32_t before = Exif::MakerNoteOffset;
    ASSERT_NE(before, 0u);
    // A longer comment and a new GPS directory change the layout around it: the 0th IFD grows
    // by the GPS pointer, so the Exif IFD no longer fits in front of the MakerNote.
    ExifDetails::NewTag9286 = u"a much longer comment than before";
    Exif::UpdateExif();
    ExifDetails::NewTag01 = 1, ExifDetails::NewTag05 = 1;
    Exif::UpdateGPS();
    const Written w = write();
    const std::uint32_t exifAt = w.field(w.ifd0(), 0x8769);
    EXPECT_EQ(w.field(exifAt, 0x927C), before);
    EXPECT_EQ(Bytes(w.tiff() + before, w.tiff() + before + 64), note);
    EXPECT_GT(exifAt, before);
    const std::uint32_t comment = w.field(exifAt, 0x9286);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(w.tiff() + comment + 8), 33),
              "a much longer comment than before");
    EXPECT_NE(w.field(w.ifd0(), 0x8825), 0u);
    // the old comment, which followed the MakerNote, is not carried along as hidden bytes
    const std::string block(reinterpret_cast<const char*>(w.tiff()), w.segmentLength() - 8);
    EXPECT_EQ(block.find("old comment"), std::string::npos);
}

TEST_F(Writing, ARepeatedMakerNoteTagKeepsTheFirstOnesBytes) {
    TiffBuilder t;
    const int ifd0 = t.addIfd(), exif = t.addIfd();
    t.pointer(ifd0, 0x8769, exif);
    t.entry(exif, 0x927C, 7, 32, Bytes(32, 0x11));
    t.entry(exif, 0x927C, 7, 32, Bytes(32, 0x22));
    ASSERT_TRUE(analyze(jpeg(exifApp1(t.build()))));
    const Written w = write();
    const auto entries = w.entries(w.field(w.ifd0(), 0x8769));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(Bytes(w.tiff() + entries[0].field, w.tiff() + entries[0].field + 32), Bytes(32, 0x11));
}

TEST_F(Writing, ADirectoryReachedOnlyFromThe1stIfdStaysReachable) {
    // The Interoperability pointer stands in the 1st IFD, and its directory points at itself.
    TiffBuilder t;
    const int ifd0 = t.addIfd(), ifd1 = t.addIfd(), interop = t.addIfd();
    t.entry(ifd0, 0x0112, 3, 1, t.u16(1));
    t.link(ifd0, ifd1);
    t.entry(ifd1, 0x0103, 3, 1, t.u16(6));
    t.pointer(ifd1, 0xA005, interop);
    t.entry(interop, 0x0001, 2, 4, ascii("R98"));
    t.pointer(interop, 0xA005, interop);
    ASSERT_TRUE(analyze(jpeg(exifApp1(t.build()))));
    const Written w = write();
    const std::uint32_t interopAt = w.field(w.link(w.ifd0()), 0xA005);
    ASSERT_NE(interopAt, 0u);
    const auto entries = w.entries(interopAt);
    ASSERT_EQ(entries.size(), 1u); // the self-pointer is gone
    EXPECT_EQ(entries[0].tag, 0x0001);
}

TEST_F(Writing, PointersAreKeptWhereAReaderFirstMeetsThem) {
    // The Interoperability IFD is reached from the Exif IFD and again from the 1st IFD, and the
    // GPS pointer, whose own directory is empty, points at it as well. A reader follows each
    // pointer as it meets it, so the Exif IFD's pointer is the one that counts: kept there, the
    // directory reads back as the Interoperability IFD, not as a GPS IFD.
    TiffBuilder t;
    const int ifd0 = t.addIfd(), exif = t.addIfd(), interop = t.addIfd(), ifd1 = t.addIfd();
    t.entry(ifd0, 0x010F, 2, 4, ascii("CAM"));
    t.pointer(ifd0, 0x8769, exif);
    t.pointer(ifd0, 0x8825, interop);
    t.link(ifd0, ifd1);
    t.entry(exif, 0x9000, 7, 4, text("0232"));
    t.pointer(exif, 0xA005, interop);
    t.entry(interop, 0x0001, 2, 4, ascii("R98"));
    t.entry(ifd1, 0x0103, 3, 1, t.u16(6));
    t.pointer(ifd1, 0xA005, interop);
    ASSERT_TRUE(analyze(jpeg(exifApp1(t.build()))));
    const Written w = write();
    const std::uint32_t exifAt = w.field(w.ifd0(), 0x8769);
    ASSERT_NE(exifAt, 0u);
    EXPECT_EQ(w.tags(exifAt), (std::vector<std::uint16_t>{0x9000, 0xA005}));
    EXPECT_EQ(w.tags(w.link(w.ifd0())), std::vector<std::uint16_t>{0x0103});

    ASSERT_TRUE(analyze(w.file));
    ASSERT_EQ(Exif::IFDI.size(), 1u);
    EXPECT_EQ(Exif::IFDI[0].IDX, 0x0001);
    // The GPS IFD holds only the empty entries every read adds, nothing with a value.
    EXPECT_TRUE(std::none_of(Exif::IFDG.begin(), Exif::IFDG.end(),
                             [](const Exif::IFDRec& e) { return Exif::Num32(e.Count) != 0; }));
}

TEST_F(Writing, BlockLargerThanASegmentIsRefusedNeverWrapped) {
    // A comment grows the block one byte at a time; the last block written is as large as a
    // segment can be, and the next is refused with nothing built.
    TiffBuilder t;
    const int ifd0 = t.addIfd(), exif = t.addIfd();
    t.pointer(ifd0, 0x8769, exif);
    t.entry(exif, 0xC000, 7, 65000, Bytes(65000, 1)); // unnamed, carried through unchanged
    ASSERT_TRUE(analyze(jpeg(exifApp1(t.build()))));
    std::uint32_t largest = 0;
    bool refused = false;
    for (std::size_t n = 400; n < 700 && !refused; ++n) {
        ExifDetails::NewTag9286 = std::u16string(n, u'x');
        Exif::UpdateExif();
        try {
            largest = write().segmentLength();
        } catch (const Exif::EngineError& e) {
            refused = true;
            EXPECT_NE(std::string(e.what()).find("65535"), std::string::npos);
            EXPECT_EQ(Exif::ToStream.size(), 0u);
        }
    }
    EXPECT_TRUE(refused);
    EXPECT_GE(largest, 65534u);
    EXPECT_LE(largest, 65535u);
}

TEST_F(Writing, EntriesOfNoFieldTypeAreLeftOut) {
    // A camera wrote type 0 over an entry; sorted to the front of the 0th IFD it made other
    // readers reject the whole directory. Such entries have no value and go; a proper entry of
    // the same tag after one is the one kept.
    for (bool big : {false, true}) {
        TiffBuilder t(big);
        const int ifd0 = t.addIfd(), exif = t.addIfd();
        t.rawEntry(ifd0, 0x0001, 0, 1, 0);
        t.entry(ifd0, 0x010F, 2, 5, ascii("Sony"));
        t.rawEntry(ifd0, 0x0112, 0, 1, 0);
        t.entry(ifd0, 0x0112, 3, 1, t.u16(6));
        t.pointer(ifd0, 0x8769, exif);
        t.rawEntry(ifd0, 0x9999, 14, 1, 0);
        t.entry(exif, 0x829D, 5, 1, t.rational(28, 10));
        t.rawEntry(exif, 0xC000, 0xFFFF, 2, 0x12345678);
        ASSERT_TRUE(analyze(jpeg(exifApp1(t.build()))));
        const Written w = write();
        EXPECT_EQ(w.tags(w.ifd0()), (std::vector<std::uint16_t>{0x010F, 0x0112, 0x8769}));
        EXPECT_EQ(w.entry(w.ifd0(), 0x0112)->type, 3);
        EXPECT_EQ(w.numbers(w.ifd0(), 0x0112), (std::vector<std::uint32_t>{6}));
        EXPECT_EQ(w.tags(w.field(w.ifd0(), 0x8769)), (std::vector<std::uint16_t>{0x829D}));
    }
}

TEST_F(Writing, ABlockWhose0thIfdCannotBeReadGetsTheMandatoryTagsInItsByteOrder) {
    for (bool big : {false, true}) {
        SCOPED_TRACE(big ? "MM" : "II");
        TiffBuilder t(big);
        t.entry(t.addIfd(), 0x0112, 3, 1, t.u16(1));
        Bytes tiff = t.build();
        const Bytes offset = t.u32(0x7000); // the 0th IFD lies past the block
        std::copy(offset.begin(), offset.end(), tiff.begin() + 4);
        Exif::ResetEngine();
        Exif::FmStream.assign(jpeg(exifApp1(tiff)));
        Exif::MainWidth = 4000, Exif::MainHeight = 70000;
        ASSERT_TRUE(Exif::AnalyzeExif());
        const Written w = write();
        ASSERT_EQ(w.big, big);
        const std::uint32_t ifd0 = w.ifd0(), exif = w.field(ifd0, 0x8769);
        for (std::uint16_t tag : {0x011A, 0x011B}) {
            const std::uint32_t at = w.field(ifd0, tag);
            EXPECT_EQ(w.u32(at), 72u);
            EXPECT_EQ(w.u32(at + 4), 1u);
        }
        EXPECT_EQ(w.numbers(ifd0, 0x0128), (std::vector<std::uint32_t>{2}));
        EXPECT_EQ(w.numbers(ifd0, 0x0213), (std::vector<std::uint32_t>{1}));
        EXPECT_EQ(w.numbers(exif, 0xA001), (std::vector<std::uint32_t>{1}));
        EXPECT_EQ(w.numbers(exif, 0xA002), (std::vector<std::uint32_t>{4000}));
        EXPECT_EQ(w.numbers(exif, 0xA003), (std::vector<std::uint32_t>{70000}));
        // Byte lists stand in the value field as they are, whatever the byte order.
        std::uint32_t at = exif + 2;
        std::map<std::uint16_t, Bytes> lists;
        for (std::size_t i = 0; i < w.entries(exif).size(); ++i, at += 12)
            lists[w.u16(at)] = w.bytes(at + 8, 4);
        EXPECT_EQ(lists[0x9000], text("0232"));
        EXPECT_EQ(lists[0x9101], (Bytes{1, 2, 3, 0}));
        EXPECT_EQ(lists[0xA000], text("0100"));
    }
}

// Private directories that cannot be kept (outside the block, or more of them than any file
// has) are left out by the save; a block holding nothing else holds no value, and saving it
// gives what saving a file without EXIF gives, so that saving the result again changes nothing.
TEST_F(Writing, ABlockOfOnlyPrivateDirectoriesThatCannotBeKeptSavesAsOneWithoutExif) {
    const struct {
        const char* what;
        std::uint16_t tag, type;
        std::uint32_t count, field;
    } cases[] = {
        {"IFD-typed entry leading outside the block", 0x0002, 13, 1, 0x60000},
        {"IFD-typed entry claiming millions of directories", 0x0002, 13, 26214400, 0x60000},
        {"SubIFDs leading outside the block", 0x014A, 4, 1, 0x60000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TiffBuilder t;
        t.rawEntry(t.addIfd(), c.tag, c.type, c.count, c.field);
        ASSERT_TRUE(analyze(jpeg(exifApp1(t.build()))));
        const Written first = write();
        ASSERT_TRUE(first.hasExif());
        EXPECT_EQ(first.numbers(first.ifd0(), 0x0128), (std::vector<std::uint32_t>{2}));
        ASSERT_TRUE(analyze(first.file));
        EXPECT_EQ(write().file, first.file);
    }
}

TEST_F(Writing, ThumbnailStripsMoveWithTheirOffsets) {
    // Older cameras store the thumbnail uncompressed, as strips that StripOffsets points at.
    const struct {
        bool big;
        std::uint16_t type; // of StripOffsets and StripByteCounts
        std::vector<std::size_t> strips;
    } cases[] = {
        {true, 3, {300}},          // one strip, its offset a SHORT in the value field
        {false, 4, {120, 90, 45}}, // three strips, the offsets a LONG array after the directory
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.strips.size());
        auto build = [&](std::uint32_t stripsAt) {
            TiffBuilder t(c.big);
            const int ifd0 = t.addIfd(), ifd1 = t.addIfd();
            t.entry(ifd0, 0x0112, 3, 1, t.u16(1));
            t.link(ifd0, ifd1);
            t.entry(ifd1, 0x0103, 3, 1, t.u16(1));
            Bytes offsets, lengths;
            std::uint32_t at = stripsAt;
            for (std::size_t n : c.strips) {
                offsets = offsets + (c.type == 3 ? t.u16(static_cast<std::uint16_t>(at)) : t.u32(at));
                lengths = lengths + (c.type == 3 ? t.u16(static_cast<std::uint16_t>(n))
                                                 : t.u32(static_cast<std::uint32_t>(n)));
                at += static_cast<std::uint32_t>(n);
            }
            const auto count = static_cast<std::uint32_t>(c.strips.size());
            t.entry(ifd1, 0x0111, c.type, count, offsets);
            t.entry(ifd1, 0x0116, 3, 1, t.u16(8));
            t.entry(ifd1, 0x0117, c.type, count, lengths);
            return t.build();
        };
        const auto stripsAt = static_cast<std::uint32_t>(build(0).size());
        Bytes strips;
        for (std::size_t i = 0; i < c.strips.size(); ++i)
            strips = strips + pattern(c.strips[i], static_cast<std::uint8_t>(i * 40));
        ASSERT_TRUE(analyze(jpeg(exifApp1(build(stripsAt) + strips))));
        setPosition();
        const Written w = write();
        const std::uint32_t ifd1 = w.link(w.ifd0());
        ASSERT_NE(ifd1, 0u);
        const std::vector<std::uint32_t> offsets = w.numbers(ifd1, 0x0111);
        const std::vector<std::uint32_t> lengths = w.numbers(ifd1, 0x0117);
        ASSERT_EQ(offsets.size(), c.strips.size());
        EXPECT_EQ(w.entry(ifd1, 0x0111)->type, c.type);
        Bytes carried;
        for (std::size_t i = 0; i < offsets.size(); ++i) {
            EXPECT_EQ(lengths[i], c.strips[i]);
            carried = carried + w.bytes(offsets[i], lengths[i]);
        }
        EXPECT_EQ(carried, strips);
        EXPECT_NE(offsets[0], stripsAt); // the GPS directory moved them
    }
}

TEST_F(Writing, StripsThatCannotBeCarriedTakeTheirTagsAlong) {
    // Never an offset left pointing into other data: without its strips the thumbnail's
    // location tags go together, and the rest of the 1st IFD stays.
    const struct {
        const char* what;
        std::uint32_t offset, length;
        bool withLengths;
    } cases[] = {
        {"strip past the end of the file", 0x7FFF0000, 100, true},
        {"no StripByteCounts", 8, 100, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TiffBuilder t(true);
        const int ifd0 = t.addIfd(), ifd1 = t.addIfd();
        t.entry(ifd0, 0x0112, 3, 1, t.u16(1));
        t.link(ifd0, ifd1);
        t.entry(ifd1, 0x0103, 3, 1, t.u16(1));
        t.entry(ifd1, 0x0111, 4, 1, t.u32(c.offset));
        t.entry(ifd1, 0x0116, 3, 1, t.u16(8));
        if (c.withLengths)
            t.entry(ifd1, 0x0117, 4, 1, t.u32(c.length));
        ASSERT_TRUE(analyze(jpeg(exifApp1(t.build()))));
        setPosition();
        const Written w = write();
        EXPECT_EQ(w.tags(w.link(w.ifd0())), (std::vector<std::uint16_t>{0x0103}));
    }
}

TEST_F(Writing, AnEmptied0thIfdStillLeadsToThe1stIfd) {
    // The 0th IFD holds only the Exif pointer, and the Exif IFD only a value that lies outside
    // the block: both are left with nothing to write, and the 1st IFD with its thumbnail
    // entries must stay linked all the same.
    TiffBuilder t;
    const int ifd0 = t.addIfd(), exif = t.addIfd(), ifd1 = t.addIfd();
    t.pointer(ifd0, 0x8769, exif);
    t.rawEntry(exif, 0x9000, 7, 0x00400004, 0x32333230);
    t.link(ifd0, ifd1);
    t.entry(ifd1, 0x0103, 3, 1, t.u16(6));
    t.entry(ifd1, 0x011A, 5, 1, t.rational(72, 1));
    ASSERT_TRUE(analyze(jpeg(exifApp1(t.build()))));
    const Written w = write();
    EXPECT_EQ(w.tags(w.ifd0()), std::vector<std::uint16_t>{});
    const std::uint32_t ifd1At = w.link(w.ifd0());
    ASSERT_NE(ifd1At, 0u) << "the 1st IFD is no longer linked";
    EXPECT_EQ(w.tags(ifd1At), (std::vector<std::uint16_t>{0x0103, 0x011A}));
}

TEST_F(Writing, PrivateSubDirectoriesStayWhereTheirPointersSay) {
    const struct {
        const char* what;
        bool big;
        std::uint16_t tag, type;
    } cases[] = {
        {"SubIFDs", false, 0x014A, 4},
        {"Kodak's IFD", true, 0x8290, 4},
        {"an entry of type IFD", false, 0xC612, 13},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TiffBuilder t(c.big);
        const int ifd0 = t.addIfd(), exif = t.addIfd(), sub = t.addIfd();
        t.entry(ifd0, 0x010F, 2, 6, ascii("Kodak"));
        t.pointer(ifd0, 0x8769, exif);
        t.pointer(ifd0, c.tag, sub, c.type);
        t.entry(exif, 0x9286, 7, 20, text("ASCII") + Bytes{0, 0, 0} + text("old comment!"));
        t.entry(sub, 0x0100, 3, 1, t.u16(160));
        t.entry(sub, 0x0FFF, 2, 15, ascii("private value!"));
        ASSERT_TRUE(analyze(jpeg(exifApp1(t.build()))));
        ExifDetails::NewTag9286 = u"a much longer comment than the camera's";
        Exif::UpdateExif();
        setPosition();
        const Written w = write();
        const std::uint32_t at = w.field(w.ifd0(), c.tag);
        ASSERT_NE(at, 0u);
        ASSERT_EQ(w.tags(at), (std::vector<std::uint16_t>{0x0100, 0x0FFF}));
        EXPECT_EQ(w.numbers(at, 0x0100), (std::vector<std::uint32_t>{160}));
        EXPECT_EQ(w.bytes(w.field(at, 0x0FFF), 15), ascii("private value!"));
    }
}

TEST_F(Writing, APointerToNoDirectoryIsLeftOut) {
    for (std::uint32_t target : {0x7000u, 40u}) { // past the block; inside the Make value
        SCOPED_TRACE(target);
        TiffBuilder t;
        const int ifd0 = t.addIfd();
        t.rawEntry(ifd0, 0x014A, 4, 1, target);
        t.entry(ifd0, 0x010F, 2, 40, ascii(std::string(39, 'K')));
        ASSERT_TRUE(analyze(jpeg(exifApp1(t.build()))));
        setPosition();
        const Written w = write();
        EXPECT_EQ(w.entry(w.ifd0(), 0x014A), nullptr);
        EXPECT_NE(w.entry(w.ifd0(), 0x010F), nullptr);
    }
}

TEST_F(Writing, ADirectoryLeftEmptyByItsPrivateDirectoryLosesItsPointer) {
    // The Interoperability IFD holds only a private directory pointer that leads nowhere, so
    // nothing of it is written: its pointer must go too, not point at offset 0.
    TiffBuilder t;
    const int ifd0 = t.addIfd(), exif = t.addIfd(), interop = t.addIfd();
    t.entry(ifd0, 0x010F, 2, 4, ascii("CAM"));
    t.pointer(ifd0, 0x8769, exif);
    t.entry(exif, 0x9000, 7, 4, text("0232"));
    t.pointer(exif, 0xA005, interop);
    t.rawEntry(interop, 0x0000, 13, 2359299, 0x7000);
    ASSERT_TRUE(analyze(jpeg(exifApp1(t.build()))));
    const Written w = write();
    const std::uint32_t exifAt = w.field(w.ifd0(), 0x8769);
    ASSERT_NE(exifAt, 0u);
    EXPECT_EQ(w.tags(exifAt), std::vector<std::uint16_t>{0x9000});
}

TEST_F(Writing, TheBlockKeepsWhatTheMakerNoteReachesAndNothingElse) {
    // A maker note with offsets from the TIFF header: a text inside it, a preview directory
    // behind it whose picture lies further on, and an empty scan directory. Between them the
    // camera left 2000 bytes of padding that nothing refers to.
    constexpr std::uint32_t kNote = 64, kPreview = 1500, kThumbnail = 3000, kPadding = 2000;
    // The maker note's bytes stand in the built block first as a run of 0xEE, to find its place.
    const Bytes noteFill(kNote, 0xEE);
    auto build = [&](std::uint32_t thumbnailAt) {
        TiffBuilder t;
        const int ifd0 = t.addIfd(), exif = t.addIfd(), ifd1 = t.addIfd();
        t.entry(ifd0, 0x010F, 2, 6, ascii("Nikon"));
        t.pointer(ifd0, 0x8769, exif);
        t.link(ifd0, ifd1);
        t.entry(exif, 0x927C, 7, kNote, noteFill);
        t.entry(exif, 0x9286, 7, 20, text("ASCII") + Bytes{0, 0, 0} + text("old comment!"));
        t.entry(ifd1, 0x0103, 3, 1, t.u16(6));
        t.entry(ifd1, 0x0201, 4, 1, t.u32(thumbnailAt));
        t.entry(ifd1, 0x0202, 4, 1, t.u32(kThumbnail));
        return t;
    };
    const Bytes head = build(0).build();
    const auto note = static_cast<std::uint32_t>(
        std::search(head.begin(), head.end(), noteFill.begin(), noteFill.end()) - head.begin());
    // Behind the TIFF structure: preview directory, padding, empty directory, preview, thumbnail.
    const auto previewIfd = static_cast<std::uint32_t>(head.size());
    const std::uint32_t emptyIfd = previewIfd + 30 + kPadding, preview = emptyIfd + 6,
                        thumbnail = preview + kPreview;
    TiffBuilder le;
    Bytes noteBytes = le.u16(3) +
                      le.u16(0x0001) + le.u16(2) + le.u32(12) + le.u32(note + 44) +
                      le.u16(0x0011) + le.u16(4) + le.u32(1) + le.u32(previewIfd) +
                      le.u16(0x0E10) + le.u16(4) + le.u32(1) + le.u32(emptyIfd) + le.u32(0);
    noteBytes = noteBytes + Bytes(2, 0) + ascii("made inside") + Bytes(8, 0);
    ASSERT_EQ(noteBytes.size(), kNote);
    const Bytes previewDirectory = le.u16(2) + le.u16(0x0201) + le.u16(4) + le.u32(1) +
                                   le.u32(preview) + le.u16(0x0202) + le.u16(4) + le.u32(1) +
                                   le.u32(kPreview) + le.u32(0);
    const Bytes previewBytes = Bytes{0xFF, 0xD8} + pattern(kPreview - 2, 3);
    const Bytes thumbnailBytes = Bytes{0xFF, 0xD8} + pattern(kThumbnail - 2, 9);
    Bytes tiff = build(thumbnail).build();
    std::copy(noteBytes.begin(), noteBytes.end(), tiff.begin() + note);
    tiff = tiff + previewDirectory + Bytes(kPadding, 0xFF) + Bytes(6, 0) + previewBytes +
           thumbnailBytes;
    ASSERT_TRUE(analyze(jpeg(exifApp1(tiff))));
    setPosition();
    const Written w = write();

    EXPECT_EQ(w.field(w.field(w.ifd0(), 0x8769), 0x927C), note);
    EXPECT_EQ(w.bytes(note, kNote), noteBytes);
    EXPECT_EQ(w.bytes(previewIfd, previewDirectory.size()), previewDirectory);
    EXPECT_EQ(w.bytes(preview, kPreview), previewBytes);
    EXPECT_EQ(w.u16(emptyIfd), 0); // the scan directory still reads as empty
    const std::uint32_t ifd1 = w.link(w.ifd0());
    EXPECT_EQ(w.bytes(w.field(ifd1, 0x0201), kThumbnail), thumbnailBytes);
    // The position fits where the padding was: the block does not grow.
    EXPECT_LE(w.segmentLength(), 2 + 6 + tiff.size());
    EXPECT_EQ(w.block().find(std::string(64, '\xFF')), std::string::npos);
}

} // namespace
