#include "support/JpegBuilder.h"

#include <stdexcept>

namespace testsupport {

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes ascii(const std::string& t) { return text(t) + Bytes{0}; }
Bytes text(const std::string& t) { return Bytes(t.begin(), t.end()); }

int TiffBuilder::addIfd() {
    ifds_.emplace_back();
    return static_cast<int>(ifds_.size()) - 1;
}

void TiffBuilder::entry(int ifd, std::uint16_t tag, std::uint16_t type, std::uint32_t count,
                        Bytes value) {
    ifds_.at(ifd).entries.push_back({tag, type, count, std::move(value)});
}

void TiffBuilder::rawEntry(int ifd, std::uint16_t tag, std::uint16_t type, std::uint32_t count,
                           std::uint32_t valueField) {
    Entry e{tag, type, count, {}};
    e.raw = true;
    e.valueField = valueField;
    ifds_.at(ifd).entries.push_back(e);
}

void TiffBuilder::pointer(int ifd, std::uint16_t tag, int target, std::uint16_t type) {
    Entry e{tag, type, 1, {}};
    e.target = target;
    ifds_.at(ifd).entries.push_back(e);
}

void TiffBuilder::link(int ifd, int target) { ifds_.at(ifd).next = target; }
void TiffBuilder::overrideCount(int ifd, std::uint16_t count) { ifds_.at(ifd).countOverride = count; }

Bytes TiffBuilder::u16(std::uint16_t v) const {
    return big_ ? Bytes{std::uint8_t(v >> 8), std::uint8_t(v)} : Bytes{std::uint8_t(v), std::uint8_t(v >> 8)};
}

Bytes TiffBuilder::u32(std::uint32_t v) const {
    Bytes b{std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
    if (big_)
        return Bytes(b.rbegin(), b.rend());
    return b;
}

std::size_t TiffBuilder::ifdSize(const Ifd& ifd) const {
    std::size_t size = 2 + 12 * ifd.entries.size() + 4;
    for (const Entry& e : ifd.entries)
        if (!e.raw && e.target < 0 && e.value.size() > 4)
            size += e.value.size();
    return size;
}

Bytes TiffBuilder::build() const {
    std::vector<std::uint32_t> offsets;
    std::uint32_t pos = 8;
    for (const Ifd& ifd : ifds_) {
        offsets.push_back(pos);
        pos += static_cast<std::uint32_t>(ifdSize(ifd));
    }
    Bytes out = big_ ? text("MM") : text("II");
    out = out + u16(42) + u32(ifds_.empty() ? 0 : 8);
    for (std::size_t i = 0; i < ifds_.size(); ++i) {
        const Ifd& ifd = ifds_[i];
        std::uint32_t valuePos = offsets[i] + 2 + 12 * static_cast<std::uint32_t>(ifd.entries.size()) + 4;
        Bytes values;
        out = out + u16(ifd.countOverride >= 0 ? static_cast<std::uint16_t>(ifd.countOverride)
                                               : static_cast<std::uint16_t>(ifd.entries.size()));
        for (const Entry& e : ifd.entries) {
            out = out + u16(e.tag) + u16(e.type) + u32(e.count);
            if (e.raw) {
                out = out + u32(e.valueField);
            } else if (e.target >= 0) {
                out = out + u32(offsets.at(e.target));
            } else if (e.value.size() <= 4) {
                Bytes field = e.value;
                field.resize(4, 0);
                out = out + field;
            } else {
                out = out + u32(valuePos + static_cast<std::uint32_t>(values.size()));
                values = values + e.value;
            }
        }
        out = out + u32(ifd.next >= 0 ? offsets.at(ifd.next) : 0) + values;
    }
    return out;
}

Bytes segment(std::uint16_t marker, const Bytes& payload) {
    if (payload.size() + 2 > 0xFFFF)
        throw std::length_error("segment too long");
    const auto len = static_cast<std::uint16_t>(payload.size() + 2);
    return Bytes{std::uint8_t(marker >> 8), std::uint8_t(marker), std::uint8_t(len >> 8),
                 std::uint8_t(len)} +
           payload;
}

Bytes exifApp1(const Bytes& tiff) { return segment(0xFFE1, text("Exif") + Bytes{0, 0} + tiff); }
Bytes soi() { return {0xFF, 0xD8}; }
Bytes eoi() { return {0xFF, 0xD9}; }

Bytes scan(const Bytes& scanBytes) {
    return segment(0xFFDA, {1, 1, 0, 0, 63, 0}) + scanBytes;
}

Bytes jpeg(const Bytes& segments) {
    return soi() + segments + segment(0xFFDB, Bytes(65, 1)) + scan({0x12, 0x34, 0xFF, 0x00, 0x56}) +
           eoi();
}

} // namespace testsupport

#include "support/EngineTest.h"
#include "TextCodec.h"

namespace testsupport {

std::string EngineTest::utf8(const std::u16string& s) { return TextCodec::ToUtf8(s); }
std::string EngineTest::listing() { return utf8(Exif::ListingText(Exif::ExifStrings)); }

} // namespace testsupport
