#include "ContentHash.h"

#include <cerrno>
#include <ctime>
#include <memory>
#include <new>
#include <sys/statfs.h>
#include <unistd.h>
#include <xxhash.h>

namespace Exif {
namespace {

// File systems that stamp every write with the time to the clock's tick, nanoseconds kept.
// Others (FAT keeps two seconds, network file systems the server's clock) are read again.
bool changeTimesAreExact(int fd) {
    struct statfs fs {};
    if (fstatfs(fd, &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0xEF53:     // ext2, ext3, ext4
    case 0x58465342: // XFS
    case 0x9123683E: // Btrfs
    case 0x01021994: // tmpfs
    case 0xF2F52010: // F2FS
        return true;
    default:
        return false;
    }
}

std::int64_t nanoseconds(const timespec& t) {
    return std::int64_t{t.tv_sec} * 1000000000 + t.tv_nsec;
}

} // namespace

FileState StateOf(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
            static_cast<std::uint64_t>(st.st_size), st.st_mtim.tv_sec, st.st_mtim.tv_nsec,
            st.st_ctim.tv_sec, st.st_ctim.tv_nsec};
}

ContentHasher::ContentHasher() : state_(XXH3_createState()) {
    if (!state_)
        throw std::bad_alloc();
    XXH3_64bits_reset(state_);
}

ContentHasher::~ContentHasher() {
    XXH3_freeState(state_);
}

void ContentHasher::add(std::span<const std::uint8_t> bytes) {
    XXH3_64bits_update(state_, bytes.data(), bytes.size());
    size_ += bytes.size();
}

ContentFingerprint ContentHasher::result() const {
    return {size_, XXH3_64bits_digest(state_), std::nullopt};
}

ContentFingerprint FingerprintOf(std::span<const std::uint8_t> bytes) {
    return {bytes.size(), XXH3_64bits(bytes.data(), bytes.size()), std::nullopt};
}

int FingerprintOfFile(int fd, ContentFingerprint& result) {
    // The kernel stamps changes from the coarse clock: a change time two ticks before that
    // clock's reading now cannot be given to a write that comes later, unless the clock is set
    // back meanwhile.
    struct stat before {};
    timespec now{}, tick{};
    const bool datable = fstat(fd, &before) == 0 &&
                         clock_gettime(CLOCK_REALTIME_COARSE, &now) == 0 &&
                         clock_getres(CLOCK_REALTIME_COARSE, &tick) == 0 &&
                         nanoseconds(before.st_ctim) + 2 * nanoseconds(tick) < nanoseconds(now) &&
                         changeTimesAreExact(fd);
    ContentHasher hasher;
    const auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kReadPiece);
    for (;;) {
        const ssize_t n = pread(fd, buffer.get(), kReadPiece, static_cast<off_t>(hasher.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            break;
        hasher.add({buffer.get(), static_cast<std::size_t>(n)});
    }
    result = hasher.result();
    struct stat after {};
    if (datable && fstat(fd, &after) == 0 && StateOf(after) == StateOf(before))
        result.seen = StateOf(before);
    return 0;
}

} // namespace Exif
