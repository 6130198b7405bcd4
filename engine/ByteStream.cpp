#include "ByteStream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "EngineError.h"

namespace Exif {

std::uint8_t ByteStream::readByte() {
    std::uint8_t b = 0;
    readInto(&b, 1);
    return b;
}

std::uint16_t ByteStream::readU16LE() {
    std::uint8_t b[2] = {0, 0};
    readInto(b, 2);
    return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

std::uint16_t ByteStream::readU16BE() {
    std::uint8_t b[2] = {0, 0};
    readInto(b, 2);
    return static_cast<std::uint16_t>((b[0] << 8) | b[1]);
}

std::uint32_t ByteStream::readU32LE() {
    std::uint8_t b[4] = {0, 0, 0, 0};
    readInto(b, 4);
    return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
           (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

std::uint64_t ByteStream::readInto(std::uint8_t* dst, std::uint64_t n) {
    const std::uint64_t got = n < remaining() ? n : remaining();
    if (got > 0)
        std::memcpy(dst, bytes_.data() + pos_, got);
    skip(n);
    return got;
}

std::span<const std::uint8_t> ByteStream::view(std::uint64_t pos, std::uint64_t n) const {
    if (!contains(pos, n))
        throw EngineError("Stream read error: the data ends before the expected length");
    return {bytes_.data() + pos, static_cast<std::size_t>(n)};
}

void ByteStream::write(std::span<const std::uint8_t> data) {
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    pos_ = bytes_.size();
}

void ByteStream::writeU16BE(std::uint16_t v) {
    const std::uint8_t b[2] = {static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
    write(b);
}

void ByteStream::patch(std::uint64_t pos, std::span<const std::uint8_t> data) {
    if (!contains(pos, data.size()))
        throw EngineError("Stream write error: a patch outside the data");
    std::copy(data.begin(), data.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(pos));
}

void ByteStream::copyFrom(ByteStream& src, std::uint64_t n) {
    write(src.view(src.position(), n));
    src.skip(n);
}

void ByteStream::clear() {
    bytes_.clear();
    bytes_.shrink_to_fit();
    pos_ = 0;
}

void ByteStream::assign(std::vector<std::uint8_t> bytes) {
    bytes_ = std::move(bytes);
    pos_ = 0;
}

void ByteStream::loadFromFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw EngineError("「" + path + "」を開けません (" + std::strerror(errno) + ")");
    struct stat st {};
    std::vector<std::uint8_t> data;
    bool ok = fstat(fd, &st) == 0;
    if (ok && S_ISDIR(st.st_mode)) {
        ok = false;
        errno = EISDIR;
    }
    if (ok && S_ISREG(st.st_mode))
        data.reserve(static_cast<std::size_t>(st.st_size));
    // Read to the end rather than trusting the size: the file may change while it is read.
    std::uint8_t chunk[1 << 16];
    while (ok) {
        const std::size_t room = data.capacity() - data.size();
        if (room > 0) {
            const std::size_t old = data.size();
            data.resize(data.capacity());
            const ssize_t n = ::read(fd, data.data() + old, room);
            data.resize(old + static_cast<std::size_t>(n > 0 ? n : 0));
            if (n > 0)
                continue;
            if (n == 0)
                break;
        } else {
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n > 0) {
                data.insert(data.end(), chunk, chunk + n);
                continue;
            }
            if (n == 0)
                break;
        }
        if (errno != EINTR)
            ok = false;
    }
    const int err = errno;
    ::close(fd);
    if (!ok)
        throw EngineError("「" + path + "」を読めません (" + std::strerror(err) + ")");
    assign(std::move(data));
}

} // namespace Exif
