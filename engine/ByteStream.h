#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "ContentHash.h"

namespace Exif {

// An in-memory byte stream with a position: the source file, the output being built and the
// kept tail of the source. Every read of untrusted bytes goes through here. Offsets and lengths
// are 64-bit so that values taken from a file can never wrap; a position may lie past the end,
// where reads yield nothing.
//
// A stream opened on a file reads it on demand. Large stretches of a source appended to another
// stream (the compressed image data) are not copied but referred to, and copied only when the
// stream is finally written to a file. The whole file was hashed when it was opened, and it is
// hashed again as it is copied unless its state shows it untouched since: the output is made
// only of bytes the file still held.
class ByteStream {
public:
    ByteStream() = default;
    ByteStream(const ByteStream&) = default;
    ByteStream& operator=(const ByteStream&) = default;
    // A moved-from stream is empty and usable.
    ByteStream(ByteStream&& other) noexcept { swap(other); }
    ByteStream& operator=(ByteStream&& other) noexcept {
        ByteStream fresh;
        fresh.swap(other);
        swap(fresh);
        return *this;
    }
    void swap(ByteStream& other) noexcept {
        own_.swap(other.own_);
        file_.swap(other.file_);
        refs_.swap(other.refs_);
        std::swap(pos_, other.pos_);
        std::swap(loaded_, other.loaded_);
    }

    std::uint64_t size() const;
    std::uint64_t position() const { return pos_; }
    void seek(std::uint64_t pos) { pos_ = pos; }
    void skip(std::uint64_t n) { pos_ = (n > UINT64_MAX - pos_) ? UINT64_MAX : pos_ + n; }
    // Bytes left between the position and the end (0 when the position is past the end).
    std::uint64_t remaining() const { return pos_ < size() ? size() - pos_ : 0; }
    bool canRead(std::uint64_t n) const { return n <= remaining(); }
    // True when [pos, pos + n) lies inside the stream.
    bool contains(std::uint64_t pos, std::uint64_t n) const {
        return pos <= size() && n <= size() - pos;
    }

    // Numeric reads: bytes past the end read as zero, the position still advances.
    std::uint8_t readByte();
    std::uint16_t readU16LE();
    std::uint16_t readU16BE();
    std::uint32_t readU32LE();
    // Reads up to n bytes into dst and returns how many were there; the rest of dst is untouched.
    std::uint64_t readInto(std::uint8_t* dst, std::uint64_t n);
    // The n bytes at pos, or an engine error when they are not all in the stream. The span is
    // valid until the next read of the stream.
    std::span<const std::uint8_t> view(std::uint64_t pos, std::uint64_t n);

    // Appends at the end and moves the position there.
    void write(std::span<const std::uint8_t> data);
    void writeU16BE(std::uint16_t v);
    // Overwrites bytes already written; an engine error when they lie outside the stream.
    void patch(std::uint64_t pos, std::span<const std::uint8_t> data);
    // Appends n bytes of src from its position on and advances it; an engine error when src
    // does not hold them (nothing is appended then).
    void copyFrom(ByteStream& src, std::uint64_t n);
    // Puts bytes before everything written so far.
    void insertFront(std::span<const std::uint8_t> data);
    // Appends the whole of another stream.
    void append(const ByteStream& other);

    void clear();
    void assign(std::vector<std::uint8_t> bytes);
    // The whole file, read now.
    void loadFromFile(const std::string& path);
    // The file kept open and read as far as the reads go; what is never read is copied from the
    // file when the stream is written out. With `hashed` the whole file is read through once
    // now to take its fingerprint, which the copy is checked against; a stream opened without
    // it serves reading only (writing out a stretch of it is an engine error).
    void openFile(const std::string& path, bool hashed = true);
    // What the file the stream was loaded from or opened on held when it was read; nothing for
    // a stream that was not read from a file, or opened without hashing.
    const std::optional<ContentFingerprint>& sourceFingerprint() const { return loaded_; }

    // The whole content (copied out of files where it lies there).
    std::vector<std::uint8_t> toVector() const;
    // Writes the whole content to a file descriptor, also into `written` when one is given;
    // 0, or the errno of the failure (ESTALE when a source file no longer holds what it held
    // when it was opened).
    int writeTo(int fd, ContentHasher* written = nullptr) const;

    struct Source;
    struct Ref {
        std::shared_ptr<Source> source;
        std::uint64_t offset;
        std::uint64_t length;
    };

private:
    void ensureLoaded(std::uint64_t end);

    // Loaded or written bytes; shared with the streams that refer to them.
    std::shared_ptr<std::vector<std::uint8_t>> own_ = std::make_shared<std::vector<std::uint8_t>>();
    // The file the stream was opened on, when it is read on demand.
    std::shared_ptr<Source> file_;
    // Content that follows own_: stretches of other streams.
    std::vector<Ref> refs_;
    std::uint64_t pos_ = 0;
    std::optional<ContentFingerprint> loaded_;
};

} // namespace Exif
