// Reading GPS logs: GPX, KML and NMEA, the times they write, what broken logs give, and the
// merge of several logs into one track.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <date/date.h>

#include "GpsLog.h"
#include "support/Nmea.h"

using namespace GpsLog;
using testsupport::nmeaSentence;
using namespace std::chrono;
namespace fs = std::filesystem;

namespace {

struct Read {
    LogSummary summary;
    std::vector<Point> points;
    std::string error; // the EngineError's message, when there was one
};

Read read(const std::string& log, const std::string& name = "log") {
    Read r;
    try {
        r.summary = ReadLog({reinterpret_cast<const std::uint8_t*>(log.data()), log.size()}, name,
                            r.points);
    } catch (const Exif::EngineError& e) {
        r.error = e.what();
    }
    return r;
}

Time at(date::sys_days day, milliseconds sinceMidnight) {
    return Time{day} + sinceMidnight;
}

std::string gpx11(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<gpx version=\"1.1\" creator=\"test\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n" +
           body + "</gpx>\n";
}

std::string trkpt(const std::string& time, const std::string& lat = "35.5",
                  const std::string& lon = "139.5") {
    return "<trk><trkseg><trkpt lat=\"" + lat + "\" lon=\"" + lon + "\"><time>" + time +
           "</time></trkpt></trkseg></trk>\n";
}

void expectPoints(const std::vector<Point>& got, const std::vector<Point>& expected) {
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE("point " + std::to_string(i));
        EXPECT_EQ(got[i].time, expected[i].time);
        EXPECT_NEAR(got[i].lat, expected[i].lat, 1e-9);
        EXPECT_NEAR(got[i].lon, expected[i].lon, 1e-9);
        if (std::isnan(expected[i].alt)) {
            EXPECT_TRUE(std::isnan(got[i].alt)) << got[i].alt;
        } else {
            EXPECT_NEAR(got[i].alt, expected[i].alt, 1e-9);
        }
    }
}

// Reads a log that must be usable and checks what it gave.
void expectRead(const std::string& log, Format format, const std::vector<Point>& expected,
                std::size_t skipped) {
    const Read r = read(log);
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.summary.format, format);
    expectPoints(r.points, expected);
    EXPECT_EQ(r.summary.points, expected.size());
    EXPECT_EQ(r.summary.skipped, skipped);
}

const date::sys_days kMay1 = date::year{2024} / date::May / 1;

// The same three timed points in each GPX dialect: a track point with elevation, a route
// point and a way point; a way point without a time is a place, not part of the track.
const std::vector<Point> kGpxPoints = {
    {at(kMay1, 12h), 35.1, 139.1, 12.5},
    {at(kMay1, 12h + 1min), -35.2, -139.2, kNoAltitude},
    {at(kMay1, 12h + 2min + 500ms), 35.3, 139.3, -3},
};

std::string gpxBody(const std::string& p) {
    return "<" + p + "wpt lat=\"1\" lon=\"2\"><" + p + "name>home</" + p + "name></" + p +
           "wpt>\n<" + p + "trk><" + p + "trkseg><" + p + "trkpt lat=\"35.1\" lon=\"139.1\"><" + p +
           "ele>12.5</" + p + "ele><" + p + "time>2024-05-01T12:00:00Z</" + p + "time></" + p +
           "trkpt></" + p + "trkseg></" + p + "trk>\n<" + p + "rte><" + p +
           "rtept lat=\"-35.2\" lon=\"-139.2\"><" + p + "time>2024-05-01T12:01:00Z</" + p +
           "time></" + p + "rtept></" + p + "rte>\n<" + p + "wpt lat=\"35.3\" lon=\"139.3\"><" + p +
           "ele>-3</" + p + "ele><" + p + "time>2024-05-01T12:02:00.5Z</" + p + "time></" + p +
           "wpt>\n";
}

std::string utf16le(const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii)
        out += c, out += '\0';
    return out;
}

TEST(GpxLogs, EveryDialectGivesTheSameTimedPoints) {
    const std::string v11 = gpx11(gpxBody(""));
    const struct {
        const char* name;
        std::string log;
    } cases[] = {
        {"GPX 1.1", v11},
        {"GPX 1.0", "<?xml version=\"1.0\"?>\n<gpx version=\"1.0\" creator=\"x\" "
                    "xmlns=\"http://www.topografix.com/GPX/1/0\">" +
                        gpxBody("") + "</gpx>"},
        {"prefixed namespace",
         "<g:gpx xmlns:g=\"http://www.topografix.com/GPX/1/1\">" + gpxBody("g:") + "</g:gpx>"},
        {"byte-order mark, blanks, CR LF", "\xEF\xBB\xBF \r\n" + v11},
        {"UTF-16",
         utf16le("<?xml version=\"1.0\" encoding=\"UTF-16\"?><gpx>" + gpxBody("") + "</gpx>")},
        // Extensions inside a point hold elements of their own, some with familiar names.
        {"extensions", gpx11("<trk><trkseg><trkpt lat=\"1\" lon=\"1\"><extensions><trkpt "
                             "lat=\"2\" lon=\"2\"><time>2024-05-01T13:00:00Z</time></trkpt>"
                             "</extensions></trkpt></trkseg></trk>" +
                             gpxBody(""))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        expectRead(c.log, Format::Gpx, kGpxPoints, 0);
    }
}

TEST(GpxLogs, TimesAreReadAsUtcToTheMillisecond) {
    const struct {
        const char* text;
        std::optional<milliseconds> sinceMay1; // none: the point is malformed
    } cases[] = {
        {"2024-05-01T12:34:56Z", 12h + 34min + 56s},
        {"2024-05-01T12:34:56.789Z", 12h + 34min + 56s + 789ms},
        {"2024-05-01T12:34:56.7891234Z", 12h + 34min + 56s + 789ms},
        {"2024-05-01T12:34:56.5+02:00", 10h + 34min + 56s + 500ms},
        {"2024-05-01T01:00:00+09:00", -8h},
        {"2024-05-01T12:00:00-05:30", 17h + 30min},
        {"2024-05-01T12:00:00", 12h}, // no zone: UTC, as GPX defines its times
        {"\n  2024-05-01T12:00:00Z  \n", 12h},
        {"2024-05-01 12:00:00Z", 12h},
        {"2024-02-30T12:00:00Z", std::nullopt},
        {"2024-05-01T24:00:00Z", std::nullopt},
        {"2024-05-01T12:00:60Z", std::nullopt},
        {"2024-05-01T12:00:00+15:00", std::nullopt},
        {"2024-05-01T12:00:00.Z", std::nullopt},
        {"2024-05-01", std::nullopt},
        {"yesterday", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        // A second, sound point keeps the log usable when the first is malformed.
        const Read r = read(gpx11(trkpt(c.text) + trkpt("2024-06-01T00:00:00Z")));
        ASSERT_EQ(r.error, "");
        if (c.sinceMay1) {
            ASSERT_EQ(r.points.size(), 2u);
            EXPECT_EQ(r.points[0].time, at(kMay1, *c.sinceMay1));
            EXPECT_EQ(r.summary.skipped, 0u);
        } else {
            EXPECT_EQ(r.points.size(), 1u);
            EXPECT_EQ(r.summary.skipped, 1u);
        }
    }
}

TEST(KmlLogs, TracksAndTimedPlacemarksGivePoints) {
    const std::string head = "<?xml version=\"1.0\"?><kml xmlns=\"http://www.opengis.net/kml/2.2\" "
                             "xmlns:gx=\"http://www.google.com/kml/ext/2.2\"><Document>";
    const std::string track =
        "<Placemark><gx:Track><when>2024-05-01T12:00:00Z</when><when>2024-05-01T12:00:10Z</when>"
        "<gx:coord>139.1 35.1 10</gx:coord><gx:coord>139.2 35.2 20.5</gx:coord>"
        "<gx:angles>0 0 0</gx:angles></gx:Track></Placemark>";
    const std::string placemarks =
        "<Folder><Placemark><name>a</name><TimeStamp><when>2024-05-01T13:00:00+01:00</when>"
        "</TimeStamp><Point><coordinates> -0.5,51.5,30 </coordinates></Point></Placemark>"
        "<Placemark><TimeStamp><when>2024-05-01T14:00:00Z</when></TimeStamp>"
        "<Point><coordinates>2.35,48.85</coordinates></Point></Placemark>"
        // Not timed points: a line with a time, a point without one.
        "<Placemark><TimeStamp><when>2024-05-01T15:00:00Z</when></TimeStamp><LineString>"
        "<coordinates>1,1 2,2</coordinates></LineString></Placemark>"
        "<Placemark><Point><coordinates>3,3</coordinates></Point></Placemark></Folder>";
    const std::vector<Point> trackPoints = {{at(kMay1, 12h), 35.1, 139.1, 10},
                                            {at(kMay1, 12h + 10s), 35.2, 139.2, 20.5}};
    const std::vector<Point> placemarkPoints = {{at(kMay1, 12h), 51.5, -0.5, 30},
                                                {at(kMay1, 14h), 48.85, 2.35, kNoAltitude}};
    const struct {
        const char* name;
        std::string log;
        std::vector<Point> expected;
    } cases[] = {
        {"gx:Track", head + track + "</Document></kml>", trackPoints},
        {"timed Placemarks", head + placemarks + "</Document></kml>", placemarkPoints},
        // KML 2.3 writes Track without a prefix; some files leave gx undeclared.
        {"Track, gx undeclared",
         "<kml><Placemark><Track><when>2024-05-01T12:00:00Z</when><when>2024-05-01T12:00:10Z"
         "</when><gx:coord>139.1 35.1 10</gx:coord><coord>139.2 35.2 20.5</coord></Track>"
         "</Placemark></kml>",
         trackPoints},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        expectRead(c.log, Format::Kml, c.expected, 0);
    }
}

TEST(KmlLogs, WhensAndCoordsThatDoNotPairAreSkipped) {
    const Read r = read("<kml><gx:Track><when>2024-05-01T12:00:00Z</when><when>bad</when>"
                        "<when>2024-05-01T12:00:20Z</when><when>2024-05-01T12:00:30Z</when>"
                        "<gx:coord>139.1 35.1 1</gx:coord><gx:coord>139.2 35.2 2</gx:coord>"
                        "<gx:coord>139.3</gx:coord></gx:Track></kml>");
    ASSERT_EQ(r.error, "");
    expectPoints(r.points, {{at(kMay1, 12h), 35.1, 139.1, 1}});
    // The bad when, the coord without a latitude, the when without a coord.
    EXPECT_EQ(r.summary.skipped, 3u);
}

TEST(NmeaLogs, RmcGivesPositionsAndTheGgaOfTheSameFixTheAltitude) {
    const std::string rmc1 =
        nmeaSentence("GPRMC,120000.00,A,3530.0000,N,13945.0000,E,0.0,0.0,010524,,,A");
    const std::string gga1 =
        nmeaSentence("GPGGA,120000.00,3530.0000,N,13945.0000,E,1,08,0.9,12.5,M,39.4,M,,");
    const std::string rmc2 =
        nmeaSentence("GNRMC,120001.50,A,3530.6000,S,13945.3000,W,0.0,0.0,010524,,,A");
    const std::string gga2 =
        nmeaSentence("GNGGA,120001.50,3530.6000,S,13945.3000,W,1,08,0.9,-4.2,M,39.4,M,,");
    const Point p1{at(kMay1, 12h), 35.5, 139.75, 12.5};
    const Point p2{at(kMay1, 12h + 1s + 500ms), -35.51, -139.755, -4.2};
    auto without = [](Point p) {
        p.alt = kNoAltitude;
        return p;
    };
    const struct {
        const char* name;
        std::string log;
        std::vector<Point> expected;
        std::size_t skipped;
    } cases[] = {
        {"GGA after RMC", rmc1 + gga1 + rmc2 + gga2, {p1, p2}, 0},
        {"GGA before RMC", gga1 + rmc1 + gga2 + rmc2, {p1, p2}, 0},
        {"other talkers",
         nmeaSentence("GLRMC,120000.00,A,3530.0000,N,13945.0000,E,0,0,010524,,") +
             nmeaSentence("GAGGA,120000.00,3530.0000,N,13945.0000,E,1,8,1,12.5,M,0,M,,"),
         {p1},
         0},
        {"GGA of another fix", rmc1 + gga2, {without(p1)}, 0},
        {"GGA without a fix",
         rmc1 + nmeaSentence("GPGGA,120000.00,3530.0000,N,13945.0000,E,0,00,,12.5,M,,M,,"),
         {without(p1)},
         0},
        {"RMC without a fix is no fault",
         nmeaSentence("GPRMC,115959.00,V,,,,,,,010524,,,N") + rmc1 + gga1,
         {p1},
         0},
        {"other sentences and a logger's time stamps",
         nmeaSentence("GPGSV,1,1,01,01,40,083,46") + "12:00:00.000 " + rmc1 +
             nmeaSentence("PGRMZ,93,f,3") + gga1,
         {p1},
         0},
        {"bad checksum",
         rmc1 + gga1 + "$GPRMC,120001.50,A,3530.6,S,13945.3,W,0,0,010524,,*00\n",
         {p1},
         1},
        {"no checksum",
         rmc1 + "$GPRMC,120001.50,A,3530.6000,S,13945.3000,W,0.0,0.0,010524,,\n",
         {without(p1)},
         1},
        {"line cut short", rmc1 + gga1 + rmc2.substr(0, 30) + "\n" + gga2, {p1}, 1},
        {"impossible date",
         rmc1 + gga1 + nmeaSentence("GPRMC,120001.50,A,3530.6,S,13945.3,W,0,0,310224,,"),
         {p1},
         1},
        {"minutes beyond 59",
         rmc1 + gga1 + nmeaSentence("GPRMC,120001.50,A,3560.0,N,13945.3,E,0,0,010524,,"),
         {p1},
         1},
        {"no line end after the last",
         rmc1 + gga1 + rmc2 + gga2.substr(0, gga2.size() - 2),
         {p1, p2},
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        expectRead(c.log, Format::Nmea, c.expected, c.skipped);
    }
}

TEST(BrokenLogs, WhatWasReadStaysAndALogWithoutTimedPointsIsAnError) {
    const std::string threePoints =
        gpx11("<trk><trkseg>"
              "<trkpt lat=\"35.1\" lon=\"139.1\"><time>2024-05-01T12:00:00Z</time></trkpt>\n"
              "<trkpt lat=\"35.2\" lon=\"139.2\"><time>2024-05-01T12:00:01Z</time></trkpt>\n"
              "<trkpt lat=\"35.3\" lon=\"139.3\"><time>2024-05-01T12:00:02Z</time></trkpt>\n"
              "</trkseg></trk>");
    const std::string cut = threePoints.substr(0, threePoints.find("35.3") + 20);
    const struct {
        const char* name;
        std::string log;
        std::size_t points, skipped;
        const char* message; // in the error, or in the problem when points remain
    } cases[] = {
        {"XML cut off in the third point", cut, 2, 1, "XML が 5 行目で壊れています"},
        {"XML broken in the middle", threePoints.substr(0, cut.size()) + "</gpx>", 2, 1,
         "XML が 5 行目で壊れています"},
        {"XML cut off before any point", threePoints.substr(0, 60), 0, 0,
         "「walk.gpx」に時刻のある位置がありません (XML が"},
        {"no time at all",
         gpx11("<trk><trkseg><trkpt lat=\"1\" lon=\"2\"><ele>3</ele></trkpt>"
               "</trkseg></trk>"),
         0, 0, "「walk.gpx」に時刻のある位置がありません"},
        {"coordinates out of range",
         gpx11(trkpt("2024-05-01T12:00:00Z", "95", "139") +
               trkpt("2024-05-01T12:00:00Z", "35", "-180.5") +
               trkpt("2024-05-01T12:00:00Z", "north", "139") +
               trkpt("2024-05-01T12:00:00Z", "35", "139")),
         1, 3, ""},
        {"text longer than any value",
         gpx11(trkpt("2024-05-01T12:00:00Z" + std::string(5000, ' ')) +
               trkpt("2024-05-01T12:00:00Z")),
         1, 1, ""},
        {"only bad checksums",
         "$GPRMC,120000.00,A,3530.0,N,13945.0,E,0,0,010524,,*11\n"
         "$GPRMC,120001.00,A,3530.0,N,13945.0,E,0,0,010524,,*22\n",
         0, 0, "「walk.gpx」に時刻のある位置がありません"},
        {"another XML document", "<html><body><p>2024-05-01T12:00:00Z</p></body></html>", 0, 0,
         "「walk.gpx」は GPS のログではありません"},
        {"another XML document, an empty root", "<svg/>", 0, 0,
         "「walk.gpx」は GPS のログではありません"},
        {"empty", "", 0, 0, "「walk.gpx」に時刻のある位置がありません"},
        {"binary", std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16), 0, 0,
         "「walk.gpx」に時刻のある位置がありません"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Read r = read(c.log, "walk.gpx");
        EXPECT_EQ(r.points.size(), c.points);
        if (c.points == 0) {
            EXPECT_NE(r.error.find(c.message), std::string::npos) << r.error;
            continue;
        }
        ASSERT_EQ(r.error, "");
        EXPECT_EQ(r.summary.skipped, c.skipped);
        EXPECT_NE(r.summary.problem.find(c.message), std::string::npos) << r.summary.problem;
    }
}

class Tracks : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ =
            fs::temp_directory_path() /
            ("geodot-tracks-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string write(const std::string& name, const std::string& content) {
        const fs::path p = dir_ / name;
        std::ofstream(p, std::ios::binary) << content;
        return p.string();
    }
    fs::path dir_;
};

TEST_F(Tracks, SeveralLogsMergeInTimeOrder) {
    Track track;
    // Out of order within the log; the merge puts it right.
    AddLog(track, write("a.gpx", gpx11(trkpt("2024-05-01T12:00:20Z", "3") +
                                       trkpt("2024-05-01T12:00:00Z", "1") +
                                       trkpt("2024-05-01T12:00:10Z", "2"))));
    // Interleaved with the first, and one time the first log has too.
    const LogSummary& nmeaLog =
        AddLog(track, write("b.nmea",
                            nmeaSentence("GPRMC,120005.00,A,0100.0,N,00100.0,E,0,0,010524,,") +
                                nmeaSentence("GPRMC,120010.00,A,0200.0,N,00100.0,E,0,0,010524,,") +
                                nmeaSentence("GPRMC,120030.00,A,0300.0,N,00100.0,E,0,0,010524,,")));
    EXPECT_EQ(nmeaLog.format, Format::Nmea);
    EXPECT_EQ(nmeaLog.points, 3u);
    // Seconds after 12:00 and longitude (139.5 from the GPX log, 1 from the NMEA log): equal
    // times keep the order of the logs.
    std::vector<std::pair<seconds, double>> got;
    for (const Point& p : track.points)
        got.emplace_back(duration_cast<seconds>(p.time - at(kMay1, 12h)), p.lon);
    const std::vector<std::pair<seconds, double>> expected = {
        {0s, 139.5}, {5s, 1}, {10s, 139.5}, {10s, 1}, {20s, 139.5}, {30s, 1}};
    EXPECT_EQ(got, expected);
    ASSERT_EQ(track.logs.size(), 2u);
    EXPECT_EQ(track.logs[0].name, (dir_ / "a.gpx").string());

    // A log that cannot be used leaves the track as it was.
    const std::vector<Point> before = track.points;
    for (const std::string& path : {write("c.gpx", gpx11("")), (dir_ / "missing.gpx").string()}) {
        SCOPED_TRACE(path);
        try {
            AddLog(track, path);
            ADD_FAILURE() << "no error";
        } catch (const Exif::EngineError& e) {
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        }
        EXPECT_EQ(track.points.size(), before.size());
        EXPECT_EQ(track.logs.size(), 2u);
    }
}

TEST_F(Tracks, AFileIsReadInPiecesAcrossWhichLinesAndElementsRun) {
    // Far more than one piece of the reader, with lines and elements cut at every boundary.
    std::string nmeaLog, gpxBodyText;
    constexpr int kFixes = 40000;
    for (int i = 0; i < kFixes; ++i) {
        char time[24];
        std::snprintf(time, sizeof time, "%02d%02d%02d.00", i / 3600, i / 60 % 60, i % 60);
        nmeaLog +=
            nmeaSentence(std::string("GPRMC,") + time + ",A,3530.0000,N,13945.0000,E,0,0,010524,,");
        nmeaLog += nmeaSentence(std::string("GPGGA,") + time + ",3530.0000,N,13945.0000,E,1,8,1," +
                                std::to_string(i) + ",M,0,M,,");
        gpxBodyText += "<trkpt lat=\"35.5\" lon=\"139.75\"><ele>" + std::to_string(i) +
                       "</ele><time>" + date::format("%FT%TZ", at(kMay1, seconds{i})) +
                       "</time></trkpt>\n";
    }
    for (const std::string& path :
         {write("long.nmea", nmeaLog),
          write("long.gpx", gpx11("<trk><trkseg>" + gpxBodyText + "</trkseg></trk>"))}) {
        SCOPED_TRACE(path);
        std::vector<Point> points;
        const LogSummary s = ReadLogFile(path, points);
        EXPECT_EQ(s.skipped, 0u);
        ASSERT_EQ(points.size(), std::size_t{kFixes});
        for (int i = 0; i < kFixes; ++i)
            if (points[i].time != at(kMay1, seconds{i}) || points[i].alt != i) {
                ADD_FAILURE() << "point " << i << " has altitude " << points[i].alt;
                break;
            }
    }
}

} // namespace
