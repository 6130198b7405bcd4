// Saving while the system fails: each failure the C library can report is injected into a real
// geodot-cli run, and the photo must come out of it byte-identical with nothing left behind.
#include <gtest/gtest.h>

#include "support/Files.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testsupport::readBytes;

const std::string kCli = GEODOT_CLI;
const fs::path kFixtures = GEODOT_FIXTURES;

int shell(const std::string& command) {
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

class SaveFaults : public ::testing::Test {
protected:
    void SetUp() override {
#if defined(__SANITIZE_ADDRESS__)
        // The failure library is preloaded, which the sanitizer runtime does not allow; the
        // normal build runs these.
        GTEST_SKIP() << "fault injection runs in the build without sanitizers";
#endif
        if (shell("command -v fiu-run >/dev/null") != 0)
            GTEST_FAIL() << "fiu-run is needed (apt-get install fiu-utils)";
        char tmpl[] = "/tmp/geodot-faults-XXXXXX";
        dir_ = mkdtemp(tmpl);
        photo_ = dir_ / "photo.jpg";
        fs::copy_file(kFixtures / "canon-powershot-s40-le-thumb.jpg", photo_);
        original_ = readBytes(photo_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // geodot-cli set with the given failure point enabled; its exit status.
    int setWith(const std::string& failure) {
        const std::string fiu =
            failure.empty() ? "" : "fiu-run -x -c '" + failure + "' ";
        return shell("cd " + dir_.string() + " && XDG_CONFIG_HOME=" + dir_.string() + " " + fiu +
                     kCli + " set --lat 35.681236 --lon 139.767125 photo.jpg 2>/dev/null");
    }
    std::vector<std::string> namesInFolder() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_))
            names.push_back(e.path().filename().string());
        return names;
    }

    fs::path dir_, photo_;
    Bytes original_;
};

TEST_F(SaveFaults, EveryFailingStepLeavesThePhotoAndNoTemporaryFile) {
    const struct {
        const char* what;
        const char* failure;
    } cases[] = {
        {"disk full on write", "enable name=posix/io/rw/write,failinfo=28"},
        {"write I/O error", "enable name=posix/io/rw/write,failinfo=5"},
        {"flush to disk fails", "enable name=posix/io/sync/fdatasync,failinfo=5"},
        {"rename fails", "enable name=posix/io/dir/rename,failinfo=18"},
        {"close reports an error", "enable name=posix/io/oc/close,failinfo=5"},
        {"the photo cannot be opened", "enable name=posix/io/oc/open,failinfo=13"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(setWith(c.failure), 1);
        EXPECT_EQ(readBytes(photo_), original_);
        EXPECT_EQ(namesInFolder(), std::vector<std::string>{"photo.jpg"});
    }
}

TEST_F(SaveFaults, ShortWritesStillGiveTheWholeFile) {
    // Writes that take fewer bytes than offered are continued, not taken for the whole.
    const fs::path reference = dir_ / "reference.jpg";
    ASSERT_EQ(setWith(""), 0);
    fs::rename(photo_, reference);
    fs::copy_file(kFixtures / "canon-powershot-s40-le-thumb.jpg", photo_);
    ASSERT_EQ(setWith("enable_random name=posix/io/rw/write/reduce,probability=0.5"), 0);
    EXPECT_EQ(readBytes(photo_), readBytes(reference));
}

} // namespace
