// geodot-cli as a script sees it: output, exit status and messages.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

const std::string kCli = GEODOT_CLI;
const std::string kFixtures = GEODOT_FIXTURES;

struct Result {
    int status;
    std::string out;
};

Result run(const std::string& args) {
    Result r{-1, {}};
    FILE* p = popen((kCli + " " + args + " 2>/dev/null").c_str(), "r");
    char buf[4096];
    while (std::size_t n = fread(buf, 1, sizeof buf, p))
        r.out.append(buf, n);
    const int raw = pclose(p);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

TEST(CliInfo, PrintsTheListingAsThePageShowsIt) {
    const Result r = run("info " + kFixtures + "/canon-powershot-s40-le-thumb.jpg");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Byte Order=$4949 (リトルエンディアン)\n\n<< 0th IFD >>\n"
                          "画像入力機器のメーカ名=Canon\n",
                          0),
              0u)
        << r.out;
    // Flash items each on their own indented line; no NUL characters reach the output.
    EXPECT_NE(r.out.find("フラッシュ=\n\tストロボ発光"), std::string::npos);
    EXPECT_EQ(r.out.find('\0'), std::string::npos);
    EXPECT_EQ(r.out.find('\r'), std::string::npos);
}

TEST(CliInfo, SeveralFilesAreHeadedAndAFailureSetsTheStatus) {
    const std::string good = kFixtures + "/no-exif-jfif.jpg";
    const std::string bad = kFixtures + "/malformed/no-soi-bare-tiff.jpg";
    const Result r = run("info " + good + " " + bad + " /nonexistent/file.jpg");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "==> " + good + " <==\n\n\n" + "==> " + bad +
                         " <==\n  *** Must be TIFF file. Marker=$4D4D\n*** ERROR ***\n\n"
                         "==> /nonexistent/file.jpg <==\n*** ERROR ***\n");
}

TEST(CliUsage, BadCallsExitWithTwoAndHelpAndVersionWithZero) {
    EXPECT_EQ(run("").status, 2);
    EXPECT_EQ(run("info").status, 2);
    EXPECT_EQ(run("frobnicate x.jpg").status, 2);
    const Result help = run("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("geodot-cli info FILE"), std::string::npos);
    const Result version = run("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_NE(version.out.find("v0.2.3a"), std::string::npos);
}

} // namespace
