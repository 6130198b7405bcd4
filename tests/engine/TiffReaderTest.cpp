#include <gtest/gtest.h>

#include "support/EngineTest.h"

using namespace testsupport;
using namespace std::string_literals;

namespace {

class TiffReading : public EngineTest {
protected:
    static bool analyzeTiff(const TiffBuilder& t, const Bytes& tail = Bytes(16, 0x55)) {
        return analyze(soi() + exifApp1(t.build()) + scan(tail) + eoi());
    }
    static std::uint32_t count(const Exif::IFDRec& r) { return Exif::Num32(r.Count); }
};

TEST_F(TiffReading, LittleEndianBlockWithOneTagListsItAndAddsPlaceholders) {
    TiffBuilder t;
    t.entry(t.addIfd(), 0x0100, 3, 1, t.u16(4000));
    ASSERT_TRUE(analyzeTiff(t));
    EXPECT_EQ(listing(), "Byte Order=$4949 (リトルエンディアン)\n\n<< 0th IFD >>\n画像の幅=4000");
    EXPECT_EQ(tags(Exif::IFD0),
              (std::vector<std::uint16_t>{0x0100, 0x8769, 0x8825, 0x010E, 0x013B, 0x8298}));
    EXPECT_EQ(count(Exif::IFD0[1]), 1u);
    EXPECT_EQ(count(Exif::IFD0[3]), 0u);
    EXPECT_EQ(Exif::IFDX.size(), 2u);
    EXPECT_EQ(Exif::IFDG.size(), 12u);
}

TEST_F(TiffReading, BigEndianBlockReadsNumbersMostSignificantByteFirst) {
    TiffBuilder t(true);
    t.entry(t.addIfd(), 0x0100, 3, 1, {0x0F, 0xA0});
    ASSERT_TRUE(analyzeTiff(t));
    EXPECT_EQ(listing(), "Byte Order=$4D4D (ビッグエンディアン)\n\n<< 0th IFD >>\n画像の幅=4000");
    const Exif::IFDRec& width = Exif::IFD0[0];
    EXPECT_EQ(width.Raw, (Bytes{0x0F, 0xA0}));
    EXPECT_EQ(width.Offset, 0xA00Fu); // the value field's bytes 0F A0 00 00, as they stand
}

TEST_F(TiffReading, RawTextOfEachFieldType) {
    for (bool big : {false, true}) {
        TiffBuilder t(big);
        const Bytes r = t.rational(35, 1) + t.rational(40, 1) + t.rational(531, 10);
        const struct {
            std::uint16_t type;
            std::uint32_t count;
            Bytes value;
            std::u16string text;
        } cases[] = {
            {5, 3, r, u"35/1,40/1,531/10"},
            {7, 4, {0x30, 0x32, 0x33, 0x30}, u"30,32,33,30"},
            {2, 6, ascii("Canon"), u"Canon\0"s},
            {2, 2, {0xF6, 0}, u"\u00F6\0"s},
            {6, 1, {0xFF}, u"-1"},
            {1, 2, {0xFF, 7}, u"255,7"},
            {8, 1, t.u16(0xFFFE), u"-2"},
            {3, 2, t.u16(65535) + t.u16(1), u"65535,1"},
            {9, 1, t.u32(0xFFFFFFFF), u"-1"},
            {4, 1, t.u32(0xFFFFFFFF), u"4294967295"},
            {10, 1, t.u32(0xFFFFFFFF) + t.u32(3), u"-1/3"},
            {11, 1, t.u32(0x3F800000), u""},
            {12, 1, Bytes(8, 0), u""},
        };
        for (const auto& c : cases) {
            Exif::BO = big ? Exif::kBigEndian : Exif::kLittleEndian;
            Exif::IFDRec rec;
            rec.DataType = Exif::Num16(c.type);
            rec.Count = Exif::Num32(c.count);
            rec.Raw = c.value;
            EXPECT_EQ(Exif::ReadData(rec), c.text) << "type " << c.type << (big ? " MM" : " II");
        }
    }
}

TEST_F(TiffReading, ControlCharactersInAValueShowVisiblyAndTheValueKeepsItsLine) {
    // Line feeds, carriage returns and the like inside values of every directory would split a
    // listing line; a tab stays, and so does the NUL that ends an ASCII value. The flash's own
    // item lines are the listing's, not the file's.
    TiffBuilder t;
    const int ifd0 = t.addIfd(), exif = t.addIfd(), gps = t.addIfd(), interop = t.addIfd();
    const auto asciiEntry = [&](int ifd, std::uint16_t tag, const std::string& value) {
        t.entry(ifd, tag, 2, static_cast<std::uint32_t>(value.size() + 1), ascii(value));
    };
    asciiEntry(ifd0, 0x010E, "one\ntwo\r\nthree");
    asciiEntry(ifd0, 0x010F, "Can\x1b" "on\tX");
    t.pointer(ifd0, 0x8769, exif);
    t.pointer(ifd0, 0x8825, gps);
    t.entry(exif, 0x9000, 3, 4, t.u16(48) + t.u16(50) + t.u16(10) + t.u16(48)); // SHORT digits
    t.entry(exif, 0x9209, 3, 1, t.u16(0));
    t.pointer(exif, 0xA005, interop);
    // "a", LF, "b", LINE SEPARATOR, "c" in UTF-16
    t.entry(gps, 0x1C, 7, 18,
            text("UNICODE") + Bytes{0, 'a', 0, '\n', 0, 'b', 0, 0x28, 0x20, 'c', 0});
    asciiEntry(interop, 0x0001, "R9\n8");
    ASSERT_TRUE(analyzeTiff(t));
    const std::string shown = listing();
    for (const char* line : {"\n画像タイトル=one\\x0Atwo\\x0D\\x0Athree\n",
                             "\n画像入力機器のメーカ名=Can\\x1Bon\tX\n",
                             "\nExifバージョン=HP\\x10H\n", "\nフラッシュ=\n\tストロボ発光せず\n",
                             "\n測位地点の名称=a\\x0Ab\\u2028c\n", "\n互換性識別子=R9\\x0A8"})
        EXPECT_NE(shown.find(line), std::string::npos) << line << "\n" << shown;
    // The registers keep the text as the file has it.
    EXPECT_EQ(ExifDetails::Tag010E, u"one\ntwo\r\nthree\0"s);
    EXPECT_EQ(ExifDetails::Tag1C, u"a\nb\u2028c");
}

TEST_F(TiffReading, SectionsFollowAFixedOrderAndHiddenTagsStayInTheTables) {
    TiffBuilder t;
    const int ifd0 = t.addIfd(), exif = t.addIfd(), gps = t.addIfd(), interop = t.addIfd(),
              ifd1 = t.addIfd();
    t.entry(ifd0, 0x010F, 2, 6, ascii("Canon"));
    t.entry(ifd0, 0xC000, 3, 1, t.u16(1)); // no name: no line, but kept
    t.pointer(ifd0, 0x8825, gps);
    t.pointer(ifd0, 0x8769, exif);
    t.link(ifd0, ifd1);
    const Bytes makerNote(40, 0xAB);
    t.entry(exif, 0x927C, 7, 40, makerNote);
    t.entry(exif, 0x9286, 7, 12, text("ASCII") + Bytes{0, 0, 0} + text("hey!"));
    t.pointer(exif, 0xA005, interop);
    t.entry(gps, 0x01, 2, 2, ascii("N"));
    t.entry(gps, 0x02, 5, 3, t.rational(35, 1) + t.rational(405, 10) + t.rational(0, 1));
    t.entry(interop, 0x0001, 2, 4, ascii("R98"));
    t.entry(ifd1, 0x0103, 3, 1, t.u16(6));
    t.entry(ifd1, 0x0201, 4, 1, t.u32(8));
    t.entry(ifd1, 0x0202, 4, 1, t.u32(4));
    ASSERT_TRUE(analyzeTiff(t));
    EXPECT_EQ(listing(), "Byte Order=$4949 (リトルエンディアン)\n\n"
                         "<< 0th IFD >>\n画像入力機器のメーカ名=Canon\n\n\n"
                         "<< Exif IFD >>\nユーザーコメント=hey!\n\n\n"
                         "<< GPS IFD >>\n北緯(N)or南緯(S)=北緯\n緯度(数値)=35度40.5分0秒\n\n\n"
                         "<< Interoperability IFD >>\n互換性識別子=R98\n\n\n"
                         "<< 1st IFD >>\n圧縮の種類=JPEG圧縮\nJPEGのSOIへのオフセット=8\n"
                         "JPEGデータのバイト数=4");
    ASSERT_NE(find(Exif::IFDX, 0x927C), nullptr);
    EXPECT_EQ(find(Exif::IFDX, 0x927C)->Raw, makerNote);
    EXPECT_NE(find(Exif::IFD0, 0xC000), nullptr);
    // UserComment is in the file, so only CameraOwnerName gets a placeholder.
    EXPECT_EQ(count(*find(Exif::IFDX, 0x9286)), 12u);
    EXPECT_EQ(count(*find(Exif::IFDX, 0xA430)), 0u);
    EXPECT_EQ(Exif::SNOffset, 8u);
    EXPECT_EQ(Exif::SNSize, 4u);
    // The position registers are normalised after the GPS section.
    EXPECT_EQ(ExifDetails::Tag02B, 40);
    EXPECT_EQ(ExifDetails::Tag02C, 30);
    EXPECT_EQ(ExifDetails::ZoomRatio, 15);
}

TEST_F(TiffReading, PointerLoopsAndRepeatedDirectoriesAreReadOnce) {
    TiffBuilder t;
    const int ifd0 = t.addIfd(), exif = t.addIfd(), gps = t.addIfd();
    t.entry(ifd0, 0x010F, 2, 6, ascii("Canon"));
    t.pointer(ifd0, 0x8769, exif);
    t.pointer(ifd0, 0x8825, gps);
    t.link(ifd0, ifd0);                // the 1st IFD is the 0th again
    t.pointer(exif, 0x8769, exif);     // points at itself
    t.pointer(exif, 0xA005, ifd0);     // back to the 0th IFD
    t.entry(exif, 0x829D, 5, 1, t.rational(28, 10));
    t.pointer(gps, 0x8825, gps);
    t.pointer(gps, 0x8769, exif);      // the Exif IFD a second time
    ASSERT_TRUE(analyzeTiff(t));
    EXPECT_EQ(tags(Exif::IFDX),
              (std::vector<std::uint16_t>{0x8769, 0xA005, 0x829D, 0x9286, 0xA430}));
    EXPECT_TRUE(Exif::IFD1.empty());
    EXPECT_TRUE(Exif::IFDI.empty());
    EXPECT_EQ(Exif::IFDG.size(), 2u + 12u);
}

TEST_F(TiffReading, DamagedOffsetsAndCountsGiveWhatTheBlockReallyHolds) {
    TiffBuilder t;
    const int ifd0 = t.addIfd();
    t.entry(ifd0, 0x0112, 3, 1, t.u16(1));
    t.rawEntry(ifd0, 0x8769, 4, 1, 0xFFFFFFFF);  // Exif IFD nowhere
    t.rawEntry(ifd0, 0x8825, 2, 7, 0x90000009);  // GPS pointer of the wrong type, far away
    t.rawEntry(ifd0, 0x010F, 2, 0x40000000, 8);  // a count whose size wraps 32 bits
    t.rawEntry(ifd0, 0x0110, 2, 100, 0xFFFFFFF0); // a value offset that wraps
    t.overrideCount(ifd0, 0xFFFF);               // more entries than the block holds
    ASSERT_TRUE(analyzeTiff(t));
    EXPECT_EQ(listing(), "Byte Order=$4949 (リトルエンディアン)\n\n<< 0th IFD >>\n画像方向=Top Left");
    EXPECT_EQ(find(Exif::IFD0, 0x010F), nullptr);
    EXPECT_EQ(find(Exif::IFD0, 0x0110), nullptr);
    // The pointers stay, their directories hold just the placeholders.
    EXPECT_EQ(Exif::IFDX.size(), 2u);
    EXPECT_EQ(Exif::IFDG.size(), 12u);
    EXPECT_TRUE(Exif::IFD1.empty());
}

TEST_F(TiffReading, ZerothIfdOutsideTheBlockCountsAsNoExif) {
    // Nothing can be read from the block, so the file gets the structure of one without EXIF,
    // mandatory tags included: saving it once or twice then gives the same file.
    for (std::uint32_t offset : {0xFFFFFFFFu, 0x7FFFFFFFu, 5000u, 0u}) {
        Bytes tiff = TiffBuilder().build(); // a header without IFDs
        tiff[4] = std::uint8_t(offset), tiff[5] = std::uint8_t(offset >> 8);
        tiff[6] = std::uint8_t(offset >> 16), tiff[7] = std::uint8_t(offset >> 24);
        ASSERT_TRUE(analyze(soi() + exifApp1(tiff) + scan(Bytes(8000, 1)) + eoi()));
        EXPECT_EQ(listing(), "Byte Order=$4949 (リトルエンディアン)\n");
        EXPECT_NE(find(Exif::IFD0, 0x011A), nullptr) << offset; // XResolution, a mandatory tag
        EXPECT_EQ(Exif::IFDG.size(), 12u);
    }
}

TEST_F(TiffReading, UnusableThumbnailIsLeftOut) {
    const struct {
        const char* what;
        std::uint16_t type;
        std::uint32_t count;
        std::uint32_t offset;
        std::uint32_t length;
    } cases[] = {
        {"past the end", 4, 1, 8, 1000000},
        {"wrapping", 4, 1, 0xFFFFFFF0u, 0x20},
        {"two numbers", 3, 2, 8, 4},
        {"at offset 0, where the header is", 4, 1, 0, 16},
    };
    for (const auto& c : cases) {
        TiffBuilder t;
        const int ifd0 = t.addIfd(), ifd1 = t.addIfd();
        t.entry(ifd0, 0x0112, 3, 1, t.u16(1));
        t.link(ifd0, ifd1);
        t.entry(ifd1, 0x0103, 3, 1, t.u16(6));
        t.entry(ifd1, 0x0201, c.type, c.count, c.count == 1 ? t.u32(c.offset) : t.u16(8) + t.u16(9));
        t.entry(ifd1, 0x0202, 4, 1, t.u32(c.length));
        ASSERT_TRUE(analyzeTiff(t)) << c.what;
        EXPECT_EQ(Exif::SNOffset, 0u) << c.what;
        EXPECT_EQ(Exif::SNSize, 0u) << c.what;
        ASSERT_NE(find(Exif::IFD1, 0x0201), nullptr) << c.what;
        EXPECT_EQ(count(*find(Exif::IFD1, 0x0201)), 0u) << c.what;
        EXPECT_EQ(count(*find(Exif::IFD1, 0x0202)), 0u) << c.what;
    }
}

TEST_F(TiffReading, UnrenderableValueShowsRawAndTheFileStillOpens) {
    TiffBuilder t;
    const int ifd0 = t.addIfd(), exif = t.addIfd();
    t.pointer(ifd0, 0x8769, exif);
    t.entry(exif, 0x829A, 5, 1, t.rational(0, 1));
    t.entry(exif, 0x9000, 2, 5, ascii("0230"));
    ASSERT_TRUE(analyzeTiff(t));
    EXPECT_NE(listing().find("露出時間=??? 0/1"), std::string::npos);
    EXPECT_NE(listing().find("Exifバージョン=??? 0230"), std::string::npos);
}

} // namespace
