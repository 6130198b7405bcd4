#pragma once

// Small builders for JPEG and TIFF byte structures, so that tests show the bytes that matter
// instead of hiding them in opaque binary files.

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

Bytes operator+(Bytes a, const Bytes& b);
Bytes ascii(const std::string& text); // the text and a terminating NUL
Bytes text(const std::string& text);  // the bytes of the text, nothing added

// A TIFF structure: a header and IFDs laid out one after another, each followed by the values
// that do not fit its entries. Numbers are written in the chosen byte order.
class TiffBuilder {
public:
    explicit TiffBuilder(bool bigEndian = false) : big_(bigEndian) {}

    int addIfd();
    // An entry whose value bytes are given in file order; values up to 4 bytes go into the
    // entry, longer ones after the IFD.
    void entry(int ifd, std::uint16_t tag, std::uint16_t type, std::uint32_t count, Bytes value);
    // An entry whose value field is given as it stands (for offsets that point anywhere).
    void rawEntry(int ifd, std::uint16_t tag, std::uint16_t type, std::uint32_t count,
                  std::uint32_t valueField);
    // A pointer entry (count 1, LONG unless another type is given) to another IFD.
    void pointer(int ifd, std::uint16_t tag, int target, std::uint16_t type = 4);
    // The next-IFD link of `ifd`.
    void link(int ifd, int target);
    // Replaces the entry count written for `ifd`.
    void overrideCount(int ifd, std::uint16_t count);

    Bytes u16(std::uint16_t v) const;
    Bytes u32(std::uint32_t v) const;
    Bytes rational(std::uint32_t num, std::uint32_t den) const { return u32(num) + u32(den); }

    Bytes build() const;

private:
    struct Entry {
        std::uint16_t tag, type;
        std::uint32_t count;
        Bytes value;
        bool raw = false;
        std::uint32_t valueField = 0;
        int target = -1;
    };
    struct Ifd {
        std::vector<Entry> entries;
        int next = -1;
        int countOverride = -1;
    };
    std::size_t ifdSize(const Ifd& ifd) const;
    bool big_;
    std::vector<Ifd> ifds_;
};

// JPEG segments.
Bytes segment(std::uint16_t marker, const Bytes& payload);
Bytes exifApp1(const Bytes& tiff);
Bytes soi();
Bytes eoi();
// SOS with a minimal header followed by `scanBytes` of entropy-coded data.
Bytes scan(const Bytes& scanBytes);
// SOI, the segments, a scan of a few bytes and EOI.
Bytes jpeg(const Bytes& segments);

} // namespace testsupport
