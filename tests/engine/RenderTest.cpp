// Rendering of the 0th, Exif and 1st IFD values and the registers it fills.
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "Exif.h"
#include "ExifDetails.h"
#include "TextCodec.h"

namespace {

using ExifDetails::SetData;
using Bytes = std::vector<std::uint8_t>;

struct RenderCase {
    std::int32_t id;
    std::u16string data;
    std::u16string expected;
};

std::string describe(std::int32_t id, std::u16string_view data) {
    char tag[16];
    std::snprintf(tag, sizeof tag, "0x%04X", static_cast<unsigned>(id));
    return std::string("tag ") + tag + " data '" + TextCodec::ToUtf8(data) + "'";
}

// The value lines of a multi-line rendering, each on its own indented line.
std::u16string items(std::initializer_list<std::u16string_view> lines) {
    std::u16string out;
    for (std::u16string_view line : lines)
        out.append(u"\r\n\t").append(line);
    return out;
}

Bytes bytesOf(std::string_view s) {
    return Bytes(s.begin(), s.end());
}

// The Data text the reader makes of an ASCII value: one character per byte.
std::u16string latin1(const Bytes& raw) {
    return TextCodec::FromLatin1(raw);
}

// Every test starts from empty registers and the default options, and leaves the options as
// it found them.
class SetDataTest : public ::testing::Test {
  protected:
    void SetUp() override {
        savedAmbiguous_ = Exif::Ambiguous;
        savedTranscodeFm_ = Exif::TranscodeFm;
        Exif::Ambiguous = false;
        Exif::TranscodeFm = "SJIS";
        using namespace ExifDetails;
        Tag010E.clear(), Tag013B.clear(), Tag8298.clear(), Tag9286.clear(), TagA430.clear();
        DateTime0132 = DateTime9003 = DateTime9004 = 0;
    }
    void TearDown() override {
        Exif::Ambiguous = savedAmbiguous_;
        Exif::TranscodeFm = savedTranscodeFm_;
    }

    static void expectRenders(std::span<const RenderCase> cases) {
        for (const RenderCase& c : cases) {
            SCOPED_TRACE(describe(c.id, c.data));
            EXPECT_EQ(SetData(c.id, c.data, {}), c.expected);
        }
    }

  private:
    bool savedAmbiguous_ = false;
    std::string savedTranscodeFm_;
};

using SetDataCoded = SetDataTest;
using SetDataNumbers = SetDataTest;
using SetDataLists = SetDataTest;
using SetDataFlash = SetDataTest;
using SetDataText = SetDataTest;
using SetDataFailures = SetDataTest;

TEST_F(SetDataCoded, LabelsForKnownCodesAndRawTextOtherwise) {
    const RenderCase cases[] = {
        {0x0103, u"1", u"非圧縮"},
        {0x0103, u"6", u"JPEG圧縮"},
        {0x0103, u"7", u"??? 7"},
        {0x0106, u"6", u"YCbCr"},
        {0x0112, u"1", u"Top Left"},
        {0x0112, u"8", u"Left Bottom"},
        {0x0112, u"9", u"??? 9"},
        {0x0112, u"1,1", u"??? 1,1"}, // two SHORTs match no code
        {0x0112, u"01", u"??? 01"},   // compared as text, not as a number
        {0x011C, u"2", u"planar format"},
        {0x0128, u"1", u""},
        {0x0128, u"2", u"インチ"},
        {0x0128, u"3", u"センチメートル"},
        {0xA210, u"1", u""},
        {0xA210, u"2", u"インチ"},
        {0xA210, u"4", u"??? 4"},
        {0x0212, u"2,1", u"YCbCr 4:2:2"},
        {0x0212, u"2,2", u"YCbCr 4:2:0"},
        {0x0212, u"1,1", u"??? 1,1"},
        {0x0212, u"2", u"??? 2"},
        {0x0213, u"2", u"一致"},
        {0xA001, u"1", u"sRGB"},
        {0xA001, u"65535", u"Uncalibrated"},
        {0xA001, u"2", u"??? 2"},
        {0xA300, u"03", u"デジタルスチルカメラ"},
        {0xA300, u"00", u"その他"},
        {0xA300, u"3", u"??? 3"},
        {0xA301, u"01", u"直接撮影された画像"},
        {0xA301, u"02", u"??? 02"},
        {0xA401, u"1", u"特殊処理"},
        {0xA402, u"2", u"オートブラケット"},
        {0xA403, u"1", u"ホワイトバランスマニュアル"},
        {0xA406, u"3", u"夜景"},
        {0xA407, u"4", u"強い減感"},
        {0xA408, u"1", u"軟調"},
        {0xA409, u"2", u"高彩度"},
        {0xA40A, u"0", u"標準"},
        {0xA40C, u"3", u"遠景"},
        {0xA217, u"2", u"単板カラーセンサ"},
        {0xA217, u"6", u"??? 6"},
        {0xA217, u"8", u"色順次リニアセンサ"},
        {0x8822, u"3", u"絞り優先"},
        {0x8822, u"8", u"ランドスケープモード(landscape撮影、背景はフォーカス合う)"},
        {0x8822, u"9", u"??? 9"},
        {0x8830, u"7", u"標準出力感度(SOS) および 推奨露光指数(REI) および ISOスピード(ISO Speed)"},
        {0x9207, u"5", u"分割測光(Pattern)"},
        {0x9207, u"255", u"その他の測光方式"},
        {0x9208, u"0", u"不明"},
        {0x9208, u"4", u"フラッシュ"},
        {0x9208, u"5", u"??? 5"},
        {0x9208, u"21", u"D65"},
        {0x9208, u"255", u"その他の光源"},
    };
    expectRenders(cases);
}

TEST_F(SetDataCoded, UnlistedTagsShowTheirTextUnchanged) {
    const RenderCase cases[] = {
        {0x010F, std::u16string(u"Maker\0", 6), std::u16string(u"Maker\0", 6)},
        {0x0100, u"4000", u"4000"},
        {0x011A, u"72/1", u"72/1"},
        {0x9999, u"1,2,3", u"1,2,3"},
        {0x0131, u"", u""},
    };
    expectRenders(cases);
}

TEST_F(SetDataNumbers, UnitsConversionsAndSpecialValues) {
    const RenderCase cases[] = {
        {0x829D, u"28/10", u"2.8"},
        {0x829D, u"0/0", u"0"},
        {0x829D, u"4294967295/1", u"0"},
        {0x9202, u"5/1", u"5.7"},
        {0x9202, u"0/1", u"1"},
        {0x9205, u"8/1", u"16"},
        {0x920A, u"185/10", u"18.5mm"},
        {0xA20B, u"100/1", u"100BCPS"},
        {0x9102, u"4/1", u"4/1Bit/Pixel"},
        {0x9204, u"0/3", u"0EV"},
        {0x9204, u"-1/3", u"-1/3EV"},
        {0x9204, u"2/6", u"2/6EV"},
        {0xA404, u"0/100", u"未使用"},
        {0xA404, u"150/100", u"1.5"},
        {0xA405, u"0", u"不明"},
        {0xA405, u"50", u"50mm"},
        {0x9203, u"-1/1", u"不明"},
        {0x9203, u"-10/10", u"-1BV"},
        {0x9203, u"25/10", u"2.5BV"},
        {0x9203, u"0/0", u"0BV"},
        {0x9206, u"0/1", u"不明"},
        {0x9206, u"4294967295/1", u"無限遠"},
        {0x9206, u"350/100", u"3.5m"},
        {0x9206, u"5/0", u"0m"},
        {0x9400, u"225/10", u"22.5℃"},
        {0x9400, u"-55/10", u"-5.5℃"},
        {0x9400, u"20/-1", u"不明"},
        {0x9401, u"0/4294967295", u"不明"},
        {0x9401, u"455/10", u"45.5%"},
        {0x9402, u"10132/10", u"1013.2hPa"},
        {0x9403, u"-3/2", u"-1.5m"},
        {0x9403, u"3/-1", u"不明"},
        {0x9404, u"5/2", u"2.5mGal"},
        {0x9405, u"-45/1", u"-45°"},
        {0x9405, u"1/3", u"0.333333333333333°"},
    };
    expectRenders(cases);
}

TEST_F(SetDataNumbers, ExposureTimeAndShutterSpeed) {
    const RenderCase cases[] = {
        {0x829A, u"1/250", u"1/250秒"},
        {0x829A, u"10/25", u"1/2.5秒"},
        {0x829A, u"1/1", u"1/1秒"},
        {0x829A, u"3/10", u"1/3.33333333333333秒"},
        {0x829A, u"2/1", u"2秒"},
        {0x829A, u"5/2", u"3秒"}, // 2.5 s rounds half away from zero
        {0x829A, u"10/3", u"3秒"},
        {0x829A, u"2147483647/1", u"2147483647秒"},
        {0x9201, u"8/1", u"1/256秒"},
        {0x9201, u"0/1", u"1/1秒"},
        {0x9201, u"-1/1", u"2秒"},
        {0x9201, u"-5/1", u"32秒"},
        {0x9201, u"6643856/1000000", u"1/100秒"},
        {0x9201, u"30/1", u"1/1073741824秒"},
    };
    expectRenders(cases);
}

TEST_F(SetDataLists, VersionsComponentsAndLensSpecification) {
    const RenderCase cases[] = {
        {0x9000, u"30,32,33,30", u"0230"},
        {0xA000, u"30,31,30,30", u"0100"},
        {0x9000, u"", u""},
        {0x9000, u"30,", u"0"}, // a trailing comma ends the list
        {0x9000, u"3042", u"\u3042"},
        {0x9000, u"10030", u"0"}, // only the low 16 bits make the character
        {0x9101, u"01,02,03,00", u"YCbCr"},
        {0x9101, u"04,05,06,00", u"RGB"},
        {0x9101, u"00,07,FF", u""},
        {0x9101, u"", u""},
        {0xA432, u"18/1,55/1,35/10,56/10",
         items({u"最小焦点距離:18mm", u"最大焦点距離:55mm", u"最小焦点距離における最小F値:3.5",
                u"最大焦点距離における最小F値:5.6"})},
        {0xA432, u"50/1,50/1", items({u"最小焦点距離:50mm", u"最大焦点距離:50mm"})},
        {0xA432, u"0/0,0/0,0/0,0/0",
         items({u"最小焦点距離:0mm", u"最大焦点距離:0mm", u"最小焦点距離における最小F値:0",
                u"最大焦点距離における最小F値:0"})},
        {0xA432, u"", u""},
    };
    expectRenders(cases);
}

TEST_F(SetDataFlash, EachBitFieldOnItsOwnLine) {
    const RenderCase cases[] = {
        {0x9209, u"25",
         items({u"ストロボ発光", u"ストロボのリターン検出機能なし", u"自動発光モード",
                u"ストロボ機能有り", u"赤目軽減無しまたは不明"})},
        {0x9209, u"16",
         items({u"ストロボ発光せず", u"ストロボのリターン検出機能なし", u"強制非発光モード",
                u"ストロボ機能有り", u"赤目軽減無しまたは不明"})},
        {0x9209, u"2",
         items({u"ストロボ発光せず", u"ストロボのリターン不明 $01", u"モード不明",
                u"ストロボ機能有り", u"赤目軽減無しまたは不明"})},
        {0x9209, u"95",
         items({u"ストロボ発光", u"ストロボのリターン検出", u"自動発光モード", u"ストロボ機能有り",
                u"赤目軽減有り"})},
        {0x9209, u"36",
         items({u"ストロボ発光せず", u"ストロボのリターン検出されず", u"モード不明",
                u"ストロボ機能無し", u"赤目軽減無しまたは不明"})},
        // Bit 7 is not shown; bits above the low byte are ignored.
        {0x9209, u"128",
         items({u"ストロボ発光せず", u"ストロボのリターン検出機能なし", u"モード不明",
                u"ストロボ機能有り", u"赤目軽減無しまたは不明"})},
        {0x9209, u"271",
         items({u"ストロボ発光", u"ストロボのリターン検出", u"強制発光モード", u"ストロボ機能有り",
                u"赤目軽減無しまたは不明"})},
    };
    expectRenders(cases);
}

TEST_F(SetDataText, EditableTextFollowsAmbiguous) {
    using namespace std::string_literals;
    // "富士山の写真" in Shift_JIS, with the terminating NUL of an ASCII value.
    const Bytes sjis = {0x95, 0x78, 0x8E, 0x6D, 0x8E, 0x52, 0x82, 0xCC, 0x8E, 0xCA, 0x90, 0x5E, 0};
    const std::u16string byteByByte = latin1(sjis);
    const std::u16string japanese(u"富士山の写真\0", 7);
    struct Case {
        std::int32_t id;
        std::u16string* reg;
    };
    const Case cases[] = {{0x010E, &ExifDetails::Tag010E},
                          {0x013B, &ExifDetails::Tag013B},
                          {0xA430, &ExifDetails::TagA430}};
    for (const Case& c : cases) {
        SCOPED_TRACE(describe(c.id, byteByByte));
        Exif::Ambiguous = true;
        EXPECT_EQ(SetData(c.id, byteByByte, sjis), japanese);
        EXPECT_EQ(*c.reg, japanese);
        // Byte by byte; the bytes that are control characters as Latin-1 show as codes.
        Exif::Ambiguous = false;
        EXPECT_EQ(SetData(c.id, byteByByte, sjis),
                  u"\\x95x\\x8Em\\x8ER\\x82\u00CC\\x8E\u00CA\\x90^\0"s);
        EXPECT_EQ(*c.reg, byteByByte);
    }
}

TEST_F(SetDataText, UserCommentIsAlwaysDecoded) {
    const Bytes raw = bytesOf(std::string("ASCII\0\0\0A comment", 17));
    EXPECT_EQ(SetData(0x9286, u"41534349490000004120636F6D6D656E74", raw), u"A comment");
    EXPECT_EQ(ExifDetails::Tag9286, u"A comment");
}

TEST_F(SetDataText, CopyrightShowsPhotographerAndEditor) {
    struct Case {
        std::u16string text;
        std::u16string expected;
    };
    using namespace std::string_literals;
    const Case cases[] = {
        {u"Alice\0Bob\0"s, u"Alice/Bob"},
        {u" \0Bob\0"s, u"Bob"}, // a lone space marks a missing photographer
        {u"Alice\0"s, u"Alice"},
        {u"Alice\0 \0"s, u"Alice"},
        {u"Alice"s, u"Alice"},
        {u" Alice \0 Bob \0"s, u"Alice/Bob"},
        {u" \0 \0"s, u""},
        {u""s, u""},
        // An editor written without its terminating NUL keeps its last character.
        {u"Alice\0Bob"s, u"Alice/Bob"},
    };
    for (const bool ambiguous : {false, true}) {
        Exif::Ambiguous = ambiguous;
        for (const Case& c : cases) {
            SCOPED_TRACE(describe(0x8298, c.text) + (ambiguous ? " ambiguous" : ""));
            const std::string utf8 = TextCodec::ToUtf8(c.text);
            EXPECT_EQ(SetData(0x8298, c.text, bytesOf(utf8)), c.expected);
            EXPECT_EQ(ExifDetails::Tag8298, c.text);
        }
    }
}

TEST_F(SetDataText, DatesRenderUnchangedAndFillTheirRegisters) {
    using namespace std::string_literals;
    // 2019-04-05 is day 43560 after 1899-12-30.
    const double april5 = 43560 + (6 * 3600 + 7 * 60 + 8) / 86400.0;
    struct Case {
        std::int32_t id;
        double* reg;
    };
    const Case cases[] = {{0x0132, &ExifDetails::DateTime0132},
                          {0x9003, &ExifDetails::DateTime9003},
                          {0x9004, &ExifDetails::DateTime9004}};
    for (const Case& c : cases) {
        SCOPED_TRACE(describe(c.id, u""));
        const std::u16string good = u"2019:04:05 06:07:08\0"s;
        EXPECT_EQ(SetData(c.id, good, {}), good);
        EXPECT_DOUBLE_EQ(*c.reg, april5);

        const std::u16string zero = u"0000:00:00 00:00:00\0"s;
        EXPECT_EQ(SetData(c.id, zero, {}), zero);
        EXPECT_DOUBLE_EQ(*c.reg, 2.0); // 1900-01-01 00:00:00
    }
}

TEST_F(SetDataText, DeviceSettingsDecodeAsIso2022Jp) {
    // "設定" in ISO-2022-JP.
    const Bytes jis = {0x1B, 0x24, 0x42, 0x40, 0x5F, 0x44, 0x6A, 0x1B, 0x28, 0x42};
    EXPECT_EQ(SetData(0xA40B, u"1B2442405F446A1B2842", jis), u"設定");
    EXPECT_EQ(SetData(0xA40B, u"", {}), u"");
    // Bytes outside the 7-bit code show as the value's raw text.
    const Bytes eightBit = {0x00, 0x02, 0x00, 0x01, 0xFF, 0xFE};
    EXPECT_EQ(SetData(0xA40B, u"00020001FFFE", eightBit), u"00020001FFFE");
}

TEST_F(SetDataFailures, UnrenderableValuesShowTheirRawText) {
    using namespace std::string_literals;
    const std::pair<std::int32_t, std::u16string> cases[] = {
        {0x829A, u"0/1"}, // division by zero
        {0x829A, u"1/0"},
        {0x829A, u"2147483648/1"}, // beyond the signed 32-bit range
        {0x829A, u"1/4294967295"},
        {0x829A, u"1/2147483648"},
        {0x829A, u"-1/1"},         // 4294967295 s does not fit the count
        {0x829A, u"250"},          // no "/"
        {0x9201, u"31/1"},         // 2^31 does not fit
        {0x9201, u"2147483647/1"}, // 2^Tv is infinite
        {0x9201, u"-2147483648/1"},
        {0x9201, u"x/1"},
        {0xA404, u"2147483648/100"},
        {0xA404, u"100"},
        {0x9209, u"1,2"},
        {0x9209, u""},
        {0x9209, u"4294967295"},
        {0x9000, u"0230\0"s}, // stored as text with its NUL
        {0xA000, u"30,,30"},
        {0x9000, u"1FFFFFFFF"},
        {0x829D, u"28"},
        {0x9202, u"5"},
        {0x920A, u"a/b"},
        {0x9204, u"/3"},
        {0x9204, u"-1"},
        {0x9203, u"25"},
        {0x9206, u"350"},
        {0x9400, u"225"},
        {0x9401, u"455/"},
        {0xA432, u"18/1,55,35/10,56/10"},
    };
    for (const auto& [id, data] : cases) {
        SCOPED_TRACE(describe(id, data));
        EXPECT_EQ(SetData(id, data, {}), u"??? " + data);
    }
}

TEST_F(SetDataFailures, RegistersKeepTheirValuesWhenDecodingFails) {
    // A UTF-16 remainder of a single byte, and invalid UTF-8 after the signature.
    const Bytes oddUtf16 = bytesOf(std::string("UNICODE\0A", 9));
    const Bytes badUtf8 = bytesOf(std::string("UNICODE\0\xEF\xBB\xBF\xFF", 12));
    struct Case {
        std::int32_t id;
        std::u16string* reg;
        bool needsAmbiguous;
    };
    const Case cases[] = {{0x010E, &ExifDetails::Tag010E, true},
                          {0x013B, &ExifDetails::Tag013B, true},
                          {0xA430, &ExifDetails::TagA430, true},
                          {0x8298, &ExifDetails::Tag8298, true},
                          {0x9286, &ExifDetails::Tag9286, false}};
    for (const Case& c : cases) {
        for (const Bytes* raw : {&oddUtf16, &badUtf8}) {
            const std::u16string data = latin1(*raw);
            SCOPED_TRACE(describe(c.id, data));
            Exif::Ambiguous = c.needsAmbiguous;
            *c.reg = u"previous";
            EXPECT_EQ(SetData(c.id, data, *raw), u"??? " + data);
            EXPECT_EQ(*c.reg, u"previous");
        }
    }
}

// No value, however malformed, may crash, overflow or let an error out of the rendering.
TEST_F(SetDataFailures, AnyValueOfAnyTagRenders) {
    using namespace std::string_literals;
    const std::u16string values[] = {
        u"",
        u"/",
        u",",
        u"0/0",
        u"-1/-1",
        u"-2147483648/-1",
        u"-2147483648/1",
        u"2147483647/1",
        u"-2147483647/1",
        u"1/-2147483648",
        u"4294967295/4294967295",
        u"4294967296/1",
        u"99999999999999999999/1",
        u"1e400/1",
        u"-1",
        u"65535",
        u"FFFFFFFF",
        u"1,2,3,4,5,6,7,8",
        u"1/1,0/0,4294967295/1,x,5/1",
        u"\0\0\0"s,
        u"\xFFFF\xD800/1",
    };
    const Bytes raws[] = {
        {},
        {0xFF, 0xFE, 0x80, 0x1B, 0x24},
        bytesOf(std::string("UNICODE\0A", 9)),
        bytesOf(std::string("JIS\0\0\0\0\0\x1B$B\xFF", 12)),
    };
    // The text decoders read only the bytes, the other renderers only the text.
    for (const bool ambiguous : {false, true}) {
        Exif::Ambiguous = ambiguous;
        for (std::int32_t id = 0; id <= 0xFFFF; ++id) {
            for (const std::u16string& data : values)
                ASSERT_NO_THROW(SetData(id, data, {})) << describe(id, data);
            for (const Bytes& raw : raws)
                ASSERT_NO_THROW(SetData(id, latin1(raw), raw)) << describe(id, latin1(raw));
        }
    }
}

} // namespace
