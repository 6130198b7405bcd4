#include "ByteStream.h"

#include <algorithm>
#include <memory>
#include <optional>
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
    // The whole file as it was read when opened; a file opened without it is not copied.
    std::optional<ContentFingerprint> fingerprint;
    std::shared_ptr<std::vector<std::uint8_t>> memory;

    ~Source() {
        if (fd >= 0)
            close(fd);
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

// Where writeTo puts the bytes: the output file, and the hash of what was written. Every few
// MiB, and at the end, the kernel is asked to start putting what was written on disk: the
// flush that makes a save durable then finds most of it written already, and in a batch the
// disk works on one file while the next is made.
class Output {
public:
    Output(int fd, ContentHasher* written) : fd_(fd), written_(written) {}

    bool put(const std::uint8_t* data, std::uint64_t size) {
        if (written_)
            written_->add({data, static_cast<std::size_t>(size)});
        if (!writeAll(fd_, data, size))
            return false;
        advance(size);
        return true;
    }
    // Copies as much of a stretch of a file as the kernel will, when nothing is hashed on the
    // way: no trip through user space, and some file systems share the blocks. How many bytes
    // it copied; where it stops short (another file system, an older kernel, a failure, the
    // file's end) reading takes over and reports what it finds.
    std::uint64_t copyInKernel(int fd, std::uint64_t offset, std::uint64_t length) {
        std::uint64_t done = 0;
        while (!written_ && kernelCopies_ && done < length) {
            off_t from = static_cast<off_t>(offset + done);
            const ssize_t n = copy_file_range(fd, &from, fd_, nullptr,
                                              std::min(length - done, kWritebackStep), 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                kernelCopies_ = false;
                break;
            }
            done += static_cast<std::uint64_t>(n);
            advance(static_cast<std::uint64_t>(n));
        }
        return done;
    }
    void startWriteback() {
        // Only a hint, which a descriptor that is not a file ignores.
        if (at_ > started_)
            (void)sync_file_range(fd_, static_cast<off_t>(started_),
                                  static_cast<off_t>(at_ - started_), SYNC_FILE_RANGE_WRITE);
        started_ = at_;
    }

private:
    void advance(std::uint64_t size) {
        at_ += size;
        if (at_ - started_ >= kWritebackStep)
            startWriteback();
    }

    static constexpr std::uint64_t kWritebackStep = 2 << 20;
    int fd_;
    ContentHasher* written_;
    bool kernelCopies_ = true;
    std::uint64_t at_ = 0, started_ = 0;
};

// Copies stretches of a source file into the output, and makes sure they are the bytes the
// file held when it was opened (changed in place too: the descriptor follows the file, not
// the name).
//  - A file whose state when it was read tells its content apart (its fingerprint's `seen`:
//    any write moves its change time) and that is in that state before and after the copy
//    held those bytes throughout: its stretches are copied as they are.
//  - Any other file is read from its start, every byte passing the hash once, and the
//    stretches written are the very bytes hashed. At the end the hash must be the one taken
//    when the file was opened.
class SourcePass {
public:
    SourcePass(const ByteStream::Source& source, std::uint8_t* buffer)
        : source_(source), buffer_(buffer), vouched_(inStateSeen()) {}

    const ByteStream::Source* source() const { return &source_; }
    // How far the file was hashed; a vouched pass hashes nothing and takes stretches in any order.
    std::uint64_t position() const { return at_; }

    // Writes out the `length` bytes at `offset`; a pass that is not vouched for hashes every
    // byte up to their end on the way.
    int copy(std::uint64_t offset, std::uint64_t length, Output& out) {
        if (vouched_) {
            std::uint64_t at = offset + out.copyInKernel(source_.fd, offset, length);
            return readThrough(at, offset + length, nullptr, &out);
        }
        if (const int err = readThrough(at_, offset, &hasher_, nullptr))
            return err;
        return readThrough(at_, offset + length, &hasher_, &out);
    }
    // 0 when the file held exactly what it held when opened, else ESTALE (or the errno of a
    // failed read).
    int finish() {
        if (vouched_)
            return inStateSeen() ? 0 : ESTALE;
        if (const int err = readThrough(at_, source_.fingerprint->size, &hasher_, nullptr))
            return err;
        std::uint8_t beyond;
        const ssize_t n = pread(source_.fd, &beyond, 1, static_cast<off_t>(at_));
        if (n != 0)
            return n < 0 ? errno : ESTALE; // it grew
        return hasher_.result() == *source_.fingerprint ? 0 : ESTALE;
    }

private:
    bool inStateSeen() const {
        struct stat st {};
        const std::optional<FileState>& seen = source_.fingerprint->seen;
        return seen && fstat(source_.fd, &st) == 0 && StateOf(st) == *seen;
    }

    // Reads the file from `at` up to `to`, hashing the bytes into `hash` and writing them out
    // to `out` where given; `at` follows. ESTALE when the file is shorter than it was.
    int readThrough(std::uint64_t& at, std::uint64_t to, ContentHasher* hash, Output* out) {
        while (at < to) {
            const ssize_t n = pread(source_.fd, buffer_,
                                    std::min<std::uint64_t>(to - at, kReadPiece),
                                    static_cast<off_t>(at));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return n == 0 ? ESTALE : errno;
            if (hash)
                hash->add({buffer_, static_cast<std::size_t>(n)});
            if (out && !out->put(buffer_, static_cast<std::uint64_t>(n)))
                return errno;
            at += static_cast<std::uint64_t>(n);
        }
        return 0;
    }

    const ByteStream::Source& source_;
    std::uint8_t* buffer_;
    const bool vouched_;
    ContentHasher hasher_;
    std::uint64_t at_ = 0;
};

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
    // Most reads fall in the bytes already in memory: no need to find the stream's end.
    if (pos_ < own_->size() && n <= own_->size() - pos_) {
        std::memcpy(dst, own_->data() + pos_, n);
        pos_ += n;
        return n;
    }
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
    loaded_.reset();
}

void ByteStream::assign(std::vector<std::uint8_t> bytes) {
    clear();
    *own_ = std::move(bytes);
}

void ByteStream::openFile(const std::string& path, bool hashed) {
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
    if (hashed) {
        ContentFingerprint read;
        if (const int err = FingerprintOfFile(source->fd, read))
            fileError(path, "読めません", err);
        source->size = read.size;
        source->fingerprint = loaded_ = read;
    }
    file_ = std::move(source);
}

void ByteStream::loadFromFile(const std::string& path) {
    openFile(path, false);
    ensureLoaded(file_->size);
    file_.reset(); // everything is in memory now
    loaded_ = FingerprintOf(*own_);
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

int ByteStream::writeTo(int fd, ContentHasher* written) const {
    Output out(fd, written);
    if (!out.put(own_->data(), own_->size()))
        return errno;
    std::unique_ptr<std::uint8_t[]> buffer;
    std::vector<std::unique_ptr<SourcePass>> passes; // one per source file
    for (const Ref& r : refs_) {
        if (r.source->memory) {
            if (!out.put(r.source->memory->data() + r.offset, r.length))
                return errno;
            continue;
        }
        if (!r.source->fingerprint)
            throw EngineError("Stream write error: a file opened for reading only is copied");
        auto pass = std::find_if(passes.begin(), passes.end(),
                                 [&](const auto& p) { return p->source() == r.source.get(); });
        // The reader refers to stretches in file order; one that lies before the bytes already
        // hashed is read in a pass of its own, which checks the whole file again.
        if (pass != passes.end() && r.offset < (*pass)->position()) {
            if (const int err = (*pass)->finish())
                return err;
            passes.erase(pass);
            pass = passes.end();
        }
        if (pass == passes.end()) {
            if (!buffer)
                buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kReadPiece);
            passes.push_back(std::make_unique<SourcePass>(*r.source, buffer.get()));
            pass = passes.end() - 1;
        }
        if (const int err = (*pass)->copy(r.offset, r.length, out))
            return err;
    }
    for (const auto& pass : passes)
        if (const int err = pass->finish())
            return err;
    out.startWriteback();
    return 0;
}

} // namespace Exif
