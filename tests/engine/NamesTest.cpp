#include <gtest/gtest.h>

#include "ExifDetails.h"

using namespace ExifDetails;

TEST(TagNames, KnownTagsHaveTheirNamesInTheirOwnNumberSpace) {
    const struct {
        std::u16string (*lookup)(std::int32_t);
        std::int32_t id;
        const char16_t* name;
    } cases[] = {
        {SetID, 0x010E, u"ImageDescription(画像タイトル)"},
        {SetID, 0x0202, u"JpegInterchangeFormatLength(JPEGデータのバイト数)"},
        {SetID, 0x920C, u"SpatialFrequencyResponse(SpatialFrequencyResponse)"},
        {SetID, 0xA20C, u"SpatialFrequencyResponse(空間周波数応答)"},
        {SetID, 0xC4A5, u"PrintIM IFD(PrintIM IFD)"},
        {SetGPSID, 0x01, u"GPSLatitudeRef(北緯(N)or南緯(S))"},
        {SetGPSID, 0x09, u"GPSStatus(GPS受信機の状態)"},
        {SetGPSID, 0x1F, u"GPSHPositioningError(水平方向測位誤差)"},
        {SetIntID, 0x0002, u"InteroperabilityVersion(互換性バージョン)"},
        {SetIntID, 0x1002, u"RelatedImageLength(RelatedImageLength)"},
        // unknown numbers: "$" and at least 4 (GPS: 2) hexadecimal digits
        {SetID, 0x0001, u"$0001"},
        {SetID, 0xFFFF, u"$FFFF"},
        {SetIntID, 0x0003, u"$0003"},
        {SetGPSID, 0x20, u"$20"},
        {SetGPSID, 0x1234, u"$1234"},
        {SetID, 0x12345, u"$12345"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.lookup(c.id), c.name) << std::hex << c.id;
}
