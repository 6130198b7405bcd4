// Positions typed and pasted in the forms people bring them, and the texts that give none.
#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "PositionText.h"

using PositionText::Refusal;

namespace {

constexpr double kTolerance = 2e-6; // degrees; about 0.2 m

struct Reads {
    const char* text; // UTF-8
    double latitude, longitude;
};

void expectReads(const Reads& c) {
    SCOPED_TRACE(c.text);
    const PositionText::Result r = PositionText::ParseUtf8(c.text);
    ASSERT_TRUE(r.ok()) << r.reason;
    EXPECT_NEAR(r.latitude, c.latitude, kTolerance);
    EXPECT_NEAR(r.longitude, c.longitude, kTolerance);
    EXPECT_EQ(r.reason, "");
}

} // namespace

TEST(PositionText, ReadsDecimalPairs) {
    const Reads cases[] = {
        {"35.681236, 139.767125", 35.681236, 139.767125},
        {"35.681236,139.767125", 35.681236, 139.767125},
        {"35.681236 139.767125", 35.681236, 139.767125},
        {"  35.681236\t139.767125\n", 35.681236, 139.767125},
        {"-33.8568, 151.2153", -33.8568, 151.2153},
        {"-33.8568 -70.6543", -33.8568, -70.6543},
        {"−33.8568, −70.6543", -33.8568, -70.6543}, // the minus sign of word processors
        {"+35.5, +139", 35.5, 139},
        {"(35.681236, 139.767125)", 35.681236, 139.767125},
        {"0, 0", 0, 0},
        {".5, -.25", 0.5, -0.25},
        {"90, 180", 90, 180},
        {"-90, -180", -90, -180},
        {"35, 6", 35, 6}, // a comma is always the separator, never a decimal comma
        {"lat: 35.6812, lon: 139.7671", 35.6812, 139.7671},
        {"Longitude 139.7671 Latitude 35.6812", 35.6812, 139.7671},
        // Full-width digits and punctuation, as a Japanese input method types them.
        {"３５．６８１２３６，　１３９．７６７１２５", 35.681236, 139.767125},
        {"－３３．８５６８、１５１．２１５３", -33.8568, 151.2153},
    };
    for (const Reads& c : cases)
        expectReads(c);
}

TEST(PositionText, ReadsDegreesMinutesAndSecondsWithTheirHemispheres) {
    const Reads cases[] = {
        {"35°40'52.4496\"N 139°46'1.65\"E", 35.681236, 139.767125},
        {"35°40′52.4496″N, 139°46′1.65″E", 35.681236, 139.767125},
        {"35º40’52.4496”N 139º46’1.65”E", 35.681236, 139.767125},   // typographic look-alikes
        {"35°40'52.4496''N 139°46'1.65''E", 35.681236, 139.767125}, // '' for seconds
        {"N 35°40'52.4496\" E 139°46'1.65\"", 35.681236, 139.767125},
        {"N35°40'52.4496\"E139°46'1.65\"", 35.681236, 139.767125},
        {"35 40 52.4496 N 139 46 1.65 E", 35.681236, 139.767125},
        {"33°51'24.4224\"S 70°39'15.5556\"W", -33.856784, -70.654321},
        {"S 33° 51' 24.4224\" W 70° 39' 15.5556\"", -33.856784, -70.654321},
        {"35°40'52.4496\" 139°46'1.65\"", 35.681236, 139.767125}, // no letters: latitude first
        {"35°40'52.4496\", -139°46'1.65\"", 35.681236, -139.767125},
        {"35°40'52.4496 139°46'1.65", 35.681236, 139.767125}, // seconds without their mark
        {"35.681236° 139.767125", 35.681236, 139.767125},
        {"35.681236° N, 139.767125° E", 35.681236, 139.767125},
        {"35.681236N 139.767125E", 35.681236, 139.767125},
        {"35.681236 north 139.767125 west", 35.681236, -139.767125},
        // The letters decide which is which, whatever the order.
        {"139.767125E 35.681236N", 35.681236, 139.767125},
        {"E 139°46'1.65\" S 35°40'52.4496\"", -35.681236, 139.767125},
        {"35.681236 139.767125E", 35.681236, 139.767125}, // one letter names the other too
        {"139.767125 E, 35.681236", 35.681236, 139.767125},
    };
    for (const Reads& c : cases)
        expectReads(c);
}

TEST(PositionText, ReadsDegreesAndDecimalMinutes) {
    const Reads cases[] = {
        {"N 35° 40.87416' E 139° 46.0275'", 35.681236, 139.767125},
        {"N35 40.87416 E139 46.0275", 35.681236, 139.767125},
        {"35°40.87416'N 139°46.0275'E", 35.681236, 139.767125},
        {"S 33 51.40704, W 70 39.25926", -33.856784, -70.654321},
        {"35 40.87416, 139 46.0275", 35.681236, 139.767125},
        {"35° 40.87416 139° 46.0275", 35.681236, 139.767125},
    };
    for (const Reads& c : cases)
        expectReads(c);
}

TEST(PositionText, ReadsJapaneseHemispheresWithDegreesMinutesAndSeconds) {
    const Reads cases[] = {
        {"北緯35度40分52.4496秒 東経139度46分1.65秒", 35.681236, 139.767125},
        {"北緯35度40分52.4496秒、東経139度46分1.65秒", 35.681236, 139.767125},
        {"北緯３５度４０分５２．４４９６秒　東経１３９度４６分１．６５秒", 35.681236, 139.767125},
        {"南緯33度51分24.4224秒 西経70度39分15.5556秒", -33.856784, -70.654321},
        {"東経139度46分1.65秒 北緯35度40分52.4496秒", 35.681236, 139.767125},
        {"北緯35.681236度 東経139.767125度", 35.681236, 139.767125},
        {"北緯35度40.87416分 東経139度46.0275分", 35.681236, 139.767125},
        {"緯度: 35.681236 経度: 139.767125", 35.681236, 139.767125},
        {"35度40分52.4496秒 139度46分1.65秒", 35.681236, 139.767125},
    };
    for (const Reads& c : cases)
        expectReads(c);
}

TEST(PositionText, ReadsGeoUris) {
    const Reads cases[] = {
        {"geo:35.681236,139.767125", 35.681236, 139.767125},
        {"GEO:-33.8568,151.2153", -33.8568, 151.2153},
        {"geo:35.681236,139.767125,40.5", 35.681236, 139.767125},
        {"geo:35.681236,139.767125;u=35", 35.681236, 139.767125},
        {"geo:35.681236,139.767125,40;crs=wgs84;u=10", 35.681236, 139.767125},
        {"geo:35.681236,139.767125;CRS=WGS84", 35.681236, 139.767125},
        {"geo:35.681236,139.767125?z=15", 35.681236, 139.767125},
        // Phones share a search with a marker as the query.
        {"geo:0,0?q=35.681236,139.767125(Tokyo%20Station)", 35.681236, 139.767125},
        {"geo:35.681236,139.767125?q=ramen", 35.681236, 139.767125},
    };
    for (const Reads& c : cases)
        expectReads(c);
}

TEST(PositionText, ReadsMapAddressesMarkerFirst) {
    const Reads cases[] = {
        // The marker wins over the view's centre.
        {"https://www.openstreetmap.org/?mlat=35.681236&mlon=139.767125#map=12/35.6/139.7",
         35.681236, 139.767125},
        {"https://www.openstreetmap.org/?mlat=-33.8568&mlon=151.2153&zoom=15", -33.8568, 151.2153},
        {"https://www.openstreetmap.org/#map=15/35.681236/139.767125", 35.681236, 139.767125},
        {"https://www.openstreetmap.org/#map=15/-33.8568/-70.6543&layers=N", -33.8568, -70.6543},
        {"www.openstreetmap.org/#map=15/35.681236/139.767125", 35.681236, 139.767125},
        {"https://www.google.com/maps/@35.681236,139.767125,15z", 35.681236, 139.767125},
        {"https://www.google.com/maps/@-33.8568,151.2153,3a,75y,90t/data=!3m6", -33.8568, 151.2153},
        {"https://www.google.com/maps/place/Tokyo+Station/@35.68,139.76,17z/"
         "data=!3m1!4b1!4m6!3m5!1s0x6:0x2!8m2!3d35.681236!4d139.767125!16s",
         35.681236, 139.767125},
        {"https://maps.google.com/?q=35.681236,139.767125", 35.681236, 139.767125},
        {"https://maps.google.com/maps?q=35.681236%2C139.767125&z=15", 35.681236, 139.767125},
        {"https://maps.google.com/maps?q=35.681236,+139.767125", 35.681236, 139.767125},
        {"https://www.google.com/maps/search/?api=1&query=35.681236%2c139.767125", 35.681236,
         139.767125},
        {"https://maps.apple.com/?q=Tokyo&ll=35.681236,139.767125", 35.681236, 139.767125},
        {"https://maps.example/view?q=35%C2%B040'52.4496%22N%20139%C2%B046'1.65%22E", 35.681236,
         139.767125},
        {"https://maps.example/place/東京駅/@35.681236,139.767125,17z", 35.681236, 139.767125},
    };
    for (const Reads& c : cases)
        expectReads(c);
}

TEST(PositionText, RefusesTextThatIsNoPositionAndSaysWhy) {
    const struct {
        std::string text;
        Refusal refusal;
        const char* reason; // part of the reason
    } cases[] = {
        {"", Refusal::Empty, "空"},
        {" \t\n　", Refusal::Empty, "空"},
        {"35.6", Refusal::OneValueOnly, "緯度と経度の両方"},
        {"35.6,", Refusal::OneValueOnly, "値が 1 つ"},
        {"35°40'52\"N", Refusal::OneValueOnly, "値が 1 つ"},
        {"北緯35度40分", Refusal::OneValueOnly, "値が 1 つ"},
        {"95, 10", Refusal::LatitudeOutOfRange, "緯度 95 は -90 から 90 の範囲外です"},
        {"-90.000001, 0", Refusal::LatitudeOutOfRange, "緯度 -90.000001"},
        {"10, 180.5", Refusal::LongitudeOutOfRange, "経度 180.5 は -180 から 180 の範囲外です"},
        {"10, -200", Refusal::LongitudeOutOfRange, "経度 -200"},
        // A first number beyond 90 without letters is not taken for a longitude.
        {"139.767125, 35.681236", Refusal::LatitudeOutOfRange, "緯度 139.767125"},
        {"95N 10E", Refusal::LatitudeOutOfRange, "緯度 95"},
        {"10N 190W", Refusal::LongitudeOutOfRange, "経度 -190"},
        {"1" + std::string(400, '0') + ", 0", Refusal::LatitudeOutOfRange, "緯度 INF"},
        {"hello", Refusal::NotAPosition, "位置として読み取れません"},
        {"Tokyo Station 35.68, 139.76", Refusal::NotAPosition, "読み取れません"},
        {"35.6, 139.7, 40", Refusal::NotAPosition, "読み取れません"},
        {"35 40 52 139 46 1", Refusal::NotAPosition, "読み取れません"},
        {"35° 40", Refusal::OneValueOnly, "値が 1 つ"}, // 35°40', not a pair
        {"35° 139.7", Refusal::BadMinutesOrSeconds, "60 未満"},
        {"35,6812 139,7671", Refusal::NotAPosition, "読み取れません"}, // decimal commas
        {"1.2.3, 4", Refusal::NotAPosition, "読み取れません"},
        {"1e2, 3", Refusal::NotAPosition, "読み取れません"},
        {"nan, inf", Refusal::NotAPosition, "読み取れません"},
        {"0x10, 5", Refusal::NotAPosition, "読み取れません"},
        {"N E", Refusal::NotAPosition, "読み取れません"},
        {"35.6 N 139.7 E N", Refusal::NotAPosition, "読み取れません"},
        {"40' 139°", Refusal::NotAPosition, "読み取れません"},
        {"35 - 139", Refusal::NotAPosition, "読み取れません"},
        {"[139.767125, 35.681236]", Refusal::NotAPosition, "読み取れません"},
        {"35°75'N 139°46'E", Refusal::BadMinutesOrSeconds, "60 未満"},
        {"35°40'60\"N 139°46'E", Refusal::BadMinutesOrSeconds, "60 未満"},
        {"35.5°30'N 139°E", Refusal::BadMinutesOrSeconds, "小数は最後の値"},
        {"35 139E", Refusal::BadMinutesOrSeconds, "60 未満"},
        {"-35.6 S, 139.7 E", Refusal::SignAndHemisphere, "マイナス記号"},
        {"35.6 N, 40.2 S", Refusal::AxisTwice, "緯度が 2 つあります"},
        {"東経139度 西経10度", Refusal::AxisTwice, "経度が 2 つあります"},
        {"geo:35.6,139.7;crs=nad27", Refusal::OtherDatum, "座標系「nad27」には対応していません"},
        {"geo:35.6", Refusal::NotAPosition, "geo: URI"},
        {"geo:35.6,139.7,40,5", Refusal::NotAPosition, "geo: URI"},
        {"geo:95,10", Refusal::LatitudeOutOfRange, "緯度 95"},
        {"https://www.openstreetmap.org/", Refusal::NotAPosition, "アドレス"},
        {"https://maps.google.com/?q=Tokyo+Station", Refusal::NotAPosition, "アドレス"},
        {"https://www.openstreetmap.org/#map=15/35.6", Refusal::NotAPosition, "アドレス"},
        {"https://www.openstreetmap.org/?mlat=95&mlon=10", Refusal::LatitudeOutOfRange, "緯度 95"},
        {"https://www.openstreetmap.org/#map=3/10/200", Refusal::LongitudeOutOfRange, "経度 200"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const PositionText::Result r = PositionText::ParseUtf8(c.text);
        EXPECT_FALSE(r.ok());
        EXPECT_EQ(r.refusal, c.refusal);
        EXPECT_NE(r.reason.find(c.reason), std::string::npos) << r.reason;
    }
}

TEST(PositionText, ReadsTheSameUnderALocaleWithADecimalComma) {
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous ? previous : "C";
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "fr_FR.UTF-8"))
        GTEST_SKIP() << "no locale with a decimal comma installed";
    expectReads({"35.681236, 139.767125", 35.681236, 139.767125});
    expectReads({"N 35° 40.87416' E 139° 46.0275'", 35.681236, 139.767125});
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(PositionText, TakesUtf16TextAsTheWindowHoldsIt) {
    const PositionText::Result r =
        PositionText::Parse(u"北緯35度40分52.4496秒 東経139度46分1.65秒");
    ASSERT_TRUE(r.ok()) << r.reason;
    EXPECT_NEAR(r.latitude, 35.681236, kTolerance);
    EXPECT_NEAR(r.longitude, 139.767125, kTolerance);
}
