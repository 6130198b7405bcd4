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

    // geodot-cli set with the given failure point enabled; its exit status. With `namedFile`
    // the save takes the named temporary file that file systems without unnamed ones get.
    int setWith(const std::string& failure, bool namedFile = false) {
        const std::string fiu =
            failure.empty() ? "" : "fiu-run -x -c '" + failure + "' ";
        return shell("cd " + dir_.string() + " && XDG_CONFIG_HOME=" + dir_.string() +
                     (namedFile ? " GEODOT_TEST_NAMED_TEMPORARY_FILES=1 " : " ") + fiu + kCli +
                     " set --lat 35.681236 --lon 139.767125 photo.jpg 2>/dev/null");
    }
    // What a save without failures makes of the photo.
    Bytes savedPhoto() {
        const fs::path keep = dir_ / "keep";
        fs::rename(photo_, keep);
        fs::copy_file(keep, photo_);
        EXPECT_EQ(setWith(""), 0);
        Bytes saved = readBytes(photo_);
        fs::rename(keep, photo_);
        return saved;
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
        {"the photo cannot be read", "enable name=posix/io/rw/pread,failinfo=5"},
    };
    for (const bool namedFile : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (namedFile ? ", named temporary file" : ""));
            EXPECT_EQ(setWith(c.failure, namedFile), 1);
            EXPECT_EQ(readBytes(photo_), original_);
            EXPECT_EQ(namesInFolder(), std::vector<std::string>{"photo.jpg"});
        }
    }
}

// Once the photo has been replaced, a failure to make that lasting is reported, not hidden;
// looking for stale temporary files is only a chore, and its failure blocks no save.
TEST_F(SaveFaults, FailuresAroundTheReplacementAreReportedOrHarmless) {
    const Bytes saved = savedPhoto();
    const struct {
        const char* what;
        const char* failure;
        int status;
    } cases[] = {
        {"the folder cannot be synced", "enable name=posix/io/sync/fsync,failinfo=5", 1},
        {"the folder cannot be listed", "enable name=posix/io/dir/readdir,failinfo=5", 0},
    };
    for (const bool namedFile : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (namedFile ? ", named temporary file" : ""));
            EXPECT_EQ(setWith(c.failure, namedFile), c.status);
            EXPECT_TRUE(readBytes(photo_) == saved);
            EXPECT_EQ(namesInFolder(), std::vector<std::string>{"photo.jpg"});
            testsupport::writeBytes(photo_, original_);
        }
    }
}

TEST_F(SaveFaults, ShortWritesStillGiveTheWholeFile) {
    // Writes that take fewer bytes than offered are continued, not taken for the whole.
    const Bytes saved = savedPhoto();
    ASSERT_EQ(setWith("enable_random name=posix/io/rw/write/reduce,probability=0.5"), 0);
    EXPECT_EQ(readBytes(photo_), saved);
}

} // namespace
