// Storing the output file atomically, and the time stamps of saved files.
#include "Exif.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include "ExifDetails.h"
#include "NumberText.h"

namespace Exif {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void saveError(const std::string& path, const char* what, int err) {
    throw EngineError("「" + path + "」を保存できません: " + what + " (" + std::strerror(err) +
                      ")。元のファイルは変更していません。");
}

// Removes the temporary file unless the save went through.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string tmpl) : path_(std::move(tmpl)) {
        fd_ = mkstemp(path_.data());
    }
    ~TemporaryFile() {
        if (fd_ >= 0)
            ::close(fd_);
        if (!committed_)
            unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    // Closes the descriptor; false (errno set) when the close reports an error.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }
    void committed() { committed_ = true; }

private:
    std::string path_;
    int fd_ = -1;
    bool committed_ = false;
};

// The file a save replaces: a symbolic link is followed so that the link itself stays.
// The file a save replaces: symbolic links are followed, also to a file that does not exist
// yet, so that the links themselves stay.
std::string resolveTarget(const std::string& path) {
    fs::path target = path;
    std::error_code ec;
    for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(target, ec)); ++hops) {
        const fs::path next = fs::read_symlink(target, ec);
        if (ec)
            break;
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    return target.string();
}

FileIdentity identityOf(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
            static_cast<std::uint64_t>(st.st_size), st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
}

// The process's umask, read once: reading it means setting it, which must not race with
// saves running on other threads.
mode_t currentUmask() {
    static std::once_flag once;
    static mode_t mask = 022;
    std::call_once(once, [] {
        mask = umask(0);
        umask(mask);
    });
    return mask;
}

} // namespace

void SaveFile(const std::string& path, const std::vector<std::uint8_t>& bytes, bool mustExist) {
    ByteStream content;
    content.assign(bytes);
    SaveFile(path, content, mustExist);
}

FileIdentity IdentityOf(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        throw EngineError("「" + path + "」が見つかりません (" + std::strerror(errno) + ")");
    return identityOf(st);
}

void SaveFile(const std::string& path, const ByteStream& content, bool mustExist,
              const FileIdentity* unchangedSince) {
    const std::string target = resolveTarget(path);
    struct stat st {};
    const bool exists = stat(target.c_str(), &st) == 0;
    if (!exists && (mustExist || errno != ENOENT))
        saveError(path, "ファイルが見つかりません", errno);
    if (exists && !S_ISREG(st.st_mode))
        saveError(path, "通常のファイルではありません", EISDIR);
    if (exists && unchangedSince && identityOf(st) != *unchangedSince)
        saveError(path, "開いた後でほかのプログラムに変更されています", ESTALE);
    // Replacing goes through the folder, but a file the user may not write stays as it is.
    if (exists && faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        saveError(path, "書き込みが許可されていません", errno);

    const fs::path targetPath(target);
    const std::string folder =
        targetPath.has_parent_path() ? targetPath.parent_path().string() : std::string(".");
    TemporaryFile tmp(folder + "/." + targetPath.filename().string() + ".geodot-XXXXXX");
    if (tmp.fd() < 0)
        saveError(path, "一時ファイルを作成できません", errno);
    if (const int err = content.writeTo(tmp.fd()))
        saveError(path, err == ESTALE ? "元のファイルが開いた後で変更されています" : "書き込めません",
                  err);
    if (fdatasync(tmp.fd()) != 0)
        saveError(path, "ディスクに書き込めません", errno);
    // The new file takes the place of the old one with its permissions and, where allowed,
    // its owner; a new file gets the usual permissions.
    const mode_t mode = exists ? (st.st_mode & 07777) : (0666 & ~currentUmask());
    if (fchmod(tmp.fd(), mode) != 0)
        saveError(path, "アクセス権を設定できません", errno);
    if (exists && (st.st_uid != geteuid() || st.st_gid != getegid()))
        (void)fchown(tmp.fd(), st.st_uid, st.st_gid);
    if (!tmp.close())
        saveError(path, "書き込めません", errno);
    // Check again right before the replacement: writing and flushing took a while.
    if (exists && mustExist && stat(target.c_str(), &st) != 0)
        saveError(path, "ファイルが見つかりません", errno);
    if (exists && unchangedSince && identityOf(st) != *unchangedSince)
        saveError(path, "開いた後でほかのプログラムに変更されています", ESTALE);
    if (rename(tmp.path().c_str(), target.c_str()) != 0)
        saveError(path, "置き換えられません", errno);
    tmp.committed();
    const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
}

double TimestampFor(double fileDate) {
    auto yearOf = [](double dateTime) {
        int y, mo, d, h, mi, s;
        NumberText::DecodeDateTime(dateTime, y, mo, d, h, mi, s);
        return y;
    };
    // The priority: DateTime, then DateTimeOriginal, then DateTimeDigitized.
    double stamp = fileDate;
    for (double candidate : {ExifDetails::DateTime9004, ExifDetails::DateTime9003,
                             ExifDetails::DateTime0132})
        if (yearOf(candidate) > 1900)
            stamp = candidate;
    return stamp;
}

void SetFileTime(const std::string& path, double localDateTime) {
    std::tm tm{};
    NumberText::DecodeDateTime(localDateTime, tm.tm_year, tm.tm_mon, tm.tm_mday, tm.tm_hour,
                               tm.tm_min, tm.tm_sec);
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT; // the last-access time stays
    times[1].tv_sec = t;
    times[1].tv_nsec = 0;
    if (t == static_cast<std::time_t>(-1) || utimensat(AT_FDCWD, path.c_str(), times, 0) != 0)
        throw EngineError("「" + path + "」の日時を設定できません (" + std::strerror(errno) + ")");
}

double FileTimeOf(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        throw EngineError("「" + path + "」の日時を読めません (" + std::strerror(errno) + ")");
    std::tm tm{};
    localtime_r(&st.st_mtime, &tm);
    double value = 0;
    NumberText::EncodeDateTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                               tm.tm_min, tm.tm_sec, value);
    return value;
}

} // namespace Exif
