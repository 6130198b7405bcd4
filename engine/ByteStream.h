#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace Exif {

// An in-memory byte stream with a position: the source file, the output being built and the
// kept tail of the source. Every read of untrusted bytes goes through here. Offsets and lengths
// are 64-bit so that values taken from a file can never wrap; a position may lie past the end,
// where reads yield nothing.
class ByteStream {
public:
    std::uint64_t size() const { return bytes_.size(); }
    std::uint64_t position() const { return pos_; }
    void seek(std::uint64_t pos) { pos_ = pos; }
    void skip(std::uint64_t n) { pos_ = (n > UINT64_MAX - pos_) ? UINT64_MAX : pos_ + n; }
    // Bytes left between the position and the end (0 when the position is past the end).
    std::uint64_t remaining() const { return pos_ < bytes_.size() ? bytes_.size() - pos_ : 0; }
    bool canRead(std::uint64_t n) const { return n <= remaining(); }

    // Numeric reads: bytes past the end read as zero, the position still advances.
    std::uint8_t readByte();
    std::uint16_t readU16LE();
    std::uint16_t readU16BE();
    std::uint32_t readU32LE();
    // Reads up to n bytes into dst and returns how many were there; the rest of dst is untouched.
    std::uint64_t readInto(std::uint8_t* dst, std::uint64_t n);
    // The n bytes at pos, or an engine error when they are not all in the stream.
    std::span<const std::uint8_t> view(std::uint64_t pos, std::uint64_t n) const;
    // True when [pos, pos + n) lies inside the stream.
    bool contains(std::uint64_t pos, std::uint64_t n) const {
        return pos <= bytes_.size() && n <= bytes_.size() - pos;
    }

    // Appends at the end and moves the position there.
    void write(std::span<const std::uint8_t> data);
    void writeU16BE(std::uint16_t v);
    // Overwrites bytes already written; an engine error when they lie outside the stream.
    void patch(std::uint64_t pos, std::span<const std::uint8_t> data);
    // Appends n bytes of src from its position on and advances it; an engine error when src
    // does not hold them (nothing is appended then).
    void copyFrom(ByteStream& src, std::uint64_t n);

    void clear();
    void assign(std::vector<std::uint8_t> bytes);
    void loadFromFile(const std::string& path);
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
    std::uint64_t pos_ = 0;
};

} // namespace Exif
