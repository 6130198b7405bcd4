#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <ctime>

#include "support/EngineTest.h"

using namespace testsupport;
using namespace ExifDetails;
using namespace std::string_literals;

namespace {

// Tables as a file without EXIF gets them: pointers and placeholders only.
class Updates : public EngineTest {
protected:
    void blank(bool bigEndian) {
        Exif::ResetEngine();
        Exif::BO = bigEndian ? Exif::kBigEndian : Exif::kLittleEndian;
        Exif::Essential = false;
        Exif::AddBlankIFDS();
    }
    static Exif::IFDRec& gps(std::uint16_t tag) { return entry(Exif::IFDG, tag); }
    static Exif::IFDRec& entry(Exif::IFDTable& t, std::uint16_t tag) {
        for (auto& e : t)
            if (e.IDX == tag)
                return e;
        throw std::runtime_error("no such entry");
    }
    static Bytes le(std::initializer_list<std::uint32_t> numbers) {
        Bytes out;
        for (std::uint32_t v : numbers)
            for (int i = 0; i < 4; ++i)
                out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        return out;
    }
    // Opens a file as the window does, its text fields filled from the registers.
    static bool openForEditing(const Bytes& file) {
        PrepareRegistersForOpen({});
        return analyze(file);
    }
    static void position(double latD, double latM, double latS, double alt = 0) {
        NewTag01 = 1, NewTag02A = latD, NewTag02B = latM, NewTag02C = latS;
        NewTag03 = 1, NewTag04A = 139, NewTag04B = 45, NewTag04C = 57.2;
        NewTag05 = 1, NewTag06 = alt;
    }
};

TEST_F(Updates, PositionIsStoredAsTheFieldsDenoteIt) {
    const struct {
        double d, m, s;
        Bytes raw;
    } cases[] = {
        {35, 40, 53.1, le({35, 1, 40, 1, 53100000, 1000000})},
        {35, 40.5, 0, le({35, 1, 40, 1, 30000000, 1000000})},  // fractions carry down
        {35.5, 0, 0, le({35, 1, 30, 1, 0, 1000000})},
        {35, 40, 0.0000004, le({35, 1, 40, 1, 0, 1000000})},
        {35, 59, 59.9999999, le({36, 1, 0, 1, 0, 1000000})}, // rounding up carries back up
        {95, 0, 0, le({95, 1, 0, 1, 0, 1000000})},          // no range is imposed
    };
    for (const auto& c : cases) {
        blank(false);
        position(c.d, c.m, c.s);
        Exif::UpdateGPS();
        EXPECT_EQ(gps(0x02).Raw, c.raw) << c.d << " " << c.m << " " << c.s;
        EXPECT_EQ(gps(0x02).Count, 3u);
    }
}

TEST_F(Updates, AltitudeDirectionAndReferences) {
    const struct {
        std::int8_t altRef;
        double alt;
        std::uint8_t storedRef;
        std::uint32_t centimetres;
    } altitudes[] = {{1, 12.345, 0, 1235}, {-1, 12.5, 1, 1250}, {1, -12.5, 1, 1250}, {1, 0, 0, 0}};
    for (const auto& a : altitudes) {
        blank(false);
        position(35, 40, 53.1);
        NewTag05 = a.altRef, NewTag06 = a.alt;
        NewTag10 = 1, NewTag11 = -90;
        Exif::UpdateGPS();
        EXPECT_EQ(gps(0x05).Offset, a.storedRef) << a.alt;
        EXPECT_EQ(gps(0x06).Raw, le({a.centimetres, 100})) << a.alt;
        EXPECT_EQ(gps(0x10).Raw, (Bytes{'T', 0}));
        EXPECT_EQ(gps(0x11).Raw, le({27000, 100})); // -90 degrees is 270
    }
    NewTag10 = 0;
    Exif::UpdateGPS();
    EXPECT_EQ(gps(0x10).Count, 0u);
    EXPECT_EQ(gps(0x11).Count, 0u);
}

TEST_F(Updates, TheOtherGpsTagsOfAnUpdate) {
    blank(false);
    position(35, 40, 53.1);
    NewTag01 = -1, NewTag03 = -1;
    NewTag1C = u"東京駅";
    Exif::UpdateGPS();
    EXPECT_EQ(gps(0x00).Offset, 0x00000302u); // 2.3.0.0
    EXPECT_EQ(gps(0x01).Offset, std::uint32_t{'S'});
    EXPECT_EQ(gps(0x03).Offset, std::uint32_t{'W'});
    EXPECT_EQ(gps(0x1B).Raw, (text("ASCII") + Bytes{0, 0, 0} + text("MANUAL") + Bytes{0}));
    EXPECT_EQ(GetString(gps(0x1C).Raw), u"東京駅");
    char today[16];
    const std::time_t now = std::time(nullptr);
    std::strftime(today, sizeof today, "%Y:%m:%d", std::gmtime(&now));
    EXPECT_EQ(gps(0x1D).Raw, ascii(today));
}

TEST_F(Updates, ARenewedDateStampTakesTheTimeStampWithIt) {
    // The camera's 23:11:25 on today's date would name an instant that never was: the time
    // is renewed with the date, both in UTC, in the file's byte order.
    for (bool big : {false, true}) {
        blank(big);
        Exif::AppendIFD(Exif::IFDG, 0x07, Exif::RATIONAL, 3, 0);
        for (std::uint32_t v : {23u, 1u, 11u, 1u, 25u, 1u})
            for (int i = 0; i < 4; ++i)
                Exif::IFDG.back().Raw.push_back(static_cast<std::uint8_t>(Exif::Num32(v) >> (8 * i)));
        position(35, 40, 53.1);
        const std::time_t before = std::time(nullptr);
        Exif::UpdateGPS();
        const std::time_t after = std::time(nullptr);

        const Exif::IFDRec& time = gps(0x07);
        ASSERT_EQ(time.Raw.size(), 24u);
        EXPECT_EQ(Exif::Num32(time.Count), 3u);
        EXPECT_EQ(Exif::Num16(time.DataType), Exif::RATIONAL);
        auto number = [&](int i) {
            return Exif::Num32(Exif::ByteToInt32(std::span(time.Raw).subspan(4 * i)));
        };
        EXPECT_EQ(number(1), 1u);
        EXPECT_EQ(number(3), 1u);
        EXPECT_EQ(number(5), 1000u); // seconds to the millisecond
        std::tm stamp{};
        const std::string date(gps(0x1D).Raw.begin(), gps(0x1D).Raw.end() - 1);
        ASSERT_EQ(std::sscanf(date.c_str(), "%d:%d:%d", &stamp.tm_year, &stamp.tm_mon,
                              &stamp.tm_mday),
                  3);
        stamp.tm_year -= 1900, stamp.tm_mon -= 1;
        stamp.tm_hour = static_cast<int>(number(0));
        stamp.tm_min = static_cast<int>(number(2));
        stamp.tm_sec = static_cast<int>(number(4) / 1000);
        const std::time_t instant = timegm(&stamp);
        EXPECT_GE(instant, before);
        EXPECT_LE(instant, after);
    }
}

TEST_F(Updates, BigEndianFilesGetTheirNumbersInTheirOrder) {
    blank(true);
    position(35, 40, 53.1);
    NewTag05 = -1, NewTag06 = 3;
    Exif::UpdateGPS();
    EXPECT_EQ(gps(0x01).Offset, 0x0000004Eu);  // bytes 4E 00 00 00
    EXPECT_EQ(gps(0x01).Count, 0x02000000u);   // bytes 00 00 00 02
    EXPECT_EQ(gps(0x05).Offset, 0x00000001u);  // bytes 01 00 00 00
    EXPECT_EQ(Bytes(gps(0x02).Raw.begin(), gps(0x02).Raw.begin() + 8),
              (Bytes{0, 0, 0, 35, 0, 0, 0, 1}));
}

TEST_F(Updates, RemovalKeepsTheGpsTagsItDoesNotOwn) {
    blank(false);
    Exif::AppendIFD(Exif::IFDG, 0x07, Exif::RATIONAL, 3, 0);
    Exif::IFDG.back().Raw = le({12, 1, 30, 1, 0, 1});
    position(35, 40, 53.1);
    Exif::UpdateGPS();
    NewTag05 = 9;
    Exif::UpdateGPS();
    for (const auto& e : Exif::IFDG)
        EXPECT_EQ(e.Count, e.IDX == 0x07 ? 3u : 0u) << std::hex << e.IDX;
}

TEST_F(Updates, ValuesThatCannotBeStoredAreRefusedWithTheTablesUnchanged) {
    const struct {
        const char* what;
        double d, alt, direction;
    } cases[] = {
        {"NaN degrees", std::nan(""), 0, 0},
        {"negative degrees", -35, 0, 0},
        {"degrees beyond 32 bits", 5e9, 0, 0},
        {"infinite altitude", 35, INFINITY, 0},
        {"huge altitude", 35, 1e12, 0},
        {"NaN direction", 35, 0, std::nan("")},
    };
    for (const auto& c : cases) {
        blank(false);
        position(c.d, 0, 0, c.alt);
        NewTag10 = 1, NewTag11 = c.direction;
        const Exif::IFDTable before = Exif::IFDG;
        EXPECT_THROW(Exif::UpdateGPS(), Exif::EngineError) << c.what;
        for (std::size_t i = 0; i < before.size(); ++i)
            EXPECT_EQ(Exif::IFDG[i].Count, before[i].Count) << c.what;
    }
}

TEST_F(Updates, ExifTextsFromTheNewRegisters) {
    const struct {
        std::u16string title;
        std::uint32_t count;
        Bytes raw;
        std::uint32_t offset;
    } cases[] = {
        {u"Tokyo\0"s, 6, text("Tokyo") + Bytes{0}, 0},
        {u"ab\0"s, 3, {'a', 'b', 0}, 0x00006261},
        {u"caf\u00E9\0"s, 5, {'c', 'a', 'f', 0xE9, 0}, 0}, // Latin-1 characters are bytes
        {u"\0"s, 0, {}, 0},
    };
    for (const auto& c : cases) {
        blank(false);
        OpenedTextValues.title = u"Old\0"s;
        NewTag010E = c.title;
        Exif::UpdateExif();
        const auto& e = entry(Exif::IFD0, 0x010E);
        EXPECT_EQ(e.Count, c.count) << utf8(c.title);
        if (c.count > 0) {
            EXPECT_EQ(e.Raw, c.raw) << utf8(c.title);
        }
        if (c.count > 0 && c.count <= 4) {
            EXPECT_EQ(e.Offset, c.offset);
        }
    }
}

TEST_F(Updates, MultibyteTitleNeedsTheOption) {
    blank(false);
    NewTag010E = u"日本\0"s;
    try {
        Exif::UpdateExif();
        FAIL() << "a title beyond U+00FF was stored as bytes";
    } catch (const Exif::EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("画像タイトル"), std::string::npos) << e.what();
    }
    EXPECT_EQ(entry(Exif::IFD0, 0x010E).Count, 0u);

    Exif::Ambiguous = true;
    Exif::TranscodeTo = "SJIS";
    Exif::UpdateExif();
    EXPECT_EQ(entry(Exif::IFD0, 0x010E).Count, 4u);
    EXPECT_EQ(entry(Exif::IFD0, 0x010E).Offset, 0x7B96FA93u); // 93 FA 96 7B
}

TEST_F(Updates, UntouchedTextTagsKeepTheirBytes) {
    // A camera's title padded with blanks, shown trimmed: saving without touching the field
    // leaves the padding in place.
    TiffBuilder t;
    t.entry(t.addIfd(), 0x010E, 2, 12, ascii("  Tokyo    "));
    ASSERT_TRUE(analyze(jpeg(exifApp1(t.build()))));
    const TextFields fields = TextFieldsFromRegisters();
    EXPECT_EQ(fields.title, u"Tokyo");
    StoreTextFields(fields);
    Exif::UpdateExif();
    EXPECT_EQ(entry(Exif::IFD0, 0x010E).Raw, ascii("  Tokyo    "));

    TextFields edited = fields;
    edited.title = u"  Kyoto ";
    StoreTextFields(edited);
    Exif::UpdateExif();
    EXPECT_EQ(entry(Exif::IFD0, 0x010E).Raw, ascii("Kyoto"));
}

TEST_F(Updates, CopyrightFieldsSplitAndJoinAtTheirNul) {
    const struct {
        std::u16string stored;
        const char16_t* photographer;
        const char16_t* editor;
        std::u16string joined;
    } cases[] = {
        {u"P\0E\0"s, u"P", u"E", u"P\0E\0"s},
        {u" \0E\0"s, u"", u"E", u" \0E\0"s}, // a blank marks the missing photographer
        {u"P\0"s, u"P", u"", u"P\0"s},
        {u"P"s, u"P", u"", u"P\0"s},
        {u"P\0E"s, u"P", u"E", u"P\0E\0"s}, // a missing terminator loses no letter
        {u""s, u"", u"", u""s},
    };
    for (const auto& c : cases) {
        Tag8298 = c.stored;
        const TextFields f = TextFieldsFromRegisters();
        EXPECT_EQ(f.copyrightPhotographer, c.photographer) << utf8(c.stored);
        EXPECT_EQ(f.copyrightEditor, c.editor) << utf8(c.stored);
        EXPECT_EQ(NewTextValues(f).copyright, c.joined) << utf8(c.stored);
    }
}

// A text tag in a directory where a save does not write it (a comment in the 0th IFD, a title
// in the 1st) is listed and kept, but its field stays empty: otherwise the field would show a
// value the save never changes, and a cleared or retyped field would come back as it was.
TEST_F(Updates, TextFieldsShowOnlyTheEntriesASaveWrites) {
    const Bytes comment = text("ASCII") + Bytes{0, 0, 0} + text("Stray");
    const struct {
        std::uint16_t tag, type;
        Bytes value;
        char directory; // where the stray entry is: '0', 'X' (Exif IFD) or '1'
        std::u16string TextFields::*field;
    } cases[] = {
        {0x9286, 7, comment, '0', &TextFields::comment},
        {0x9286, 7, comment, '1', &TextFields::comment},
        {0xA430, 2, ascii("Stray"), '0', &TextFields::owner},
        {0x010E, 2, ascii("Stray"), '1', &TextFields::title},
        {0x013B, 2, ascii("Stray"), 'X', &TextFields::artist},
        {0x8298, 2, ascii("Stray"), 'X', &TextFields::copyrightPhotographer},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.tag << " in " << c.directory);
        TiffBuilder t;
        const int ifd0 = t.addIfd(), exif = t.addIfd(), ifd1 = t.addIfd();
        t.pointer(ifd0, 0x8769, exif);
        t.link(ifd0, ifd1);
        t.entry(ifd1, 0x0103, 3, 1, t.u16(6));
        t.entry(c.directory == '0' ? ifd0 : c.directory == 'X' ? exif : ifd1, c.tag, c.type,
                static_cast<std::uint32_t>(c.value.size()), c.value);
        const Bytes source = jpeg(exifApp1(t.build()));

        ASSERT_TRUE(openForEditing(source));
        EXPECT_EQ(TextFieldsFromRegisters().*c.field, u"");
        EXPECT_NE(listing().find("Stray"), std::string::npos) << listing();

        for (const std::u16string typed : {u"New", u""}) {
            ASSERT_TRUE(openForEditing(source));
            TextFields fields = TextFieldsFromRegisters();
            fields.*c.field = typed;
            StoreTextFields(fields);
            Exif::UpdateExif();
            Exif::WriteJpeg();
            ASSERT_TRUE(openForEditing(Exif::ToStream.toVector()));
            EXPECT_EQ(TextFieldsFromRegisters().*c.field, typed) << utf8(typed);
            EXPECT_NE(listing().find("Stray"), std::string::npos) << "the stray entry is kept";
        }
    }
}

// Of several entries with one tag a save keeps the first with a value, so that one fills the
// field: the text shown is the text the saved file holds, edited or not.
TEST_F(Updates, OfSeveralEntriesWithOneTagTheFirstWithAValueFillsTheField) {
    const Bytes prefix = text("ASCII") + Bytes{0, 0, 0};
    TiffBuilder t;
    const int ifd0 = t.addIfd(), exif = t.addIfd();
    t.entry(ifd0, 0x010E, 2, 0, {});
    t.entry(ifd0, 0x010E, 2, 6, ascii("First"));
    t.entry(ifd0, 0x010E, 2, 7, ascii("Second"));
    t.pointer(ifd0, 0x8769, exif);
    t.entry(exif, 0x9286, 7, 0, {});
    t.entry(exif, 0x9286, 7, 13, prefix + text("First"));
    t.entry(exif, 0x9286, 7, 14, prefix + text("Second"));
    const Bytes source = jpeg(exifApp1(t.build()));

    for (const std::u16string typed : {u"First", u""}) {
        SCOPED_TRACE(utf8(typed));
        ASSERT_TRUE(openForEditing(source));
        TextFields fields = TextFieldsFromRegisters();
        EXPECT_EQ(fields.title, u"First");
        EXPECT_EQ(fields.comment, u"First");
        fields.title = fields.comment = typed;
        StoreTextFields(fields);
        Exif::UpdateExif();
        Exif::WriteJpeg();
        ASSERT_TRUE(openForEditing(Exif::ToStream.toVector()));
        EXPECT_EQ(TextFieldsFromRegisters().title, typed);
        EXPECT_EQ(TextFieldsFromRegisters().comment, typed);
    }
}

} // namespace
