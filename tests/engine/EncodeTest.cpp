#include <gtest/gtest.h>

#include "support/EngineTest.h"

using namespace testsupport;

namespace {

class TextEncoding : public EngineTest {
protected:
    static Exif::IFDRec comment() {
        Exif::IFDRec e;
        e.IDX = 0x9286;
        e.ID = Exif::Num16(0x9286);
        e.DataType = Exif::Num16(Exif::UNDEFINED);
        return e;
    }
    static const Bytes kUnicode, kJis, kAscii;
};

const Bytes TextEncoding::kUnicode = text("UNICODE") + Bytes{0};
const Bytes TextEncoding::kJis = text("JIS") + Bytes(5, 0);
const Bytes TextEncoding::kAscii = text("ASCII") + Bytes(3, 0);

TEST_F(TextEncoding, PrefixedValuesInEachCode) {
    const struct {
        std::u16string text;
        const char* enc;
        std::uint32_t count;
        Bytes raw;
    } cases[] = {
        {u"MANUAL", "ASCII", 15, kAscii + text("MANUAL") + Bytes{0}},
        {u"  Tokyo ", "ASCII", 14, kAscii + text("Tokyo") + Bytes{0}}, // trimmed
        {u"Tokyo", "UNICODE", 14, kAscii + text("Tokyo") + Bytes{0}},  // plain ASCII stays ASCII
        {u"日本", "UNICODE", 12, kUnicode + Bytes{0xE5, 0x65, 0x2C, 0x67}},
        {u"日本", "UTF8", 17, kUnicode + Bytes{0xEF, 0xBB, 0xBF, 0xE6, 0x97, 0xA5, 0xE6, 0x9C, 0xAC}},
        {u"日本", "SJIS", 12, Bytes(8, 0) + Bytes{0x93, 0xFA, 0x96, 0x7B}},
        {u"日本", "JIS", 18,
         kJis + Bytes{0x1B, '$', 'B', 0x46, 0x7C, 0x4B, 0x5C, 0x1B, '(', 'B'}},
        // a character Shift_JIS cannot hold becomes its substitute
        {u"日\U0001F600", "SJIS", 11, Bytes(8, 0) + Bytes{0x93, 0xFA, '?'}},
        // accented Latin letters are not ASCII: they keep their code instead of becoming "?"
        {u"café", "UNICODE", 16, kUnicode + Bytes{'c', 0, 'a', 0, 'f', 0, 0xE9, 0}},
    };
    for (const auto& c : cases) {
        Exif::IFDRec e = comment();
        Exif::SetStringData(e, c.text, c.enc);
        EXPECT_EQ(e.Count, c.count) << c.enc << " " << utf8(c.text);
        EXPECT_EQ(e.Raw, c.raw) << c.enc << " " << utf8(c.text);
    }
}

TEST_F(TextEncoding, LongTextsComeOutWholeInEveryCode) {
    // Long texts are converted in pieces: a surrogate pair across the first piece's end and the
    // Japanese code's shift state must come out as from one conversion.
    const std::u16string kanji(127, u'日');
    auto repeated = [](const Bytes& unit, std::size_t n) {
        Bytes out;
        for (std::size_t i = 0; i < n; ++i)
            out.insert(out.end(), unit.begin(), unit.end());
        return out;
    };
    const struct {
        const char* enc;
        std::u16string text;
        Bytes encoded;
    } cases[] = {
        {"UTF8", kanji + u"😀" + kanji,
         text("UNICODE") + Bytes{0, 0xEF, 0xBB, 0xBF} + repeated({0xE6, 0x97, 0xA5}, 127) +
             Bytes{0xF0, 0x9F, 0x98, 0x80} + repeated({0xE6, 0x97, 0xA5}, 127)},
        {"SJIS", kanji + u"😀" + kanji,
         Bytes(8, 0) + repeated({0x93, 0xFA}, 127) + Bytes{'?'} + repeated({0x93, 0xFA}, 127)},
        {"JIS", kanji + kanji + kanji,
         kJis + Bytes{0x1B, '$', 'B'} + repeated({0x46, 0x7C}, 381) + Bytes{0x1B, '(', 'B'}},
    };
    for (const auto& c : cases) {
        Exif::IFDRec e = comment();
        Exif::SetStringData(e, c.text, c.enc);
        EXPECT_EQ(e.Raw, c.encoded) << c.enc;
    }
}

TEST_F(TextEncoding, EmptyOrBlankTextRemovesTheTag) {
    for (const std::u16string& blank : {std::u16string(), std::u16string(u"   \t")}) {
        Exif::IFDRec e = comment();
        e.Count = 5;
        e.Raw = {1, 2, 3, 4, 5};
        Exif::SetStringData(e, blank, "UNICODE");
        EXPECT_EQ(e.Count, 0u);
        EXPECT_EQ(e.Raw, (Bytes{1, 2, 3, 4, 5})); // left as it was; the write drops the entry
    }
}

TEST_F(TextEncoding, UnprefixedMultibyteValuesFollowTheChosenCode) {
    const struct {
        const char* transcodeTo;
        std::u16string text;
        std::uint32_t count;
        Bytes raw;
        std::uint32_t offset;
    } cases[] = {
        {"SJIS", u"日", 2, {0x93, 0xFA}, 0x0000FA93},
        {"SJIS", u"日本", 4, {0x93, 0xFA, 0x96, 0x7B}, 0x7B96FA93},
        {"UNICODE", u"日", 2, {0xE5, 0x65}, 0x000065E5},
        {"UTF8", u"日", 6, {0xEF, 0xBB, 0xBF, 0xE6, 0x97, 0xA5}, 0},
    };
    for (const auto& c : cases) {
        Exif::TranscodeTo = c.transcodeTo;
        Exif::IFDRec e = comment();
        Exif::SetStringData(e, c.text, "Ambiguous");
        EXPECT_EQ(e.Count, c.count) << c.transcodeTo;
        EXPECT_EQ(e.Raw, c.raw) << c.transcodeTo;
        if (c.count <= 4) {
            EXPECT_EQ(e.Offset, c.offset) << c.transcodeTo; // the value field holds short values
        }
    }
}

TEST_F(TextEncoding, BigEndianFilesGetBigEndianCountsAndMarkedLittleEndianText) {
    Exif::BO = Exif::kBigEndian;
    Exif::IFDRec e = comment();
    Exif::SetStringData(e, u"東京駅", "UNICODE");
    // 8 prefix + 2 byte-order mark + 6 text bytes = 16, held as the bytes 00 00 00 10
    EXPECT_EQ(e.Count, 0x10000000u);
    EXPECT_EQ(e.Raw, (kUnicode + Bytes{0xFF, 0xFE, 0x71, 0x67, 0xAC, 0x4E, 0xC5, 0x99}));
    // and it reads back as written
    EXPECT_EQ(ExifDetails::GetString(e.Raw), u"東京駅");
}

} // namespace
