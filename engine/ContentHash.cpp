#include "ContentHash.h"

#include <cerrno>
#include <new>
#include <unistd.h>
#include <vector>
#include <xxhash.h>

namespace Exif {

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
    return {size_, XXH3_64bits_digest(state_)};
}

ContentFingerprint FingerprintOf(std::span<const std::uint8_t> bytes) {
    return {bytes.size(), XXH3_64bits(bytes.data(), bytes.size())};
}

int FingerprintOfFile(int fd, ContentFingerprint& result) {
    ContentHasher hasher;
    std::vector<std::uint8_t> buffer(1 << 20);
    for (;;) {
        const ssize_t n = pread(fd, buffer.data(), buffer.size(), static_cast<off_t>(hasher.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            break;
        hasher.add({buffer.data(), static_cast<std::size_t>(n)});
    }
    result = hasher.result();
    return 0;
}

} // namespace Exif
