// geodot-cli set as a script uses it: what lands in the files, what stays untouched, exit
// statuses and messages. exiftool reads the results back as an independent reader.
#include <gtest/gtest.h>

#include "cli/CliFixture.h"

#include "support/Files.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using testsupport::readBytes;
using testsupport::writeBytes;

namespace {

// Two saves of one edit: a GPS time stamp the file holds is renewed to the instant of each
// save, so they may differ in its three rationals (24 bytes) and nowhere else.
bool sameSaves(const Bytes& first, const Bytes& second) {
    if (first.size() != second.size())
        return false;
    std::size_t from = 0, to = first.size();
    while (from < to && first[from] == second[from])
        ++from;
    while (to > from && first[to - 1] == second[to - 1])
        --to;
    return to - from <= 24;
}

class CliSet : public CliFixture {};

// --- Positions ----------------------------------------------------------------------------------

TEST_F(CliSet, APositionGoesIntoAFileWithoutGpsAndReadsBack) {
    REQUIRE_EXIFTOOL();
    const struct {
        const char* fixture;
        double lat, lon;
        const char* alt;       // nullptr: not given
        const char* direction; // nullptr: not given
        const char* area;      // nullptr: not given
        std::vector<std::string> listing;
        const char *latRef, *lonRef, *altRef;
        double altitude;
    } cases[] = {
        {"canon-powershot-s40-le-thumb.jpg",
         35.681236,
         139.767125,
         "40.2",
         "90",
         "東京駅",
         {"北緯(N)or南緯(S)=北緯", "緯度(数値)=35度40分52.4496秒", "東経(E)or西経(W)=東経",
          "経度(数値)=139度46分1.65秒", "高度の基準=海抜基準", "高度(数値)=40.2m",
          "撮影した画像の方向の単位=真方位", "撮影した画像の方向(数値)=90°",
          "測位地点の名称=東京駅"},
         "N",
         "E",
         "0",
         40.2},
        // Big-endian; south and west; below sea level.
        {"ricoh-dc3z-be-latin1-copyright.jpg",
         -33.856784,
         -70.654321,
         "-12.5",
         "359.99",
         "Cerro Santa Lucía",
         {"北緯(N)or南緯(S)=南緯", "緯度(数値)=33度51分24.4224秒", "東経(E)or西経(W)=西経",
          "経度(数値)=70度39分15.5556秒", "高度の基準=海抜基準(負値)", "高度(数値)=12.5m",
          "撮影した画像の方向(数値)=359.99°", "測位地点の名称=Cerro Santa Lucía"},
         "S",
         "W",
         "1",
         12.5},
        // No EXIF block at all; the smallest steps either side of zero.
        {"no-exif-jfif.jpg",
         -0.000001,
         0.000001,
         nullptr,
         nullptr,
         nullptr,
         {"北緯(N)or南緯(S)=南緯", "緯度(数値)=0度0分0.0036秒", "東経(E)or西経(W)=東経",
          "経度(数値)=0度0分0.0036秒"},
         "S",
         "E",
         "0",
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fixture);
        const fs::path p = copy(c.fixture, "pic.jpg");
        std::vector<std::string> args = {"set", "--lat", std::to_string(c.lat), "--lon",
                                         std::to_string(c.lon)};
        if (c.alt)
            args.insert(args.end(), {"--alt", c.alt});
        if (c.direction)
            args.insert(args.end(), {"--direction", c.direction});
        if (c.area)
            args.insert(args.end(), {"--area", c.area});
        args.push_back(p.string());
        const Result r = run(args);
        ASSERT_EQ(r.status, 0) << r.err;

        const std::vector<std::string> listing = info(p);
        for (const std::string& line : c.listing)
            EXPECT_NE(std::find(listing.begin(), listing.end(), line), listing.end()) << line;

        auto gps = tags(p, "-GPS:all");
        EXPECT_NEAR(std::stod(gps["GPSLatitude"]), std::fabs(c.lat), 1e-6);
        EXPECT_NEAR(std::stod(gps["GPSLongitude"]), std::fabs(c.lon), 1e-6);
        EXPECT_EQ(gps["GPSLatitudeRef"], c.latRef);
        EXPECT_EQ(gps["GPSLongitudeRef"], c.lonRef);
        EXPECT_EQ(gps["GPSAltitudeRef"], c.altRef);
        EXPECT_NEAR(std::stod(gps["GPSAltitude"]), c.altitude, 1e-9);
        if (c.direction) {
            EXPECT_NEAR(std::stod(gps["GPSImgDirection"]), std::stod(c.direction), 1e-9);
            EXPECT_EQ(gps["GPSImgDirectionRef"], "T");
        } else {
            EXPECT_EQ(gps.count("GPSImgDirection"), 0u);
        }
        if (c.area) {
            EXPECT_EQ(gps["GPSAreaInformation"], c.area);
        }
    }
}

TEST_F(CliSet, APositionPastedInAnyCommonFormIsWrittenAsItReads) {
    REQUIRE_EXIFTOOL();
    const struct {
        const char* text;
        double lat, lon;
    } cases[] = {
        {"35.681236, 139.767125", 35.681236, 139.767125},
        {"-33.856784 -70.654321", -33.856784, -70.654321},
        {"35°40'52.4496\"N 139°46'1.65\"E", 35.681236, 139.767125},
        {"70°39′15.5556″W 33°51′24.4224″S", -33.856784, -70.654321},
        {"N 35° 40.87416' E 139° 46.0275'", 35.681236, 139.767125},
        {"北緯35度40分52.4496秒 東経139度46分1.65秒", 35.681236, 139.767125},
        {"南緯３３度５１分２４．４２２４秒　西経７０度３９分１５．５５５６秒", -33.856784,
         -70.654321},
        {"geo:-33.856784,-70.654321;crs=wgs84;u=20", -33.856784, -70.654321},
        {"https://www.openstreetmap.org/?mlat=35.681236&mlon=139.767125#map=12/35.6/139.7",
         35.681236, 139.767125},
        {"https://www.openstreetmap.org/#map=17/-33.856784/-70.654321", -33.856784, -70.654321},
        {"https://www.google.com/maps/@35.681236,139.767125,17z", 35.681236, 139.767125},
        {"https://maps.google.com/maps?q=-33.856784%2C-70.654321", -33.856784, -70.654321},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        // A file with a position of its own, which the new one replaces.
        const fs::path p = copy("google-pixel-le-gps.jpg", "pic.jpg");
        const Result r = run({"set", "--position", c.text, p.string()});
        ASSERT_EQ(r.status, 0) << r.err;
        auto gps = tags(p, "-GPS:all");
        const double lat = std::stod(gps["GPSLatitude"]) * (gps["GPSLatitudeRef"] == "S" ? -1 : 1);
        const double lon =
            std::stod(gps["GPSLongitude"]) * (gps["GPSLongitudeRef"] == "W" ? -1 : 1);
        EXPECT_NEAR(lat, c.lat, 2e-6);
        EXPECT_NEAR(lon, c.lon, 2e-6);
    }
}

TEST_F(CliSet, RemoveGpsTakesThePositionAndKeepsTheOtherGpsTags) {
    REQUIRE_EXIFTOOL();
    const struct {
        const char* fixture;
        std::map<std::string, std::string> kept;
    } cases[] = {
        {"google-pixel-le-gps.jpg", {{"GPSTimeStamp", "14:34:23"}, {"GPSDOP", "18"}}},
        {"nikon-d800-be-gps-xmp-mpf-app1-full.jpg",
         {{"GPSTimeStamp", "13:52:34"}, {"GPSSatellites", "10"}, {"GPSMapDatum", "WGS 84"}}},
    };
    const char* const removed[] = {"GPSVersionID",    "GPSLatitudeRef",     "GPSLatitude",
                                   "GPSLongitudeRef", "GPSLongitude",       "GPSAltitudeRef",
                                   "GPSAltitude",     "GPSImgDirectionRef", "GPSImgDirection"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fixture);
        const fs::path p = copy(c.fixture, "pic.jpg");
        const Result r = run({"set", "--remove-gps", p.string()});
        ASSERT_EQ(r.status, 0) << r.err;
        const auto gps = tags(p, "-GPS:all");
        for (const char* tag : removed)
            EXPECT_EQ(gps.count(tag), 0u) << tag;
        for (const auto& [tag, value] : c.kept)
            EXPECT_EQ(gps.count(tag) ? gps.at(tag) : "(missing)", value) << tag;
        for (const std::string& line : info(p))
            EXPECT_FALSE(contains(line, "緯度") || contains(line, "経度")) << line;
        EXPECT_EQ(dump(p, {"[GPS]"}), dump(kFixtures / c.fixture, {"[GPS]"}));
    }
}

// The date stamp is today's, so the camera's time of day must not stay beside it: other
// programs would report an instant that never was.
TEST_F(CliSet, APositionRenewsTheGpsTimeWithTheDate) {
    REQUIRE_EXIFTOOL();
    const fs::path p = copy("google-pixel-le-gps.jpg", "pic.jpg");
    ASSERT_EQ(tags(p, "-GPS:GPSTimeStamp")["GPSTimeStamp"], "14:34:23");
    const std::time_t before = std::time(nullptr);
    ASSERT_EQ(run({"set", "--lat", "35", "--lon", "139", p.string()}).status, 0);
    const std::time_t after = std::time(nullptr);
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
    const std::string instant = tags(p, "-Composite:GPSDateTime")["GPSDateTime"];
    ASSERT_EQ(std::sscanf(instant.c_str(), "%d:%d:%d %d:%d:%dZ", &y, &mo, &d, &h, &mi, &sec), 6)
        << instant;
    EXPECT_GE(utc(y, mo, d, h, mi, sec), before) << instant;
    EXPECT_LE(utc(y, mo, d, h, mi, sec), after) << instant;
}

// --- Text ---------------------------------------------------------------------------------------

TEST_F(CliSet, TextOptionsWriteTheirTagsAndAnEmptyTextRemovesThem) {
    REQUIRE_EXIFTOOL();
    const fs::path p = copy("canon-powershot-s40-le-thumb.jpg", "pic.jpg");
    Result r =
        run({"set", "--title", "A title", "--artist", "Ann Artist", "--copyright-photographer",
             "Photo Co", "--copyright-editor", "Edit Co", "--comment", "日本の駅 é", "--owner",
             "Owen", "-o", (dir_ / "out.jpg").string(), p.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const fs::path out = dir_ / "out.jpg";
    auto t = tags(out, "-IFD0:all -ExifIFD:all");
    EXPECT_EQ(t["ImageDescription"], "A title");
    EXPECT_EQ(t["Artist"], "Ann Artist");
    EXPECT_EQ(t["UserComment"], "日本の駅 é");
    EXPECT_EQ(t["OwnerName"], "Owen");
    const std::vector<std::string> listing = info(out);
    for (const char* line : {"画像タイトル=A title", "アーティスト=Ann Artist",
                             "撮影著作権者/編集著作権者=Photo Co/Edit Co",
                             "ユーザーコメント=日本の駅 é", "カメラ所有者名=Owen"})
        EXPECT_NE(std::find(listing.begin(), listing.end(), line), listing.end()) << line;

    // Latin-1 fits an ASCII tag as it is.
    r = run({"set", "--title", "Café", out.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(exiftool("-b -IFD0:ImageDescription " + quote(out.string())), "Caf\xE9");

    r = run({"set", "--title", "", "--artist", "", "--copyright-photographer", "",
             "--copyright-editor", "", "--comment", "", "--owner", "", out.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    t = tags(out, "-IFD0:all -ExifIFD:all");
    for (const char* tag : {"ImageDescription", "Artist", "Copyright", "UserComment", "OwnerName"})
        EXPECT_EQ(t.count(tag), 0u) << tag;
    EXPECT_EQ(t["Make"], "Canon");
}

TEST_F(CliSet, ALineBreakInsideATextStaysInTheFileAndOnOneListingLine) {
    REQUIRE_EXIFTOOL();
    const fs::path p = copy("canon-powershot-s40-le-thumb.jpg", "pic.jpg");
    ASSERT_EQ(run({"set", "--title", "first\nsecond", p.string()}).status, 0);
    EXPECT_EQ(exiftool("-b -IFD0:ImageDescription " + quote(p.string())), "first\nsecond");
    const std::vector<std::string> listing = info(p);
    EXPECT_NE(std::find(listing.begin(), listing.end(), "画像タイトル=first\\x0Asecond"),
              listing.end());
    EXPECT_EQ(std::find(listing.begin(), listing.end(), "second"), listing.end());
}

TEST_F(CliSet, AnEmptyTitleRemovesTheCamerasTitleAndNothingElse) {
    REQUIRE_EXIFTOOL();
    const fs::path p = copy("olympus-pen-ep3-le-thumb.jpg", "pic.jpg");
    ASSERT_EQ(tags(p, "-IFD0:ImageDescription")["ImageDescription"], "OLYMPUS DIGITAL CAMERA");
    const Result r = run({"set", "--title", "", p.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(tags(p, "-IFD0:ImageDescription").count("ImageDescription"), 0u);
    EXPECT_EQ(dump(p, {"ImageDescription"}),
              dump(kFixtures / "olympus-pen-ep3-le-thumb.jpg", {"ImageDescription"}));
}

TEST_F(CliSet, MultibyteTextInAsciiTagsIsWrittenWhenAllowed) {
    REQUIRE_EXIFTOOL();
    const struct {
        const char* name;
        std::string settings;
        std::vector<std::string> options;
        std::string bytes;
    } cases[] = {
        {"options, SJIS", "", {"--ambiguous", "--transcode-to", "SJIS"}, "\x93\xFA\x96\x7B"},
        {"settings file, SJIS",
         "[CONFIG]\nAmbiguous=1\nTranscodeTo=SJIS\n",
         {},
         "\x93\xFA\x96\x7B"},
        {"settings file, option wins",
         "[CONFIG]\nAmbiguous=1\nTranscodeTo=SJIS\n",
         {"--transcode-to", "UNICODE"},
         std::string("\xE5\x65\x2C\x67", 4)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        settings(c.settings);
        const fs::path p = copy("canon-powershot-s40-le-thumb.jpg", "pic.jpg");
        std::vector<std::string> args = {"set"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.insert(args.end(), {"--title", "日本", p.string()});
        const Result r = run(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(exiftool("-b -IFD0:ImageDescription " + quote(p.string())), c.bytes);
        if (c.options.empty()) {
            // Read with the same settings, the title comes back.
            const std::vector<std::string> listing = info(p);
            EXPECT_NE(std::find(listing.begin(), listing.end(), "画像タイトル=日本"),
                      listing.end());
        }
    }
}

// --- What stays -------------------------------------------------------------------------------

TEST_F(CliSet, ATitleChangesNothingElse) {
    REQUIRE_EXIFTOOL();
    const struct {
        const char* fixture;
        std::vector<std::string> alsoChanged;
    } cases[] = {
        {"canon-powershot-s40-le-thumb.jpg", {}},
        {"google-pixel-le-gps.jpg", {}},
        {"nikon-d800-be-gps-xmp-mpf-app1-full.jpg", {}},
        {"dji-fc6310r-le-gps-xmp.jpg", {}},
        {"olympus-pen-ep3-le-thumb.jpg", {}},
        {"nomake-be-gps-unicode-usercomment.jpg", {}},
        // The JFIF segment and its JFXX extension are not carried into an EXIF file; exiftool
        // reads the SPIFF header in the byte order of the segment before it, which is then no
        // longer the big-endian JFIF.
        {"exiftool-many-app-segments.jpg", {"[JFXX]", "[SPIFF]"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fixture);
        const fs::path p = copy(c.fixture, "pic.jpg");
        const Result r = run({"set", "--title", "X", p.string()});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(tags(p, "-IFD0:ImageDescription")["ImageDescription"], "X");
        // Every other tag, the GPS ones and the maker note's decoded entries included.
        std::vector<std::string> changed = c.alsoChanged;
        changed.push_back("ImageDescription");
        EXPECT_EQ(dump(p, changed), dump(kFixtures / c.fixture, changed));
    }
    // The maker note's bytes where it points only inside itself.
    for (const char* fixture :
         {"canon-powershot-s40-le-thumb.jpg", "google-pixel-le-gps.jpg",
          "nikon-d800-be-gps-xmp-mpf-app1-full.jpg", "olympus-pen-ep3-le-thumb.jpg"}) {
        SCOPED_TRACE(fixture);
        const fs::path p = copy(fixture, "pic.jpg");
        ASSERT_EQ(run({"set", "--title", "X", p.string()}).status, 0);
        const std::string before =
            exiftool("-b -MakerNotes " + quote((kFixtures / fixture).string()));
        EXPECT_GT(before.size(), 100u);
        EXPECT_EQ(exiftool("-b -MakerNotes " + quote(p.string())), before);
    }
}

TEST_F(CliSet, TextTagsNotGivenKeepTheirBytesPaddingAndAll) {
    REQUIRE_EXIFTOOL();
    // Cameras pad their titles with blanks; a field that was not given is not rewritten.
    for (const char* fixture :
         {"olympus-pen-ep3-le-thumb.jpg", "nikon-coolpix-p6000-le-gps-xmp.jpg",
          "ricoh-dc3z-be-latin1-copyright.jpg"}) {
        SCOPED_TRACE(fixture);
        const fs::path p = copy(fixture, "pic.jpg");
        const Result r = run({"set", "--artist", "A", "--comment", "c", p.string()});
        ASSERT_EQ(r.status, 0) << r.err;
        for (const char* tag : {"IFD0:ImageDescription", "IFD0:Copyright", "ExifIFD:OwnerName"}) {
            const std::string select = std::string("-b -") + tag + " ";
            EXPECT_EQ(exiftool(select + quote(p.string())),
                      exiftool(select + quote((kFixtures / fixture).string())))
                << tag;
        }
    }
}

TEST_F(CliSet, OutputGoesToAnotherFileAndTheSourceStays) {
    REQUIRE_EXIFTOOL();
    const fs::path src = copy("dji-fc6310r-le-gps-xmp.jpg", "src.jpg");
    const Bytes original = readBytes(src);
    const fs::path out = dir_ / "out.jpg";
    Result r = run({"set", "--alt", "5", "-o", out.string(), src.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readBytes(src), original);
    EXPECT_EQ(tags(out, "-GPS:GPSAltitude")["GPSAltitude"], "5");
    EXPECT_EQ(tags(src, "-GPS:GPSAltitude")["GPSAltitude"], "289.405");

    // An existing output is replaced; a missing folder fails and creates nothing.
    r = run({"set", "--alt", "7", "--output=" + out.string(), src.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(tags(out, "-GPS:GPSAltitude")["GPSAltitude"], "7");
    r = run({"set", "--alt", "7", "-o", (dir_ / "gone/out.jpg").string(), src.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "gone/out.jpg")) << r.err;
    EXPECT_FALSE(fs::exists(dir_ / "gone"));
    EXPECT_EQ(readBytes(src), original);
}

// --- Batches and refusals ------------------------------------------------------------------------

TEST_F(CliSet, ABatchWritesTheGoodFilesAndNamesTheBadOnes) {
    REQUIRE_EXIFTOOL();
    // More files than the command saves at once, large and small, the failures among them.
    const fs::path bad = copy("malformed/no-soi-bare-tiff.jpg", "bad.jpg");
    const fs::path missing = dir_ / "missing.jpg";
    const std::vector<fs::path> good = {copy("canon-powershot-s40-le-thumb.jpg", "1.jpg"),
                                        copy("google-pixel-le-gps.jpg", "2.jpg"),
                                        copy("no-exif-jfif.jpg", "3.jpg"),
                                        copy("dji-fc6310r-le-gps-xmp.jpg", "4.jpg"),
                                        copy("google-pixel-le-gps.jpg", "5.jpg"),
                                        copy("nikon-d800-be-gps-xmp-mpf-app1-full.jpg", "6.jpg")};
    const Bytes badBytes = readBytes(bad);

    const Result r = run({"set", "--lat", "12.5", "--lon", "-45.25", good[0].string(), bad.string(),
                          good[1].string(), missing.string(), good[2].string(), good[3].string(),
                          good[4].string(), good[5].string()});

    EXPECT_EQ(r.status, 1);
    const std::vector<std::string> errors = lines(r.err);
    ASSERT_EQ(errors.size(), 2u) << r.err;
    EXPECT_EQ(errors[0], "geodot-cli: " + bad.string() + ": JPEG ファイルではありません");
    EXPECT_TRUE(contains(errors[1], "geodot-cli: " + missing.string() + ": ")) << errors[1];
    EXPECT_EQ(readBytes(bad), badBytes);
    EXPECT_FALSE(fs::exists(missing));
    for (const fs::path& p : good) {
        auto gps = tags(p, "-GPS:all");
        EXPECT_EQ(gps["GPSLatitude"], "12.5") << p;
        EXPECT_EQ(gps["GPSLongitude"], "45.25") << p;
        EXPECT_EQ(gps["GPSLongitudeRef"], "W") << p;
    }
    EXPECT_TRUE(sameSaves(readBytes(good[1]), readBytes(good[4])));
}

// A file named twice in one call, also through a link, is edited again after its first save,
// as if the files were saved one after the other.
TEST_F(CliSet, AFileNamedTwiceIsSavedTwiceInTurn) {
    const fs::path p = copy("google-pixel-le-gps.jpg", "pic.jpg");
    const fs::path once = copy("google-pixel-le-gps.jpg", "once.jpg");
    fs::create_symlink("pic.jpg", dir_ / "link.jpg");
    ASSERT_EQ(run({"set", "--title", "T", once.string()}).status, 0);
    const Result r = run({"set", "--title", "T", p.string(), (dir_ / "link.jpg").string(), p.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(readBytes(p) == readBytes(once));
    EXPECT_TRUE(fs::is_symlink(dir_ / "link.jpg"));
}

// Whether a photo is saved over depends on what it holds when the save comes, not on its time
// or its inode. A batch reads the files of a group before it saves any; two named pipes after
// the photo hold the command between the two: it has read and edited the photo when it waits
// at the first pipe, and it goes on to the saves once the second is opened, after the change.
TEST_F(CliSet, SavingOverAPhotoDependsOnWhetherItsContentChangedMeanwhile) {
    const auto replaceWith = [](const fs::path& p, const fs::path& with) {
        fs::copy_file(with, p.string() + ".new");
        fs::rename(p.string() + ".new", p);
    };
    const fs::path fixture = kFixtures / "google-pixel-le-gps.jpg";
    const struct {
        const char* what;
        std::function<void(const fs::path&)> change;
        const char* refusal; // nullptr: saved
    } cases[] = {
        {"touched", [](const fs::path& p) { fs::last_write_time(p, fs::file_time_type::clock::now() - std::chrono::hours(30)); },
         nullptr},
        {"replaced by an identical copy", [&](const fs::path& p) { replaceWith(p, fixture); },
         nullptr},
        {"replaced by another photo",
         [&](const fs::path& p) { replaceWith(p, kFixtures / "no-exif-jfif.jpg"); },
         "開いた後でほかのプログラムに変更されています。再読み込みするか、別名で保存してください"},
        {"deleted", [](const fs::path& p) { fs::remove(p); },
         "ファイルが見つかりません (No such file or directory)。別名で保存してください"},
    };
    const fs::path expected = copy("google-pixel-le-gps.jpg", "expected.jpg");
    ASSERT_EQ(run({"set", "--alt", "12", expected.string()}).status, 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path p = copy("google-pixel-le-gps.jpg", "photo.jpg");
        const fs::path read = dir_ / "read", go = dir_ / "go";
        ASSERT_EQ(mkfifo(read.c_str(), 0600), 0);
        ASSERT_EQ(mkfifo(go.c_str(), 0600), 0);
        auto command = std::async(std::launch::async, [&] {
            return run({"set", "--alt", "12", p.string(), read.string(), go.string()});
        });
        // Opening a pipe for writing without waiting works once a reader has it open.
        const auto openForWriting = [](const fs::path& pipe) {
            for (int tries = 0; tries < 3000; ++tries) {
                const int fd = open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0)
                    return close(fd) == 0;
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            return false;
        };
        const bool reached = openForWriting(read);
        c.change(p);
        const bool released = openForWriting(go);
        const Result r = command.get();
        ASSERT_TRUE(reached && released) << r.err;
        fs::remove(read);
        fs::remove(go);

        EXPECT_EQ(r.status, 1) << "the pipes are no photos";
        const bool refused = contains(r.err, "geodot-cli: " + p.string() + ": ");
        if (c.refusal) {
            EXPECT_TRUE(refused && contains(r.err, c.refusal)) << r.err;
            if (fs::exists(p)) {
                EXPECT_TRUE(readBytes(p) == readBytes(kFixtures / "no-exif-jfif.jpg"));
            }
        } else {
            EXPECT_FALSE(refused) << r.err;
            EXPECT_TRUE(sameSaves(readBytes(p), readBytes(expected)));
        }
        std::error_code ec;
        fs::remove(p, ec);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 3)
            << "config, stderr.txt and the expected photo only";
    }
}

TEST_F(CliSet, RefusedEditsLeaveTheFileUntouched) {
    const struct {
        const char* fixture;
        std::vector<std::string> options;
        const char* message;
    } cases[] = {
        // No position to add to: the tool does not invent one.
        {"canon-powershot-s40-le-thumb.jpg", {"--alt", "5"}, "GPS の位置がありません"},
        {"canon-powershot-s40-le-thumb.jpg", {"--direction", "10"}, "GPS の位置がありません"},
        {"canon-powershot-s40-le-thumb.jpg", {"--no-direction"}, "GPS の位置がありません"},
        {"no-exif-jfif.jpg", {"--area", "Kyoto"}, "GPS の位置がありません"},
        {"canon-eos40d-gimp-le-gps-versiononly.jpg", {"--alt", "5"}, "GPS の位置がありません"},
        // Beyond U+00FF in an ASCII tag.
        {"canon-powershot-s40-le-thumb.jpg", {"--title", "日本"}, "画像タイトル (#010E)"},
        {"olympus-pen-ep3-le-thumb.jpg", {"--artist", "Zoë Ωmega"}, "アーティスト (#013B)"},
        {"canon-powershot-s40-le-thumb.jpg", {"--copyright-editor", "編集"}, "著作権者 (#8298)"},
        {"google-pixel-le-gps.jpg",
         {"--owner", "所有者", "--title", "ok"},
         "カメラ所有者名 (#A430)"},
        // Numbers the file cannot hold.
        {"dji-fc6310r-le-gps-xmp.jpg", {"--alt", "-1e12"}, "高度"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fixture) + " " + c.options[0]);
        const fs::path p = copy(c.fixture, "pic.jpg");
        const Bytes before = readBytes(p);
        std::vector<std::string> args = {"set"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back(p.string());
        const Result r = run(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(contains(r.err, p.string())) << r.err;
        EXPECT_TRUE(contains(r.err, c.message)) << r.err;
        EXPECT_EQ(readBytes(p), before);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 3)
            << "config, stderr.txt and the picture only";
    }
}

TEST_F(CliSet, UsageErrorsExitWithTwoAndTouchNothing) {
    const struct {
        std::vector<std::string> options; // the picture is added after them
        const char* message;
    } cases[] = {
        {{"--lat", "1"}, "--lat and --lon go together"},
        {{"--lon", "1"}, "--lat and --lon go together"},
        {{"--lat", "91", "--lon", "0"}, "--lat must lie between -90 and 90"},
        {{"--lat", "-90.000001", "--lon", "0"}, "--lat must lie between"},
        {{"--lat", "0", "--lon", "-180.5"}, "--lon must lie between -180 and 180"},
        {{"--lat", "nan", "--lon", "0"}, "--lat"},
        {{"--lat", "1,5", "--lon", "0"}, "--lat"},
        {{"--alt", "inf"}, "--alt"},
        {{"-o", "x.jpg", "other.jpg"}, "-o needs exactly one file"},
        {{"--bogus"}, "unknown option --bogus"},
        {{"--remove-gps", "--lat", "1", "--lon", "2"}, "--remove-gps cannot be combined"},
        {{"--remove-gps", "--area", "x"}, "--remove-gps cannot be combined"},
        {{"--direction", "1", "--no-direction"}, "exclude each other"},
        {{"--transcode-to", "KOI8"}, "unknown code"},
        {{"--keep-time=1"}, "takes no value"},
        {{"--title"}, "--title needs a value"}, // the picture becomes the title: no file
        // A position that cannot be read says why.
        {{"--position", "hello"}, "--position: 位置として読み取れません"},
        {{"--position", "95, 10"}, "--position: 緯度 95 は -90 から 90 の範囲外です"},
        {{"--position", "35.6"}, "--position: 緯度と経度の両方が必要です"},
        {{"--position", "35.6, 139.7", "--lat", "1", "--lon", "2"},
         "--position cannot be combined with --lat or --lon"},
        {{"--lon", "2", "--position", "35.6, 139.7"}, "--position cannot be combined"},
        {{"--remove-gps", "--position", "35.6, 139.7"}, "--remove-gps cannot be combined"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options[0] + " " + c.message);
        const fs::path p = copy("google-pixel-le-gps.jpg", "pic.jpg");
        const Bytes before = readBytes(p);
        std::vector<std::string> args = {"set"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        if (c.options[0] != "--title")
            args.push_back(p.string());
        const Result r = run(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(contains(r.err, "geodot-cli set: ")) << r.err;
        EXPECT_TRUE(contains(r.err, c.message)) << r.err;
        EXPECT_TRUE(contains(r.err, "Usage:")) << r.err;
        EXPECT_EQ(readBytes(p), before);
        EXPECT_FALSE(fs::exists(dir_ / "x.jpg"));
    }
    EXPECT_EQ(run({"set"}).status, 2);
}

// --- Settings and engine options
// ------------------------------------------------------------------

TEST_F(CliSet, TheSettingsFileDecidesWhetherBytesAfterTheImageStay) {
    const Bytes source = readBytes(kFixtures / "canon-powershot-s40-le-thumb.jpg");
    ASSERT_EQ(Bytes(source.end() - 2, source.end()), (Bytes{0xFF, 0xD9}));
    const Bytes trailer = {'T', 'R', 'A', 'I', 'L', 'E', 'R', 0,    1,    2,
                           3,   4,   5,   6,   7,   8,   9,   0xFF, 0xD8, 0};
    Bytes withTrailer = source;
    withTrailer.insert(withTrailer.end(), trailer.begin(), trailer.end());

    const struct {
        const char* settings;
        const char* option; // nullptr: none
        bool kept;
    } cases[] = {
        {"", nullptr, true},
        {"[CONFIG]\nAfterEOI=0\n", nullptr, false},
        {"[CONFIG]\nAfterEOI=0x0\n", nullptr, false},
        {"[config]\naftereoi=0\n", nullptr, false},
        {"[CONFIG]\nAfterEOI=1\n", nullptr, true},
        {"[CONFIG]\nAfterEOI=0\n", "--after-eoi", true},
        {"[CONFIG]\nAfterEOI=1\n", "--no-after-eoi", false},
        {"", "--no-after-eoi", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.settings) + (c.option ? c.option : ""));
        settings(c.settings);
        const fs::path p = dir_ / "pic.jpg";
        writeBytes(p, withTrailer);
        std::vector<std::string> args = {"set", "--title", "X"};
        if (c.option)
            args.push_back(c.option);
        args.push_back(p.string());
        const Result r = run(args);
        ASSERT_EQ(r.status, 0) << r.err;
        const Bytes out = readBytes(p);
        ASSERT_GT(out.size(), trailer.size() + 2);
        Bytes endAndTrailer = {0xFF, 0xD9};
        endAndTrailer.insert(endAndTrailer.end(), trailer.begin(), trailer.end());
        if (c.kept)
            EXPECT_EQ(
                Bytes(out.end() - static_cast<std::ptrdiff_t>(endAndTrailer.size()), out.end()),
                endAndTrailer);
        else
            EXPECT_EQ(Bytes(out.end() - 4, out.end()), (Bytes{0xC8, 0xD9, 0xFF, 0xD9}));
    }
}

TEST_F(CliSet, KeepTimeStampsTheSavedFileWithThePicturesDate) {
    // The Canon file's DateTime is 2003:12:14 12:01:44; the JFIF file has no dates at all and so
    // keeps its own time, to the second. Rule strings stand in for zone names.
    const std::time_t canon = utc(2003, 12, 14, 12, 1, 44);
    const std::time_t own = utc(2001, 2, 3, 4, 5, 6);
    const struct {
        const char* fixture;
        const char* tz;
        const char* settings;
        bool option;
        std::time_t expected;
    } cases[] = {
        {"canon-powershot-s40-le-thumb.jpg", "UTC0", "", true, canon},
        {"canon-powershot-s40-le-thumb.jpg", "JST-9", "", true, canon - 9 * 3600},
        {"canon-powershot-s40-le-thumb.jpg", "EST5EDT,M3.2.0,M11.1.0",
         "[CONFIG]\nTimestampOriginal=1\n", false, canon + 5 * 3600},
        {"no-exif-jfif.jpg", "CET-1CEST,M3.5.0,M10.5.0/3", "", true, own},
        {"nikon-d800-be-gps-xmp-mpf-app1-full.jpg", "UTC0", "", true,
         utc(2012, 10, 31, 14, 52, 33)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fixture) + " " + c.tz);
        settings(c.settings);
        const fs::path p = copy(c.fixture, "pic.jpg");
        const timespec times[2] = {{0, UTIME_OMIT}, {own, 700000000}};
        ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
        std::vector<std::string> args = {"set", "--title", "X", p.string()};
        if (c.option)
            args.insert(args.begin() + 1, "--keep-time");
        const Result r = run(args, std::string("TZ=") + quote(c.tz));
        ASSERT_EQ(r.status, 0) << r.err;
        struct stat st {};
        ASSERT_EQ(stat(p.c_str(), &st), 0);
        EXPECT_EQ(st.st_mtim.tv_sec, c.expected);
    }
    // A picture without dates keeps its own time exactly, also in the hour that repeats when
    // summer time ends (local time alone cannot tell its two moments apart).
    {
        settings("");
        const fs::path p = copy("no-exif-jfif.jpg", "pic.jpg");
        const std::time_t firstOfTwo = utc(2023, 10, 29, 0, 30, 0); // 02:30 CEST
        const timespec times[2] = {{0, UTIME_OMIT}, {firstOfTwo, 250000000}};
        ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
        const Result r = run({"set", "--keep-time", "--title", "X", p.string()},
                             std::string("TZ=") + quote("CET-1CEST,M3.5.0,M10.5.0/3"));
        ASSERT_EQ(r.status, 0) << r.err;
        struct stat st {};
        ASSERT_EQ(stat(p.c_str(), &st), 0);
        EXPECT_EQ(st.st_mtim.tv_sec, firstOfTwo);
        EXPECT_EQ(st.st_mtim.tv_nsec, 250000000);
    }
    // Without the option the saved file is new.
    settings("");
    const fs::path p = copy("canon-powershot-s40-le-thumb.jpg", "pic.jpg");
    const timespec times[2] = {{0, UTIME_OMIT}, {own, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
    const std::time_t start = std::time(nullptr);
    ASSERT_EQ(run({"set", "--title", "X", p.string()}).status, 0);
    struct stat st {};
    ASSERT_EQ(stat(p.c_str(), &st), 0);
    EXPECT_GE(st.st_mtim.tv_sec, start - 1);
}

TEST_F(CliSet, TheSameEditOnTwoCopiesGivesTheSameBytes) {
    for (const char* fixture : {"dji-fc6310r-le-gps-xmp.jpg", "no-exif-jfif.jpg",
                                "nikon-d800-be-gps-xmp-mpf-app1-full.jpg"}) {
        SCOPED_TRACE(fixture);
        const fs::path a = copy(fixture, "a.jpg"), b = copy(fixture, "b.jpg");
        const std::vector<std::string> options = {
            "set",     "--lat", "-10.5",  "--lon", "20.25",     "--alt",   "-3",
            "--title", "T",     "--area", "場所",  "--comment", "コメント"};
        std::vector<std::string> args = options;
        args.push_back(a.string());
        ASSERT_EQ(run(args).status, 0);
        args.back() = b.string();
        ASSERT_EQ(run(args).status, 0);
        EXPECT_TRUE(sameSaves(readBytes(a), readBytes(b)));
    }
}

// --- Saving saved files, directions, multi-picture files ---------------------------------------

// Saving a saved file again with the same request gives the same bytes: what is kept after the
// maker note does not accumulate the zeroed leftovers of earlier saves.
TEST_F(CliSet, SavingASavedFileAgainChangesNothing) {
    for (const char* fixture : {"canon-powershot-s40-le-thumb.jpg", "google-pixel-le-gps.jpg",
                                "dji-fc6310r-le-gps-xmp.jpg"}) {
        SCOPED_TRACE(fixture);
        const fs::path p = copy(fixture, "pic.jpg");
        ASSERT_EQ(run({"set", "--title", "T", p.string()}).status, 0);
        const Bytes once = readBytes(p);
        ASSERT_EQ(run({"set", "--title", "T", p.string()}).status, 0);
        const Bytes twice = readBytes(p);
        EXPECT_EQ(twice.size(), once.size());
        EXPECT_TRUE(twice == once);
    }
}

// A GPS edit that leaves the direction alone keeps it magnetic: the Nikon file's 100.53°
// magnetic does not become 100.53° true when only the place name is set.
TEST_F(CliSet, AGpsEditKeepsAMagneticDirection) {
    REQUIRE_EXIFTOOL();
    const fs::path p = copy("nikon-d800-be-gps-xmp-mpf-app1-full.jpg", "pic.jpg");
    ASSERT_EQ(tags(p, "-GPS:all")["GPSImgDirectionRef"], "M");
    ASSERT_EQ(run({"set", "--area", "Salzburg", p.string()}).status, 0);
    auto gps = tags(p, "-GPS:all");
    EXPECT_EQ(gps["GPSImgDirectionRef"], "M");
    EXPECT_EQ(gps["GPSImgDirection"], "100.53");
}

// A copy of `first` with an MPF segment behind its EXIF segment whose index lists `second`,
// appended after the first picture, as cameras store a large preview or a depth map.
Bytes withSecondPicture(const Bytes& first, const Bytes& second) {
    auto segmentEnd = [&](std::size_t p) { return p + 2 + (first[p + 2] << 8 | first[p + 3]); };
    std::size_t p = 2;
    while (!(first[p] == 0xFF && first[p + 1] == 0xE1))
        p = segmentEnd(p);
    const std::size_t insertAt = segmentEnd(p);
    constexpr std::uint32_t kSegment = 2 + 2 + 4 + 8 + 2 + 3 * 12 + 4 + 2 * 16;
    const auto total = static_cast<std::uint32_t>(first.size() + kSegment);
    const auto header = static_cast<std::uint32_t>(insertAt + 8); // the MPF offsets count from here
    Bytes seg = {0xFF, 0xE2, 0, kSegment - 2, 'M', 'P', 'F', 0, 'I', 'I', 42, 0, 8, 0, 0, 0};
    auto u16 = [&](std::uint16_t v) {
        seg.insert(seg.end(), {std::uint8_t(v), std::uint8_t(v >> 8)});
    };
    auto u32 = [&](std::uint32_t v) { u16(std::uint16_t(v)), u16(std::uint16_t(v >> 16)); };
    u16(3);
    u16(0xB000), u16(7), u32(4), seg.insert(seg.end(), {'0', '1', '0', '0'});
    u16(0xB001), u16(4), u32(1), u32(2);
    u16(0xB002), u16(7), u32(32), u32(8 + 2 + 3 * 12 + 4);
    u32(0);
    u32(0x20030000), u32(total), u32(0), u16(0), u16(0);
    u32(0x00010001), u32(static_cast<std::uint32_t>(second.size())), u32(total - header), u16(0),
        u16(0);
    Bytes out(first.begin(), first.begin() + static_cast<std::ptrdiff_t>(insertAt));
    out.insert(out.end(), seg.begin(), seg.end());
    out.insert(out.end(), first.begin() + static_cast<std::ptrdiff_t>(insertAt), first.end());
    out.insert(out.end(), second.begin(), second.end());
    return out;
}

// The comment segment a save adds goes right behind the EXIF block, so the second picture of a
// multi-picture file stays where the MPF index says (relative to the index).
TEST_F(CliSet, TheMultiPictureIndexStillFindsTheSecondPicture) {
    REQUIRE_EXIFTOOL();
    const Bytes second = readBytes(kFixtures / "no-exif-jfif.jpg");
    const fs::path p = dir_ / "pic.jpg";
    writeBytes(p, withSecondPicture(readBytes(kFixtures / "olympus-pen-ep3-le-thumb.jpg"), second));
    const std::string extract = "-b -MPImage2:PreviewImage " + quote(p.string());
    ASSERT_EQ(exiftool(extract), std::string(second.begin(), second.end()));
    ASSERT_EQ(run({"set", "--title", "X", p.string()}).status, 0);
    EXPECT_TRUE(exiftool(extract) == std::string(second.begin(), second.end()));
}

} // namespace
