#include "TemporaryFile.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Exif {
namespace {

constexpr char kMarker[] = ".geodot-";
constexpr std::size_t kRandomLength = 6;
constexpr char kRandomCharacters[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
// A target name longer than this is cut in the temporary name, which must stay within the
// 255 bytes a name may have: "." + 200 + ".geodot-" + 10-digit pid + "-" + 6.
constexpr std::size_t kNameKept = 200;
// A named temporary file this old whose process is gone is left over from a crash.
constexpr std::time_t kStaleAfterSeconds = 60;

bool namedFilesOnly() {
    // Without /proc an unnamed file could not be given a name (see link()).
    static const bool noProc = access("/proc/self/fd", X_OK) != 0;
    const char* forced = std::getenv("GEODOT_TEST_NAMED_TEMPORARY_FILES");
    return noProc || (forced && std::strcmp(forced, "1") == 0);
}

std::string randomText() {
    unsigned char bytes[kRandomLength];
    if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
        static unsigned counter = 0;
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        std::uint64_t x = static_cast<std::uint64_t>(now.tv_nsec) * 2654435761u + ++counter;
        for (unsigned char& b : bytes)
            b = static_cast<unsigned char>(x >>= 5);
    }
    std::string text;
    for (unsigned char b : bytes)
        text += kRandomCharacters[b % (sizeof kRandomCharacters - 1)];
    return text;
}

std::string temporaryName(const std::string& name) {
    return "." + name.substr(0, kNameKept) + kMarker + std::to_string(getpid()) + "-" +
           randomText();
}

// True for ".NAME.geodot-PID-XXXXXX", with the process id it names.
bool isTemporaryName(const char* entry, pid_t& pid) {
    const std::string name = entry;
    const std::size_t marker = name.rfind(kMarker);
    if (name.empty() || name[0] != '.' || marker == std::string::npos || marker < 2)
        return false;
    const std::size_t digits = marker + sizeof kMarker - 1;
    const std::size_t dash = name.find('-', digits);
    if (dash == std::string::npos || dash == digits || dash - digits > 9 ||
        name.size() - dash - 1 != kRandomLength)
        return false;
    for (std::size_t i = digits; i < dash; ++i)
        if (name[i] < '0' || name[i] > '9')
            return false;
    for (std::size_t i = dash + 1; i < name.size(); ++i)
        if (!std::strchr(kRandomCharacters, name[i]))
            return false;
    pid = static_cast<pid_t>(std::stol(name.substr(digits, dash - digits)));
    return pid > 0;
}

} // namespace

TemporaryFile::~TemporaryFile() {
    if (fd_ >= 0)
        ::close(fd_);
    if (!replaced_ && !path_.empty())
        unlink(path_.c_str());
}

int TemporaryFile::create(const std::string& folder, const std::string& name) {
    folder_ = folder;
    name_ = name;
    if (!namedFilesOnly()) {
        fd_ = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd_ >= 0)
            return 0;
        // Kernels and file systems without unnamed files say so in these ways.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            return errno;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = folder + "/" + temporaryName(name);
        fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd_ >= 0) {
            path_ = path;
            return 0;
        }
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

// Gives the unnamed file a temporary name. Linking a descriptor directly (AT_EMPTY_PATH) needs a
// privilege; its /proc entry does not.
int TemporaryFile::link() {
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = folder_ + "/" + temporaryName(name_);
        if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            path_ = path;
            return 0;
        }
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

int TemporaryFile::replace(const std::string& target) {
    if (path_.empty())
        if (const int err = link())
            return err;
    // A failing close can report a write that was lost (network file systems).
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        return errno;
    if (rename(path_.c_str(), target.c_str()) != 0)
        return errno;
    replaced_ = true;
    return 0;
}

void RemoveStaleTemporaryFiles(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    DIR* dir = fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return;
    }
    const std::time_t now = std::time(nullptr);
    while (const dirent* entry = readdir(dir)) {
        pid_t pid = 0;
        if (!isTemporaryName(entry->d_name, pid) || pid == getpid())
            continue;
        // A process that exists, also one of another user (EPERM), may still be writing it.
        if (kill(pid, 0) == 0 || errno != ESRCH)
            continue;
        struct stat st {};
        if (fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode) || st.st_uid != geteuid() || now - st.st_mtime < kStaleAfterSeconds)
            continue;
        unlinkat(dirfd(dir), entry->d_name, 0);
    }
    closedir(dir);
}

} // namespace Exif
