// The instant a photo was taken: the camera's date and time, its offset tag or a time zone on
// either side of a change to or from summer time, and the camera clock's error.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include <date/date.h>

#include "GpsLog.h"
#include "support/EngineTest.h"

using namespace GpsLog;
using namespace testsupport;
using namespace std::chrono;

namespace {

// "YYYY-MM-DD hh:mm:ss[.fff]" in UTC (three digits of fractions).
Time utc(const std::string& text) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
    EXPECT_GE(std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d.%d", &y, &mo, &d, &h, &mi, &s, &ms), 6)
        << text;
    const date::year_month_day day{date::year{y}, date::month(mo), date::day(d)};
    return Time{date::sys_days{day}} + hours{h} + minutes{mi} + seconds{s} + milliseconds{ms};
}

// The date, sub-second and offset tags a photo may hold; null ones are left out.
struct DateTags {
    const char* original = nullptr;
    const char* subSecOriginal = nullptr;
    const char* offsetOriginal = nullptr;
    const char* digitized = nullptr;
    const char* subSecDigitized = nullptr;
    const char* offsetDigitized = nullptr;
    const char* modified = nullptr; // DateTime
    const char* subSec = nullptr;
    const char* offset = nullptr;
};

class PhotoTime : public EngineTest {
  protected:
    static void open(const DateTags& d) {
        TiffBuilder t;
        const int ifd0 = t.addIfd(), exif = t.addIfd();
        auto ascii = [&](int ifd, std::uint16_t tag, const char* value) {
            if (value)
                t.entry(ifd, tag, Exif::ASCII, static_cast<std::uint32_t>(std::strlen(value) + 1),
                        testsupport::ascii(value));
        };
        ascii(ifd0, 0x0132, d.modified);
        t.pointer(ifd0, 0x8769, exif);
        ascii(exif, 0x9003, d.original);
        ascii(exif, 0x9004, d.digitized);
        ascii(exif, 0x9010, d.offset);
        ascii(exif, 0x9011, d.offsetOriginal);
        ascii(exif, 0x9012, d.offsetDigitized);
        ascii(exif, 0x9290, d.subSec);
        ascii(exif, 0x9291, d.subSecOriginal);
        ascii(exif, 0x9292, d.subSecDigitized);
        ASSERT_TRUE(analyze(jpeg(exifApp1(t.build()))));
    }
};

TEST_F(PhotoTime, ZonesOnBothSidesOfSummerTimeChanges) {
    const struct {
        const char* taken;
        const char* zone;
        const char* expected; // UTC
    } cases[] = {
        {"2024:05:01 12:00:00", "+09:00", "2024-05-01 03:00:00"},
        {"2024:05:01 12:00:00", "Asia/Tokyo", "2024-05-01 03:00:00"},
        {"2024:05:01 12:00:00", "-0530", "2024-05-01 17:30:00"},
        {"2024:05:01 12:00:00", "Z", "2024-05-01 12:00:00"},
        {"2024:05:01 12:00:00", "UTC", "2024-05-01 12:00:00"},
        {"2024:05:01 12:00:00", "Europe/Paris", "2024-05-01 10:00:00"},
        {"2024:01:15 12:00:00", "Europe/Paris", "2024-01-15 11:00:00"},
        // Spring: 02:00 becomes 03:00. The skipped hour is read with the winter offset, as a
        // camera clock not yet put forward shows it.
        {"2024:03:31 01:59:59", "Europe/Paris", "2024-03-31 00:59:59"},
        {"2024:03:31 02:30:00", "Europe/Paris", "2024-03-31 01:30:00"},
        {"2024:03:31 03:00:00", "Europe/Paris", "2024-03-31 01:00:00"},
        // Autumn: 03:00 becomes 02:00. The hour that happens twice is read as its first time.
        {"2024:10:27 01:59:59", "Europe/Paris", "2024-10-26 23:59:59"},
        {"2024:10:27 02:30:00", "Europe/Paris", "2024-10-27 00:30:00"},
        {"2024:10:27 03:00:00", "Europe/Paris", "2024-10-27 02:00:00"},
        {"2024:03:10 01:30:00", "America/New_York", "2024-03-10 06:30:00"},
        {"2024:03:10 02:30:00", "America/New_York", "2024-03-10 07:30:00"},
        {"2024:03:10 03:30:00", "America/New_York", "2024-03-10 07:30:00"},
        {"2024:11:03 00:30:00", "America/New_York", "2024-11-03 04:30:00"},
        {"2024:11:03 01:30:00", "America/New_York", "2024-11-03 05:30:00"},
        {"2024:11:03 02:30:00", "America/New_York", "2024-11-03 07:30:00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.taken) + " " + c.zone);
        open({.original = c.taken});
        const auto instant = InstantOfPhoto(Zone::Parse(c.zone), 0ms);
        ASSERT_TRUE(instant.has_value());
        EXPECT_EQ(instant->utc, utc(c.expected));
        EXPECT_EQ(instant->camera, utc(std::string(c.taken).replace(4, 1, "-").replace(7, 1, "-")));
        EXPECT_FALSE(instant->offsetFromPhoto);
        EXPECT_EQ(instant->dateTag, 0x9003);
    }
}

TEST_F(PhotoTime, OffsetTagSubSecondsAndCameraError) {
    const struct {
        const char* name;
        DateTags tags;
        milliseconds cameraError;
        const char* expected;
        bool offsetFromPhoto;
    } cases[] = {
        {"the photo's offset before the zone",
         {.original = "2024:05:01 12:00:00", .offsetOriginal = "+02:00"},
         0ms,
         "2024-05-01 10:00:00",
         true},
        {"a western offset",
         {.original = "2024:05:01 12:00:00", .offsetOriginal = "-03:00"},
         0ms,
         "2024-05-01 15:00:00",
         true},
        {"a blank offset says nothing",
         {.original = "2024:05:01 12:00:00", .offsetOriginal = "   :  "},
         0ms,
         "2024-05-01 03:00:00",
         false},
        {"sub-seconds",
         {.original = "2024:05:01 12:00:00", .subSecOriginal = "5"},
         0ms,
         "2024-05-01 03:00:00.500",
         false},
        {"many sub-second digits",
         {.original = "2024:05:01 12:00:00", .subSecOriginal = "123456"},
         0ms,
         "2024-05-01 03:00:00.123",
         false},
        {"leading zeros",
         {.original = "2024:05:01 12:00:00", .subSecOriginal = "050"},
         0ms,
         "2024-05-01 03:00:00.050",
         false},
        {"a camera clock 30 s fast",
         {.original = "2024:05:01 12:00:00"},
         30s,
         "2024-05-01 02:59:30",
         false},
        {"a camera clock 90.5 s slow",
         {.original = "2024:05:01 12:00:00"},
         -90500ms,
         "2024-05-01 03:01:30.500",
         false},
        {"everything at once",
         {.original = "2024:05:01 12:00:00", .subSecOriginal = "25", .offsetOriginal = "+02:00"},
         2h,
         "2024-05-01 08:00:00.250",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        open(c.tags);
        const auto instant = InstantOfPhoto(Zone::Parse("Asia/Tokyo"), c.cameraError);
        ASSERT_TRUE(instant.has_value());
        EXPECT_EQ(instant->utc, utc(c.expected));
        EXPECT_EQ(instant->offsetFromPhoto, c.offsetFromPhoto);
    }
}

TEST_F(PhotoTime, EachDateComesWithItsOwnSubSecondsAndOffset) {
    const struct {
        const char* name;
        DateTags tags;
        std::optional<const char*> expected;
        std::uint16_t dateTag;
    } cases[] = {
        {"digitized when there is no original",
         {.digitized = "2024:05:01 12:00:00",
          .subSecDigitized = "25",
          .offsetDigitized = "+01:00",
          .modified = "2024:06:01 12:00:00"},
         "2024-05-01 11:00:00.250",
         0x9004},
        {"a camera without a clock wrote zeros",
         {.original = "0000:00:00 00:00:00", .digitized = "2024:05:01 12:00:00"},
         "2024-05-01 03:00:00",
         0x9004},
        {"blank original and digitized",
         {.original = "    :  :     :  :  ",
          .digitized = "",
          .modified = "2024:05:01 12:00:00",
          .subSec = "7",
          .offset = "+00:00"},
         "2024-05-01 12:00:00.700",
         0x0132},
        // The offset and sub-seconds of the modification time are not the original's.
        {"the modification's offset and sub-seconds stay with it",
         {.original = "2024:05:01 12:00:00",
          .modified = "2024:06:01 12:00:00",
          .subSec = "7",
          .offset = "+00:00"},
         "2024-05-01 03:00:00",
         0x9003},
        {"other date forms some programs write",
         {.original = "2024-05-01 12:00:00"},
         "2024-05-01 03:00:00",
         0x9003},
        {"no date at all", {.subSecOriginal = "5", .offsetOriginal = "+02:00"}, std::nullopt, 0},
        {"an impossible date", {.original = "2024:02:30 12:00:00"}, std::nullopt, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        open(c.tags);
        const auto instant = InstantOfPhoto(Zone::Parse("+09:00"), 0ms);
        ASSERT_EQ(instant.has_value(), c.expected.has_value());
        if (!instant)
            continue;
        EXPECT_EQ(instant->utc, utc(*c.expected));
        EXPECT_EQ(instant->dateTag, c.dateTag);
    }
}

TEST(Zones, TextThatIsNeitherAnOffsetNorAZoneIsRefused) {
    for (const char* text : {"Asia/Tokio", "+25:00", "+9:00", "09:00", "+09:60", "", "../etc"}) {
        SCOPED_TRACE(text);
        try {
            Zone::Parse(text);
            ADD_FAILURE() << "accepted";
        } catch (const Exif::EngineError& e) {
            EXPECT_NE(std::string(e.what()).find(std::string("「") + text + "」"),
                      std::string::npos)
                << e.what();
        }
    }
    EXPECT_EQ(Zone::Parse(" +0930 ").OffsetAt(Time{}), 9h + 30min);
    EXPECT_EQ(Zone::Parse("-09").OffsetAt(Time{}), -9h);
    EXPECT_EQ(
        Zone::Parse("Australia/Adelaide").OffsetAt(Time{date::sys_days{date::year{2024} / 1 / 1}}),
        10h + 30min);
}

} // namespace
