#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

#include "EngineError.h"
#include "NumberText.h"

using namespace NumberText;

TEST(NumberTextGeneralFormat, FifteenSignificantDigitsWithoutTrailingZeros) {
    const struct {
        double value;
        const char16_t* text;
    } cases[] = {
        {2.8, u"2.8"},
        {50.0, u"50"},
        {40.50, u"40.5"},
        {-0.333333333333333333, u"-0.333333333333333"},
        {53.1, u"53.1"},
        {35.681236, u"35.681236"},
        {0.00001, u"0.00001"},
        {0.000001, u"1E-6"},
        {0.0000015, u"1.5E-6"},
        {123456789012345.0, u"123456789012345"},
        {1234567890123456.0, u"1.23456789012346E15"},
        {52.31999999998889, u"52.3199999999889"},
        {0.0, u"0"},
        {-12.5, u"-12.5"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatGeneral(c.value), c.text) << c.value;
}

TEST(NumberTextGeneralFormat, IgnoresTheProcessLocale) {
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "fr_FR.UTF-8"))
        GTEST_SKIP() << "no locale with a decimal comma installed";
    EXPECT_EQ(FormatGeneral(2.5), u"2.5");
    EXPECT_DOUBLE_EQ(ParseFloat(u"2.5"), 2.5);
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(NumberTextParsing, AcceptsWhatUsersTypeAndNamesTheValueOtherwise) {
    EXPECT_DOUBLE_EQ(ParseFloat(u" 35.5 "), 35.5);
    EXPECT_DOUBLE_EQ(ParseFloat(u"-1e3"), -1000);
    EXPECT_DOUBLE_EQ(ParseFloat(u".5"), 0.5);
    EXPECT_DOUBLE_EQ(ParseFloat(u"+7"), 7);
    for (const char16_t* bad : {u"1.2.3", u"", u"abc", u"1,5", u"nan", u"inf", u"0x10", u"1e", u"."})
        EXPECT_THROW(ParseFloat(bad), Exif::EngineError);
    try {
        ParseFloat(u"1.2.3");
        FAIL();
    } catch (const Exif::EngineError& e) {
        EXPECT_STREQ(e.what(), "'1.2.3' is not a valid floating point value");
    }
}

TEST(NumberTextParsing, IntegersHaveTheirRange) {
    EXPECT_EQ(ParseInt32(u"-2147483648"), INT32_MIN);
    EXPECT_THROW(ParseInt32(u"2147483648"), Exif::EngineError);
    EXPECT_EQ(ParseInt64(u"4294967295"), 4294967295LL);
    EXPECT_THROW(ParseInt64(u"12a"), Exif::EngineError);
    EXPECT_THROW(ParseInt64(u""), Exif::EngineError);
    EXPECT_EQ(ParseHex32(u"30"), 0x30u);
    EXPECT_EQ(ParseHex32(u"0230"), 0x230u);
    EXPECT_THROW(ParseHex32(u"123456789"), Exif::EngineError);
    EXPECT_THROW(ParseHex32(std::u16string(u"02\0", 3)), Exif::EngineError);
}

TEST(NumberTextDates, EncodesDaysSince1899AndRejectsImpossibleDates) {
    double v = 0;
    ASSERT_TRUE(EncodeDateTime(1900, 1, 1, 0, 0, 0, v));
    EXPECT_DOUBLE_EQ(v, 2.0);
    ASSERT_TRUE(EncodeDateTime(2019, 4, 5, 6, 7, 8, v));
    int y, mo, d, h, mi, s;
    DecodeDateTime(v, y, mo, d, h, mi, s);
    EXPECT_EQ((std::vector<int>{y, mo, d, h, mi, s}), (std::vector<int>{2019, 4, 5, 6, 7, 8}));
    EXPECT_TRUE(EncodeDateTime(2024, 2, 29, 23, 59, 59, v));
    EXPECT_FALSE(EncodeDateTime(2023, 2, 29, 0, 0, 0, v));
    EXPECT_FALSE(EncodeDateTime(2019, 13, 1, 0, 0, 0, v));
    EXPECT_FALSE(EncodeDateTime(0, 0, 0, 0, 0, 0, v));
    EXPECT_FALSE(EncodeDateTime(2019, 1, 1, 24, 0, 0, v));
}
