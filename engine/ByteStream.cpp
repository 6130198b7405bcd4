#include "ByteStream.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

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
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw EngineError("Cannot open file \"" + path + "\": " + std::strerror(errno));
    std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
    if (in.bad())
        throw EngineError("Cannot read file \"" + path + "\"");
    assign(std::move(data));
}

} // namespace Exif
