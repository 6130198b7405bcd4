#include "ByteStream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "EngineError.h"

namespace Exif {

// What a reference points into: a file kept open, or the bytes of a stream.
struct ByteStream::Source {
    int fd = -1;
    std::uint64_t size = 0;
    struct timespec mtime {};
    std::shared_ptr<std::vector<std::uint8_t>> memory;

    ~Source() {
        if (fd >= 0)
            close(fd);
    }
    bool unchanged() const {
        struct stat st {};
        return fstat(fd, &st) == 0 && static_cast<std::uint64_t>(st.st_size) == size &&
               st.st_mtim.tv_sec == mtime.tv_sec && st.st_mtim.tv_nsec == mtime.tv_nsec;
    }
};

namespace {

// Below this a stretch is copied: references pay off for the image data, not for segments.
constexpr std::uint64_t kReferenceThreshold = 256 * 1024;

[[noreturn]] void fileError(const std::string& path, const char* what, int err) {
    throw EngineError("「" + path + "」を" + what + " (" + std::strerror(err) + ")");
}

bool writeAll(int fd, const std::uint8_t* data, std::uint64_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, std::min<std::uint64_t>(size, 1 << 30));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        data += n;
        size -= static_cast<std::uint64_t>(n);
    }
    return true;
}

// Copies a stretch of a file: inside the kernel where possible, through a buffer otherwise.
int copyFileRange(int from, std::uint64_t offset, std::uint64_t length, int to) {
    loff_t in = static_cast<loff_t>(offset);
    while (length > 0) {
        const ssize_t n = copy_file_range(from, &in, to, nullptr, length, 0);
        if (n > 0) {
            length -= static_cast<std::uint64_t>(n);
            continue;
        }
        if (n == 0)
            return EIO; // the file is shorter than it was
        if (errno == EINTR)
            continue;
        if (errno != EXDEV && errno != ENOSYS && errno != EOPNOTSUPP && errno != EINVAL)
            return errno;
        std::vector<std::uint8_t> buffer(1 << 20);
        while (length > 0) {
            const ssize_t r = pread(from, buffer.data(), std::min<std::uint64_t>(length, buffer.size()), in);
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                return r == 0 ? EIO : errno;
            if (!writeAll(to, buffer.data(), static_cast<std::uint64_t>(r)))
                return errno;
            in += r;
            length -= static_cast<std::uint64_t>(r);
        }
    }
    return 0;
}

} // namespace

std::uint64_t ByteStream::size() const {
    std::uint64_t n = file_ ? file_->size : own_->size();
    for (const Ref& r : refs_)
        n += r.length;
    return n;
}

void ByteStream::ensureLoaded(std::uint64_t end) {
    if (!file_ || end <= own_->size())
        return;
    end = std::min(end, file_->size);
    // Read ahead generously: a reader that needs one more byte will soon need the next ones.
    const std::uint64_t target =
        std::min(file_->size, std::max<std::uint64_t>(end, own_->size() * 2 + 65536));
    std::vector<std::uint8_t>& bytes = *own_;
    std::uint64_t have = bytes.size();
    bytes.resize(target);
    while (have < target) {
        const ssize_t n = pread(file_->fd, bytes.data() + have, target - have, static_cast<off_t>(have));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // the file shrank: what is not there reads as nothing
        have += static_cast<std::uint64_t>(n);
    }
    bytes.resize(have);
    if (have < target)
        file_->size = have;
}

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
    if (got > 0) {
        ensureLoaded(pos_ + got);
        const std::uint64_t inMemory =
            pos_ < own_->size() ? std::min<std::uint64_t>(got, own_->size() - pos_) : 0;
        if (inMemory > 0)
            std::memcpy(dst, own_->data() + pos_, inMemory);
    }
    skip(n);
    return got;
}

std::span<const std::uint8_t> ByteStream::view(std::uint64_t pos, std::uint64_t n) {
    ensureLoaded(pos + std::min(n, size()));
    if (pos > own_->size() || n > own_->size() - pos)
        throw EngineError("Stream read error: the data ends before the expected length");
    return {own_->data() + pos, static_cast<std::size_t>(n)};
}

void ByteStream::write(std::span<const std::uint8_t> data) {
    if (!refs_.empty()) { // bytes after a reference: bring the referred bytes in first
        std::vector<std::uint8_t> all = toVector();
        refs_.clear();
        *own_ = std::move(all);
    }
    own_->insert(own_->end(), data.begin(), data.end());
    pos_ = own_->size();
}

void ByteStream::writeU16BE(std::uint16_t v) {
    const std::uint8_t b[2] = {static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
    write(b);
}

void ByteStream::patch(std::uint64_t pos, std::span<const std::uint8_t> data) {
    if (pos > own_->size() || data.size() > own_->size() - pos)
        throw EngineError("Stream write error: a patch outside the data");
    std::copy(data.begin(), data.end(), own_->begin() + static_cast<std::ptrdiff_t>(pos));
}

void ByteStream::copyFrom(ByteStream& src, std::uint64_t n) {
    const std::uint64_t from = src.position();
    if (!src.contains(from, n))
        throw EngineError("Stream read error: the data ends before the expected length");
    if (n < kReferenceThreshold || !src.refs_.empty()) {
        write(src.view(from, n));
    } else if (src.file_) {
        refs_.push_back({src.file_, from, n});
    } else {
        auto memory = std::make_shared<Source>();
        memory->memory = src.own_;
        refs_.push_back({memory, from, n});
    }
    src.skip(n);
    pos_ = size();
}

void ByteStream::insertFront(std::span<const std::uint8_t> data) {
    own_->insert(own_->begin(), data.begin(), data.end());
    pos_ = size();
}

void ByteStream::append(const ByteStream& other) {
    if (other.file_) {
        throw EngineError("Stream write error: a source stream cannot be appended whole");
    }
    write(*other.own_);
    refs_.insert(refs_.end(), other.refs_.begin(), other.refs_.end());
    pos_ = size();
}

void ByteStream::clear() {
    own_ = std::make_shared<std::vector<std::uint8_t>>();
    file_.reset();
    refs_.clear();
    pos_ = 0;
}

void ByteStream::assign(std::vector<std::uint8_t> bytes) {
    clear();
    *own_ = std::move(bytes);
}

void ByteStream::openFile(const std::string& path) {
    clear();
    auto source = std::make_shared<Source>();
    source->fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (source->fd < 0)
        fileError(path, "開けません", errno);
    struct stat st {};
    if (fstat(source->fd, &st) != 0)
        fileError(path, "読めません", errno);
    if (S_ISDIR(st.st_mode))
        fileError(path, "読めません", EISDIR);
    source->size = static_cast<std::uint64_t>(st.st_size);
    source->mtime = st.st_mtim;
    file_ = std::move(source);
}

void ByteStream::loadFromFile(const std::string& path) {
    openFile(path);
    ensureLoaded(file_->size);
    file_.reset(); // everything is in memory now
}

std::vector<std::uint8_t> ByteStream::toVector() const {
    std::vector<std::uint8_t> out(*own_);
    for (const Ref& r : refs_) {
        const std::size_t at = out.size();
        out.resize(at + r.length);
        if (r.source->memory) {
            std::memcpy(out.data() + at, r.source->memory->data() + r.offset, r.length);
            continue;
        }
        std::uint64_t done = 0;
        while (done < r.length) {
            const ssize_t n = pread(r.source->fd, out.data() + at + done, r.length - done,
                                    static_cast<off_t>(r.offset + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                throw EngineError("Stream read error: the source file changed");
            done += static_cast<std::uint64_t>(n);
        }
    }
    return out;
}

int ByteStream::writeTo(int fd) const {
    if (!writeAll(fd, own_->data(), own_->size()))
        return errno;
    for (const Ref& r : refs_) {
        if (r.source->memory) {
            if (!writeAll(fd, r.source->memory->data() + r.offset, r.length))
                return errno;
            continue;
        }
        if (!r.source->unchanged())
            return ESTALE;
        if (const int err = copyFileRange(r.source->fd, r.offset, r.length, fd))
            return err;
    }
    return 0;
}

} // namespace Exif
