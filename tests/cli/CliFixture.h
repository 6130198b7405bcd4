#pragma once

// Runs geodot-cli as a script would, in a scratch folder with its own settings, and reads the
// files back with exiftool as an independent reader.
#include <gtest/gtest.h>

#include "support/Files.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const std::string kCli = GEODOT_CLI;
const fs::path kFixtures = GEODOT_FIXTURES;

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string readAll(FILE* p) {
    std::string out;
    char buf[4096];
    while (std::size_t n = fread(buf, 1, sizeof buf, p))
        out.append(buf, n);
    return out;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

bool haveExiftool() {
    static const bool have = std::system("exiftool -ver >/dev/null 2>&1") == 0;
    return have;
}

// Seconds since 1970 of a UTC date-time.
[[maybe_unused]] std::time_t utc(int y, int mo, int d, int h, int mi, int s) {
    std::tm tm{};
    tm.tm_year = y - 1900, tm.tm_mon = mo - 1, tm.tm_mday = d;
    tm.tm_hour = h, tm.tm_min = mi, tm.tm_sec = s;
    return timegm(&tm);
}

struct Result {
    int status = -1;
    std::string out, err;
};

class CliFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string tmpl = (fs::path(::testing::TempDir()) / "geodot-cliset-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
        fs::create_directory(dir_ / "config");
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // A copy of a fixture in the test's folder.
    fs::path copy(const std::string& fixture, const std::string& name) const {
        const fs::path p = dir_ / name;
        fs::copy_file(kFixtures / fixture, p, fs::copy_options::overwrite_existing);
        return p;
    }

    // The settings file the command reads ($XDG_CONFIG_HOME points into the test's folder).
    void settings(const std::string& text) const {
        fs::create_directories(dir_ / "config/NORVANE");
        std::ofstream(dir_ / "config/NORVANE/geodot.ini") << text;
    }

    // Runs geodot-cli with the arguments; `env` adds variables such as "TZ=UTC0".
    Result run(const std::vector<std::string>& args, const std::string& env = "") const {
        std::string cmd = "env XDG_CONFIG_HOME=" + quote((dir_ / "config").string()) + " " + env +
                          " " + quote(kCli);
        for (const std::string& a : args)
            cmd += " " + quote(a);
        const fs::path errFile = dir_ / "stderr.txt";
        cmd += " 2>" + quote(errFile.string());
        Result r;
        FILE* p = popen(cmd.c_str(), "r");
        r.out = readAll(p);
        const int raw = pclose(p);
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        std::ifstream in(errFile);
        r.err.assign(std::istreambuf_iterator<char>(in), {});
        return r;
    }

    std::vector<std::string> info(const fs::path& file) const {
        return lines(run({"info", file.string()}).out);
    }

    static std::string exiftool(const std::string& args) {
        FILE* p = popen(("exiftool " + args + " 2>/dev/null").c_str(), "r");
        std::string out = readAll(p);
        pclose(p);
        return out;
    }

    // Tag name → value (numbers as numbers) for the tags exiftool selects, e.g. "-GPS:all".
    static std::map<std::string, std::string> tags(const fs::path& file,
                                                   const std::string& selection) {
        std::map<std::string, std::string> out;
        for (const std::string& line :
             lines(exiftool("-a -n -S " + selection + " " + quote(file.string())))) {
            const auto colon = line.find(": ");
            if (colon != std::string::npos)
                out[line.substr(0, colon)] = line.substr(colon + 2);
        }
        return out;
    }

    // Every tag exiftool finds, grouped and sorted, without the lines that a save changes on
    // purpose or that exiftool derives from others: the file system's, the composite ones, our
    // comment, the JFIF segment (an EXIF file has none), the
    // thumbnail's position, the positions of the MPF pictures (moved with the segment; those
    // that are present are checked elsewhere) and the given tags.
    static std::vector<std::string> dump(const fs::path& file,
                                         const std::vector<std::string>& edited) {
        std::vector<std::string> kept;
        std::vector<std::string> skip = {"[System]",
                                         "[Composite]",
                                         "ExifToolVersion",
                                         "[JFIF]",
                                         "[File]          Comment",
                                         "ThumbnailOffset",
                                         "MPImageStart"};
        skip.insert(skip.end(), edited.begin(), edited.end());
        for (const std::string& line : lines(exiftool("-a -G1 -s -n " + quote(file.string()))))
            if (std::none_of(skip.begin(), skip.end(),
                             [&](const std::string& s) { return contains(line, s); }))
                kept.push_back(line);
        std::sort(kept.begin(), kept.end());
        return kept;
    }

    fs::path dir_;
};

#define REQUIRE_EXIFTOOL()                                                                         \
    if (!haveExiftool())                                                                           \
    GTEST_SKIP() << "exiftool is not installed"

} // namespace
