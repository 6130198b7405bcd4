// geodot-cli geotag as a script uses it: photos placed from a synthetic walk logged as GPX and
// as NMEA, the instant taken from zones, offsets and the photo's own offset tag, exiftool's own
// geotagging of the same files as a second opinion, and the exit statuses.
#include <gtest/gtest.h>

#include "cli/CliFixture.h"
#include "support/JpegBuilder.h"
#include "support/Walk.h"

using namespace testsupport;

namespace {

class CliGeotag : public CliFixture {
  protected:
    // A photo whose Exif IFD holds the given ASCII tags (DateTimeOriginal, OffsetTimeOriginal …).
    fs::path photo(const std::string& name,
                   const std::map<std::uint16_t, std::string>& tags) const {
        TiffBuilder t;
        const int ifd0 = t.addIfd(), exif = t.addIfd();
        t.pointer(ifd0, 0x8769, exif);
        for (const auto& [tag, value] : tags)
            t.entry(exif, tag, 2, static_cast<std::uint32_t>(value.size() + 1), ascii(value));
        const fs::path p = dir_ / name;
        writeBytes(p, jpeg(exifApp1(t.build())));
        return p;
    }

    fs::path log(const std::string& name, const std::string& text) const {
        const fs::path p = dir_ / name;
        std::ofstream(p, std::ios::binary) << text;
        return p;
    }
};

TEST_F(CliGeotag, PhotosArePlacedAtTheirUtcInstantFromGpxAndNmeaAsExiftoolPlacesThem) {
    REQUIRE_EXIFTOOL();
    const std::vector<Fix> fixes = walk();
    const struct {
        const char* name;
        std::map<std::uint16_t, std::string> tags;
        std::vector<std::string> options;
        const char* env;          // the computer's zone
        const char* exiftoolZone; // the zone exiftool is given, through TZ
        double second;            // after 12:00:00 UTC; negative: hours away from the walk
        const char* gpsTime;
    } cases[] = {
        {"zone name",
         {{0x9003, "2024:05:01 21:00:15"}},
         {"--tz", "Asia/Tokyo"},
         "TZ=UTC",
         "Asia/Tokyo",
         15,
         "12:00:15"},
        {"fixed offset",
         {{0x9003, "2024:05:01 21:01:07"}},
         {"--tz", "+09:00"},
         "TZ=UTC",
         "Etc/GMT-9",
         67,
         "12:01:07"},
        {"summer time in May",
         {{0x9003, "2024:05:01 14:07:00"}},
         {"--tz", "Europe/Paris"},
         "TZ=UTC",
         "Europe/Paris",
         420,
         "12:07:00"},
        {"the photo's offset tag before --tz",
         {{0x9003, "2024:05:01 14:03:33"}, {0x9011, "+02:00"}},
         {"--tz", "Asia/Tokyo"},
         "TZ=UTC",
         "Etc/GMT-2",
         213,
         "12:03:33"},
        {"the computer's zone without --tz",
         {{0x9003, "2024:05:01 21:05:05"}},
         {},
         "TZ=Asia/Tokyo",
         "Asia/Tokyo",
         305,
         "12:05:05"},
        {"a camera clock 90 s fast",
         {{0x9003, "2024:05:01 21:09:00"}},
         {"--tz", "+0900", "--offset", "90"},
         "TZ=UTC",
         nullptr,
         450,
         "12:07:30"},
        {"hours away from the walk",
         {{0x9003, "2024:05:01 18:00:00"}},
         {"--tz", "Z"},
         "TZ=UTC",
         "UTC",
         -1,
         nullptr},
    };
    for (const auto& [logName, text] :
         {std::pair{"walk.gpx", gpxOf(fixes)}, std::pair{"walk.nmea", nmeaOf(fixes)}}) {
        const fs::path track = log(logName, text);
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(logName) + ": " + c.name);
            const fs::path ours = photo("ours.jpg", c.tags), theirs = photo("theirs.jpg", c.tags);
            const Bytes before = readBytes(ours);
            std::vector<std::string> args = {"geotag", "--track", track.string(), "--artist",
                                             "Hanako Walker"};
            args.insert(args.end(), c.options.begin(), c.options.end());
            args.push_back(ours.string());
            const Result r = run(args, c.env);
            EXPECT_EQ(r.status, 0) << r.err;
            if (c.second < 0) {
                EXPECT_TRUE(contains(r.out, "left alone")) << r.out;
                EXPECT_EQ(readBytes(ours), before);
                continue;
            }
            EXPECT_TRUE(contains(r.out, "interpolated")) << r.out;
            const Fix expected = expectedAt(fixes, c.second);
            const GpsRead got = gpsOf({ours}).at(0);
            EXPECT_NEAR(got.lat, expected.lat, 2e-6);
            EXPECT_NEAR(got.lon, expected.lon, 2e-6);
            EXPECT_NEAR(got.alt, expected.alt, 0.05);
            EXPECT_EQ(got.date, "2024:05:01");
            EXPECT_EQ(got.time, c.gpsTime);
            EXPECT_EQ(tags(ours, "-Artist")["Artist"], "Hanako Walker");
            if (!c.exiftoolZone)
                continue;
            output("TZ=" + std::string(c.exiftoolZone) + " exiftool -q -q -overwrite_original " +
                   "-geotag " + shellQuote(track.string()) + " " + shellQuote(theirs.string()));
            const GpsRead peer = gpsOf({theirs}).at(0);
            EXPECT_NEAR(got.lat, peer.lat, 2e-6);
            EXPECT_NEAR(got.lon, peer.lon, 2e-6);
            EXPECT_NEAR(got.alt, peer.alt, 0.05);
            EXPECT_EQ(got.time, peer.time);
        }
    }
}

TEST_F(CliGeotag, InterpolatedNearestOrLeftAloneByTheLargestGap) {
    REQUIRE_EXIFTOOL();
    const std::vector<Fix> fixes = walk(); // a fix every 10 s
    const fs::path track = log("walk.gpx", gpxOf(fixes));
    const struct {
        const char* time; // UTC
        const char* maxGap;
        const char* said;
        int fix; // the fix written as it stands; -1: interpolated; -2: none
    } cases[] = {
        {"12:00:12", "10", "interpolated", -1},
        {"12:00:12", "5", "nearest point 2 s away", 1},
        {"12:00:18", "5", "nearest point 2 s away", 2},
        {"12:00:15", "4", "left alone", -2},
        {"12:10:20", "30", "nearest point 20 s away", 60},
        {"12:10:20", "10", "left alone", -2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.time) + " within " + c.maxGap);
        const fs::path p = photo("p.jpg", {{0x9003, std::string("2024:05:01 ") + c.time}});
        const Bytes before = readBytes(p);
        const Result r = run({"geotag", "--track", track.string(), "--tz", "UTC", "--max-gap",
                              c.maxGap, p.string()});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(contains(r.out, c.said)) << r.out;
        if (c.fix == -2) {
            EXPECT_EQ(readBytes(p), before);
            continue;
        }
        const GpsRead got = gpsOf({p}).at(0);
        if (c.fix >= 0) {
            EXPECT_NEAR(got.lat, fixes[c.fix].lat, 2e-6);
            EXPECT_NEAR(got.lon, fixes[c.fix].lon, 2e-6);
        } else {
            EXPECT_NEAR(got.lat, expectedAt(fixes, 12).lat, 2e-6);
        }
        EXPECT_EQ(got.time, c.time); // the photo's instant, not the fix's
    }
}

TEST_F(CliGeotag, ExitStatusesAndWhatIsLeftUntouched) {
    const fs::path track = log("walk.gpx", gpxOf(walk()));
    const fs::path noTime = log("places.gpx", "<gpx><wpt lat=\"1\" lon=\"2\"/></gpx>");
    const struct {
        const char* name;
        std::vector<std::string> args; // PHOTO stands for a matching photo, NODATE for one
                                       // without a date, MISSING for a file that is not there
        int status;
        const char* err;   // part of the error output
        bool photoWritten; // the matching photo
    } cases[] = {
        {"tagged", {"--track", track, "--tz", "UTC", "PHOTO"}, 0, "", true},
        {"dry run", {"--dry-run", "--track", track, "--tz", "UTC", "PHOTO"}, 0, "", false},
        {"a photo without a date among others",
         {"--track", track, "--tz", "UTC", "NODATE", "PHOTO"},
         1,
         "撮影日時がありません",
         true},
        {"a photo missing among others",
         {"--track", track, "--tz", "UTC", "MISSING", "PHOTO"},
         1,
         "MISSING",
         true},
        {"a log without a timed point",
         {"--track", noTime, "--tz", "UTC", "PHOTO"},
         1,
         "places.gpx",
         false},
        {"a log that is not there",
         {"--track", (dir_ / "none.gpx").string(), "PHOTO"},
         1,
         "none.gpx",
         false},
        {"no log", {"--tz", "UTC", "PHOTO"}, 2, "--track", false},
        {"an unknown zone",
         {"--track", track, "--tz", "Asia/Atlantis", "PHOTO"},
         2,
         "Asia/Atlantis",
         false},
        {"an offset that is no number",
         {"--track", track, "--offset", "ten", "PHOTO"},
         2,
         "--offset",
         false},
        {"a negative gap", {"--track", track, "--max-gap", "-1", "PHOTO"}, 2, "--max-gap", false},
        {"a position given",
         {"--track", track, "--lat", "1", "--lon", "2", "PHOTO"},
         2,
         "--lat",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path p = photo("p.jpg", {{0x9003, "2024:05:01 12:00:15"}});
        const fs::path noDate = photo("nodate.jpg", {{0x010E, "no date"}});
        const Bytes before = readBytes(p), noDateBefore = readBytes(noDate);
        std::vector<std::string> args = {"geotag"};
        for (const std::string& a : c.args)
            args.push_back(a == "PHOTO"     ? p.string()
                           : a == "NODATE"  ? noDate.string()
                           : a == "MISSING" ? (dir_ / "MISSING.jpg").string()
                                            : a);
        const Result r = run(args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_TRUE(contains(r.err, c.err)) << r.err;
        EXPECT_EQ(readBytes(p) != before, c.photoWritten);
        EXPECT_EQ(readBytes(noDate), noDateBefore);
        if (c.photoWritten || std::string(c.name) == "dry run") {
            EXPECT_TRUE(contains(r.out, p.string() + ": ")) << r.out;
        }
    }
}

} // namespace
