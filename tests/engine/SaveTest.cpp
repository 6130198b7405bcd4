// Storing files: the atomic replacement of the target and what its failures leave behind, and
// the time stamps saved files take.
#include <gtest/gtest.h>

#include "support/Files.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <grp.h>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "NumberText.h"
#include "support/EngineTest.h"

using namespace testsupport;
namespace fs = std::filesystem;

using testsupport::readBytes;
using testsupport::writeBytes;

namespace {

constexpr uid_t kNobody = 65534;

Bytes pattern(std::size_t size, std::uint8_t seed) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i)
        b[i] = static_cast<std::uint8_t>(seed + i * 7);
    return b;
}

// Every name in a folder, hidden ones included, sorted; "/" marks a folder, "@" a link.
std::vector<std::string> namesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string() + (e.is_symlink()     ? "@"
                                                        : e.is_directory() ? "/"
                                                                           : ""));
    std::sort(names.begin(), names.end());
    return names;
}

// The message of the EngineError the save throws; nullopt when it succeeds.
std::optional<std::string> saveFailure(const fs::path& path, const Bytes& bytes, bool mustExist) {
    try {
        Exif::SaveFile(path.string(), bytes, mustExist);
    } catch (const Exif::EngineError& e) {
        return std::string(e.what());
    }
    return std::nullopt;
}

struct ChildOutcome {
    bool finished = false; // exited normally with one of the codes below
    bool saved = false;
    std::string message;
};

// Runs a save in a child process after `prepare` has changed that child only (limits,
// identity); a failure's message comes back through a pipe.
ChildOutcome saveInChild(const std::function<bool()>& prepare, const std::function<void()>& save) {
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        if (!prepare())
            _exit(3);
        try {
            save();
            _exit(0);
        } catch (const Exif::EngineError& e) {
            const std::string m = e.what();
            (void)!write(fds[1], m.data(), m.size());
            _exit(1);
        } catch (...) {
            _exit(2);
        }
    }
    close(fds[1]);
    ChildOutcome out;
    char buf[512];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0)
        out.message.append(buf, static_cast<std::size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    out.finished = code == 0 || code == 1;
    out.saved = code == 0;
    return out;
}

ChildOutcome saveInChild(const std::function<bool()>& prepare, const fs::path& path,
                         const Bytes& bytes) {
    return saveInChild(prepare, [&] { Exif::SaveFile(path.string(), bytes, true); });
}

class Saving : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string tmpl = (fs::path(::testing::TempDir()) / "geodot-save-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
        // Traversable by everyone, so that a child running as another user reaches its files.
        fs::permissions(dir_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
    }
    void TearDown() override {
        std::error_code ec;
        for (const auto& e : fs::recursive_directory_iterator(dir_, ec))
            if (e.is_directory() && !e.is_symlink())
                fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir_, ec);
    }

    fs::path file(const std::string& name, const Bytes& content) const {
        const fs::path p = dir_ / name;
        writeBytes(p, content);
        return p;
    }

    fs::path dir_;
    const Bytes original_ = pattern(1000, 1);
    const Bytes replacement_ = pattern(10, 200); // shorter: the old tail must not survive
};

// --- Success ------------------------------------------------------------------------------------

TEST_F(Saving, ReplacesTheContentKeepsThePermissionsAndLeavesNoTemporaryFile) {
    for (mode_t mode : {0640, 0600, 0755, 0444, 02640}) {
        SCOPED_TRACE(mode);
        const fs::path p = file("pic.jpg", original_);
        ASSERT_EQ(chmod(p.c_str(), mode), 0);
        Exif::SaveFile(p.string(), replacement_, true);
        EXPECT_EQ(readBytes(p), replacement_);
        struct stat st {};
        ASSERT_EQ(stat(p.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode);
        EXPECT_EQ(namesIn(dir_), std::vector<std::string>{"pic.jpg"});
        fs::remove(p);
    }
}

TEST_F(Saving, KeepsTheOwnerOfAnotherUsersFile) {
    if (geteuid() != 0)
        GTEST_SKIP() << "only root can hand a file to another user";
    const fs::path p = file("pic.jpg", original_);
    ASSERT_EQ(chown(p.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(chmod(p.c_str(), 0640), 0);
    Exif::SaveFile(p.string(), replacement_, true);
    struct stat st {};
    ASSERT_EQ(stat(p.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, kNobody);
    EXPECT_EQ(st.st_gid, static_cast<gid_t>(kNobody));
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(readBytes(p), replacement_);
}

TEST_F(Saving, AMissingTargetIsCreatedWithTheUsualPermissions) {
    const mode_t mask = umask(022);
    umask(mask);
    const fs::path p = dir_ / "new.jpg";
    const auto failure = saveFailure(p, replacement_, false);
    ASSERT_FALSE(failure) << *failure;
    EXPECT_EQ(readBytes(p), replacement_);
    struct stat st {};
    ASSERT_EQ(stat(p.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0666u & ~mask); // not the temporary file's 0600
    EXPECT_EQ(namesIn(dir_), std::vector<std::string>{"new.jpg"});
}

TEST_F(Saving, ASymlinkStaysALinkAndItsTargetTakesTheBytes) {
    // The link sits in one folder, the file in another, reached through a second, relative link.
    fs::create_directory(dir_ / "links");
    fs::create_directory(dir_ / "photos");
    const fs::path real = file("photos/real.jpg", original_);
    ASSERT_EQ(chmod(real.c_str(), 0604), 0);
    fs::create_symlink("../photos/real.jpg", dir_ / "links/hop.jpg");
    fs::create_symlink(dir_ / "links/hop.jpg", dir_ / "links/pic.jpg");

    Exif::SaveFile((dir_ / "links/pic.jpg").string(), replacement_, true);

    EXPECT_TRUE(fs::is_symlink(dir_ / "links/pic.jpg"));
    EXPECT_TRUE(fs::is_symlink(dir_ / "links/hop.jpg"));
    EXPECT_EQ(fs::read_symlink(dir_ / "links/hop.jpg"), "../photos/real.jpg");
    EXPECT_EQ(readBytes(real), replacement_);
    struct stat st {};
    ASSERT_EQ(lstat(real.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0604u);
    EXPECT_EQ(namesIn(dir_ / "links"), (std::vector<std::string>{"hop.jpg@", "pic.jpg@"}));
    EXPECT_EQ(namesIn(dir_ / "photos"), std::vector<std::string>{"real.jpg"});
}

// A link to a file that does not exist yet (`geodot-cli set -o LINK`) stays a link, and the
// file it names appears.
TEST_F(Saving, ALinkToAMissingFileStaysALinkWhenTheFileIsCreated) {
    fs::create_directory(dir_ / "photos");
    fs::create_symlink("photos/new.jpg", dir_ / "pic.jpg");
    const auto failure = saveFailure(dir_ / "pic.jpg", replacement_, false);
    ASSERT_FALSE(failure) << *failure;
    EXPECT_TRUE(fs::is_symlink(dir_ / "pic.jpg"));
    EXPECT_EQ(readBytes(dir_ / "photos/new.jpg"), replacement_);
}

// --- Failures -----------------------------------------------------------------------------------

TEST_F(Saving, AFailureSaysWhyAndLeavesEverythingAsItWas) {
    struct Case {
        const char* name;
        std::function<fs::path(const fs::path& dir)> prepare; // returns the path to save to
        bool mustExist;
        std::string reason;
        int err;
    };
    const Bytes original = original_;
    const Case cases[] = {
        {"missing folder", [](const fs::path& d) { return d / "gone" / "pic.jpg"; }, false,
         "一時ファイルを作成できません", ENOENT},
        {"missing folder, must exist", [](const fs::path& d) { return d / "gone" / "pic.jpg"; },
         true, "ファイルが見つかりません", ENOENT},
        {"target is a folder",
         [](const fs::path& d) {
             fs::create_directory(d / "pic.jpg");
             return d / "pic.jpg";
         },
         false, "通常のファイルではありません", EISDIR},
        {"target vanished, must exist", [](const fs::path& d) { return d / "pic.jpg"; }, true,
         "ファイルが見つかりません", ENOENT},
        {"symlink to a vanished file, must exist",
         [](const fs::path& d) {
             fs::create_symlink(d / "gone.jpg", d / "pic.jpg");
             return d / "pic.jpg";
         },
         true, "ファイルが見つかりません", ENOENT},
        {"a file where a folder should be",
         [original](const fs::path& d) {
             writeBytes(d / "plain", original);
             return d / "plain" / "pic.jpg";
         },
         false, "ファイルが見つかりません", ENOTDIR},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir_ / "case");
        fs::create_directory(dir_ / "case");
        const fs::path d = dir_ / "case";
        const fs::path target = c.prepare(d);
        const std::vector<std::string> before = namesIn(d);

        const auto failure = saveFailure(target, replacement_, c.mustExist);

        ASSERT_TRUE(failure) << "the save went through";
        EXPECT_NE(failure->find(target.string()), std::string::npos) << *failure;
        EXPECT_NE(failure->find(c.reason), std::string::npos) << *failure;
        EXPECT_NE(failure->find(std::strerror(c.err)), std::string::npos) << *failure;
        EXPECT_NE(failure->find("元のファイルは変更していません"), std::string::npos);
        EXPECT_EQ(namesIn(d), before);
    }
}

// The bytes held in memory, and image data copied from the photo by the kernel, which fails
// over to plain reads and writes that then report the failure.
TEST_F(Saving, AFullDiskMidwayLeavesTheOriginalAndNoTemporaryFile) {
    const Bytes photo = testsupport::jpeg({}) + pattern(300000, 5); // data long enough to refer to
    const struct {
        const char* what;
        bool fromTheFile;
    } cases[] = {{"from memory", false}, {"image data from the file", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path p = file("pic.jpg", c.fromTheFile ? photo : original_);
        std::function<void()> save = [&] {
            Exif::SaveFile(p.string(), pattern(64 * 1024, 9), true);
        };
        if (c.fromTheFile) {
            // Settled, so that its state vouches for it, and no fingerprint of the output asked.
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            Exif::ResetEngine();
            Exif::FmStream.openFile(p.string());
            ASSERT_TRUE(Exif::AnalyzeExif());
            Exif::WriteJpeg();
            save = [&] {
                Exif::SaveOptions options;
                options.mustExist = true;
                options.unchangedSince = Exif::FmStream.sourceFingerprint();
                options.fingerprintWritten = false;
                Exif::SaveFile(p.string(), Exif::ToStream, options);
            };
        }
        const Bytes before = readBytes(p);
        const ChildOutcome out = saveInChild(
            [] {
                // Files may not grow beyond 4 KiB, as on a disk that fills up during the write.
                signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{4096, 4096};
                return setrlimit(RLIMIT_FSIZE, &limit) == 0;
            },
            save);
        ASSERT_TRUE(out.finished);
        EXPECT_FALSE(out.saved);
        EXPECT_NE(out.message.find("書き込めません"), std::string::npos) << out.message;
        EXPECT_NE(out.message.find(std::strerror(EFBIG)), std::string::npos) << out.message;
        EXPECT_EQ(readBytes(p), before);
        EXPECT_EQ(namesIn(dir_), std::vector<std::string>{"pic.jpg"});
        Exif::ResetEngine();
        fs::remove(p);
    }
}

TEST_F(Saving, AFolderTheUserCannotWriteLeavesTheOriginal) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to switch to another user";
    // Root writes anywhere, so the save runs as an ordinary user in a root-owned folder.
    fs::create_directory(dir_ / "ro");
    const fs::path p = file("ro/pic.jpg", original_);
    ASSERT_EQ(chmod(p.c_str(), 0666), 0);
    ASSERT_EQ(chmod((dir_ / "ro").c_str(), 0555), 0);
    const ChildOutcome out = saveInChild(
        [] { return setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0; },
        p, replacement_);
    ASSERT_TRUE(out.finished);
    EXPECT_FALSE(out.saved);
    EXPECT_NE(out.message.find("一時ファイルを作成できません"), std::string::npos) << out.message;
    EXPECT_NE(out.message.find(std::strerror(EACCES)), std::string::npos) << out.message;
    EXPECT_EQ(readBytes(p), original_);
    EXPECT_EQ(namesIn(dir_ / "ro"), std::vector<std::string>{"pic.jpg"});
}

TEST_F(Saving, AFileTheUserMayNotWriteIsNotReplaced) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to switch to another user";
    // The folder is the user's, the file is read-only: replacing it through the folder would
    // work, but the file's protection is kept.
    fs::create_directory(dir_ / "mine");
    ASSERT_EQ(chown((dir_ / "mine").c_str(), kNobody, kNobody), 0);
    const fs::path p = file("mine/pic.jpg", original_);
    ASSERT_EQ(chown(p.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(chmod(p.c_str(), 0444), 0);
    const ChildOutcome out = saveInChild(
        [] { return setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0; },
        p, replacement_);
    ASSERT_TRUE(out.finished);
    EXPECT_FALSE(out.saved);
    EXPECT_NE(out.message.find("書き込みが許可されていません"), std::string::npos) << out.message;
    EXPECT_EQ(readBytes(p), original_);
    EXPECT_EQ(namesIn(dir_ / "mine"), std::vector<std::string>{"pic.jpg"});
}

// Whether the file lies on a file system that gives every write a change time of its own
// (those this machine's tests run on: ext4 and tmpfs).
static bool exactChangeTimes(const fs::path& p) {
    struct statfs st {};
    return statfs(p.c_str(), &st) == 0 && (st.f_type == 0xEF53 || st.f_type == 0x01021994);
}

// Saving over the opened photo is decided by what the file holds: another program's change
// is never overwritten, while a file that was only touched, or written again with the same bytes
// (as backup tools and file managers do), is saved over as usual.
TEST_F(Saving, SavingOverTheOpenedFileDependsOnItsContentNotItsTimesOrInode) {
    // Image data long enough to be copied from the file at saving rather than held in memory.
    const Bytes source = testsupport::jpeg({}) + Bytes(300000, 0x5A);
    const auto keepTimes = [](const fs::path& p, const std::function<void()>& change) {
        struct stat st {};
        ASSERT_EQ(stat(p.c_str(), &st), 0);
        change();
        const timespec times[2] = {st.st_atim, st.st_mtim};
        ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
    };
    const auto flipByte = [](const fs::path& p, long at) {
        std::fstream f(p, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(at);
        f.put('\x01');
    };
    const auto replaceWith = [](const fs::path& p, const Bytes& bytes) {
        writeBytes(p.string() + ".new", bytes);
        fs::rename(p.string() + ".new", p);
    };
    const char* const kChanged = "ほかのプログラムに変更されています。再読み込みするか、別名で保存してください";
    const char* const kGone = "見つかりません (No such file or directory)。別名で保存してください";
    const struct {
        const char* what;
        std::function<void(const fs::path&)> change;
        const char* refusal; // nullptr: the save goes through
    } cases[] = {
        {"untouched", [](const fs::path&) {}, nullptr},
        {"touched",
         [](const fs::path& p) {
             const timespec times[2] = {{978307200, 0}, {978307200, 0}};
             utimensat(AT_FDCWD, p.c_str(), times, 0);
         },
         nullptr},
        {"written again in place with the same bytes",
         [&](const fs::path& p) { writeBytes(p, source); }, nullptr},
        {"replaced by an identical copy", [&](const fs::path& p) { replaceWith(p, source); },
         nullptr},
        {"replaced by another file", [&](const fs::path& p) { replaceWith(p, pattern(500, 9)); },
         kChanged},
        {"one byte of the image data changed, times kept",
         [&](const fs::path& p) { keepTimes(p, [&] { flipByte(p, 200000); }); }, kChanged},
        {"one byte of the header changed, times kept",
         [&](const fs::path& p) { keepTimes(p, [&] { flipByte(p, 5); }); }, kChanged},
        {"bytes appended", [&](const fs::path& p) { writeBytes(p, source + Bytes{1, 2, 3}); },
         kChanged},
        {"cut short", [&](const fs::path& p) { writeBytes(p, Bytes(source.begin(), source.end() - 1)); },
         kChanged},
        {"deleted", [](const fs::path& p) { fs::remove(p); }, kGone},
    };
    // The command line reads the file on demand and copies its image data at saving; the window
    // loads it whole. A file read well after its last change is known again by its state (its
    // change time moves with any write), a file just written is read again.
    const struct {
        const char* what;
        bool whole, settled;
    } reads[] = {
        {", read on demand", false, false},
        {", read on demand after it settled", false, true},
        {", loaded whole", true, false},
    };
    for (const auto& r : reads) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.what) + r.what);
            const fs::path p = file("pic.jpg", source);
            if (r.settled)
                std::this_thread::sleep_for(std::chrono::milliseconds(50)); // a few clock ticks
            Exif::ResetEngine();
            if (r.whole)
                Exif::FmStream.loadFromFile(p.string());
            else
                Exif::FmStream.openFile(p.string());
            ASSERT_TRUE(Exif::AnalyzeExif());
            Exif::WriteJpeg();
            const Bytes output = Exif::ToStream.toVector();
            Exif::SaveOptions options;
            options.mustExist = true;
            options.unchangedSince = Exif::FmStream.sourceFingerprint();
            ASSERT_TRUE(options.unchangedSince);
            if (r.settled && exactChangeTimes(p)) {
                EXPECT_TRUE(options.unchangedSince->seen);
            }

            c.change(p);
            const Bytes after = fs::exists(p) ? readBytes(p) : Bytes{};
            try {
                const Exif::ContentFingerprint written = Exif::SaveFile(p.string(), Exif::ToStream, options);
                EXPECT_EQ(c.refusal, nullptr) << "saved over a changed file";
                EXPECT_EQ(readBytes(p), output);
                EXPECT_EQ(written, Exif::FingerprintOf(output));
            } catch (const Exif::EngineError& e) {
                ASSERT_NE(c.refusal, nullptr) << e.what();
                EXPECT_NE(std::string(e.what()).find(c.refusal), std::string::npos) << e.what();
                EXPECT_EQ(fs::exists(p) ? readBytes(p) : Bytes{}, after);
            }
            EXPECT_EQ(namesIn(dir_), std::vector<std::string>(fs::exists(p) ? 1 : 0, "pic.jpg"));
            fs::remove(p);
        }
    }
    Exif::ResetEngine();
}

// The source is read only as far as the analysis goes, and its image data is copied at saving:
// only while the file still holds what was read. A file read well after its last change is
// vouched for by its state and copied as it is (inside the kernel when the saved file's
// fingerprint is not asked for, through reads where the kernel cannot copy between the two
// file systems); any other file is hashed again on the way.
TEST_F(Saving, ImageDataLeftInTheSourceIsCheckedBeforeItIsCopied) {
    const Bytes source = testsupport::jpeg({}) + pattern(300000, 5); // data long enough to refer to
    std::string shm = "/dev/shm/geodot-save-XXXXXX";
    const bool haveShm = fs::is_directory("/dev/shm") && mkdtemp(shm.data()) != nullptr;
    // One byte of the image data, in place, the times put back: only the change time moves.
    const auto flipImageByte = [](const fs::path& p) {
        struct stat st {};
        ASSERT_EQ(stat(p.c_str(), &st), 0);
        {
            std::fstream f(p, std::ios::in | std::ios::out | std::ios::binary);
            f.seekp(200000);
            f.put('\x01');
        }
        const timespec times[2] = {st.st_atim, st.st_mtim};
        ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
    };
    for (const bool settled : {false, true})
        for (const bool fingerprinted : {true, false})
            for (const bool elsewhere : {false, true})
                for (const bool changed : {false, true}) {
                    SCOPED_TRACE(std::string(settled ? "settled" : "just written") +
                                 (fingerprinted ? ", fingerprinted" : "") +
                                 (elsewhere ? ", saved to another file system" : "") +
                                 (changed ? ", changed in place before the save" : ""));
                    if (elsewhere && !haveShm)
                        continue;
                    const fs::path p = file("pic.jpg", source);
                    if (settled) // a few clock ticks
                        std::this_thread::sleep_for(std::chrono::milliseconds(50));
                    Exif::ResetEngine();
                    Exif::FmStream.openFile(p.string());
                    ASSERT_TRUE(Exif::AnalyzeExif());
                    Exif::WriteJpeg();
                    const Bytes output = Exif::ToStream.toVector();
                    if (changed)
                        flipImageByte(p);
                    const fs::path out = (elsewhere ? fs::path(shm) : dir_) / "out.jpg";
                    Exif::SaveOptions options;
                    options.fingerprintWritten = fingerprinted;
                    try {
                        const Exif::ContentFingerprint written =
                            Exif::SaveFile(out.string(), Exif::ToStream, options);
                        EXPECT_FALSE(changed) << "copied image data from a changed file";
                        EXPECT_EQ(readBytes(out), output);
                        if (fingerprinted) {
                            EXPECT_EQ(written, Exif::FingerprintOf(output));
                        }
                    } catch (const Exif::EngineError& e) {
                        EXPECT_TRUE(changed) << e.what();
                        EXPECT_NE(std::string(e.what()).find("変更されています"), std::string::npos)
                            << e.what();
                        EXPECT_FALSE(fs::exists(out));
                    }
                    fs::remove(out);
                    fs::remove(p);
                }
    Exif::ResetEngine();
    if (haveShm)
        fs::remove_all(shm);
}

// --- Batches ------------------------------------------------------------------------------------

TEST_F(Saving, ABatchSavesEveryFileItCanAndLeavesTheOthersAsTheyWere) {
    fs::create_directory(dir_ / "a");
    fs::create_directory(dir_ / "b");
    const Bytes other = pattern(700, 5);
    file("a/1.jpg", original_);
    file("b/2.jpg", original_);
    file("a/4.jpg", other);
    const auto request = [&](const std::string& name, std::uint8_t seed, Exif::SaveOptions options) {
        Exif::ByteStream content;
        content.assign(pattern(100 + seed, seed));
        return Exif::SaveRequest{(dir_ / name).string(), content, options};
    };
    Exif::SaveOptions overOpened;
    overOpened.mustExist = true;
    overOpened.unchangedSince = Exif::FingerprintOf(original_);
    Exif::SaveOptions mustExist;
    mustExist.mustExist = true;
    const std::vector<Exif::SaveRequest> requests = {
        request("a/1.jpg", 1, overOpened),
        request("b/2.jpg", 2, overOpened),
        request("gone/3.jpg", 3, {}),
        request("a/4.jpg", 4, overOpened), // another program's content by now
        request("a/5.jpg", 5, {}),         // a new file
        request("a/6.jpg", 6, mustExist),  // gone
    };
    const char* const failures[] = {nullptr, nullptr, "一時ファイルを作成できません",
                                    "ほかのプログラムに変更されています", nullptr,
                                    "ファイルが見つかりません"};

    const std::vector<Exif::SaveResult> results = Exif::SaveFiles(requests);

    ASSERT_EQ(results.size(), requests.size());
    for (std::size_t i = 0; i < requests.size(); ++i) {
        SCOPED_TRACE(requests[i].path);
        const Bytes content = requests[i].content.toVector();
        if (failures[i]) {
            EXPECT_NE(results[i].error.find(failures[i]), std::string::npos) << results[i].error;
            EXPECT_NE(results[i].error.find(requests[i].path), std::string::npos) << results[i].error;
        } else {
            EXPECT_EQ(results[i].error, "");
            EXPECT_EQ(readBytes(requests[i].path), content);
            EXPECT_EQ(results[i].written, Exif::FingerprintOf(content));
        }
    }
    EXPECT_EQ(readBytes(dir_ / "a/4.jpg"), other);
    EXPECT_EQ(namesIn(dir_ / "a"), (std::vector<std::string>{"1.jpg", "4.jpg", "5.jpg"}));
    EXPECT_EQ(namesIn(dir_ / "b"), std::vector<std::string>{"2.jpg"});
    EXPECT_EQ(namesIn(dir_), (std::vector<std::string>{"a/", "b/"}));
}

// --- What a save cut short leaves behind ---------------------------------------------------------

// Runs a save in a child that is killed midway through writing, as by a crash; with
// `namedFile` it takes the named temporary file. Returns the child's process id.
pid_t saveKilledMidway(const fs::path& path, bool namedFile) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (namedFile)
            setenv("GEODOT_TEST_NAMED_TEMPORARY_FILES", "1", 1);
        // Growing the file beyond 4 KiB kills the process (SIGXFSZ), without a core file.
        const rlimit noCore{0, 0}, limit{4096, 4096};
        signal(SIGXFSZ, SIG_DFL);
        if (setrlimit(RLIMIT_CORE, &noCore) != 0 || setrlimit(RLIMIT_FSIZE, &limit) != 0)
            _exit(3);
        try {
            Exif::SaveFile(path.string(), pattern(64 * 1024, 3), true);
        } catch (...) {
        }
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << "status " << status;
    return pid;
}

TEST_F(Saving, ASaveKilledMidwayLeavesNoFileWhereUnnamedFilesAreAllowed) {
    const fs::path p = file("pic.jpg", original_);
    saveKilledMidway(p, false);
    EXPECT_EQ(readBytes(p), original_);
    EXPECT_EQ(namesIn(dir_), std::vector<std::string>{"pic.jpg"});
}

TEST_F(Saving, TheNextSaveRemovesOnlyStaleTemporaryFilesOfOurs) {
    const fs::path p = file("pic.jpg", original_);
    // Where unnamed files are refused, the killed save leaves its named file, under its process id.
    const pid_t gone = saveKilledMidway(p, true);
    const std::string left = ".pic.jpg.geodot-" + std::to_string(gone) + "-";
    const std::vector<std::string> afterKill = namesIn(dir_);
    ASSERT_EQ(afterKill.size(), 2u);
    ASSERT_EQ(afterKill[0].rfind(left, 0), 0u) << afterKill[0];
    EXPECT_EQ(afterKill[0].size(), left.size() + 6);
    EXPECT_EQ(readBytes(p), original_);

    const std::string dead = std::to_string(gone);
    const std::string alive = std::to_string(getpid());
    const auto age = [](const fs::path& f, std::time_t seconds) {
        const timespec times[2] = {{0, UTIME_OMIT}, {std::time(nullptr) - seconds, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, f.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << f;
    };
    age(dir_ / afterKill[0], 120);
    std::vector<std::string> stale = {afterKill[0], ".other.jpg.geodot-" + dead + "-Zz09aB"};
    std::vector<std::string> kept = {
        ".pic.jpg.geodot-1-aB3dE9",           // its process lives
        ".pic.jpg.geodot-" + alive + "-aB3dE9", // this very process
        ".pic.jpg.geodot-aB3dE9",             // no process named
        "pic.jpg.geodot-" + dead + "-aB3dE9", // not hidden
        ".pic.jpg.geodot-" + dead + "-aB3dE9.bak",
        ".pic.jpg.geodot-" + dead + "-aB3d",
        ".pic.jpg.geodot-x" + dead + "-aB3dE9",
        "photo.jpg",
    };
    for (const std::string& name : kept)
        file(name, original_);
    file(stale[1], original_);
    for (const std::string& name : kept)
        age(dir_ / name, 120);
    age(dir_ / stale[1], 120);
    // A stale name on what is not a regular file, a file written a moment ago, one in another
    // folder, and, where the test may hand files to another user, another user's file.
    fs::create_directory(dir_ / (".d.geodot-" + dead + "-aB3dE9"));
    fs::create_symlink("pic.jpg", dir_ / (".l.geodot-" + dead + "-aB3dE9"));
    age(dir_ / (".l.geodot-" + dead + "-aB3dE9"), 120);
    file(".young.jpg.geodot-" + dead + "-aB3dE9", original_);
    fs::create_directory(dir_ / "sub");
    file("sub/.pic.jpg.geodot-" + dead + "-aB3dE9", original_);
    age(dir_ / "sub" / (".pic.jpg.geodot-" + dead + "-aB3dE9"), 120);
    if (geteuid() == 0) {
        const fs::path theirs = file(".u.jpg.geodot-" + dead + "-aB3dE9", original_);
        ASSERT_EQ(chown(theirs.c_str(), kNobody, kNobody), 0);
        age(theirs, 120);
    }
    std::vector<std::string> expected = namesIn(dir_);
    for (const std::string& name : stale)
        expected.erase(std::find(expected.begin(), expected.end(), name));

    Exif::SaveFile(p.string(), replacement_, true);

    EXPECT_EQ(namesIn(dir_), expected);
    EXPECT_EQ(namesIn(dir_ / "sub"), std::vector<std::string>{".pic.jpg.geodot-" + dead + "-aB3dE9"});
    EXPECT_EQ(readBytes(p), replacement_);
}

// --- The time stamp of a saved file --------------------------------------------------------------

double dateTime(int y, int mo, int d, int h, int mi, int s) {
    double v = 0;
    EXPECT_TRUE(NumberText::EncodeDateTime(y, mo, d, h, mi, s, v));
    return v;
}

class Timestamps : public EngineTest {};

TEST_F(Timestamps, DateTimeComesFirstThenOriginalThenDigitizedThenTheFileDate) {
    const double dt = dateTime(2010, 1, 2, 3, 4, 5), original = dateTime(2009, 6, 7, 8, 9, 10),
                 digitized = dateTime(2008, 11, 12, 13, 14, 15),
                 fileDate = dateTime(2024, 2, 29, 23, 59, 59);
    const double y1900 = dateTime(1900, 12, 31, 23, 59, 59), y1901 = dateTime(1901, 1, 1, 0, 0, 0);
    const double unreadable = 2.0; // what an unreadable date such as "0000:00:00 00:00:00" gives
    const struct {
        const char* name;
        double r0132, r9003, r9004, expected;
    } cases[] = {
        {"all three", dt, original, digitized, dt},
        {"no DateTime", 0, original, digitized, original},
        {"only DateTimeDigitized", 0, 0, digitized, digitized},
        {"none", 0, 0, 0, fileDate},
        {"unreadable dates", unreadable, unreadable, unreadable, fileDate},
        {"DateTime in 1900 is passed over", y1900, original, digitized, original},
        {"DateTime in 1901 counts", y1901, original, digitized, y1901},
        {"an older DateTime still wins over a later original", digitized, original, dt, digitized},
        {"original in 1900, digitized taken", 0, y1900, digitized, digitized},
        {"a date before 1899 is passed over", -800.5, 0, digitized, digitized},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ExifDetails::DateTime0132 = c.r0132;
        ExifDetails::DateTime9003 = c.r9003;
        ExifDetails::DateTime9004 = c.r9004;
        EXPECT_DOUBLE_EQ(Exif::TimestampFor(fileDate), c.expected);
    }
}

TEST_F(Timestamps, TheDatesComeFromTheOpenedFile) {
    const struct {
        const char* dateTime;
        const char* original;
        double expected;
    } cases[] = {
        {"2011:12:13 14:15:16", "2004:05:06 07:08:09", dateTime(2011, 12, 13, 14, 15, 16)},
        // A camera without a clock writes zeros.
        {"0000:00:00 00:00:00", "2004:05:06 07:08:09", dateTime(2004, 5, 6, 7, 8, 9)},
        {"2011:02:30 14:15:16", "    :  :     :  :  ", 42.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dateTime);
        TiffBuilder t;
        const int ifd0 = t.addIfd(), exif = t.addIfd();
        t.entry(ifd0, 0x0132, 2, 20, ascii(c.dateTime));
        t.pointer(ifd0, 0x8769, exif);
        t.entry(exif, 0x9003, 2, 20, ascii(c.original));
        ExifDetails::PrepareRegistersForOpen({});
        ASSERT_TRUE(analyze(jpeg(exifApp1(t.build()))));
        EXPECT_DOUBLE_EQ(Exif::TimestampFor(42.0), c.expected);
    }
}

class FileTimes : public Saving {
  protected:
    void SetUp() override {
        Saving::SetUp();
        if (const char* tz = std::getenv("TZ"))
            savedTz_ = tz;
    }
    void TearDown() override {
        if (savedTz_)
            setenv("TZ", savedTz_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
        Saving::TearDown();
    }
    static void useZone(const char* tz) {
        setenv("TZ", tz, 1);
        tzset();
    }
    static struct stat statOf(const fs::path& p) {
        struct stat st {};
        EXPECT_EQ(stat(p.c_str(), &st), 0);
        return st;
    }
    // Seconds since 1970 of a UTC date-time.
    static std::time_t utc(int y, int mo, int d, int h, int mi, int s) {
        std::tm tm{};
        tm.tm_year = y - 1900, tm.tm_mon = mo - 1, tm.tm_mday = d;
        tm.tm_hour = h, tm.tm_min = mi, tm.tm_sec = s;
        return timegm(&tm);
    }

    std::optional<std::string> savedTz_;
};

TEST_F(FileTimes, SetFileTimeTakesLocalTimeAndFileTimeOfGivesItBack) {
    // Rule strings instead of zone names, so that no time zone database is needed.
    const char* const kBerlin = "CET-1CEST,M3.5.0,M10.5.0/3";
    const struct {
        const char* tz;
        int y, mo, d, h, mi, s;
        long utcOffset; // seconds east of UTC in effect at that moment
    } cases[] = {
        {"UTC0", 2003, 12, 14, 12, 1, 44, 0},
        {"JST-9", 2003, 12, 14, 12, 1, 44, 9 * 3600},
        {kBerlin, 2021, 7, 1, 0, 0, 0, 2 * 3600},
        {kBerlin, 2021, 1, 1, 23, 59, 59, 3600},
        {"EST5EDT,M3.2.0,M11.1.0", 1999, 12, 31, 23, 59, 59, -5 * 3600},
        {"UTC0", 1970, 1, 1, 0, 0, 1, 0},
        {"UTC0", 2100, 2, 28, 6, 30, 0, 0},
    };
    const fs::path p = file("pic.jpg", original_);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.tz) + " " + std::to_string(c.y));
        useZone(c.tz);
        const double local = dateTime(c.y, c.mo, c.d, c.h, c.mi, c.s);
        Exif::SetFileTime(p.string(), local);
        const struct stat st = statOf(p);
        EXPECT_EQ(st.st_mtim.tv_sec, utc(c.y, c.mo, c.d, c.h, c.mi, c.s) - c.utcOffset);
        EXPECT_EQ(st.st_mtim.tv_nsec, 0);
        EXPECT_DOUBLE_EQ(Exif::FileTimeOf(p.string()), local);
    }
}

TEST_F(FileTimes, SetFileTimeLeavesTheAccessTimeAndTheContent) {
    useZone("UTC0");
    const fs::path p = file("pic.jpg", original_);
    const timespec times[2] = {{1000000000, 123456789}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
    Exif::SetFileTime(p.string(), dateTime(2015, 3, 4, 5, 6, 7));
    const struct stat st = statOf(p);
    EXPECT_EQ(st.st_atim.tv_sec, 1000000000);
    EXPECT_EQ(st.st_atim.tv_nsec, 123456789);
    EXPECT_EQ(st.st_mtim.tv_sec, utc(2015, 3, 4, 5, 6, 7));
    EXPECT_EQ(readBytes(p), original_);
}

TEST_F(FileTimes, AMissingFileIsAnErrorNamingIt) {
    const fs::path p = dir_ / "gone.jpg";
    for (auto call : {std::function<void()>([&] { Exif::SetFileTime(p.string(), 40000.5); }),
                      std::function<void()>([&] { (void)Exif::FileTimeOf(p.string()); })}) {
        try {
            call();
            ADD_FAILURE() << "no error";
        } catch (const Exif::EngineError& e) {
            EXPECT_NE(std::string(e.what()).find(p.string()), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(std::strerror(ENOENT)), std::string::npos);
        }
    }
    EXPECT_FALSE(fs::exists(p));
}

} // namespace
