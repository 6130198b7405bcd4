// Storing output files atomically, one or a batch with one group commit, and the time stamps
// of saved files.
#include "Exif.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include "ExifDetails.h"
#include "NumberText.h"
#include "TemporaryFile.h"

namespace Exif {
namespace {

namespace fs = std::filesystem;

std::string errorText(int err) {
    return std::string(" (") + std::strerror(err) + ")";
}

[[noreturn]] void saveError(const std::string& path, const std::string& what) {
    throw EngineError("「" + path + "」を保存できません: " + what + "。元のファイルは変更していません。");
}

[[noreturn]] void saveError(const std::string& path, const char* what, int err) {
    saveError(path, what + errorText(err));
}

// The file the user opened is no longer there as it was: what to do about it is theirs.
[[noreturn]] void changedError(const std::string& path) {
    saveError(path, "開いた後でほかのプログラムに変更されています。再読み込みするか、別名で保存してください");
}

[[noreturn]] void goneError(const std::string& path, int err) {
    saveError(path, "ファイルが見つかりません" + errorText(err) + "。別名で保存してください");
}

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

// One file of a save on its way: its output written beside the target, waiting for its turn.
struct PendingSave {
    const SaveRequest* request = nullptr;
    std::string target, folder;
    std::unique_ptr<TemporaryFile> file;
    // The target as it was when its content was last found unchanged.
    struct stat checked {};
    ContentFingerprint written;
    bool flushed = false;
};

// Compares what the target holds now with what was opened; false when it is gone. The path
// may name another file than the one opened (a backup tool wrote a copy and renamed it into
// place): what counts is the content, and the copy is made from the opened file's descriptor,
// whose bytes are checked against the same fingerprint while they are copied.
bool targetUnchanged(PendingSave& save) {
    const int fd = open(save.target.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return false;
        saveError(save.request->path, "ファイルを読めません", errno);
    }
    const ContentFingerprint& opened = *save.request->options.unchangedSince;
    int err = fstat(fd, &save.checked) != 0 ? errno : 0;
    if (!err && !S_ISREG(save.checked.st_mode))
        err = EISDIR;
    // Still the file that was read, in the state it was read in: it holds the same bytes.
    if (!err && opened.seen && *opened.seen == StateOf(save.checked)) {
        close(fd);
        return true;
    }
    ContentFingerprint now;
    if (!err)
        err = FingerprintOfFile(fd, now);
    close(fd);
    if (err)
        saveError(save.request->path, "ファイルを読めません", err);
    if (now != opened)
        changedError(save.request->path);
    return true;
}

// Step 1: the checks, and the output written to a new file beside the target.
void writeOutput(PendingSave& save, std::set<std::string>& cleanedFolders) {
    const std::string& path = save.request->path;
    const SaveOptions& options = save.request->options;
    save.target = resolveTarget(path);
    struct stat st {};
    const bool exists = stat(save.target.c_str(), &st) == 0;
    if (!exists && options.unchangedSince && errno == ENOENT)
        goneError(path, errno);
    if (!exists && (options.mustExist || errno != ENOENT))
        saveError(path, "ファイルが見つかりません", errno);
    if (exists && !S_ISREG(st.st_mode))
        saveError(path, "通常のファイルではありません", EISDIR);
    // Replacing goes through the folder, but a file the user may not write stays as it is.
    if (exists && faccessat(AT_FDCWD, save.target.c_str(), W_OK, AT_EACCESS) != 0)
        saveError(path, "書き込みが許可されていません", errno);

    const fs::path target(save.target);
    save.folder = target.has_parent_path() ? target.parent_path().string() : std::string(".");
    if (cleanedFolders.insert(save.folder).second)
        RemoveStaleTemporaryFiles(save.folder);
    save.file = std::make_unique<TemporaryFile>();
    if (const int err = save.file->create(save.folder, target.filename().string()))
        saveError(path, "一時ファイルを作成できません", err);
    const int fd = save.file->fd();
    ContentHasher written;
    ContentHasher* const hashed = options.fingerprintWritten ? &written : nullptr;
    if (const int err = save.request->content.writeTo(fd, hashed)) {
        if (err == ESTALE)
            changedError(path);
        saveError(path, "書き込めません", err);
    }
    if (options.fingerprintWritten)
        save.written = written.result();
    // The new file takes the place of the old one with its permissions and, where allowed,
    // its owner; a new file gets the usual permissions.
    const mode_t mode = exists ? (st.st_mode & 07777) : (0666 & ~currentUmask());
    if (fchmod(fd, mode) != 0)
        saveError(path, "アクセス権を設定できません", errno);
    if (exists && (st.st_uid != geteuid() || st.st_gid != getegid()))
        (void)fchown(fd, st.st_uid, st.st_gid);
    if (options.modified) {
        const timespec times[2] = {{0, UTIME_OMIT}, *options.modified};
        if (futimens(fd, times) != 0)
            saveError(path, "日時を設定できません", errno);
    }
    if (options.unchangedSince && !targetUnchanged(save))
        goneError(path, ENOENT);
}

// Step 2: the data on disk. With a modification time given, the file's times too.
void flush(PendingSave& save) {
    if (save.flushed)
        return;
    const int fd = save.file->fd();
    if ((save.request->options.modified ? fsync(fd) : fdatasync(fd)) != 0)
        saveError(save.request->path, "ディスクに書き込めません", errno);
}

// Step 3: the target replaced, after a last look at it: flushing took a while.
void replaceTarget(PendingSave& save) {
    const std::string& path = save.request->path;
    const SaveOptions& options = save.request->options;
    struct stat st {};
    if (stat(save.target.c_str(), &st) != 0) {
        if (options.unchangedSince && errno == ENOENT)
            goneError(path, errno);
        if (options.mustExist || errno != ENOENT)
            saveError(path, "ファイルが見つかりません", errno);
    } else if (options.unchangedSince && StateOf(st) != StateOf(save.checked) &&
               !targetUnchanged(save)) {
        goneError(path, ENOENT);
    }
    if (const int err = save.file->replace(save.target))
        saveError(path, "置き換えられません", err);
}

// Several outputs on one file system are put on disk by one sync of that file system, which
// for a batch of 100 photos took half the time of flushing each file. Where that sync fails,
// each file is flushed on its own and reports its own error.
void syncFileSystems(std::vector<PendingSave>& saves, const std::vector<SaveResult>& results) {
    std::map<dev_t, std::vector<std::size_t>> byDevice;
    for (std::size_t i = 0; i < saves.size(); ++i) {
        struct stat st {};
        if (results[i].error.empty() && fstat(saves[i].file->fd(), &st) == 0)
            byDevice[st.st_dev].push_back(i);
    }
    for (const auto& [device, members] : byDevice) {
        if (members.size() < 2 || syncfs(saves[members[0]].file->fd()) != 0)
            continue;
        for (std::size_t i : members)
            saves[i].flushed = true;
    }
}

template <typename Step>
void runStep(std::vector<PendingSave>& saves, std::vector<SaveResult>& results, Step step) {
    for (std::size_t i = 0; i < saves.size(); ++i) {
        if (!results[i].error.empty())
            continue;
        try {
            step(saves[i]);
        } catch (const EngineError& e) {
            results[i].error = e.what();
        } catch (const std::bad_alloc&) {
            results[i].error = "「" + saves[i].request->path + "」を保存できません: メモリが足りません";
        }
        if (!results[i].error.empty())
            saves[i].file.reset(); // the temporary file goes; the target stays as it was
    }
}

} // namespace

std::vector<SaveResult> SaveFiles(const std::vector<SaveRequest>& requests) {
    std::vector<SaveResult> results(requests.size());
    std::vector<PendingSave> saves(requests.size());
    for (std::size_t i = 0; i < requests.size(); ++i)
        saves[i].request = &requests[i];
    std::set<std::string> cleanedFolders;
    runStep(saves, results, [&](PendingSave& s) { writeOutput(s, cleanedFolders); });
    syncFileSystems(saves, results);
    runStep(saves, results, flush);
    runStep(saves, results, replaceTarget);

    // Step 4: the renames on disk, one sync per folder.
    std::map<std::string, std::vector<std::size_t>> folders;
    for (std::size_t i = 0; i < saves.size(); ++i)
        if (results[i].error.empty())
            folders[saves[i].folder].push_back(i);
    for (const auto& [folder, members] : folders) {
        const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const int err = fd >= 0 && fsync(fd) != 0 ? errno : 0;
        if (fd >= 0)
            close(fd);
        for (std::size_t i : members) {
            if (err)
                results[i].error = "「" + requests[i].path +
                                   "」を保存しましたが、フォルダーをディスクに書き込めません" +
                                   errorText(err);
            else
                results[i].written = saves[i].written;
        }
    }
    return results;
}

ContentFingerprint SaveFile(const std::string& path, const ByteStream& content,
                            const SaveOptions& options) {
    const std::vector<SaveResult> results = SaveFiles({SaveRequest{path, content, options}});
    if (!results[0].error.empty())
        throw EngineError(results[0].error);
    return results[0].written;
}

void SaveFile(const std::string& path, const ByteStream& content, bool mustExist) {
    SaveOptions options;
    options.mustExist = mustExist;
    SaveFile(path, content, options);
}

void SaveFile(const std::string& path, const std::vector<std::uint8_t>& bytes, bool mustExist) {
    ByteStream content;
    content.assign(bytes);
    SaveFile(path, content, mustExist);
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

std::optional<timespec> FileTimeFromLocal(double localDateTime) {
    std::tm tm{};
    NumberText::DecodeDateTime(localDateTime, tm.tm_year, tm.tm_mon, tm.tm_mday, tm.tm_hour,
                               tm.tm_min, tm.tm_sec);
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1))
        return std::nullopt;
    return timespec{t, 0};
}

void SetFileTime(const std::string& path, double localDateTime) {
    const std::optional<timespec> modified = FileTimeFromLocal(localDateTime);
    const timespec times[2] = {{0, UTIME_OMIT}, modified.value_or(timespec{})}; // access time stays
    if (!modified || utimensat(AT_FDCWD, path.c_str(), times, 0) != 0)
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
