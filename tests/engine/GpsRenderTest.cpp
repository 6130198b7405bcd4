// Rendering of GPS and Interoperability values, and the position registers it fills.
#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "ExifDetails.h"
#include "TextCodec.h"

using namespace std::string_view_literals;

namespace {

// The registers SetGPSData may write.
struct GpsRegisters {
    std::uint16_t zoomRatio;
    std::int8_t tag01;
    double tag02a, tag02b, tag02c;
    std::int8_t tag03;
    double tag04a, tag04b, tag04c;
    std::int8_t tag05;
    double tag06;
    std::int8_t tag10;
    double tag11;
    std::u16string tag1c;
};

// Values no rendering produces, so any write shows.
const GpsRegisters kSeed{8, 3, 1.25, 2.5, 3.75, 4, 5.25, 6.5, 7.75, 9, -2.5, 11, -3.5, u"seed"};

void load(const GpsRegisters& r) {
    using namespace ExifDetails;
    ZoomRatio = r.zoomRatio;
    Tag01 = r.tag01, Tag02A = r.tag02a, Tag02B = r.tag02b, Tag02C = r.tag02c;
    Tag03 = r.tag03, Tag04A = r.tag04a, Tag04B = r.tag04b, Tag04C = r.tag04c;
    Tag05 = r.tag05, Tag06 = r.tag06, Tag10 = r.tag10, Tag11 = r.tag11;
    Tag1C = r.tag1c;
}

void expectRegisters(const GpsRegisters& e) {
    using namespace ExifDetails;
    EXPECT_EQ(ZoomRatio, e.zoomRatio);
    EXPECT_EQ(Tag01, e.tag01);
    EXPECT_DOUBLE_EQ(Tag02A, e.tag02a);
    EXPECT_DOUBLE_EQ(Tag02B, e.tag02b);
    EXPECT_DOUBLE_EQ(Tag02C, e.tag02c);
    EXPECT_EQ(Tag03, e.tag03);
    EXPECT_DOUBLE_EQ(Tag04A, e.tag04a);
    EXPECT_DOUBLE_EQ(Tag04B, e.tag04b);
    EXPECT_DOUBLE_EQ(Tag04C, e.tag04c);
    EXPECT_EQ(Tag05, e.tag05);
    EXPECT_DOUBLE_EQ(Tag06, e.tag06);
    EXPECT_EQ(Tag10, e.tag10);
    EXPECT_DOUBLE_EQ(Tag11, e.tag11);
    EXPECT_EQ(TextCodec::ToUtf8(Tag1C), TextCodec::ToUtf8(e.tag1c));
}

std::span<const std::uint8_t> bytesOf(std::string_view s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

struct GpsCase {
    const char* name;
    std::int32_t id;
    std::u16string_view data;
    std::u16string_view expected;
    // What the call writes on top of the seed; nullptr when it writes nothing.
    void (*writes)(GpsRegisters&) = nullptr;
    std::string_view raw = {};
};

// Each case starts from the seeded registers and checks the text and every register.
void runCases(std::span<const GpsCase> cases) {
    for (const GpsCase& c : cases) {
        SCOPED_TRACE(c.name);
        load(kSeed);
        const std::u16string text = ExifDetails::SetGPSData(c.id, c.data, bytesOf(c.raw));
        EXPECT_EQ(TextCodec::ToUtf8(text), TextCodec::ToUtf8(c.expected));
        GpsRegisters expected = kSeed;
        if (c.writes)
            c.writes(expected);
        expectRegisters(expected);
    }
}

TEST(SetGPSDataReference, LabelsAndRegisterSigns) {
    const GpsCase cases[] = {
        {"latitude N", 0x01, u"N", u"北緯", [](GpsRegisters& r) { r.zoomRatio = 15, r.tag01 = 1; }},
        {"latitude S", 0x01, u"S", u"南緯",
         [](GpsRegisters& r) { r.zoomRatio = 15, r.tag01 = -1; }},
        {"latitude unknown counts as north", 0x01, u"X", u"??? X",
         [](GpsRegisters& r) { r.zoomRatio = 15, r.tag01 = 1; }},
        {"latitude letters are case-sensitive", 0x01, u"s", u"??? s",
         [](GpsRegisters& r) { r.zoomRatio = 15, r.tag01 = 1; }},
        {"latitude empty still sets the zoom", 0x01, u"\0"sv, u"??? ",
         [](GpsRegisters& r) { r.zoomRatio = 15, r.tag01 = 1; }},
        {"latitude with NUL and blank padding", 0x01, u" S\0\0"sv, u"南緯",
         [](GpsRegisters& r) { r.zoomRatio = 15, r.tag01 = -1; }},
        {"longitude E", 0x03, u"E\0"sv, u"東経", [](GpsRegisters& r) { r.tag03 = 1; }},
        {"longitude W", 0x03, u"W\0"sv, u"西経", [](GpsRegisters& r) { r.tag03 = -1; }},
        {"longitude unknown counts as east", 0x03, u"w\0"sv, u"??? w",
         [](GpsRegisters& r) { r.tag03 = 1; }},
        {"altitude above sea level", 0x05, u"0", u"海抜基準", [](GpsRegisters& r) { r.tag05 = 1; }},
        {"altitude below sea level", 0x05, u"1", u"海抜基準(負値)",
         [](GpsRegisters& r) { r.tag05 = -1; }},
        {"altitude reference unknown", 0x05, u"2", u"??? 2", [](GpsRegisters& r) { r.tag05 = 0; }},
        {"image direction true", 0x10, u"T\0"sv, u"真方位", [](GpsRegisters& r) { r.tag10 = 1; }},
        {"image direction magnetic", 0x10, u"M\0"sv, u"磁気方位",
         [](GpsRegisters& r) { r.tag10 = -1; }},
        {"image direction unknown", 0x10, u"X\0"sv, u"??? X", [](GpsRegisters& r) { r.tag10 = 0; }},
        // The remaining references write no register.
        {"status A", 0x09, u"A\0"sv, u"測位中"},
        {"status V", 0x09, u"V\0"sv, u"未測位(中断中)"},
        {"measure mode 2", 0x0A, u"2\0"sv, u"２次元測位中"},
        {"measure mode 3", 0x0A, u"3\0"sv, u"３次元測位中"},
        {"measure mode unknown", 0x0A, u"4\0"sv, u"??? 4"},
        {"speed K", 0x0C, u"K\0"sv, u"キロメータ／時"},
        {"speed M", 0x0C, u"M\0"sv, u"マイル／時"},
        {"speed N", 0x0C, u"N\0"sv, u"ノット"},
        {"track T", 0x0E, u"T\0"sv, u"真方位"},
        {"track M", 0x0E, u"M\0"sv, u"磁気方位"},
        {"dest latitude S", 0x13, u"S\0"sv, u"南緯"},
        {"dest latitude unknown", 0x13, u"Q\0"sv, u"??? Q"},
        {"dest longitude W", 0x15, u"W\0"sv, u"西経"},
        {"dest bearing M", 0x17, u"M\0"sv, u"磁気方位"},
        {"dest distance K", 0x19, u"K\0"sv, u"キロメートル"},
        {"dest distance M", 0x19, u"M\0"sv, u"マイル"},
        {"dest distance N", 0x19, u"N\0"sv, u"海里"},
        {"differential 0", 0x1E, u"0", u"単独測位"},
        {"differential 1", 0x1E, u"1", u"Differential補正測位"},
        {"differential unknown", 0x1E, u"2", u"??? 2"},
    };
    runCases(cases);
}

TEST(SetGPSDataElements, RenderAsStoredAndFillPositionRegisters) {
    const GpsCase cases[] = {
        {"latitude three elements", 0x02, u"35/1,40/1,531/10", u"35度40分53.1秒",
         [](GpsRegisters& r) { r.tag02a = 35, r.tag02b = 40, r.tag02c = 53.1; }},
        {"latitude two elements keep the seconds", 0x02, u"35/1,4068/100", u"35度40.68分",
         [](GpsRegisters& r) { r.tag02a = 35, r.tag02b = 40.68; }},
        {"latitude fourth element ignored", 0x02, u"1/1,2/1,3/1,4/1", u"1度2分3秒",
         [](GpsRegisters& r) { r.tag02a = 1, r.tag02b = 2, r.tag02c = 3; }},
        {"latitude out of range kept, zero rationals give 0", 0x02, u"95/1,0/1,7/0", u"95度0分0秒",
         [](GpsRegisters& r) { r.tag02a = 95, r.tag02b = 0, r.tag02c = 0; }},
        {"latitude degrees with a fraction, before normalisation", 0x02, u"355/10,0/1,0/1",
         u"35.5度0分0秒", [](GpsRegisters& r) { r.tag02a = 35.5, r.tag02b = 0, r.tag02c = 0; }},
        {"latitude empty writes nothing", 0x02, u"", u""},
        {"longitude three elements", 0x04, u"139/1,4500/100,1/1000000", u"139度45分1E-6秒",
         [](GpsRegisters& r) { r.tag04a = 139, r.tag04b = 45, r.tag04c = 1e-6; }},
        {"longitude all-ones rational gives 0", 0x04, u"4294967295/1,30/1", u"0度30分",
         [](GpsRegisters& r) { r.tag04a = 0, r.tag04b = 30; }},
        {"longitude trailing comma ends the walk", 0x04, u"139/1,", u"139度",
         [](GpsRegisters& r) { r.tag04a = 139; }},
        {"dest latitude", 0x14, u"35/1,40/1,531/10", u"35度40分53.1秒"},
        {"dest longitude", 0x16, u"139/1,4068/100", u"139度40.68分"},
        {"time stamp", 0x07, u"9/1,5/1,3050/100", u"9時5分30.5秒"},
    };
    runCases(cases);
}

TEST(SetGPSDataValues, NumbersAndStoredText) {
    const GpsCase cases[] = {
        {"altitude", 0x06, u"12345/100", u"123.45m", [](GpsRegisters& r) { r.tag06 = 123.45; }},
        {"altitude zero denominator", 0x06, u"5/0", u"0m", [](GpsRegisters& r) { r.tag06 = 0; }},
        {"image direction", 0x11, u"9050/100", u"90.5°", [](GpsRegisters& r) { r.tag11 = 90.5; }},
        {"dest bearing writes no register", 0x18, u"9050/100", u"90.5°"},
        {"speed", 0x0D, u"5/2", u"2.5"},
        {"track", 0x0F, u"1/3", u"0.333333333333333"},
        {"dest distance", 0x1A, u"1/1000000", u"1E-6"},
        {"positioning error", 0x1F, u"12/1", u"12"},
        {"DOP shown as the ratio", 0x0B, u"5/2", u"5/2"},
        {"version", 0x00, u"2,3,0,0", u"2.3.0.0"},
        {"satellites", 0x08, u"05\0"sv, u"05"},
        {"map datum with padding", 0x12, u"WGS-84\0\0 "sv, u"WGS-84"},
        {"date stamp", 0x1D, u"2019:04:05\0"sv, u"2019:04:05"},
        {"unknown tag", 0x20, u" abc\0"sv, u"abc"},
        {"negative tag number", -1, u"abc", u"abc"},
    };
    runCases(cases);
}

TEST(SetGPSDataText, DecodedFromTheRawBytes) {
    const GpsCase cases[] = {
        {"area information", 0x1C, u"41,53", u"Tokyo", [](GpsRegisters& r) { r.tag1c = u"Tokyo"; },
         "ASCII\0\0\0Tokyo"sv},
        {"area information in UTF-8", 0x1C, u"55,4E", u"東京",
         [](GpsRegisters& r) { r.tag1c = u"東京"; },
         "UNICODE\0\xEF\xBB\xBF\xE6\x9D\xB1\xE4\xBA\xAC"sv},
        {"processing method writes no register", 0x1B, u"41,53", u"GPS", nullptr,
         "ASCII\0\0\0GPS"sv},
    };
    runCases(cases);
}

TEST(SetGPSDataFailure, UnrenderableValueKeepsRegisters) {
    const GpsCase cases[] = {
        {"latitude stored as LONG", 0x02, u"35,40,53", u"??? 35,40,53"},
        {"latitude with a bad last element", 0x02, u"35/1,40/1,53", u"??? 35/1,40/1,53"},
        {"latitude with an empty element", 0x02, u"35/1,,53/1", u"??? 35/1,,53/1"},
        {"latitude numerator beyond 64 bits", 0x02, u"99999999999999999999/1",
         u"??? 99999999999999999999/1"},
        {"longitude with a bad second element", 0x04, u"139/1,x/1,0/1", u"??? 139/1,x/1,0/1"},
        {"altitude without a slash", 0x06, u"12", u"??? 12"},
        {"altitude with two elements", 0x06, u"12/1,3/1", u"??? 12/1,3/1"},
        {"image direction with a decimal point", 0x11, u"90.5/1", u"??? 90.5/1"},
        {"dest bearing not a rational", 0x18, u"abc", u"??? abc"},
        {"speed not a rational", 0x0D, u"5", u"??? 5"},
        {"time stamp not rationals", 0x07, u"9,5,30", u"??? 9,5,30"},
        {"dest latitude not rationals", 0x14, u"35,40,53", u"??? 35,40,53"},
        {"area information with an undecodable UTF-16 remainder", 0x1C, u"55,4E,49\0"sv,
         u"??? 55,4E,49", nullptr, "UNICODE\0A"sv},
        {"area information with invalid UTF-8", 0x1C, u"55", u"??? 55", nullptr,
         "UNICODE\0\xEF\xBB\xBF\xFF"sv},
    };
    runCases(cases);
}

TEST(SetIntData, Values) {
    const struct {
        const char* name;
        std::int32_t id;
        std::u16string_view data;
        std::u16string_view expected;
    } cases[] = {
        {"index", 1, u"R98\0"sv, u"R98"},
        {"version", 2, u"30,31,30,30", u"0.1.0.0"},
        {"version element beyond one byte", 2, u"3042,41", u"あ.A"},
        {"version keeps the low 16 bits", 2, u"13042", u"あ"},
        {"version empty", 2, u"", u""},
        {"version not hexadecimal", 2, u"30,zz", u"??? 30,zz"},
        {"version with an empty element", 2, u"30,,31", u"??? 30,,31"},
        {"version beyond 32 bits", 2, u"123456789", u"??? 123456789"},
        {"other tag", 0x1001, u" 1600\0"sv, u"1600"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        load(kSeed);
        EXPECT_EQ(TextCodec::ToUtf8(ExifDetails::SetIntData(c.id, c.data)),
                  TextCodec::ToUtf8(c.expected));
        expectRegisters(kSeed);
    }
}

} // namespace
