// Real camera files: the listing agrees with what an independent reader finds in them, and
// broken files open or fail cleanly.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>

#include "TextCodec.h"
#include "support/EngineTest.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

const fs::path kFixtures = GEODOT_FIXTURES;

std::vector<fs::path> jpegsIn(const fs::path& dir) {
    std::vector<fs::path> out;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().extension() == ".jpg")
            out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

std::string run(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p)
        return out;
    char buf[4096];
    while (std::size_t n = fread(buf, 1, sizeof buf, p))
        out.append(buf, n);
    pclose(p);
    return out;
}

class SampleFiles : public EngineTest {
protected:
    static bool analyzeFile(const fs::path& path) {
        Exif::ResetEngine();
        Exif::FmStream.loadFromFile(path.string());
        return Exif::AnalyzeExif();
    }

    // description → value of the first listing line with that description, trimmed.
    static std::map<std::string, std::string> listedValues() {
        std::map<std::string, std::string> values;
        for (const auto& line : Exif::ExifStrings) {
            const std::u16string shown = line.substr(0, line.find(u'\0'));
            const auto eq = shown.find(u'=');
            if (eq == std::u16string::npos)
                continue;
            values.emplace(utf8(shown.substr(0, eq)), utf8(ExifDetails::Trim(shown.substr(eq + 1))));
        }
        return values;
    }

    // A position as the listing shows it ("35度40分53.1秒" and "北緯") in signed degrees.
    static double degreesOf(const std::string& dms, bool negative) {
        double parts[3] = {0, 0, 0};
        std::u16string s = TextCodec::FromUtf8(dms);
        std::size_t k = 0, start = 0;
        for (std::size_t i = 0; i < s.size() && k < 3; ++i) {
            if (s[i] == u'度' || s[i] == u'分' || s[i] == u'秒') {
                parts[k++] = std::stod(TextCodec::ToUtf8(s.substr(start, i - start)));
                start = i + 1;
            }
        }
        const double v = parts[0] + parts[1] / 60 + parts[2] / 3600;
        return negative ? -v : v;
    }

    // The exposure time shown as "1/250秒" or "2秒", in seconds.
    static double secondsOf(std::string shown) {
        shown = shown.substr(0, shown.find("秒"));
        if (shown.rfind("1/", 0) == 0)
            return 1 / std::stod(shown.substr(2));
        return std::stod(shown);
    }
};

// What the other reader sees: tag → value with -n (numbers unformatted), "-" when missing.
std::map<std::string, std::string> peerValues(const fs::path& file) {
    static const char* kTags[] = {"Make", "Model", "DateTimeOriginal", "ExposureTime", "FNumber",
                                  "FocalLength", "GPSLatitudeRef", "GPSLatitude",
                                  "GPSLongitudeRef", "GPSLongitude"};
    std::string cmd = "exiftool -q -q -n -s3 -f";
    for (const char* t : kTags)
        cmd += std::string(" -EXIF:") + t;
    std::istringstream out(run(cmd + " '" + file.string() + "' 2>/dev/null"));
    std::map<std::string, std::string> values;
    std::string line;
    for (const char* t : kTags)
        if (std::getline(out, line))
            values[t] = line;
    return values;
}

TEST_F(SampleFiles, ListingAgreesWithAnIndependentReader) {
    ASSERT_FALSE(run("command -v exiftool").empty()) << "exiftool is needed as the oracle";
    for (const fs::path& file : jpegsIn(kFixtures)) {
        SCOPED_TRACE(file.filename().string());
        ASSERT_TRUE(analyzeFile(file));
        auto ours = listedValues();
        auto peer = peerValues(file);
        ASSERT_EQ(peer.size(), 10u);
        auto expectText = [&](const char* description, const char* tag) {
            const std::string theirs = peer[tag];
            if (theirs == "-") {
                EXPECT_EQ(ours.count(description), 0u) << tag;
            } else {
                EXPECT_EQ(ours[description], theirs) << tag;
            }
        };
        auto expectNumber = [&](double ourValue, const char* tag, double tolerance) {
            EXPECT_NEAR(ourValue, std::stod(peer[tag]), tolerance) << tag;
        };
        expectText("画像入力機器のメーカ名", "Make");
        expectText("画像入力機器のモデル名", "Model");
        expectText("原画像データの生成日時", "DateTimeOriginal");
        if (peer["ExposureTime"] != "-" && std::stod(peer["ExposureTime"]) > 0) {
            const double t = std::stod(peer["ExposureTime"]);
            // longer times are shown rounded to whole seconds
            expectNumber(secondsOf(ours["露出時間"]), "ExposureTime", t >= 1 ? 0.5 : t * 1e-9);
        }
        if (peer["FNumber"] != "-")
            expectNumber(std::stod(ours["Fナンバー"]), "FNumber", 1e-9);
        if (peer["FocalLength"] != "-")
            expectNumber(std::stod(ours["レンズ焦点距離"]), "FocalLength", 1e-9);
        if (peer["GPSLatitude"] != "-") {
            const bool south = ours["北緯(N)or南緯(S)"] == "南緯";
            const bool west = ours["東経(E)or西経(W)"] == "西経";
            EXPECT_EQ(south, peer["GPSLatitudeRef"] == "S");
            EXPECT_EQ(west, peer["GPSLongitudeRef"] == "W");
            expectNumber(degreesOf(ours["緯度(数値)"], false), "GPSLatitude", 1e-9);
            expectNumber(degreesOf(ours["経度(数値)"], false), "GPSLongitude", 1e-9);
        }
    }
}

TEST_F(SampleFiles, BrokenFilesOpenOrFailCleanly) {
    const struct {
        const char* file;
        bool opens;
        const char* expectedLine;
    } cases[] = {
        {"empty-file.jpg", false, "  *** Not Jpeg file. Marker=$0000"},
        {"no-soi-bare-tiff.jpg", false, "  *** Must be TIFF file. Marker=$4D4D"},
        {"truncated-app1.jpg", true, nullptr}, // its EXIF segment ends inside the TIFF header
        {"app2-past-eof.jpg", true, nullptr},
        {"exif-only-no-image.jpg", true, "画像入力機器のモデル名=Canon PowerShot S70"},
        {"ifd-garbage-entries.jpg", true, "<< 0th IFD >>"},
        {"interop-count-overrun.jpg", true, "画像入力機器のモデル名=KODAK DX3600 DIGITAL CAMERA"},
        {"exififd-pointer-wrong-type.jpg", true, "ソフトウェア=Adobe Photoshop Elements 7.0"},
        {"ifd1-offset-out-of-range.jpg", true, "ソフトウェア=LightZone"},
        {"nikon-overread-second-soi.jpg", true, "画像入力機器のメーカ名=NIKON"},
        {"canon-truncated-before-sos.jpg", true, "画像入力機器のメーカ名=Canon"},
        {"nikon-d1x-gps-ifd-type0.jpg", true, "画像入力機器のモデル名=NIKON D1X"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const fs::path path = kFixtures / "malformed" / c.file;
        const std::uint64_t size = fs::file_size(path);
        EXPECT_EQ(analyzeFile(path), c.opens);
        if (c.expectedLine) {
            EXPECT_NE(("\n" + listing() + "\n").find("\n" + std::string(c.expectedLine) + "\n"),
                      std::string::npos)
                << listing();
        }
        // Nothing the file does not hold is invented: the kept tail is part of the source.
        EXPECT_LE(Exif::TrailStream.size(), size + 64);
    }
}

TEST_F(SampleFiles, TruncatedCopiesOfARealFileNeverFailTheReader) {
    Exif::ByteStream whole;
    whole.loadFromFile((kFixtures / "canon-powershot-s40-le-thumb.jpg").string());
    const Bytes bytes = whole.toVector();
    for (std::size_t cut = 0; cut < 9000; cut += 7) {
        Exif::ResetEngine();
        Exif::FmStream.assign(Bytes(bytes.begin(), bytes.begin() + cut));
        EXPECT_EQ(Exif::AnalyzeExif(), cut >= 2) << cut;
        // The bytes after the EXIF block are kept as they were.
        EXPECT_LE(Exif::TrailStream.size(), cut + 64) << cut;
    }
}

} // namespace

namespace {

TEST_F(SampleFiles, WhatTheFuzzersFoundSavesCleanly) {
    // Each file once broke a fuzz target: now it saves, every directory's entries read back
    // from the saved file, and its saved form saves to the same bytes. Pointers to private
    // sub-directories are not counted: the writer leaves out those that lead to no directory
    // or cannot stay where their offsets say.
    auto entriesOf = [](const Exif::IFDTable& table, char mk) {
        std::size_t n = 0;
        for (const auto& e : table)
            n += !Exif::IsPointerTag(e.IDX) && !Exif::IsPrivateDirectoryEntry(e, mk) &&
                         Exif::Num32(e.Count) > 0
                     ? 1
                     : 0;
        return n;
    };
    auto countsOf = [&](const std::vector<Exif::IFDTable>& t) {
        return std::vector<std::size_t>{entriesOf(t[0], '0'), entriesOf(t[1], 'X'),
                                        entriesOf(t[2], 'G'), entriesOf(t[3], 'I'),
                                        entriesOf(t[4], '1')};
    };
    auto allEntries = [&] {
        return countsOf({Exif::IFD0, Exif::IFDX, Exif::IFDG, Exif::IFDI, Exif::IFD1});
    };
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(GEODOT_FUZZ_FINDINGS))
        if (e.path().extension() != ".md")
            files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        Exif::ByteStream stream;
        stream.loadFromFile(file.string());
        Bytes bytes = stream.toVector();
        // An input of the editing target starts with the length of its edit script and the
        // script; the JPEG follows.
        if (file.filename().string().starts_with("edit-") && bytes.size() >= 2)
            bytes.erase(bytes.begin(),
                        bytes.begin() + std::min<std::size_t>(bytes.size(),
                                                              2 + ((bytes[0] << 8) | bytes[1])));
        if (!analyze(bytes))
            continue;
        // Written as the writer does: sorted, one entry per tag, except the Interoperability
        // directory, which goes out as it is.
        // Entries of no field type are left out first, as they have no value to keep.
        std::vector<Exif::IFDTable> tables = {Exif::IFD0, Exif::IFDX, Exif::IFDG, Exif::IFDI, Exif::IFD1};
        for (auto& t : tables)
            std::erase_if(t, [](const Exif::IFDRec& e) { return !Exif::HasFieldType(e); });
        for (auto* t : {&tables[0], &tables[1], &tables[2], &tables[4]})
            Exif::CleanIFD(*t);
        const std::vector<std::size_t> before = countsOf(tables);
        try {
            Exif::WriteJpeg();
        } catch (const Exif::EngineError&) {
            continue; // a clear refusal
        }
        const Bytes once = Exif::ToStream.toVector();
        Exif::ResetEngine();
        Exif::FmStream.assign(once);
        ASSERT_TRUE(Exif::AnalyzeExif());
        EXPECT_EQ(allEntries(), before);
        Exif::WriteJpeg();
        EXPECT_TRUE(Exif::ToStream.toVector() == once);
    }
}

TEST_F(SampleFiles, SavingASavedFileGivesTheSameBytes) {
    // The layout of a saved file is its own fixed point: the MakerNote stays where it is, and
    // nothing is added or moved by saving again.
    std::vector<fs::path> files = jpegsIn(kFixtures);
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        ASSERT_TRUE(analyzeFile(file));
        Exif::WriteJpeg();
        const Bytes once = Exif::ToStream.toVector();
        Exif::ResetEngine();
        Exif::FmStream.assign(once);
        ASSERT_TRUE(Exif::AnalyzeExif());
        Exif::WriteJpeg();
        EXPECT_TRUE(Exif::ToStream.toVector() == once);
    }
}

} // namespace
