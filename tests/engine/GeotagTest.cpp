// Photos placed from a synthetic walk, logged as GPX and as NMEA: the position, altitude and GPS
// time written, read back by exiftool, and exiftool's own geotagging of the same files as a
// second opinion.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <date/date.h>

#include "GpsLog.h"
#include "support/EngineTest.h"
#include "support/Files.h"
#include "support/Walk.h"

using namespace GpsLog;
using namespace testsupport;
using namespace std::chrono;
namespace fs = std::filesystem;

namespace {

const Time kNoon = Time{date::sys_days{date::year{2024} / date::May / 1}} + 12h;

class Geotagging : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        std::string tmpl = (fs::path(::testing::TempDir()) / "geodot-geotag-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // A photo with the given date tags in its Exif IFD and, when asked, a GPS IFD holding a
    // position and the camera's own GPS date and time.
    static Bytes photo(const std::map<std::uint16_t, std::string>& exifTags, bool cameraGps) {
        TiffBuilder t;
        const int ifd0 = t.addIfd(), exif = t.addIfd();
        t.pointer(ifd0, 0x8769, exif);
        for (const auto& [tag, value] : exifTags)
            t.entry(exif, tag, Exif::ASCII, static_cast<std::uint32_t>(value.size() + 1),
                    ascii(value));
        if (cameraGps) {
            const int gps = t.addIfd();
            t.pointer(ifd0, 0x8825, gps);
            t.entry(gps, 0x00, Exif::BYTE, 4, {2, 2, 0, 0});
            t.entry(gps, 0x01, Exif::ASCII, 2, ascii("S"));
            t.entry(gps, 0x02, Exif::RATIONAL, 3,
                    t.rational(1, 1) + t.rational(2, 1) + t.rational(3, 1));
            t.entry(gps, 0x07, Exif::RATIONAL, 3,
                    t.rational(23, 1) + t.rational(59, 1) + t.rational(59, 1));
            t.entry(gps, 0x1D, Exif::ASCII, 11, ascii("1999:12:31"));
        }
        return jpeg(exifApp1(t.build()));
    }

    // Opens the photo, places it from the track and writes the result when it matched; what
    // the match gave.
    Match geotag(const Bytes& source, const Track& track, const Zone& zone, const fs::path& out) {
        ExifDetails::PrepareRegistersForOpen({});
        EXPECT_TRUE(analyze(source));
        const auto instant = InstantOfPhoto(zone, 0ms);
        EXPECT_TRUE(instant.has_value());
        const Match m = MatchInstant(track.points, instant->utc, kDefaultMaxGap);
        if (m.kind == MatchKind::None)
            return m;
        StoreMatch(m);
        Exif::UpdateGPS();
        Exif::WriteJpeg();
        writeBytes(out, Exif::ToStream.toVector());
        return m;
    }

    fs::path dir_;
};

TEST_F(Geotagging, PositionAltitudeAndGpsTimeAgreeWithTheWalkAndWithExiftool) {
    if (std::system("exiftool -ver >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "exiftool is not installed";
    const std::vector<Fix> fixes = walk();
    const struct {
        const char* name;
        std::map<std::uint16_t, std::string> tags;
        bool cameraGps;
        const char* zone;
        const char* exiftoolZone; // the same zone for exiftool, through TZ
        // Where exiftool takes the camera time from: by itself it reads DateTimeOriginal alone,
        // without the sub-seconds and offset tags.
        const char* exiftoolTime;
        double second; // after 12:00:00 UTC; negative: hours away from the walk
        const char* gpsTime;
    } cases[] = {
        {"offset tag, below sea level",
         {{0x9003, "2024:05:01 14:00:15"}, {0x9011, "+02:00"}},
         false,
         "Asia/Tokyo",
         "Asia/Tokyo",
         "SubSecDateTimeOriginal",
         15,
         "12:00:15"},
        {"zone name, sub-seconds",
         {{0x9003, "2024:05:01 21:03:27"}, {0x9291, "25"}},
         false,
         "Asia/Tokyo",
         "Asia/Tokyo",
         "SubSecDateTimeOriginal",
         207.25,
         "12:03:27.25"},
        {"summer time",
         {{0x9003, "2024:05:01 14:07:00"}},
         false,
         "Europe/Paris",
         "Europe/Paris",
         "DateTimeOriginal",
         420,
         "12:07:00"},
        {"fixed offset, the camera's GPS time replaced",
         {{0x9003, "2024:05:01 21:09:59"}},
         true,
         "+09:00",
         "Etc/GMT-9",
         "DateTimeOriginal",
         599,
         "12:09:59"},
        {"hours away from the walk",
         {{0x9003, "2024:05:01 18:00:00"}},
         false,
         "Z",
         "UTC",
         "DateTimeOriginal",
         -1,
         nullptr},
    };
    const struct {
        const char* name;
        std::string text;
    } logs[] = {{"walk.gpx", gpxOf(fixes)}, {"walk.nmea", nmeaOf(fixes)}};
    for (const auto& log : logs) {
        const fs::path logPath = dir_ / log.name;
        std::ofstream(logPath, std::ios::binary) << log.text;
        Track track;
        AddLog(track, logPath.string());
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(log.name) + ": " + c.name);
            const Bytes source = photo(c.tags, c.cameraGps);
            const fs::path in = dir_ / "in.jpg", ours = dir_ / "ours.jpg",
                           theirs = dir_ / "theirs.jpg";
            writeBytes(in, source);
            fs::remove(ours), fs::remove(theirs);
            const Match m = geotag(source, track, Zone::Parse(c.zone), ours);
            output("TZ=" + std::string(c.exiftoolZone) + " exiftool -q -q -geotag " +
                   shellQuote(logPath.string()) + " '-geotime<${" + c.exiftoolTime + "}' -o " +
                   shellQuote(theirs.string()) + " " + shellQuote(in.string()) + " 2>&1");

            if (c.second < 0) {
                EXPECT_EQ(m.kind, MatchKind::None);
                EXPECT_TRUE(!fs::exists(theirs) || std::isnan(gpsOf({theirs}).at(0).lat));
                continue;
            }
            const std::vector<GpsRead> reads = gpsOf({ours, theirs});
            ASSERT_EQ(reads.size(), 2u);
            const GpsRead& got = reads[0];
            EXPECT_EQ(m.kind, MatchKind::Interpolated);
            const Fix expected = expectedAt(fixes, c.second);
            EXPECT_NEAR(got.lat, expected.lat, 2e-6);
            EXPECT_NEAR(got.lon, expected.lon, 2e-6);
            EXPECT_NEAR(got.alt, expected.alt, 0.05);
            EXPECT_EQ(got.date, "2024:05:01");
            EXPECT_EQ(got.time, c.gpsTime);

            const GpsRead& peer = reads[1];
            EXPECT_NEAR(got.lat, peer.lat, 2e-6);
            EXPECT_NEAR(got.lon, peer.lon, 2e-6);
            EXPECT_NEAR(got.alt, peer.alt, 0.05);
            EXPECT_EQ(got.date, peer.date);
            EXPECT_EQ(got.time, peer.time);
        }
    }
}

TEST_F(Geotagging, TheGpsTimeStampIsTheGivenInstantToTheMillisecond) {
    const struct {
        Time instant;
        std::string date;
        std::vector<std::uint32_t> time; // numerators over 1, 1, 1000 (little-endian file)
    } cases[] = {
        {kNoon + 3h + 4min + 5s + 678ms, "2024:05:01", {15, 4, 5678}},
        {kNoon - 12h, "2024:05:01", {0, 0, 0}},
        {kNoon + 11h + 59min + 59s + 999ms, "2024:05:01", {23, 59, 59999}},
        {Time{date::sys_days{date::year{1999} / 12 / 31}}, "1999:12:31", {0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.date);
        ExifDetails::PrepareRegistersForOpen({});
        ASSERT_TRUE(analyze(photo({{0x9003, "2024:05:01 12:00:00"}}, false)));
        Match m;
        m.kind = MatchKind::Nearest, m.time = c.instant, m.lat = -33.5, m.lon = -70.25;
        StoreMatch(m);
        Exif::UpdateGPS();
        const Exif::IFDRec* date = find(Exif::IFDG, 0x1D);
        const Exif::IFDRec* time = find(Exif::IFDG, 0x07);
        ASSERT_TRUE(date && time);
        EXPECT_EQ(std::string(date->Raw.begin(), date->Raw.end()), c.date + '\0');
        TiffBuilder le;
        EXPECT_EQ(time->Raw, le.rational(c.time[0], 1) + le.rational(c.time[1], 1) +
                                 le.rational(c.time[2], 1000));
    }
}

} // namespace
