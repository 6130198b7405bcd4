#include <gtest/gtest.h>

#include "ExifDetails.h"
#include "NumberText.h"
#include "support/EngineTest.h"

using namespace ExifDetails;
using namespace std::string_literals;
using testsupport::Bytes;
using testsupport::text;
using testsupport::operator+;

namespace {

class ValueHelpers : public testsupport::EngineTest {};

double dateOf(int y, int mo, int d, int h, int mi, int s) {
    double v = 0;
    NumberText::EncodeDateTime(y, mo, d, h, mi, s, v);
    return v;
}

TEST_F(ValueHelpers, DateTimeNeedsTheTerminatingNulAndAPossibleDate) {
    EXPECT_DOUBLE_EQ(GetDateTime(u"2019:04:05 06:07:08\0"s), dateOf(2019, 4, 5, 6, 7, 8));
    EXPECT_DOUBLE_EQ(GetDateTime(u"2019-04-05 06:07:08\0"s), dateOf(2019, 4, 5, 6, 7, 8));
    for (const std::u16string& bad : {u"2019:04:05 06:07:08"s, u"0000:00:00 00:00:00\0"s,
                                      u"                   \0"s, u"2019:02:30 06:07:08\0"s, u""s})
        EXPECT_DOUBLE_EQ(GetDateTime(bad), 2.0) << utf8(bad);
}

TEST_F(ValueHelpers, RationalsConvertWithTheirZeroAndAllOnesRules) {
    EXPECT_DOUBLE_EQ(RationalToFloat(u"28/10"), 2.8);
    for (const char16_t* zero : {u"0/1", u"1/0", u"4294967295/1", u"1/4294967295"})
        EXPECT_DOUBLE_EQ(RationalToFloat(zero), 0.0) << utf8(zero);
    EXPECT_DOUBLE_EQ(SRationalToFloat(u"-1/3"), -1.0 / 3);
    EXPECT_DOUBLE_EQ(SRationalToFloat(u"5/0"), 0.0);
    EXPECT_DOUBLE_EQ(SRationalToFloat(u"-1/-1"), 1.0);
    for (const char16_t* bad : {u"28", u"a/b", u"1/", u"35/1,40/1"})
        EXPECT_THROW(RationalToFloat(bad), Exif::EngineError) << utf8(bad);
}

TEST_F(ValueHelpers, ApexGivesOneDecimalAndZeroOnOverflow) {
    EXPECT_DOUBLE_EQ(Apex(5), 5.7);
    EXPECT_DOUBLE_EQ(Apex(8), 16.0);
    EXPECT_DOUBLE_EQ(Apex(0), 1.0);
    EXPECT_DOUBLE_EQ(Apex(2), 2.0);
    EXPECT_DOUBLE_EQ(Apex(1e6), 0.0);
}

TEST_F(ValueHelpers, GetStringDecodesByItsCharacterCodePrefix) {
    const Bytes sjisNihon = {0x93, 0xFA, 0x96, 0x7B};
    const struct {
        Bytes raw;
        std::u16string expected;
    } cases[] = {
        {text("ASCII") + Bytes{0, 0, 0} + text("abc"), u"abc"},
        {text("UNICODE") + Bytes{0, 0xEF, 0xBB, 0xBF} + text("東京"), u"東京"},
        {text("UNICODE") + Bytes{0, 'a', 0, 'b', 0}, u"ab"},
        {text("UNICODE") + Bytes{0, 'a', 0, 'b', 0, 'c'}, u"ab"}, // an odd trailing byte is ignored
        {Bytes(8, 0) + sjisNihon, u"日本"},
        {text("JIS") + Bytes(5, 0) + Bytes{0x1B, '$', 'B', 0x46, 0x7C, 0x4B, 0x5C, 0x1B, '(', 'B'}, u"日本"},
        // a code with no text after it: an empty comment, not the word ASCII
        {text("ASCII") + Bytes{0, 0, 0}, u""},
        {Bytes(8, 0), u""},
        // the code is compared exactly, letter case included
        {text("Unicode") + Bytes{0} + text("xy"), u"Unicode\0xy"s},
        {{}, u""},
        {sjisNihon, u"日本"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetString(c.raw), c.expected) << utf8(c.expected);
}

TEST_F(ValueHelpers, GetStringFallsBackToTheConfiguredCode) {
    const Bytes utf8Tokyo = text("東京");
    Exif::TranscodeFm = "UTF8";
    EXPECT_EQ(GetString(utf8Tokyo), u"東京");
    Exif::TranscodeFm = "EUC";
    EXPECT_EQ(GetString(Bytes{0xC6, 0xFC, 0xCB, 0xDC}), u"日本");
    Exif::TranscodeFm = "UNICODE";
    EXPECT_EQ(GetString(Bytes{'a', 0, 'b', 0}), u"ab");
    Exif::TranscodeFm = "SJIS";
    EXPECT_EQ(GetString(Bytes{0x81}).size(), 1u); // an incomplete lead byte is replaced
}

TEST_F(ValueHelpers, GetStringRejectsUndecodableTextUnderARecognisedCode) {
    const Bytes unicode = text("UNICODE") + Bytes{0};
    for (const Bytes& bad : {unicode + Bytes{0xEF, 0xBB, 0xBF, 0xFF, 0xFE}, unicode + Bytes{'a'},
                             unicode + Bytes{0xEF, 0xBB, 0xBF},
                             text("JIS") + Bytes(5, 0) + Bytes{0x1B, '$', 'B'}})
        EXPECT_THROW(GetString(bad), Exif::EngineError);
}

TEST_F(ValueHelpers, ReformLatLonCarriesFractionsIntoSeconds) {
    Tag02A = 35.5, Tag02B = 0, Tag02C = 0;
    Tag04A = 35, Tag04B = 30.25, Tag04C = 10;
    ReformLatLon();
    EXPECT_EQ((std::vector<double>{Tag02A, Tag02B, Tag02C}), (std::vector<double>{35, 30, 0}));
    EXPECT_EQ((std::vector<double>{Tag04A, Tag04B, Tag04C}), (std::vector<double>{35, 30, 25}));
    Tag02A = 35, Tag02B = 40.5, Tag02C = 0;
    ReformLatLon();
    EXPECT_EQ((std::vector<double>{Tag02A, Tag02B, Tag02C}), (std::vector<double>{35, 40, 30}));
}

TEST_F(ValueHelpers, OpeningSeedsThePositionWithTheDefaultLocation) {
    NewTag010E = u"old";
    DateTime9003 = 40000;
    PrepareRegistersForOpen({1, 35, 40, 53.1f, -1, 157, 49, 0.5f});
    EXPECT_EQ(Tag01, 1);
    EXPECT_EQ(Tag03, -1);
    EXPECT_DOUBLE_EQ(Tag02C, 53.1f);
    EXPECT_EQ(Tag05, 1);
    EXPECT_EQ(ZoomRatio, 8);
    EXPECT_EQ(NewTag05, 9);
    EXPECT_TRUE(NewTag010E.empty());
    EXPECT_EQ(DateTime9003, 0.0);
    // signs are rounded half to even
    PrepareRegistersForOpen({0.5f, 0, 0, 0, -1.5f, 0, 0, 0});
    EXPECT_EQ(Tag01, 0);
    EXPECT_EQ(Tag03, -2);
}

} // namespace
