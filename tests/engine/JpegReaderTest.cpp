#include <gtest/gtest.h>

#include "support/EngineTest.h"

using namespace testsupport;

namespace {

class JpegWalk : public EngineTest {
protected:
    static Bytes trail() { return Exif::TrailStream.toVector(); }
    // The comment segment that a save places right behind its EXIF block. (Anywhere after a
    // multi-picture index it would move the pictures the index points at.)
    static Bytes ourComment() { return segment(0xFFFE, ascii("Modified by geodot v0.2.3a")); }
    static Bytes smallExif() {
        TiffBuilder t;
        const int ifd0 = t.addIfd();
        t.entry(ifd0, 0x010F, 2, 6, ascii("Canon"));
        return exifApp1(t.build());
    }
    static Bytes xmp() { return segment(0xFFE1, ascii("http://ns.adobe.com/xap/1.0/") + text("<x/>")); }
    const Bytes dqt = segment(0xFFDB, Bytes(65, 1));
    const Bytes scanAndEoi = scan({0x12, 0x34, 0xFF, 0x00, 0x56}) + eoi();
};

TEST_F(JpegWalk, RecognisesOtherFilesByTheirFirstBytes) {
    const struct {
        Bytes head;
        const char* line;
    } cases[] = {
        {{0x89, 'P', 'N', 'G'}, "  *** Must be PNG file. Marker=$8950"},
        {text("GIF89a"), "  *** Must be GIF file. Marker=$4749"},
        {text("BM"), "  *** Must be BMP file. Marker=$424D"},
        {text("MM"), "  *** Must be TIFF file. Marker=$4D4D"},
        {text("II"), "  *** Must be TIFF file. Marker=$4949"},
        {text("MZ"), "  *** Executable file? Marker=$4D5A"},
        {text("%PDF"), "  *** Not Jpeg file. Marker=$2550"},
        {{}, "  *** Not Jpeg file. Marker=$0000"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(analyze(c.head));
        EXPECT_EQ(listing(), c.line);
    }
}

TEST_F(JpegWalk, KeepsSegmentsButNotJfifAndPutsOurCommentFirst) {
    const Bytes app2 = segment(0xFFE2, text("ICC_PROFILE"));
    const Bytes sof2 = segment(0xFFC2, Bytes(15, 2)); // progressive frames are copied like SOF0
    const Bytes other = segment(0xFFFE, ascii("a camera's comment"));
    // JFIF and its JFXX extension contradict the EXIF block and go; other APP0 segments hold
    // data of their own (a motion-JPEG camera's AVI1, CIFF metadata, one too short to name
    // itself) and stay, byte for byte and in order.
    const Bytes jfif = segment(0xFFE0, ascii("JFIF") + Bytes{1, 2, 0, 0, 1, 0, 1, 0, 0});
    const Bytes jfxx = segment(0xFFE0, ascii("JFXX") + Bytes{0x10, 0xFF, 0xD8});
    const Bytes avi1 = segment(0xFFE0, text("AVI1") + Bytes{0, 0, 0, 0});
    const Bytes ciff = segment(0xFFE0, text("II") + Bytes{0x1A, 0, 0, 0} + text("HEAPCCDR"));
    const Bytes bare = segment(0xFFE0, text("J"));
    ASSERT_TRUE(analyze(soi() + jfif + avi1 + smallExif() + jfxx + app2 + ciff + bare + other +
                        dqt + sof2 + scanAndEoi));
    EXPECT_EQ(trail(), ourComment() + avi1 + app2 + ciff + bare + other + dqt + sof2 + scanAndEoi);
    EXPECT_NE(find(Exif::IFD0, 0x010F), nullptr);
}

TEST_F(JpegWalk, ReadsTheFirstExifSegmentWhereverItStandsAndKeepsOtherApp1Segments) {
    // XMP before EXIF must not hide the EXIF block; XMP stays, a second EXIF block goes.
    TiffBuilder second;
    second.entry(second.addIfd(), 0x010F, 2, 5, ascii("Sony"));
    ASSERT_TRUE(analyze(soi() + xmp() + smallExif() + exifApp1(second.build()) + dqt + scanAndEoi));
    EXPECT_EQ(trail(), ourComment() + xmp() + dqt + scanAndEoi);
    EXPECT_NE(listing().find("Canon"), std::string::npos);
    EXPECT_EQ(listing().find("Sony"), std::string::npos);
}

TEST_F(JpegWalk, FileWithoutExifGetsAnEmptyLittleEndianStructure) {
    for (const Bytes& file : {soi() + eoi(), soi() + xmp() + dqt + scanAndEoi}) {
        Exif::BO = Exif::kBigEndian;
        ASSERT_TRUE(analyze(file));
        EXPECT_EQ(Exif::BO, Exif::kLittleEndian);
        EXPECT_EQ(tags(Exif::IFD0).size(), 5u + 4u); // pointers, texts and mandatory tags
        EXPECT_EQ(Exif::IFDG.size(), 12u);
        EXPECT_TRUE(Exif::ExifStrings.empty());
    }
    // The end-of-image marker of a file without a scan stays.
    analyze(soi() + eoi());
    EXPECT_EQ(trail(), eoi());
}

TEST_F(JpegWalk, ReplacesOnlyTheCommentsOfEarlierSaves) {
    const Bytes older = segment(0xFFFE, ascii("Modified by geodot v0.1"));
    const Bytes foreign = segment(0xFFFE, ascii("Modified by someone else"));
    ASSERT_TRUE(analyze(soi() + smallExif() + older + foreign + dqt + scanAndEoi));
    EXPECT_EQ(trail(), ourComment() + foreign + dqt + scanAndEoi);
}

TEST_F(JpegWalk, TrailerAfterTheEndOfImageFollowsTheOption) {
    const Bytes trailer = text("TRAILER-0123456789xx");
    const Bytes endsInEoi = text("TRAILER-0123456789") + eoi();
    const Bytes head = soi() + smallExif() + dqt;
    const struct {
        bool afterEoi;
        Bytes tail;
        Bytes kept;
    } cases[] = {
        {false, trailer, {}},
        {true, trailer, trailer},
        {false, endsInEoi, endsInEoi}, // the file's last FF D9 is taken as its end
        {true, endsInEoi, endsInEoi},
    };
    for (const auto& c : cases) {
        Exif::AfterEOI = c.afterEoi;
        ASSERT_TRUE(analyze(head + scanAndEoi + c.tail));
        EXPECT_EQ(trail(), ourComment() + dqt + scanAndEoi + c.kept) << c.afterEoi;
    }
}

TEST_F(JpegWalk, NeverLosesImageDataWhenTheStructureIsBroken) {
    const Bytes scanNoEoi = scan({0x12, 0x34, 0x56, 0x78});
    const Bytes garbage = {0x00, 0x11, 0x22};
    const Bytes pastEnd = {0xFF, 0xE2, 0x7F, 0xFF, 'x'};
    const struct {
        const char* what;
        bool afterEoi;
        Bytes body;
        Bytes kept;
    } cases[] = {
        {"scan without end-of-image", false, dqt + scanNoEoi, ourComment() + dqt + scanNoEoi},
        {"word that is no marker", true, dqt + garbage + scanAndEoi, dqt + garbage + scanAndEoi},
        {"segment past the end", true, dqt + pastEnd, dqt + pastEnd},
        {"segment length 0", true, Bytes{0xFF, 0xC4, 0, 0} + scanAndEoi,
         Bytes{0xFF, 0xC4, 0, 0} + scanAndEoi},
        {"segment length 1", true, Bytes{0xFF, 0xE0, 0, 1} + scanAndEoi,
         Bytes{0xFF, 0xE0, 0, 1} + scanAndEoi},
        {"fill bytes before a marker", true, Bytes{0xFF, 0xFF} + dqt + scanAndEoi,
         ourComment() + dqt + scanAndEoi},
    };
    for (const auto& c : cases) {
        Exif::AfterEOI = c.afterEoi;
        ASSERT_TRUE(analyze(soi() + smallExif() + c.body)) << c.what;
        EXPECT_EQ(trail(), c.kept) << c.what;
        EXPECT_NE(find(Exif::IFD0, 0x010F), nullptr) << c.what;
    }
}

TEST_F(JpegWalk, TruncatedExifSegmentIsReadAsFarAsItGoes) {
    TiffBuilder t;
    const int ifd0 = t.addIfd();
    t.entry(ifd0, 0x0112, 3, 1, t.u16(6));
    t.entry(ifd0, 0x010F, 2, 6, ascii("Canon"));
    Bytes file = soi() + exifApp1(t.build());
    file.resize(file.size() - 3); // the Make value, stored last, loses its end
    ASSERT_TRUE(analyze(file));
    // Where the cut segment really ends is unknown, so it stays, behind the rebuilt block.
    EXPECT_EQ(Exif::TrailStream.toVector(), Bytes(file.begin() + 2, file.end()));
    EXPECT_NE(find(Exif::IFD0, 0x0112), nullptr);
    EXPECT_EQ(find(Exif::IFD0, 0x010F), nullptr); // its bytes do not exist: no padded value
    EXPECT_NE(find(Exif::IFD0, 0x010E), nullptr); // the placeholders are there
}

} // namespace
